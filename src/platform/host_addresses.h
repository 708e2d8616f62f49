// The IPv4 addresses of this host.
#pragma once

#include <string>
#include <vector>

namespace orvanta::platform {

// The host's name resolved for IPv4, in the resolver's order, each as dotted-quad text.
// Empty when the name cannot be read or resolved.
std::vector<std::string> HostIPv4Addresses();

// The IPv4 addresses a name resolves to, in the resolver's order, each once.
std::vector<std::string> ResolveIPv4(const std::string& name);

}  // namespace orvanta::platform
