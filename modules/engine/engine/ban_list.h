// The addresses and networks the operator banned from the web console, each for good or until a
// time, kept in a file of their own so that they survive restarts: one ban a line, the address
// or network (as AddressList reads it) and when the ban ends (Unix seconds, 0 for never).
// Expired bans stop applying at once and leave the file at its next write.
#pragma once

#include "engine/address_list.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta::engine {

class BanList {
public:
    using Clock = std::chrono::system_clock;

    struct Ban {
        std::string target;  // an address or a network, as the operator wrote it
        int64_t until = 0;   // Unix seconds when it ends; 0: for good
    };

    // Whether `target` is one address or one network (address/prefix length).
    static bool Valid(std::string_view target);

    // Replaces the list by the file's (none when it does not exist). False, with the reason,
    // when it exists but cannot be read; lines that are no ban are skipped and counted.
    bool Load(const std::string& path, std::string* problem, size_t* skipped = nullptr);
    // Writes the bans still in force at `now` to `path` in one step (a temporary file beside it,
    // renamed over it), readable by its owner alone. False, with the reason, when it cannot.
    bool Save(const std::string& path, Clock::time_point now, std::string* problem);

    // Bans `target` (Valid) until `until` (0: for good), replacing a ban of the same target.
    void Add(std::string target, int64_t until);
    // False when no ban has that target.
    bool Remove(std::string_view target);
    void Clear() { m_entries.clear(); }

    // Whether a ban in force at `now` covers `address` (as the engine writes a client's).
    bool Banned(std::string_view address, Clock::time_point now) const;
    // Whether `ban` covers `address`, in force or not.
    static bool Covers(const Ban& ban, std::string_view address);
    // The bans in force at `now`, in the order they were made.
    std::vector<Ban> InForce(Clock::time_point now) const;

    static int64_t UnixSeconds(Clock::time_point when) {
        return std::chrono::duration_cast<std::chrono::seconds>(when.time_since_epoch()).count();
    }

private:
    struct Entry {
        Ban ban;
        AddressList range;
    };
    static bool Applies(const Ban& ban, int64_t now) { return ban.until == 0 || ban.until > now; }

    std::vector<Entry> m_entries;
};

}  // namespace orvanta::engine
