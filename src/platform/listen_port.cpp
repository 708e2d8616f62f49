#include "platform/listen_port.h"

#include <arpa/inet.h>
#include <base/file_io.h>
#include <base/ports.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>

namespace orvanta::platform {

namespace {

// Binds a socket of `family` to `address` the way the engine's acceptors do (address reuse on,
// one socket for IPv4 and IPv6 on a wildcard): the error of the bind, 0 when it worked, or -1
// when no such socket can be made here.
int BindError(int family, const sockaddr* address, socklen_t length) {
    const FileDescriptor socket(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (socket.Get() < 0) {
        return -1;
    }
    const int on = 1;
    const int off = 0;
    ::setsockopt(socket.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (family == AF_INET6) {
        ::setsockopt(socket.Get(), IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    }
    return ::bind(socket.Get(), address, length) == 0 ? 0 : errno;
}

bool Taken(const std::string& bindAddress, uint16_t port) {
    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(port);
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    v4.sin_port = htons(port);
    if (bindAddress.empty()) {
        v6.sin6_addr = in6addr_any;
        v4.sin_addr.s_addr = htonl(INADDR_ANY);
        // As the engine does: IPv6 with IPv4 on the same socket where the system has IPv6.
        const int error = BindError(AF_INET6, reinterpret_cast<const sockaddr*>(&v6), sizeof v6);
        if (error != -1) {
            return error == EADDRINUSE;
        }
        return BindError(AF_INET, reinterpret_cast<const sockaddr*>(&v4), sizeof v4) == EADDRINUSE;
    }
    if (::inet_pton(AF_INET, bindAddress.c_str(), &v4.sin_addr) == 1) {
        return BindError(AF_INET, reinterpret_cast<const sockaddr*>(&v4), sizeof v4) == EADDRINUSE;
    }
    if (::inet_pton(AF_INET6, bindAddress.c_str(), &v6.sin6_addr) == 1) {
        return BindError(AF_INET6, reinterpret_cast<const sockaddr*>(&v6), sizeof v6) == EADDRINUSE;
    }
    return false;
}

}  // namespace

bool ListenPortTaken(const std::string& bindAddress, int32_t port) {
    if (!IsUsableListenPort(port)) {
        return false;
    }
    return Taken(bindAddress, static_cast<uint16_t>(port)) ||
           Taken(bindAddress, static_cast<uint16_t>(port + 1));
}

}  // namespace orvanta::platform
