// listener_load: N stream listeners in one process, for measuring a streaming server.
//
//   listener_load --port 8000 --path /stream --listeners 2000 --ramp 2000 --seconds 30
//                 [--host 127.0.0.1] [--bitrate 128] [--tls 1] [--threads N] [--churn N]
//
// Opens --listeners connections at --ramp connections per second, sends a player's request,
// reads whatever arrives, and after --seconds prints: connections made, failures, bytes,
// per-listener rate (min / median / max, kbit/s, measured after each listener's first byte),
// the share of listeners at full rate (at least 95% of --bitrate), time to first byte, how many
// were still open at the end, and each listener's longest silence (the longest time between two
// reads that brought bytes, or from the last one to the end): a rate taken over the whole run
// averages a stall of a few seconds away, a silence shows it.
// With --churn N, once every listener is open, N of them a second hang up and connect again
// (spread evenly over the second, the longest-connected first, until --seconds is over): the
// audience of a real station comes and goes. A hang-up is a reset (no TIME_WAIT left behind to
// use up ports); what those connections received counts in the bytes, and `churn` says how many
// were closed and opened again. Their rate, silence and time to first byte are the new
// connection's.
// With --tls 1 every listener speaks TLS (the server's certificate is not checked: this
// measures cost, not trust), and time to first byte includes the handshake.
// Loopback only: it is a tool for this machine's own servers.
//
// Each connection is bound to a local port this tool picks from the system's ephemeral range
// before it connects. Left to the kernel, every connect() from one address to one server port
// searches the range for a port not yet used towards that server, which costs more the more
// listeners there are: towards 19,000 it took this tool's whole core (profile:
// __inet_check_established, __inet_hash_connect) and it fell hundreds of milliseconds behind
// the ramp. An audience comes from many addresses; the server never sees that search.
//
// The listeners are shared among --threads workers (default: one per CPU this process may run
// on). Listener g is opened at start + g / ramp by worker g % threads, which owns it from then on
// in its own epoll set, so no socket ever crosses threads and the workers share nothing but the
// start time. The tool also reports on itself (`load_tool_ms`): how late it opened connections
// against the ramp's schedule, and the longest it spent in one turn of a loop or overslept a
// wait. When those reach the time to first byte, the time measures this tool, not the server.
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sched.h>
#include <string>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// One read takes a whole connect burst (64 KiB) and several passes at once.
constexpr size_t kReadBuffer = 256 * 1024;
constexpr int kEventsPerWait = 256;
// The longest a worker waits without looking at the clock: the end of the run is noticed soon.
constexpr auto kLongestWait = std::chrono::milliseconds(10);
// Ports tried for one connection before it counts as failed (a port in use by another
// program, or still waiting out an earlier connection to the same server port).
constexpr int kPortAttempts = 64;

// The system's ephemeral port range; each worker takes every threads-th port of it.
struct PortRange {
    int first = 32768;
    int last = 60999;
};

PortRange EphemeralPorts() {
    PortRange range;
    if (FILE* f = std::fopen("/proc/sys/net/ipv4/ip_local_port_range", "r")) {
        int first = 0;
        int last = 0;
        if (std::fscanf(f, "%d %d", &first, &last) == 2 && 0 < first && first <= last) {
            range.first = first;
            range.last = last;
        }
        std::fclose(f);
    }
    return range;
}

