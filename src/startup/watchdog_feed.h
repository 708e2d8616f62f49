// Whether the service still works, for a service manager's watchdog: fed only while the status
// monitor still polls and, while the service runs, the engine's heartbeat still grows. A runner
// that answers the watchdog from its own loop alone would keep a hung engine alive forever.
#pragma once

#include <chrono>
#include <cstdint>

namespace orvanta {

class WatchdogFeed {
public:
    using Clock = std::chrono::steady_clock;

    // `stall`: how long a sign of life may stand still before the service counts as hung.
    explicit WatchdogFeed(Clock::duration stall) : m_stall(stall) {}

    // Takes the signs as they are `now` (ServiceStatus::monitorPolls and engineBeats; the
    // engine's counts only while `engineRunning`); true when each moved within the stall.
    bool Alive(uint64_t monitorPolls, uint64_t engineBeats, bool engineRunning,
               Clock::time_point now);

private:
    struct Sign {
        bool seen = false;
        uint64_t value = 0;
        Clock::time_point moved;
    };
    // Whether `sign`, now at `value`, moved within the stall; a first look counts as moved.
    bool Moving(Sign& sign, uint64_t value, Clock::time_point now) const;

    Clock::duration m_stall;
    Sign m_monitor;
    Sign m_engine;
};

}  // namespace orvanta
