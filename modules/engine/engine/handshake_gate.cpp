#include "engine/handshake_gate.h"

#include "engine/login_guard.h"

#include <algorithm>

namespace orvanta::engine {

std::string HandshakeNetwork(const std::string& address) {
    // The network the login guard counts failures by first: one site's addresses.
    const std::vector<LoginGuard::Network> networks = LoginGuard::NetworksOf(address);
    return networks.empty() ? address : networks.front().key;
}

HandshakeGate::Entry::~Entry() {
    if (m_gate != nullptr) {
        m_gate->End(*this);
    }
}

HandshakeGate::~HandshakeGate() {
    // Connections may outlive the core by a turn of the loop: their entries forget it.
    while (m_oldest != nullptr) {
        End(*m_oldest);
    }
}

bool HandshakeGate::Begin(Entry& entry, const std::string& address, const HandshakeLimits& limits,
                          std::function<void()> dropped) {
    End(entry);
    auto known = m_addresses.find(address);
    if (known != m_addresses.end() && known->second >= limits.perAddress) {
        return false;
    }
    std::string network = HandshakeNetwork(address);
    {
        const auto here = m_networks.find(network);
        if (here != m_networks.end() && here->second.count >= limits.perNetwork &&
            here->second.oldest != nullptr) {
            Drop(*here->second.oldest);
        }
    }
    if (m_pending >= static_cast<size_t>(std::max(limits.total, 1)) && m_oldest != nullptr) {
        Drop(*m_oldest);
    }
    entry.m_gate = this;
    entry.m_address = address;
    entry.m_network = std::move(network);
    entry.m_dropped = std::move(dropped);
    entry.m_older = m_newest;
    entry.m_newer = nullptr;
    (m_newest != nullptr ? m_newest->m_newer : m_oldest) = &entry;
    m_newest = &entry;
    Network& here = m_networks[entry.m_network];
    entry.m_olderHere = here.newest;
    entry.m_newerHere = nullptr;
    (here.newest != nullptr ? here.newest->m_newerHere : here.oldest) = &entry;
    here.newest = &entry;
    ++here.count;
    ++m_addresses[address];
    ++m_pending;
    m_peak = std::max(m_peak, m_pending);
    return true;
}

void HandshakeGate::End(Entry& entry) {
    if (entry.m_gate != this) {
        return;
    }
    (entry.m_older != nullptr ? entry.m_older->m_newer : m_oldest) = entry.m_newer;
    (entry.m_newer != nullptr ? entry.m_newer->m_older : m_newest) = entry.m_older;
    const auto here = m_networks.find(entry.m_network);
    if (here != m_networks.end()) {
        Network& network = here->second;
        (entry.m_olderHere != nullptr ? entry.m_olderHere->m_newerHere : network.oldest) =
            entry.m_newerHere;
        (entry.m_newerHere != nullptr ? entry.m_newerHere->m_olderHere : network.newest) =
            entry.m_olderHere;
        if (--network.count == 0) {
            m_networks.erase(here);
        }
    }
    const auto mine = m_addresses.find(entry.m_address);
    if (mine != m_addresses.end() && --mine->second == 0) {
        m_addresses.erase(mine);
    }
    --m_pending;
    entry.m_gate = nullptr;
    entry.m_older = entry.m_newer = entry.m_olderHere = entry.m_newerHere = nullptr;
    entry.m_dropped = nullptr;
}

void HandshakeGate::Drop(Entry& entry) {
    std::function<void()> dropped = std::move(entry.m_dropped);
    End(entry);
    if (dropped) {
        dropped();
    }
}

}  // namespace orvanta::engine
