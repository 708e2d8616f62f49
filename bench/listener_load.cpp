// listener_load: N stream listeners in one process (epoll), for measuring a streaming server.
//
//   listener_load --port 8000 --path /stream --listeners 2000 --ramp 2000 --seconds 30
//                 [--host 127.0.0.1] [--bitrate 128] [--tls 1]
//
// Opens --listeners connections at --ramp connections per second, sends a player's request,
// reads whatever arrives, and after --seconds prints: connections made, failures, bytes,
// per-listener rate (min / median / max, kbit/s, measured after each listener's first byte),
// the share of listeners at full rate (at least 95% of --bitrate), and time to first byte.
// With --tls 1 every listener speaks TLS (the server's certificate is not checked: this
// measures cost, not trust), and time to first byte includes the handshake.
// Loopback only: it is a tool for this machine's own servers.
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <string>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Listener {
    int fd = -1;
    bool connected = false;
    bool requestSent = false;
    bool failed = false;
    Clock::time_point opened;
    Clock::time_point requested;  // the request went out (the connection was up)
    Clock::time_point firstByte;
    bool gotByte = false;
    uint64_t bytes = 0;
    SSL* tls = nullptr;
    bool handshaken = false;
};

struct Options {
    std::string host = "127.0.0.1";
    int port = 8000;
    std::string path = "/stream";
    int listeners = 100;
    int ramp = 1000;
    int seconds = 20;
    int bitrate = 128;
    bool tls = false;
};

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const char* value = argv[i + 1];
        if (key == "--host") {
            o.host = value;
        } else if (key == "--port") {
            o.port = std::atoi(value);
        } else if (key == "--path") {
            o.path = value;
        } else if (key == "--listeners") {
            o.listeners = std::atoi(value);
        } else if (key == "--ramp") {
            o.ramp = std::max(1, std::atoi(value));
        } else if (key == "--seconds") {
            o.seconds = std::max(1, std::atoi(value));
        } else if (key == "--tls") {
            o.tls = std::atoi(value) != 0;
        } else if (key == "--bitrate") {
            o.bitrate = std::max(1, std::atoi(value));
        } else {
            std::fprintf(stderr, "unknown option %s\n", key.c_str());
            std::exit(2);
        }
    }
    return o;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const size_t index =
        std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size())));
    return values[index];
}

