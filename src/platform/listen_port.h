// Whether another program holds the station's ports.
#pragma once

#include <cstdint>
#include <string>

namespace orvanta::platform {

// True when `port` or the one above it (the SHOUTcast-v1 source port) cannot be bound because
// another socket already holds it, on `bindAddress` or, when that is empty, on every address as
// the engine listens; false when both are free or the question cannot be answered (an address
// that is none, a port out of range).
bool ListenPortTaken(const std::string& bindAddress, int32_t port);

}  // namespace orvanta::platform
