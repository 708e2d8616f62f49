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
};

}  // namespace orvanta::engine
