// What the console polls, from any thread: the engine's counters as atomics.
#pragma once

#include <atomic>
#include <cstdint>

namespace orvanta::engine {

struct EngineStatus {
    std::atomic<int32_t> listeners{0};
    std::atomic<int32_t> sourceConnected{0};
    // What plays while no source is connected: 0 nothing, 1 the fallback file, 2 the fallback
    // stream.
    std::atomic<int32_t> fallback{0};
    std::atomic<uint64_t> receivedBytes{0};
    std::atomic<uint64_t> sentBytes{0};
    // HLS segments served (200 answers to GET), the load a cache in front takes off the engine.
    std::atomic<uint64_t> hlsSegmentsServed{0};
    // Requests for the HLS playlists (the live one and the master) and for segments, whatever
    // the answer.
    std::atomic<uint64_t> hlsPlaylistRequests{0};
    std::atomic<uint64_t> hlsSegmentRequests{0};
    // Connections that opened with a TLS handshake, and those of them that never became a TLS
    // session (refused, dropped for newer ones, too slow, or failed).
    std::atomic<uint64_t> tlsHandshakes{0};
    std::atomic<uint64_t> tlsHandshakeFailures{0};
    // Counts up about once a second while the event loop turns: a service manager's watchdog
    // asks whether it still moves.
    std::atomic<uint64_t> loopBeats{0};
};

}  // namespace orvanta::engine
