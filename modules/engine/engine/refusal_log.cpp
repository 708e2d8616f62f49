#include "engine/refusal_log.h"

namespace orvanta::engine {

namespace {
// Where refusals of addresses beyond the table's size are counted together.
constexpr std::string_view kOthers = "other addresses";
}  // namespace

std::string RefusalLog::CountLine(const std::string& address, const Entry& entry) const {
    return m_opening + address + " " + std::to_string(entry.counted) + " more time" +
           (entry.counted == 1 ? "" : "s") + " in the last " + std::to_string(kInterval.count()) +
           " s (last: " + entry.last + ")";
}

std::string RefusalLog::Refused(std::string_view address, std::string_view what,
                                Clock::time_point now) {
    auto it = m_entries.find(address);
    if (it == m_entries.end()) {
        if (m_entries.size() >= m_maxAddresses) {
            it = m_entries.find(kOthers);
            if (it == m_entries.end()) {
                it = m_entries.emplace(std::string(kOthers), Entry{now, 0, {}}).first;
            }
            ++it->second.counted;
            it->second.last = std::string(address) + " " + std::string(what);
            return {};
        }
        m_entries.emplace(std::string(address), Entry{now, 0, std::string(what)});
        return m_opening + std::string(address) + " " + std::string(what);
    }
    ++it->second.counted;
    it->second.last = std::string(what);
    return {};
}

std::vector<std::string> RefusalLog::Due(Clock::time_point now, bool everything) {
    std::vector<std::string> lines;
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (!everything && now - it->second.since < kInterval) {
            ++it;
            continue;
        }
        if (it->second.counted > 0) {
            lines.push_back(CountLine(it->first, it->second));
        }
        it = m_entries.erase(it);
    }
    return lines;
}

}  // namespace orvanta::engine
