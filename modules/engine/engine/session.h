// Anything the engine can close when it stops. Every connection registers with the engine's
// session register for its lifetime, so stopping the engine reaches each one.
#pragma once

#include "engine/engine_context.h"

#include <asio/ip/tcp.hpp>

#include <string>

namespace orvanta::engine {

using asio::ip::tcp;

class Session {
public:
    explicit Session(const EngineContext& engine);
    virtual ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    virtual void Close() = 0;

protected:
    // The engine's, which outlives every session.
    const EngineContext& m_engine;
};

// The peer's address for the log ("?" once the socket is gone).
std::string RemoteAddress(const tcp::socket& socket);

}  // namespace orvanta::engine
