// CServiceMonitor: polls the running service every 50 ms into ServiceStatus.
#pragma once

#include "service/service_status.h"
#include "support/thread.h"

#include <chrono>

namespace orvanta {

class CServiceHost;

class CServiceMonitor : public LThread {
public:
    static constexpr std::chrono::milliseconds kPollPeriod{50};

    explicit CServiceMonitor(ServiceStatus& status) : m_status(status) {}
    ~CServiceMonitor() override;

    void SetHost(CServiceHost* host) { m_host = host; }

protected:
    // Polls at once, then after every pause, until stopped. With no source connected the
    // counts read 0 whatever the module would say.
    unsigned Run() override;

private:
    void Poll();

    ServiceStatus& m_status;
    CServiceHost* m_host = nullptr;
};

}  // namespace orvanta
