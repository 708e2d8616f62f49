// The TLS handshakes under way, with limits per address, per network and in all. A handshake
// that completes takes milliseconds; one that is held open half way costs a connection and a
// place here for as long as the deadline allows. So when everyone's places are taken it is
// the oldest handshake that goes, not the newcomer: a client that really handshakes gets
// through a flood unless the flood opens more than the whole table in the milliseconds it
// needs. A network at its limit likewise gives up its oldest, since the newcomer may be
// another machine behind it; an address at its limit is refused, the newcomer being the same
// peer that holds the others.
#pragma once

#include "engine/tunables.h"

#include <cstddef>
#include <functional>
#include <string>
#include <unordered_map>

namespace orvanta::engine {

// The network an address belongs to for these limits, as text ("198.51.100.0/24"); the
// address itself when it is not one.
std::string HandshakeNetwork(const std::string& address);

class HandshakeGate {
public:
    // One handshake's place, kept by its connection; it leaves the books by End or with it.
    class Entry {
    public:
        Entry() = default;
        Entry(const Entry&) = delete;
        Entry& operator=(const Entry&) = delete;
        ~Entry();

    private:
        friend class HandshakeGate;
        HandshakeGate* m_gate = nullptr;  // while in the books
        std::string m_address;
        std::string m_network;
        std::function<void()> m_dropped;
        Entry* m_older = nullptr;  // in the order of arrival, everyone's
        Entry* m_newer = nullptr;
        Entry* m_olderHere = nullptr;  // the same, in its network
        Entry* m_newerHere = nullptr;
    };

    HandshakeGate() = default;
    HandshakeGate(const HandshakeGate&) = delete;
    HandshakeGate& operator=(const HandshakeGate&) = delete;
    ~HandshakeGate();

    // Puts `entry` in the books for `address`, dropping the oldest of its network or of all
    // when either is full; false when the address holds its limit already. A dropped entry
    // leaves the books at once and its `dropped` runs (which must not call Begin).
    bool Begin(Entry& entry, const std::string& address, const HandshakeLimits& limits,
               std::function<void()> dropped);
    // Takes `entry` out of the books; nothing when it is not in them.
    void End(Entry& entry);

    size_t Pending() const { return m_pending; }
    // The most under way at once since the last ForgetPeak.
    size_t Peak() const { return m_peak; }
    void ForgetPeak() { m_peak = m_pending; }

private:
    struct Network {
        Entry* oldest = nullptr;
        Entry* newest = nullptr;
        int count = 0;
    };

    void Drop(Entry& entry);

    Entry* m_oldest = nullptr;
    Entry* m_newest = nullptr;
    size_t m_pending = 0;
    size_t m_peak = 0;
    std::unordered_map<std::string, int> m_addresses;
    std::unordered_map<std::string, Network> m_networks;
};

}  // namespace orvanta::engine
