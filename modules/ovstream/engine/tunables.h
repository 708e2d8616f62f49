// The fan-out's tunables, chosen for 128 kbit/s stations, and the engine's other limits.
#pragma once

#include <cstddef>

namespace orvanta::engine {

inline constexpr size_t kQueueBytes = 512 * 1024;    // how far a listener may lag
inline constexpr size_t kBurstBytes = 64 * 1024;     // what a new listener gets at once
inline constexpr size_t kMaxWriteBytes = 64 * 1024;  // one gather write, several chunks
inline constexpr size_t kIcyMetaInt = 8192;
inline constexpr size_t kReadBufferBytes = 16 * 1024;
// TLS handshakes under way at once, from one address and from everyone.
inline constexpr int kMaxHandshakesPerAddress = 16;
inline constexpr int kMaxHandshakes = 512;

}  // namespace orvanta::engine
