#include "service/service_monitor.h"

#include <cstdint>
#include <thread>

namespace orvanta {

namespace {

// A byte total from the module, truncated toward zero. A module's junk (NaN, infinities,
// values past the 64-bit range) must not become undefined behaviour here.
int64_t TruncateBytes(double value) {
    if (!(value == value)) {
        return 0;
    }
    if (value >= 9.2e18) {
        return INT64_MAX;
    }
    if (value <= -9.2e18) {
        return INT64_MIN;
    }
    return static_cast<int64_t>(value);
}

}  // namespace

CServiceMonitor::~CServiceMonitor() {
    Stop();
}

void CServiceMonitor::Poll() {
    IServiceController* controller = m_controller;
    const int32_t connected = controller->IsSourceConnected();
    m_status.sourceConnected.store(connected, std::memory_order_relaxed);
    m_status.fallback.store(m_fallback != nullptr ? m_fallback(controller) : 0,
                            std::memory_order_relaxed);
    if (connected != 0) {
        m_status.listenerCount.store(controller->GetListenerCount(), std::memory_order_relaxed);
        m_status.totalReceivedBytes.store(TruncateBytes(controller->GetTotalReceivedBytes()),
                                          std::memory_order_relaxed);
        m_status.totalSentBytes.store(TruncateBytes(controller->GetTotalSentBytes()),
                                      std::memory_order_relaxed);
    } else {
        m_status.listenerCount.store(0, std::memory_order_relaxed);
        m_status.totalReceivedBytes.store(0, std::memory_order_relaxed);
        m_status.totalSentBytes.store(0, std::memory_order_relaxed);
    }
    const uint64_t polls = m_status.monitorPolls.fetch_add(1, std::memory_order_relaxed) + 1;
    m_status.engineBeats.store(m_heartbeat != nullptr ? m_heartbeat(controller) : polls,
                               std::memory_order_relaxed);
}

unsigned CServiceMonitor::Run() {
    if (m_controller != nullptr) {
        while (IsRunning()) {
            Poll();
            std::this_thread::sleep_for(kPollPeriod);
        }
    }
    ClearRunning();
    return 0;
}

}  // namespace orvanta
