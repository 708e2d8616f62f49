#include "engine/listen_url.h"

#include <asio/ip/address.hpp>

#include <arpa/inet.h>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace orvanta::engine {

std::string Bracketed(const std::string& host) {
    if (host.find(':') != std::string::npos && host.front() != '[') {
        return "[" + host + "]";
    }
    return host;
}

std::string FirstLocalIpv4() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return "";
    }
    std::string found;
    for (const ifaddrs* entry = list; entry != nullptr && found.empty(); entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET ||
            (entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) {
            continue;
        }
        sockaddr_in address{};
        // Copied out rather than cast: sockaddr's alignment is smaller than sockaddr_in's.
        std::memcpy(&address, entry->ifa_addr, sizeof address);
        const asio::ip::address_v4 v4(ntohl(address.sin_addr.s_addr));
        if (!v4.is_loopback() && !v4.is_unspecified()) {
            found = v4.to_string();
        }
    }
    ::freeifaddrs(list);
    return found;
}

std::string ListenUrl(const EngineSettings& settings, uint16_t enginePort) {
    if (settings.addressOverride != 0 && !settings.overrideAddress.empty()) {
        const int port = settings.overridePort > 0 && settings.overridePort <= 65535
                             ? settings.overridePort
                             : enginePort;
        return "http://" + Bracketed(settings.overrideAddress) + ":" + std::to_string(port) +
               "/stream";
    }
    std::string host;
    if (!settings.bindAddress.empty()) {
        asio::error_code ec;
        const asio::ip::address bound = asio::ip::make_address(settings.bindAddress, ec);
        // Bound to every interface: that says nothing about the address to publish.
        if (ec || !bound.is_unspecified()) {
            host = settings.bindAddress;
        }
    }
    if (host.empty()) {
        host = FirstLocalIpv4();
    }
    if (host.empty()) {
        host = "127.0.0.1";
    }
    return "http://" + Bracketed(host) + ":" + std::to_string(enginePort) + "/stream";
}

}  // namespace orvanta::engine
