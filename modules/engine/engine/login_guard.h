// Slows down password guessing. Every login the engine checks (sources on both ports, title
// updates, private listeners) asks the guard first, on three levels:
//  - an address that got the password wrong a few times in a row is refused for a while, for
//    longer after each further failure;
//  - the station checks only so many wrong passwords a second from everywhere together (a
//    budget charged by failures), so an attacker gains nothing by spreading its guesses over
//    many addresses;
//  - an address whose own record is clean (it never failed, or its last login was right) is
//    checked even when the budget is spent, from a small reserve kept for such addresses, so
//    an attack does not lock the station's own encoders and listeners out: at worst they are
//    asked to come back within a second (a guesser spread over many quiet networks at once
//    spends the reserve as fast as it refills, so they may be asked more than once; an
//    address that logged in right lately is checked at once even then). A network (IPv4 /24, IPv6
//    /48 or /32) that many wrong passwords came from loses that reserve: its new addresses wait for
//    the budget like any address that failed before, a few seconds at most.
// Addresses and networks are remembered in bounded tables that forget addresses that are not
// held back before those that are, so a flood of addresses cannot grow them or wash a hold out.
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
#include <utility>
#include <vector>

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

    // The budget: wrong passwords the station checks a second from all addresses together,
    // and how many it checks at once after a quiet spell. Two a second is far above what
    // people mistyping send and keeps a guesser to 172,800 guesses a day however many
    // addresses it has; a burst of 10 lets a few encoders with an old password retry together.
    static constexpr double kBudgetPerSecond = 2.0;
    static constexpr double kBudgetBurst = 10.0;
    // Below the empty budget, the reserve only addresses with a clean record may spend. Its
    // depth is what the wait of an address that failed before is bounded by: with the budget
    // this far below empty it waits (1 + kReserve) / kBudgetPerSecond = 5 s at most.
    static constexpr double kReserve = 9.0;
    // The longest a refusal for the budget ever asks to wait.
    static constexpr std::chrono::seconds kLongestBudgetWait{5};
    // Wrong passwords from one network within kNetworkForgetAfter of each other that take the
    // reserve from its new addresses. An office or a carrier NAT where a few people mistype
    // stays far below; a guesser rotating addresses reaches them in seconds.
    static constexpr int kNetworkFailuresV4 = 20;     // an IPv4 /24
    static constexpr int kNetworkFailuresV6 = 20;     // an IPv6 /48, one site
    static constexpr int kNetworkFailuresWide = 100;  // an IPv6 /32, a whole provider
    static constexpr std::chrono::seconds kNetworkForgetAfter{60 * 60};
    static constexpr size_t kDefaultMaxNetworks = 4096;
    // Addresses that logged in right lately: checked at once whatever others do, as long as
    // their own record stays clean.
    static constexpr size_t kMaxTrusted = 256;

    explicit LoginGuard(size_t maxAddresses = kDefaultMaxAddresses,
                        size_t maxNetworks = kDefaultMaxNetworks)
        : m_addresses(maxAddresses, kForgetAfter), m_networks(maxNetworks, kNetworkForgetAfter) {}

    struct Hold {
        // Zero when the address may try a password now; otherwise how long it must still wait.
        std::chrono::seconds wait{0};
        // The address's own failures hold it back; otherwise everyone's (the budget).
        bool own = false;
        int failures = 0;  // the address's failures in a row
    };
    Hold HeldFor(std::string_view address, Clock::time_point now) const;

    struct Verdict {
        // The address is held back from now on (for `hold`).
        bool held = false;
        std::chrono::seconds hold{0};
        // The failures in a row, this one included.
        int failures = 0;
        // True for the failure that began the hold: the one worth a log line.
        bool newlyHeld = false;
        // The network this failure took the reserve from, or "": worth a log line too.
        std::string networkHeld;
    };
    // A wrong password from `address`.
    Verdict Failed(std::string_view address, Clock::time_point now);
    // A right password: the address starts again from nothing (its network's count stays).
    void Succeeded(std::string_view address, Clock::time_point now);

    size_t Size() const { return m_addresses.Size(); }
    // Wrong passwords since the guard began, from every address (logins held back unchecked are
    // not among them).
    uint64_t WrongPasswords() const { return m_wrongPasswords; }

    // The key an address is remembered by: IPv4 addresses whole, IPv6 addresses by their /64
    // network (one host usually holds all of it), IPv4-mapped IPv6 as IPv4.
    static std::string KeyOf(std::string_view address);
    // The networks an address belongs to, narrowest first, with the failures that take the
    // reserve from them: its /24 for IPv4, its /48 and /32 for IPv6; none for what is no
    // address.
    struct Network {
        std::string key;
        int threshold = 0;
    };
    static std::vector<Network> NetworksOf(std::string_view address);

private:
    // Failures by key, bounded: when full, the least recently failed of the entries that are
    // not held goes; when all are held, nothing new is recorded.
    class Table {
    public:
        struct Entry {
            int failures = 0;
            Clock::time_point last;
            Clock::time_point heldUntil;
            bool held = false;  // held once: kept over entries that never were
            std::list<std::string>::iterator order;
        };
        Table(size_t maxEntries, std::chrono::seconds forgetAfter)
            : m_max(maxEntries), m_forgetAfter(forgetAfter) {}
        // The entry, unless it is missing or old enough to be forgotten.
        const Entry* Find(const std::string& key, Clock::time_point now) const;
        // The entry for a new failure, moved to the back of its order; null when the table is
        // full of held entries.
        Entry* Fail(std::string key, Clock::time_point now);
        // It is held from now on: it goes after every entry that is not.
        void Hold(Entry& entry);
        void Erase(const std::string& key);
        size_t Size() const { return m_entries.size(); }

    private:
        void Forget(std::list<std::string>& order, Clock::time_point now);

        size_t m_max;
        std::chrono::seconds m_forgetAfter;
        std::unordered_map<std::string, Entry> m_entries;
        // Keys least recently failed first: the entries never held, then the held ones.
        std::list<std::string> m_free;
        std::list<std::string> m_held;
    };

    // The budget at `now`: up to kBudgetBurst, down to -kReserve.
    double Budget(Clock::time_point now) const;
    bool Clean(const std::string& key, std::string_view address, Clock::time_point now) const;

    Table m_addresses;
    Table m_networks;
    double m_budget = kBudgetBurst;
    Clock::time_point m_budgetAt{};
    // Keys of addresses that logged in right and when, least recent first.
    std::list<std::pair<std::string, Clock::time_point>> m_trusted;
    uint64_t m_wrongPasswords = 0;
};

}  // namespace orvanta::engine
