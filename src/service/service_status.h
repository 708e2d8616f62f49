// ServiceStatus: what the running service last reported, written by the status monitor
// thread and read by the status panel (or the headless status line). Every field is one
// atomic value, so a reader never sees a total half-written; the four fields may come from
// two different polls, and nothing relies on them matching.
#pragma once

#include <atomic>
#include <cstdint>

namespace orvanta {

struct ServiceStatus {
    std::atomic<int64_t> totalSentBytes{0};
    std::atomic<int64_t> totalReceivedBytes{0};
    std::atomic<int32_t> listenerCount{0};
    std::atomic<int32_t> sourceConnected{0};
    // 1 the fallback file, 2 the fallback stream plays; 0 nothing or a live source.
    std::atomic<int32_t> fallback{0};
    // Signs of life for a watchdog: the monitor's polls, and the module's heartbeat as the
    // last poll read it (the polls themselves for a module without one). Both only grow.
    std::atomic<uint64_t> monitorPolls{0};
    std::atomic<uint64_t> engineBeats{0};

    void Zero() {
        fallback.store(0, std::memory_order_relaxed);
        totalSentBytes.store(0, std::memory_order_relaxed);
        totalReceivedBytes.store(0, std::memory_order_relaxed);
        listenerCount.store(0, std::memory_order_relaxed);
        sourceConnected.store(0, std::memory_order_relaxed);
    }
};

}  // namespace orvanta
