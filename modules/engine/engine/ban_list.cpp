#include "engine/ban_list.h"

#include "base/ascii.h"
#include "base/file_io.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <sys/stat.h>

namespace orvanta::engine {

bool BanList::Valid(std::string_view target) {
    const AddressList list = AddressList::Parse(target);
    // One entry exactly: no separators, nothing left out.
    return !target.empty() && list.Rejected().empty() && !list.Empty() &&
           target.find_first_of(", \t\r\n") == std::string_view::npos;
}

bool BanList::Load(const std::string& path, std::string* problem, size_t* skipped) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        if (errno == ENOENT) {
            m_entries.clear();
            return true;
        }
        if (problem != nullptr) {
            *problem = "cannot read " + path + ": " + std::strerror(errno);
        }
        return false;
    }
    std::vector<Entry> entries;
    size_t bad = 0;
    std::string line;
    while (std::getline(file, line)) {
        const std::string_view text = TrimSpaceTab(line);
        if (text.empty() || text.front() == '#') {
            continue;
        }
        const size_t space = text.find_first_of(" \t");
        const std::string_view target = text.substr(0, space);
        const std::string_view when =
            space == std::string_view::npos ? std::string_view() : TrimSpaceTab(text.substr(space));
        int64_t until = 0;
        const auto [end, ec] = std::from_chars(when.data(), when.data() + when.size(), until);
        if (!Valid(target) || ec != std::errc() || end != when.data() + when.size() || until < 0) {
            ++bad;
            continue;
        }
        entries.push_back(Entry{Ban{std::string(target), until}, AddressList::Parse(target)});
    }
    m_entries = std::move(entries);
    if (skipped != nullptr) {
        *skipped = bad;
    }
    return true;
}

bool BanList::Save(const std::string& path, Clock::time_point now, std::string* problem) {
    const int64_t seconds = UnixSeconds(now);
    std::erase_if(m_entries,
                  [seconds](const Entry& entry) { return !Applies(entry.ban, seconds); });
    std::string text =
        "# Banned addresses and networks, written by the web console: one a line, then when the\n"
        "# ban ends (Unix seconds, 0 for never). Read again at a reload.\n";
    for (const Entry& entry : m_entries) {
        text += entry.ban.target + ' ' + std::to_string(entry.ban.until) + '\n';
    }
    std::string reason;
    // The file names who may not come in: its owner's alone, whatever it was before.
    if (!ReplaceFile(path, text, S_IRUSR | S_IWUSR, S_IRUSR | S_IWUSR, reason)) {
        if (problem != nullptr) {
            *problem = reason;
        }
        return false;
    }
    return true;
}

void BanList::Add(std::string target, int64_t until) {
    Remove(target);
    AddressList range = AddressList::Parse(target);
    m_entries.push_back(Entry{Ban{std::move(target), until}, std::move(range)});
}

bool BanList::Remove(std::string_view target) {
    return std::erase_if(m_entries, [target](const Entry& e) { return e.ban.target == target; }) >
           0;
}

bool BanList::Banned(std::string_view address, Clock::time_point now) const {
    if (m_entries.empty()) {
        return false;
    }
    const int64_t seconds = UnixSeconds(now);
    return std::any_of(m_entries.begin(), m_entries.end(), [&](const Entry& entry) {
        return Applies(entry.ban, seconds) && entry.range.Contains(address);
    });
}

bool BanList::Covers(const Ban& ban, std::string_view address) {
    return AddressList::Parse(ban.target).Contains(address);
}

std::vector<BanList::Ban> BanList::InForce(Clock::time_point now) const {
    const int64_t seconds = UnixSeconds(now);
    std::vector<Ban> bans;
    for (const Entry& entry : m_entries) {
        if (Applies(entry.ban, seconds)) {
            bans.push_back(entry.ban);
        }
    }
    return bans;
}

}  // namespace orvanta::engine
