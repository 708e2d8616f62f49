#include "platform/host_addresses.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvanta::platform {

std::vector<std::string> HostIPv4Addresses() {
    std::array<char, 256> name{};
    if (::gethostname(name.data(), name.size() - 1) != 0) {
        return {};
    }
    return ResolveIPv4(name.data());
}

std::vector<std::string> ResolveIPv4(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    // One entry per address, not one per socket type.
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &list) != 0) {
        return {};
    }
    std::vector<std::string> addresses;
    for (const addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET || ai->ai_addrlen < sizeof(sockaddr_in)) {
            continue;
        }
        sockaddr_in sin{};
        std::copy_n(reinterpret_cast<const unsigned char*>(ai->ai_addr), sizeof(sin),
                    reinterpret_cast<unsigned char*>(&sin));
        std::array<char, INET_ADDRSTRLEN> text{};
        if (::inet_ntop(AF_INET, &sin.sin_addr, text.data(), text.size()) == nullptr) {
            continue;
        }
        std::string address(text.data());
        // The resolver may list an address twice (several hosts-file lines); once is enough.
        if (std::find(addresses.begin(), addresses.end(), address) == addresses.end()) {
            addresses.push_back(std::move(address));
        }
    }
    ::freeaddrinfo(list);
    return addresses;
}

}  // namespace orvanta::platform
