#include "engine/outbound.h"

#include <asio/connect.hpp>
#include <asio/ip/address.hpp>

#include <memory>

namespace orvanta::engine {

void ConnectOutbound(tcp::resolver& resolver, tcp::socket& socket, const std::string& host,
                     int port, std::function<void(const std::string& failure)> done) {
    auto callback = std::make_shared<std::function<void(const std::string&)>>(std::move(done));
    const auto connected = [callback](const asio::error_code& ec) {
        (*callback)(ec ? "cannot connect: " + ec.message() : std::string());
    };
    asio::error_code notLiteral;
    const asio::ip::address literal = asio::ip::make_address(host, notLiteral);
    if (!notLiteral) {
        socket.async_connect(tcp::endpoint(literal, static_cast<uint16_t>(port)), connected);
        return;
    }
    resolver.async_resolve(
        host, std::to_string(port),
        [&socket, callback, connected](const asio::error_code& ec,
                                       const tcp::resolver::results_type& endpoints) {
            if (ec) {
                (*callback)("cannot resolve the name: " + ec.message());
                return;
            }
            asio::async_connect(socket, endpoints,
                                [connected](const asio::error_code& error, const tcp::endpoint&) {
                                    connected(error);
                                });
        });
}

}  // namespace orvanta::engine
