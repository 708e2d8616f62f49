#include "platform/service_notify.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace orvanta {

namespace {

std::string_view Variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string_view(value) : std::string_view();
}

template <typename Number>
bool ParseNumber(std::string_view text, Number& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

}  // namespace

ServiceNotifier::ServiceNotifier() {
    const std::string_view socket = Variable("NOTIFY_SOCKET");
    // A path, or '@' and the name of an abstract socket; anything else is not for us.
    if (socket.size() > 1 && socket.size() < sizeof(sockaddr_un::sun_path) &&
        (socket.front() == '/' || socket.front() == '@')) {
        m_socket = std::string(socket);
    }
    uint64_t micros = 0;
    long pid = 0;
    const std::string_view watchdogPid = Variable("WATCHDOG_PID");
    if (ParseNumber(Variable("WATCHDOG_USEC"), micros) && micros > 0 &&
        (watchdogPid.empty() || (ParseNumber(watchdogPid, pid) && pid == ::getpid()))) {
        m_watchdog = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::microseconds(micros));
    }
}

bool ServiceNotifier::Send(std::string_view message) const {
    if (m_socket.empty()) {
        return false;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, m_socket.data(), m_socket.size());
    if (address.sun_path[0] == '@') {
        address.sun_path[0] = '\0';
    }
    const socklen_t length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + m_socket.size());
    const int descriptor = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0) {
        return false;
    }
    ssize_t sent = -1;
    do {
        sent = ::sendto(descriptor, message.data(), message.size(), MSG_NOSIGNAL,
                        reinterpret_cast<const sockaddr*>(&address), length);
    } while (sent < 0 && errno == EINTR);
    ::close(descriptor);
    return sent == static_cast<ssize_t>(message.size());
}

}  // namespace orvanta
