// The one rule for the station's listen port, shared by the configuration and the engine.
#pragma once

#include <cstdint>

namespace orvanta {

// A listen port the service can take: SHOUTcast-v1 sources connect on the port above it, so both
// must be real ports (1..65534).
inline bool IsUsableListenPort(int32_t port) {
    return port >= 1 && port <= 65534;
}

}  // namespace orvanta
