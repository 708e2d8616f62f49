#include "startup/watchdog_feed.h"

namespace orvanta {

bool WatchdogFeed::Moving(Sign& sign, uint64_t value, Clock::time_point now) const {
    if (!sign.seen || value != sign.value) {
        sign = Sign{true, value, now};
        return true;
    }
    return now - sign.moved <= m_stall;
}

bool WatchdogFeed::Alive(uint64_t monitorPolls, uint64_t engineBeats, bool engineRunning,
                         Clock::time_point now) {
    const bool monitor = Moving(m_monitor, monitorPolls, now);
    if (!engineRunning) {
        // Stopped, or not started: nothing to beat. The next start begins a fresh look.
        m_engine = Sign{};
        return monitor;
    }
    const bool engine = Moving(m_engine, engineBeats, now);
    return monitor && engine;
}

}  // namespace orvanta
