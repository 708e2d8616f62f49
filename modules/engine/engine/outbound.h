// Connections the engine opens itself (directory exchanges, relays).
#pragma once

#include <asio/ip/tcp.hpp>

#include <functional>
#include <string>

namespace orvanta::engine {

using asio::ip::tcp;

// Connects `socket` to host:port: a literal address at once (the resolver's lookups cannot be
// cut short), a name through `resolver`, trying its addresses in turn. `done` runs once, on the
// socket's event loop, with "" when connected or the reason for the log ("cannot resolve the
// name: ...", "cannot connect: ..."). The caller keeps the resolver and the socket alive until
// then (and may cancel or close them to end it early).
void ConnectOutbound(tcp::resolver& resolver, tcp::socket& socket, const std::string& host,
                     int port, std::function<void(const std::string& failure)> done);

}  // namespace orvanta::engine
