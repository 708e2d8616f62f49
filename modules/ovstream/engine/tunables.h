// The fan-out's tunables, chosen for 128 kbit/s stations, and the engine's other limits.
#pragma once

#include <chrono>
#include <cstddef>

namespace orvanta::engine {

inline constexpr size_t kQueueBytes = 512 * 1024;    // how far a listener may lag
inline constexpr size_t kBurstBytes = 64 * 1024;     // what a new listener gets at once
inline constexpr size_t kMaxWriteBytes = 64 * 1024;  // one gather write, several chunks
// A listener that keeps up is written once per tick with everything that gathered since, not
// once per chunk: players buffer seconds of audio, and every write costs a system call and a
// wake-up. The tick adds at most this much to the delay between source and player.
inline constexpr auto kWriteTick = std::chrono::milliseconds(500);
// A listener with at least this much still to send (catching up after its burst or a slow
// spell) is written again at once instead of at the next tick; and when a source delivers this
// much before the tick, the waiting listeners are written without waiting for it.
inline constexpr size_t kCatchUpBytes = 32 * 1024;
// Listeners written in one go before the event loop turns to other work (the source's reads).
inline constexpr size_t kWriteSlice = 1024;
inline constexpr size_t kIcyMetaInt = 8192;
inline constexpr size_t kReadBufferBytes = 16 * 1024;
// TLS handshakes under way at once, from one address and from everyone.
inline constexpr int kMaxHandshakesPerAddress = 16;
inline constexpr int kMaxHandshakes = 512;

}  // namespace orvanta::engine
