// The fan-out's tunables, chosen for 128 kbit/s stations, and the engine's other limits.
#pragma once

#include <chrono>
#include <cstddef>

namespace orvanta::engine {

inline constexpr size_t kQueueBytes = 512 * 1024;    // how far a listener may lag
inline constexpr size_t kBurstBytes = 64 * 1024;     // what a new listener gets at once
inline constexpr size_t kMaxWriteBytes = 64 * 1024;  // one gather write, several chunks
// A listener that keeps up is not written on every chunk the source sends but in passes, each
// with everything gathered since the last: players buffer seconds of audio, and every write
// costs a system call, a wake-up and, on the wire, a packet. A pass runs once kPassBytes of
// audio has gathered (a second at 128 kbit/s) or kWriteTick after the last one, whichever
// comes first; that is the most it adds to the delay between source and player.
inline constexpr auto kWriteTick = std::chrono::milliseconds(1000);
inline constexpr size_t kPassBytes = 16 * 1024;
// A listener with at least this much still to send (catching up after its burst or a slow
// spell) is written again at once instead of at the next pass.
inline constexpr size_t kCatchUpBytes = 32 * 1024;
// Listeners written in one go before the event loop turns to other work: the source's reads,
// and new listeners, whose accept, request and first write each wait behind the slice under
// way. A write costs about 25 us, so at 1024 a slice held the loop for about 25 ms and a new
// listener arriving during a pass of 19,000 waited about 100 ms for its first byte; 128 keeps a
// slice to a few milliseconds for one more turn of the loop per 128 writes.
inline constexpr size_t kWriteSlice = 128;
inline constexpr size_t kIcyMetaInt = 8192;
inline constexpr size_t kReadBufferBytes = 16 * 1024;
// TLS handshakes under way at once, from one address, one network (an IPv4 /24 or an IPv6 /48)
// and from everyone.
inline constexpr int kMaxHandshakesPerAddress = 16;
inline constexpr int kMaxHandshakesPerNetwork = 64;
inline constexpr int kMaxHandshakes = 512;
struct HandshakeLimits {
    int perAddress = kMaxHandshakesPerAddress;
    int perNetwork = kMaxHandshakesPerNetwork;
    int total = kMaxHandshakes;
};
// From a connection to the end of its TLS handshake. A real client needs a round trip or two;
// what takes longer holds a place others may need (the request head has the longer
// headerTimeout, from the same start).
inline constexpr auto kHandshakeTimeout = std::chrono::seconds(4);
// A handshake flood this large leaves freed memory in the allocator's arenas; once it is over
// the engine hands it back to the system.
inline constexpr size_t kHandshakesWorthATrim = 64;

}  // namespace orvanta::engine