// Waits for what the TLS library asked for; false when it reported an error instead.
bool WaitFor(int epoll, const Listener& l, uint32_t index, int result) {
    const int error = SSL_get_error(l.tls, result);
    if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
        return false;
    }
    epoll_event ev{};
    ev.events = error == SSL_ERROR_WANT_READ ? EPOLLIN : EPOLLOUT;
    ev.data.u32 = index;
    epoll_ctl(epoll, EPOLL_CTL_MOD, l.fd, &ev);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = Parse(argc, argv);
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(o.port));
    if (inet_pton(AF_INET, o.host.c_str(), &address.sin_addr) != 1) {
        std::fprintf(stderr, "not an IPv4 address: %s\n", o.host.c_str());
        return 2;
    }
    const std::string request =
        "GET " + o.path + " HTTP/1.0\r\nUser-Agent: listener_load\r\nIcy-MetaData: 0\r\n\r\n";
    SSL_CTX* tlsContext = nullptr;
    if (o.tls) {
        tlsContext = SSL_CTX_new(TLS_client_method());
        SSL_CTX_set_verify(tlsContext, SSL_VERIFY_NONE, nullptr);
    }
    const int epoll = epoll_create1(EPOLL_CLOEXEC);
    std::vector<Listener> listeners(static_cast<size_t>(o.listeners));
    std::vector<char> buffer(256 * 1024);

    const auto start = Clock::now();
    const auto end = start + std::chrono::seconds(o.seconds);
    int opened = 0;
    std::vector<epoll_event> events(1024);
    while (Clock::now() < end) {
        // Open as many as the ramp allows by now.
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        const int due = std::min(o.listeners, static_cast<int>(elapsed * o.ramp) + 1);
        while (opened < due) {
            Listener& l = listeners[static_cast<size_t>(opened)];
            l.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            l.opened = Clock::now();
            if (l.fd < 0 ||
                (connect(l.fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
                 errno != EINPROGRESS)) {
                l.failed = true;
            } else {
                epoll_event ev{};
                ev.events = EPOLLIN | EPOLLOUT;
                ev.data.u32 = static_cast<uint32_t>(opened);
                epoll_ctl(epoll, EPOLL_CTL_ADD, l.fd, &ev);
            }
            ++opened;
        }
        const int n = epoll_wait(epoll, events.data(), static_cast<int>(events.size()), 10);
        for (int i = 0; i < n; ++i) {
            Listener& l = listeners[events[static_cast<size_t>(i)].data.u32];
            uint32_t what = events[static_cast<size_t>(i)].events;
            if (l.failed) {
                continue;
            }
            if ((what & (EPOLLERR | EPOLLHUP)) != 0 && (what & EPOLLIN) == 0) {
                l.failed = true;
                epoll_ctl(epoll, EPOLL_CTL_DEL, l.fd, nullptr);
                continue;
            }
            const uint32_t index = events[static_cast<size_t>(i)].data.u32;
            if (o.tls && !l.handshaken) {
                if (l.tls == nullptr) {
                    l.connected = true;
                    l.tls = SSL_new(tlsContext);
                    SSL_set_fd(l.tls, l.fd);
                    SSL_set_connect_state(l.tls);
                }
                const int result = SSL_do_handshake(l.tls);
                if (result != 1) {
                    if (!WaitFor(epoll, l, index, result)) {
                        l.failed = true;
                        epoll_ctl(epoll, EPOLL_CTL_DEL, l.fd, nullptr);
                    }
                    continue;
                }
                l.handshaken = true;
                what |= EPOLLOUT;
            }
            if ((what & EPOLLOUT) != 0 && !l.requestSent) {
                l.connected = true;
                const ssize_t sent =
                    l.tls != nullptr
                        ? SSL_write(l.tls, request.data(), static_cast<int>(request.size()))
                        : send(l.fd, request.data(), request.size(), MSG_NOSIGNAL);
                if (sent == static_cast<ssize_t>(request.size())) {
                    l.requestSent = true;
                    l.requested = Clock::now();
                    epoll_event ev{};
                    ev.events = EPOLLIN;
                    ev.data.u32 = index;
                    epoll_ctl(epoll, EPOLL_CTL_MOD, l.fd, &ev);
                    what |= EPOLLIN;  // the server may have spoken already
                } else {
                    l.failed = true;
                    epoll_ctl(epoll, EPOLL_CTL_DEL, l.fd, nullptr);
                }
            }
            if ((what & EPOLLIN) != 0) {
                for (;;) {
                    const ssize_t got =
                        l.tls != nullptr
                            ? SSL_read(l.tls, buffer.data(), static_cast<int>(buffer.size()))
                            : recv(l.fd, buffer.data(), buffer.size(), 0);
                    if (got > 0) {
                        if (!l.gotByte) {
                            l.gotByte = true;
                            l.firstByte = Clock::now();
                        }
                        l.bytes += static_cast<uint64_t>(got);
                        continue;
                    }
                    if (l.tls != nullptr) {
                        const int error = SSL_get_error(l.tls, static_cast<int>(got));
                        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
                            l.failed = true;
                            epoll_ctl(epoll, EPOLL_CTL_DEL, l.fd, nullptr);
                        }
                    } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                        l.failed = true;
                        epoll_ctl(epoll, EPOLL_CTL_DEL, l.fd, nullptr);
                    }
                    break;
                }
            }
        }
    }
    const auto stop = Clock::now();

    int connected = 0;
    int failures = 0;
    int atFullRate = 0;
    uint64_t total = 0;
    std::vector<double> rates;
    std::vector<double> ttfb;
    std::vector<double> toRequest;
    std::vector<double> toAnswer;
    for (int i = 0; i < opened; ++i) {
        const Listener& l = listeners[static_cast<size_t>(i)];
        connected += l.connected ? 1 : 0;
        failures += l.failed ? 1 : 0;
        total += l.bytes;
        if (l.gotByte) {
            ttfb.push_back(
                std::chrono::duration<double, std::milli>(l.firstByte - l.opened).count());
            toRequest.push_back(
                std::chrono::duration<double, std::milli>(l.requested - l.opened).count());
            toAnswer.push_back(
                std::chrono::duration<double, std::milli>(l.firstByte - l.requested).count());
            const double seconds = std::chrono::duration<double>(stop - l.firstByte).count();
            // The burst on connect is not the steady rate: count from one second in.
            if (seconds > 2.0) {
                const double kbps = static_cast<double>(l.bytes) * 8.0 / 1000.0 / seconds;
                rates.push_back(kbps);
                atFullRate += kbps >= 0.95 * o.bitrate ? 1 : 0;
            }
        }
        if (l.tls != nullptr) {
            SSL_free(l.tls);
        }
        if (l.fd >= 0) {
            close(l.fd);
        }
    }
    std::printf("listeners %d opened %d connected %d failures %d\n", o.listeners, opened, connected,
                failures);
    std::printf("bytes %llu\n", static_cast<unsigned long long>(total));
    std::printf("rate_kbps min %.1f median %.1f max %.1f\n", Percentile(rates, 0.0),
                Percentile(rates, 0.5), Percentile(rates, 0.999));
    std::printf("full_rate %.1f%%\n",
                rates.empty() ? 0.0 : 100.0 * atFullRate / static_cast<double>(opened));
    std::printf("ttfb_ms median %.1f p99 %.1f max %.1f\n", Percentile(ttfb, 0.5),
                Percentile(ttfb, 0.99), Percentile(ttfb, 0.999));
    // Where the time to first byte goes: up to the request (connecting, and this tool noticing
    // the connection is up), and from the request to the first byte (the server's answer, and
    // this tool noticing it).
    std::printf(
        "ttfb_split_ms to_request p99 %.1f max %.1f, request_to_first_byte p99 %.1f max "
        "%.1f\n",
        Percentile(toRequest, 0.99), Percentile(toRequest, 0.999), Percentile(toAnswer, 0.99),
        Percentile(toAnswer, 0.999));
    SSL_CTX_free(tlsContext);
    return 0;
}
