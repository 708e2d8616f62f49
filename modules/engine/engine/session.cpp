#include "engine/session.h"

#include <vector>

namespace orvanta::engine {

void SessionRegister::CloseAll() {
    const std::vector<Session*> sessions(m_sessions.begin(), m_sessions.end());
    for (Session* session : sessions) {
        if (m_sessions.count(session) != 0) {
            session->Close();
        }
    }
}

Session::Session(const EngineContext& engine) : m_engine(engine) {
    m_engine.sessions.Add(this);
}

Session::~Session() {
    m_engine.sessions.Remove(this);
}

std::string RemoteAddress(const tcp::socket& socket) {
    asio::error_code ec;
    const tcp::endpoint endpoint = socket.remote_endpoint(ec);
    if (ec) {
        return "?";
    }
    asio::ip::address address = endpoint.address();
    // Dual-stack sockets report IPv4 peers as mapped IPv6 addresses.
    if (address.is_v6() && address.to_v6().is_v4_mapped()) {
        address = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    }
    return address.to_string();
}

}  // namespace orvanta::engine
