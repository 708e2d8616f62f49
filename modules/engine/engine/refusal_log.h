// Refusals the operator should hear about, without letting a flood of them flood the log: the
// first refusal of an address in an interval is written at once, the ones that follow within
// the interval are only counted and become one line with the count when it ends. The table of
// addresses is bounded; beyond it, refusals are counted together. The same serves other
// events that come in floods, keyed by something else than an address (holds of logins, by
// network): the line's opening words are the log's own.
//
// Plain code over time points the caller gives: no clock, no I/O, no threads.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvanta::engine {

class RefusalLog {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr std::chrono::seconds kInterval{60};
    static constexpr size_t kDefaultMaxAddresses = 1024;

    explicit RefusalLog(size_t maxAddresses = kDefaultMaxAddresses,
                        std::string opening = "Refused ")
        : m_maxAddresses(maxAddresses), m_opening(std::move(opening)) {}

    // `address` was refused (`what`: the request and the answer, safe for the log). The line
    // to write now, or "" when this refusal is only counted.
    std::string Refused(std::string_view address, std::string_view what, Clock::time_point now);
    // The count lines of every address whose interval has ended by `now` (all of them with
    // `everything`, when the engine stops).
    std::vector<std::string> Due(Clock::time_point now, bool everything = false);

private:
    struct Entry {
        Clock::time_point since;
        uint64_t counted = 0;  // refusals after the one written
        std::string last;
    };

    std::string CountLine(const std::string& address, const Entry& entry) const;

    size_t m_maxAddresses;
    std::string m_opening;
    std::map<std::string, Entry, std::less<>> m_entries;
};

}  // namespace orvanta::engine
