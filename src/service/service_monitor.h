// CServiceMonitor: polls the running service every 50 ms into ServiceStatus.
#pragma once

#include "service/service_status.h"
#include "support/thread.h"

#include <chrono>
#include <orvanta/service_module.h>
#include <orvanta/service_options.h>

namespace orvanta {

class CServiceMonitor : public LThread {
public:
    static constexpr std::chrono::milliseconds kPollPeriod{50};

    explicit CServiceMonitor(ServiceStatus& status) : m_status(status) {}
    ~CServiceMonitor() override;

    // The controller to poll from the next Start on (the host's, once it loaded a module); it
    // must outlive the polling, which Stop ends.
    // `fallback` (null: the module has none) tells what plays without a source; `heartbeat`
    // (null likewise) whether its engine still turns.
    void SetController(IServiceController* controller,
                       OrvantaServiceFallbackFunction fallback = nullptr,
                       OrvantaServiceHeartbeatFunction heartbeat = nullptr) {
        m_controller = controller;
        m_fallback = fallback;
        m_heartbeat = heartbeat;
    }

protected:
    // Polls at once, then after every pause, until stopped. With no source connected the
    // counts read 0 whatever the module would say.
    unsigned Run() override;

private:
    void Poll();

    ServiceStatus& m_status;
    IServiceController* m_controller = nullptr;
    OrvantaServiceFallbackFunction m_fallback = nullptr;
    OrvantaServiceHeartbeatFunction m_heartbeat = nullptr;
};

}  // namespace orvanta
