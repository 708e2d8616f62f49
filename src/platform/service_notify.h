// Telling the service manager that started the program how the service is (systemd's
// notification protocol): one datagram per message to the socket named in $NOTIFY_SOCKET —
// "READY=1", "RELOADING=1", "STOPPING=1", "STATUS=<text>", "WATCHDOG=1". Started any other way,
// the variable is not there and nothing is sent.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace orvanta {

class ServiceNotifier {
public:
    // Reads $NOTIFY_SOCKET, and $WATCHDOG_USEC with $WATCHDOG_PID (a watchdog meant for another
    // process is not ours).
    ServiceNotifier();

    // A service manager listens.
    bool Active() const { return !m_socket.empty(); }
    // How often the manager wants to hear WATCHDOG=1 at the least; zero for no watchdog.
    std::chrono::milliseconds WatchdogInterval() const { return m_watchdog; }

    // Sends one message ("KEY=value" lines, so no value may hold a line feed); false when
    // nobody listens or it could not go.
    bool Send(std::string_view message) const;

private:
    std::string m_socket;
    std::chrono::milliseconds m_watchdog{0};
};

}  // namespace orvanta