struct Listener {
    int fd = -1;
    bool connected = false;
    bool requestSent = false;
    bool failed = false;
    bool gotByte = false;
    bool handshaken = false;
    Clock::time_point due;        // when the ramp's schedule opens it
    Clock::time_point opened;     // when this tool opened it
    Clock::time_point requested;  // the request went out (the connection was up)
    Clock::time_point firstByte;  // the worker's wait reported the first bytes readable
    Clock::time_point lastByte;   // the latest wait that reported bytes readable
    Clock::duration longestSilence{};
    Clock::time_point silenceEnded;  // when the longest silence ended
    uint64_t bytes = 0;
    int error = 0;  // why it failed, when the system said
    SSL* tls = nullptr;
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
    int threads = 0;  // 0: one per CPU this process may run on
    int churn = 0;    // listeners a second that hang up and connect again once all are open
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
            o.listeners = std::max(0, std::atoi(value));
        } else if (key == "--ramp") {
            o.ramp = std::max(1, std::atoi(value));
        } else if (key == "--seconds") {
            o.seconds = std::max(1, std::atoi(value));
        } else if (key == "--tls") {
            o.tls = std::atoi(value) != 0;
        } else if (key == "--bitrate") {
            o.bitrate = std::max(1, std::atoi(value));
        } else if (key == "--churn") {
            o.churn = std::max(0, std::atoi(value));
        } else if (key == "--threads") {
            o.threads = std::max(0, std::atoi(value));
        } else {
            std::fprintf(stderr, "unknown option %s\n", key.c_str());
            std::exit(2);
        }
    }
    if (o.threads == 0) {
        cpu_set_t allowed;
        CPU_ZERO(&allowed);
        o.threads = sched_getaffinity(0, sizeof allowed, &allowed) == 0 ? CPU_COUNT(&allowed) : 1;
    }
    o.threads = std::clamp(o.threads, 1, std::max(1, o.listeners));
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

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// One thread's listeners, epoll set and buffer.
class Worker {
public:
    Worker(const Options& o, int index, const sockaddr_in& address, const std::string& request,
           SSL_CTX* tlsContext, Clock::time_point start, PortRange ports)
        : m_options(o),
          m_address(address),
          m_request(request),
          m_tlsContext(tlsContext),
          m_start(start),
          m_end(start + std::chrono::seconds(o.seconds)),
          m_ports(ports),
          m_nextPort(ports.first + index),
          m_buffer(kReadBuffer),
          m_events(kEventsPerWait) {
        if (o.churn > 0) {
            m_churnEvery = std::chrono::duration_cast<Clock::duration>(
                std::chrono::duration<double>(o.threads / static_cast<double>(o.churn)));
        }
        // Listener g belongs to worker g % threads; its time on the ramp is g / ramp.
        for (int g = index; g < o.listeners; g += o.threads) {
            Listener l;
            l.due = start + std::chrono::duration_cast<Clock::duration>(
                                std::chrono::duration<double>(g / static_cast<double>(o.ramp)));
            m_listeners.push_back(l);
        }
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;
    ~Worker() {
        for (Listener& l : m_listeners) {
            Close(l);
        }
        if (m_epoll >= 0) {
            close(m_epoll);
        }
    }

    void Run();

    const std::vector<Listener>& Listeners() const { return m_listeners; }
    size_t Opened() const { return m_opened; }
    Clock::duration LongestTurn() const { return m_longestTurn; }
    Clock::duration LongestOversleep() const { return m_longestOversleep; }
    // Connections closed by the churn, and what they had received.
    uint64_t Churned() const { return m_churned; }
    uint64_t ChurnedBytes() const { return m_churnedBytes; }

private:
    // Hangs up with a reset, not a FIN: a closed connection would keep its port in TIME_WAIT
    // for a minute, and a port this tool bound stays out of every program's own connect()
    // until then (the next run with the kernel's choice of port finds thousands gone).
    static void Close(Listener& l);
    // The next listener in turn hangs up and connects again.
    void Churn(Clock::time_point now);
    void Open(Listener& l, uint32_t index);
    // Binds to the next free port of this worker's share; false when the share is used up.
    bool BindNextPort(int fd);
    void Handle(Listener& l, uint32_t index, uint32_t what, Clock::time_point woke);
    void Fail(Listener& l);
    // Waits for what the TLS library asked for; false when it reported an error instead.
    bool WaitFor(const Listener& l, uint32_t index, int result);

    const Options& m_options;
    const sockaddr_in m_address;
    const std::string& m_request;
    SSL_CTX* const m_tlsContext;
    const Clock::time_point m_start;
    const Clock::time_point m_end;
    const PortRange m_ports;
    int m_nextPort;
    int m_epoll = -1;
    std::vector<Listener> m_listeners;
    size_t m_opened = 0;
    std::vector<char> m_buffer;
    std::vector<epoll_event> m_events;
    Clock::duration m_longestTurn{};
    Clock::duration m_longestOversleep{};
    // This worker's share of the churn: one listener every m_churnEvery, from m_nextChurn.
    Clock::duration m_churnEvery{};
    Clock::time_point m_nextChurn{};
    size_t m_churnNext = 0;
    uint64_t m_churned = 0;
    uint64_t m_churnedBytes = 0;
};

void Worker::Close(Listener& l) {
    if (l.tls != nullptr) {
        SSL_free(l.tls);
        l.tls = nullptr;
    }
    if (l.fd >= 0) {
        const linger reset{1, 0};
        setsockopt(l.fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        close(l.fd);
        l.fd = -1;
    }
}

void Worker::Churn(Clock::time_point now) {
    const auto index = static_cast<uint32_t>(m_churnNext);
    m_churnNext = (m_churnNext + 1) % m_listeners.size();
    Listener& l = m_listeners[index];
    ++m_churned;
    m_churnedBytes += l.bytes;
    Close(l);
    l = Listener{};
    l.due = now;
    Open(l, index);
}

void Worker::Run() {
    m_epoll = epoll_create1(EPOLL_CLOEXEC);
    // Touch the read buffer once so no first read of the run pays for its pages.
    std::memset(m_buffer.data(), 0, m_buffer.size());
    Clock::time_point now = Clock::now();
    while (now < m_end) {
        while (m_opened < m_listeners.size() && m_listeners[m_opened].due <= now) {
            Open(m_listeners[m_opened], static_cast<uint32_t>(m_opened));
            ++m_opened;
        }
        // Sleep until the next connection is due, or a while when none is.
        Clock::time_point until = std::min(now + kLongestWait, m_end);
        if (m_opened < m_listeners.size()) {
            until = std::min(until, m_listeners[m_opened].due);
        } else if (m_churnEvery > Clock::duration::zero() && !m_listeners.empty()) {
            if (m_nextChurn == Clock::time_point{}) {
                m_nextChurn = now;
            }
            // Behind the schedule (this thread was not running), it catches up a few at a time.
            for (int i = 0; i < 16 && m_nextChurn <= now; ++i) {
                Churn(now);
                m_nextChurn += m_churnEvery;
            }
            until = std::min(until, m_nextChurn);
        }
        const auto wait = std::max(Clock::duration::zero(), until - now);
        const auto waitNs = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
        timespec timeout{};
        timeout.tv_sec = static_cast<time_t>(waitNs / 1000000000);
        timeout.tv_nsec = static_cast<long>(waitNs % 1000000000);
        const Clock::time_point asleep = Clock::now();
        const int n = epoll_pwait2(m_epoll, m_events.data(), kEventsPerWait, &timeout, nullptr);
        const Clock::time_point woke = Clock::now();
        if (n == 0) {
            // Woken later than asked: this thread was not running (another took the core).
            m_longestOversleep = std::max(m_longestOversleep, woke - asleep - wait);
        }
        for (int i = 0; i < n; ++i) {
            const epoll_event& event = m_events[static_cast<size_t>(i)];
            Handle(m_listeners[event.data.u32], event.data.u32, event.events, woke);
        }
        now = Clock::now();
        m_longestTurn = std::max(m_longestTurn, now - woke);
    }
}

bool Worker::BindNextPort(int fd) {
    const int step = m_options.threads;
    const int share = (m_ports.last - m_ports.first) / step + 1;
    for (int tried = 0; tried < share; ++tried) {
        const int port = m_nextPort;
        m_nextPort += step;
        if (m_nextPort > m_ports.last) {
            m_nextPort = m_ports.first + (m_nextPort - m_ports.first) % step;
        }
        sockaddr_in local = m_address;
        local.sin_port = htons(static_cast<uint16_t>(port));
        if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0) {
            return true;
        }
        if (errno != EADDRINUSE) {
            return false;
        }
    }
    return false;
}

void Worker::Open(Listener& l, uint32_t index) {
    l.opened = Clock::now();
    for (int attempt = 0; attempt < kPortAttempts; ++attempt) {
        l.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (l.fd < 0) {
            break;
        }
        // A port whose last connection is still in TIME_WAIT may be bound again; connect()
        // then decides whether that connection may be reused.
        const int on = 1;
        setsockopt(l.fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (!BindNextPort(l.fd)) {
            break;
        }
        if (connect(l.fd, reinterpret_cast<const sockaddr*>(&m_address), sizeof m_address) == 0 ||
            errno == EINPROGRESS) {
            epoll_event ev{};
            ev.events = EPOLLOUT;
            ev.data.u32 = index;
            epoll_ctl(m_epoll, EPOLL_CTL_ADD, l.fd, &ev);
            return;
        }
        const int error = errno;
        close(l.fd);
        l.fd = -1;
        if (error != EADDRNOTAVAIL && error != EADDRINUSE) {
            break;
        }
    }
    l.error = errno;
    if (l.fd >= 0) {
        close(l.fd);
        l.fd = -1;
    }
    l.failed = true;
}

void Worker::Fail(Listener& l) {
    l.failed = true;
    int error = 0;
    socklen_t size = sizeof error;
    getsockopt(l.fd, SOL_SOCKET, SO_ERROR, &error, &size);
    l.error = error != 0 ? error : errno;
    epoll_ctl(m_epoll, EPOLL_CTL_DEL, l.fd, nullptr);
}

bool Worker::WaitFor(const Listener& l, uint32_t index, int result) {
    const int error = SSL_get_error(l.tls, result);
    if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
        return false;
    }
    epoll_event ev{};
    ev.events = error == SSL_ERROR_WANT_READ ? EPOLLIN : EPOLLOUT;
    ev.data.u32 = index;
    epoll_ctl(m_epoll, EPOLL_CTL_MOD, l.fd, &ev);
    return true;
}

void Worker::Handle(Listener& l, uint32_t index, uint32_t what, Clock::time_point woke) {
    if (l.failed) {
        return;
    }
    if ((what & (EPOLLERR | EPOLLHUP)) != 0 && (what & EPOLLIN) == 0) {
        Fail(l);
        return;
    }
    if (m_options.tls && !l.handshaken) {
        if (l.tls == nullptr) {
            l.connected = true;
            l.tls = SSL_new(m_tlsContext);
            SSL_set_fd(l.tls, l.fd);
            SSL_set_connect_state(l.tls);
        }
        const int result = SSL_do_handshake(l.tls);
        if (result != 1) {
            if (!WaitFor(l, index, result)) {
                Fail(l);
            }
            return;
        }
        l.handshaken = true;
        what |= EPOLLOUT;
    }
    if ((what & EPOLLOUT) != 0 && !l.requestSent) {
        l.connected = true;
        const ssize_t sent =
            l.tls != nullptr
                ? SSL_write(l.tls, m_request.data(), static_cast<int>(m_request.size()))
                : send(l.fd, m_request.data(), m_request.size(), MSG_NOSIGNAL);
        if (sent != static_cast<ssize_t>(m_request.size())) {
            Fail(l);
            return;
        }
        l.requestSent = true;
        l.requested = Clock::now();
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u32 = index;
        epoll_ctl(m_epoll, EPOLL_CTL_MOD, l.fd, &ev);
        // The answer is seldom there already; the next wait reports it when it is.
        return;
    }
    if ((what & EPOLLIN) == 0) {
        return;
    }
    for (;;) {
        const ssize_t got =
            l.tls != nullptr ? SSL_read(l.tls, m_buffer.data(), static_cast<int>(m_buffer.size()))
                             : recv(l.fd, m_buffer.data(), m_buffer.size(), 0);
        if (got > 0) {
            if (!l.gotByte) {
                // The wait that reported it: the bytes were there then, however long this turn
                // took to reach this listener.
                l.gotByte = true;
                l.firstByte = woke;
                l.lastByte = woke;
            }
            if (woke - l.lastByte > l.longestSilence) {
                l.longestSilence = woke - l.lastByte;
                l.silenceEnded = woke;
            }
            l.lastByte = woke;
            l.bytes += static_cast<uint64_t>(got);
            // A short plain read emptied the socket; the next wait says when there is more,
            // without a read here that only answers "nothing yet".
            if (l.tls == nullptr && static_cast<size_t>(got) < m_buffer.size()) {
                return;
            }
            continue;
        }
        if (l.tls != nullptr) {
            const int error = SSL_get_error(l.tls, static_cast<int>(got));
            if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
                Fail(l);
            }
        } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
            Fail(l);
        }
        return;
    }
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

    // Every worker's schedule counts from one start, a little ahead so all are waiting for it.
    const Clock::time_point start = Clock::now() + std::chrono::milliseconds(20);
    const PortRange ports = EphemeralPorts();
    std::vector<std::unique_ptr<Worker>> workers;
    for (int w = 0; w < o.threads; ++w) {
        workers.push_back(
            std::make_unique<Worker>(o, w, address, request, tlsContext, start, ports));
    }
    {
        std::vector<std::jthread> threads;
        for (auto& worker : workers) {
            threads.emplace_back([&worker] { worker->Run(); });
        }
    }
    const Clock::time_point stop = Clock::now();

    int opened = 0;
    int connected = 0;
    int failures = 0;
    int atFullRate = 0;
    int openAtEnd = 0;
    uint64_t total = 0;
    uint64_t churned = 0;
    Clock::duration longestTurn{};
    Clock::duration longestOversleep{};
    std::vector<double> rates;
    std::vector<double> ttfb;
    std::vector<double> toRequest;
    std::vector<double> toAnswer;
    std::vector<double> openLate;
    // Each listener's longest silence, and when it ended (seconds into the run): a silence that
    // ends at the same time for many listeners points at the server's moment, not the listener.
    std::vector<std::pair<double, double>> silences;
    // Where failed listeners stopped: opening (no port or socket), connecting, waiting for the
    // answer, or while streaming; and one reason the system gave.
    int failedAt[4] = {};
    int failureError = 0;
    for (const auto& worker : workers) {
        longestTurn = std::max(longestTurn, worker->LongestTurn());
        churned += worker->Churned();
        total += worker->ChurnedBytes();
        longestOversleep = std::max(longestOversleep, worker->LongestOversleep());
        const std::vector<Listener>& listeners = worker->Listeners();
        for (size_t i = 0; i < worker->Opened(); ++i) {
            const Listener& l = listeners[i];
            ++opened;
            openLate.push_back(Milliseconds(l.opened - l.due));
            connected += l.connected ? 1 : 0;
            if (l.failed) {
                ++failures;
                ++failedAt[l.fd < 0 ? 0 : !l.connected ? 1 : !l.gotByte ? 2 : 3];
                failureError = failureError != 0 ? failureError : l.error;
            }
            openAtEnd += l.connected && !l.failed ? 1 : 0;
            total += l.bytes;
            if (!l.gotByte) {
                continue;
            }
            // A listener whose bytes stopped before the end was silent from then on.
            const Clock::time_point heard = l.failed ? l.lastByte : stop;
            const bool silentAtEnd = heard - l.lastByte > l.longestSilence;
            silences.emplace_back(
                Milliseconds(silentAtEnd ? heard - l.lastByte : l.longestSilence),
                Milliseconds((silentAtEnd ? heard : l.silenceEnded) - start) / 1000.0);
            ttfb.push_back(Milliseconds(l.firstByte - l.opened));
            toRequest.push_back(Milliseconds(l.requested - l.opened));
            toAnswer.push_back(Milliseconds(l.firstByte - l.requested));
            const double seconds = std::chrono::duration<double>(stop - l.firstByte).count();
            // The burst on connect is not the steady rate: count from one second in.
            if (seconds > 2.0) {
                const double kbps = static_cast<double>(l.bytes) * 8.0 / 1000.0 / seconds;
                rates.push_back(kbps);
                atFullRate += kbps >= 0.95 * o.bitrate ? 1 : 0;
            }
        }
    }
    workers.clear();  // closes every connection
    std::printf("listeners %d opened %d connected %d failures %d\n", o.listeners, opened, connected,
                failures);
    if (failures > 0) {
        std::printf("failures_at open %d connect %d answer %d stream %d (%s)\n", failedAt[0],
                    failedAt[1], failedAt[2], failedAt[3], std::strerror(failureError));
    }
    std::printf("open_at_end %d\n", openAtEnd);
    if (o.churn > 0) {
        std::printf("churn %d/s: %llu closed and opened again\n", o.churn,
                    static_cast<unsigned long long>(churned));
    }
    std::printf("bytes %llu\n", static_cast<unsigned long long>(total));
    std::printf("rate_kbps min %.1f median %.1f max %.1f\n", Percentile(rates, 0.0),
                Percentile(rates, 0.5), Percentile(rates, 0.999));
    std::printf("full_rate %.1f%%\n",
                rates.empty() ? 0.0 : 100.0 * atFullRate / static_cast<double>(opened));
    std::sort(silences.begin(), silences.end());
    const auto silence = [&silences](double p) {
        return silences.empty()
                   ? std::pair<double, double>{}
                   : silences[std::min(
                         silences.size() - 1,
                         static_cast<size_t>(p * static_cast<double>(silences.size())))];
    };
    std::printf(
        "longest_silence_ms median %.1f p99 %.1f (ending %.1f s in) max %.1f (ending %.1f s "
        "in)\n",
        silence(0.5).first, silence(0.99).first, silence(0.99).second, silence(1.0).first,
        silence(1.0).second);
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
    // This tool's own delays: opening behind the ramp's schedule, the longest turn of a loop
    // (events waiting behind it), and the longest a wait overslept its timeout.
    std::printf(
        "load_tool_ms threads %d open_late p99 %.1f max %.1f, longest_turn %.1f, "
        "longest_oversleep %.1f\n",
        o.threads, Percentile(openLate, 0.99), Percentile(openLate, 0.999),
        Milliseconds(longestTurn), Milliseconds(longestOversleep));
    SSL_CTX_free(tlsContext);
    return 0;
}
