// The station's own address as others should reach it: what directories list.
#pragma once

#include "engine/settings.h"

#include <cstdint>
#include <string>

namespace orvanta::engine {

// The address listeners use, as the directory lists it:
//   http://<overrideAddress>:<overridePort>/stream with addressOverride set and an address
//   given (port 0 or out of range: the engine's own port), for a station behind a router;
//   else http://<host>:<enginePort>/stream, host being the bind address when one is set (and is
//   not 0.0.0.0 or ::), else this machine's first non-loopback IPv4 address, else 127.0.0.1.
// IPv6 literals are put in brackets.
std::string ListenUrl(const EngineSettings& settings, uint16_t enginePort);

// The first up, non-loopback IPv4 address of this machine's interfaces; empty when none.
std::string FirstLocalIpv4();

// A host for a URL: an IPv6 literal in brackets, anything else as it is.
std::string Bracketed(const std::string& host);

}  // namespace orvanta::engine
