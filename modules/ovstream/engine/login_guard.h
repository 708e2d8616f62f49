// Slows down password guessing. Every login the engine checks (sources on both ports, title
// updates, private listeners) asks the guard first; an address that got the password wrong a
// few times in a row is refused for a while, for longer after each further failure, so guessing
// a password takes years instead of minutes. Addresses are remembered in a bounded table, so a
// flood of addresses cannot grow it; other addresses and ordinary listeners are never affected.
//
// Plain code over time points the caller gives: no clock, no I/O, no threads.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>

namespace orvanta::engine {

class LoginGuard {
public:
    using Clock = std::chrono::steady_clock;

    // Wrong passwords an address may send before it is held back.
    static constexpr int kFreeFailures = 5;
    // The first hold; each further failure doubles it, up to the longest.
    static constexpr std::chrono::seconds kFirstHold{2};
    static constexpr std::chrono::seconds kLongestHold{15 * 60};
    // An address that sends nothing wrong for this long starts again from nothing. Long, so
    // waiting it out buys an attacker a handful of guesses a day.
    static constexpr std::chrono::seconds kForgetAfter{24 * 60 * 60};
    static constexpr size_t kDefaultMaxAddresses = 4096;

    explicit LoginGuard(size_t maxAddresses = kDefaultMaxAddresses)
        : m_maxAddresses(maxAddresses) {}

    // Zero when `address` may try a password now; otherwise how long it must still wait.
    std::chrono::seconds HeldFor(std::string_view address, Clock::time_point now) const;

    struct Verdict {
        // The address is held back from now on (for `hold`).
        bool held = false;
        std::chrono::seconds hold{0};
        // The failures in a row, this one included.
        int failures = 0;
        // True for the failure that began the hold: the one worth a log line.
        bool newlyHeld = false;
    };
    // A wrong password from `address`.
    Verdict Failed(std::string_view address, Clock::time_point now);
    // A right password: the address starts again from nothing.
    void Succeeded(std::string_view address);

    size_t Size() const { return m_entries.size(); }

    // The key an address is remembered by: IPv4 addresses whole, IPv6 addresses by their /64
    // network (one host usually holds all of it), IPv4-mapped IPv6 as IPv4.
    static std::string KeyOf(std::string_view address);

private:
    struct Entry {
        int failures = 0;
        Clock::time_point last;
        Clock::time_point heldUntil;
        bool held = false;
        std::list<std::string>::iterator order;
    };

    void Forget(Clock::time_point now);

    size_t m_maxAddresses;
    std::unordered_map<std::string, Entry> m_entries;
    // Keys, least recently failed first: the first to go when the table is full.
    std::list<std::string> m_order;
};

}  // namespace orvanta::engine
