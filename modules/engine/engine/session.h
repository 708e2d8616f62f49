// Anything the engine can close when it stops. Every connection registers with the core for
// its lifetime, so stopping the engine reaches each one.
#pragma once

#include <asio/ip/tcp.hpp>

#include <string>

namespace orvanta::engine {

class Core;
using asio::ip::tcp;

class Session {
public:
    explicit Session(Core& core);
    virtual ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    virtual void Close() = 0;

protected:
    Core& m_core;
};

// The peer's address for the log ("?" once the socket is gone).
std::string RemoteAddress(const tcp::socket& socket);

}  // namespace orvanta::engine
