// CServiceMonitor: polls the running service every 50 ms into ServiceStatus.
#pragma once

#include "service/service_status.h"
#include "support/thread.h"

#include <chrono>
#include <orvanta/service_module.h>

namespace orvanta {

class CServiceMonitor : public LThread {
public:
    static constexpr std::chrono::milliseconds kPollPeriod{50};

    explicit CServiceMonitor(ServiceStatus& status) : m_status(status) {}
    ~CServiceMonitor() override;

    // The controller to poll from the next Start on (the host's, once it loaded a module); it
    // must outlive the polling, which Stop ends.
    void SetController(IServiceController* controller) { m_controller = controller; }

protected:
    // Polls at once, then after every pause, until stopped. With no source connected the
    // counts read 0 whatever the module would say.
    unsigned Run() override;

private:
    void Poll();

    ServiceStatus& m_status;
    IServiceController* m_controller = nullptr;
};

}  // namespace orvanta
