// A blocking TCP client on 127.0.0.1 with a deadline on every wait, for driving the engine
// byte by byte the way encoders and players do; the ports and audio such tests need; and checks
// on the text that comes back.
#pragma once

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstdint>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <random>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

namespace orvanta::test {

// A socket bound to a loopback port of the kernel's choice, listening with `backlog` unless it
// is 0; the port in `port`.
inline int LoopbackSocket(uint16_t& port, int backlog) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    if (backlog > 0) {
        ::listen(fd, backlog);
    }
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

// A server takes a pair of ports (listeners on P, v1 sources on P+1): a random even port is
// tried until `start(port)` succeeds; that port, or 0 after 50 tries.
template <class Start>
uint16_t StartOnFreePortPair(Start start) {
    std::mt19937 random(
        static_cast<unsigned>(::getpid()) ^
        static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int port = 20000 + static_cast<int>(random() % 20000) * 2;
        if (start(port)) {
            return static_cast<uint16_t>(port);
        }
    }
    return 0;
}

// Silent MPEG-1 Layer III frames, 128 kbit/s, 44.1 kHz: 417 bytes each.
inline std::string Mp3Frames(int count) {
    std::string frame(417, '\0');
    frame.replace(0, 4, "\xFF\xFB\x90\x64");
    std::string out;
    for (int i = 0; i < count; ++i) {
        out += frame;
    }
    return out;
}

// `count` ADTS frames of 1024 samples at `rateIndex` (4: 44.1 kHz, 6: 24 kHz), LC, mono, 200
// bytes each, zero payload.
inline std::string AdtsFrames(int count, int rateIndex = 4) {
    std::string frame("\xFF\xF1\x00\x40\x19\x1F\xFC", 7);
    frame[2] = static_cast<char>(0x40 | rateIndex << 2);
    frame.resize(200, '\0');
    std::string out;
    for (int i = 0; i < count; ++i) {
        out += frame;
    }
    return out;
}

// Each of `parts` is in `text` (shown when one is not), or with `present` false, none is.
inline void ExpectHas(const std::string& text, std::initializer_list<std::string_view> parts,
                      bool present = true) {
    for (const std::string_view part : parts) {
        EXPECT_EQ(text.find(part) != std::string::npos, present) << part << " in:\n" << text;
    }
}
// For EXPECT_PRED2, which shows both on failure: an answer starting "HTTP/1.0 401", say.
inline bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

class TestClient {
public:
    // `receiveBuffer` > 0 shrinks the receive window, to play a listener on a slow line (small
    // segments too: the server's send buffer grows with the segment size, and loopback's 64 KiB
    // ones would let it swallow everything).
    // `from` is the client's own address ("127.0.0.2" plays another machine).
    explicit TestClient(uint16_t port, int receiveBuffer = 0, const char* from = nullptr) {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (receiveBuffer > 0) {
            ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
            const int segment = 536;
            ::setsockopt(m_fd, IPPROTO_TCP, TCP_MAXSEG, &segment, sizeof segment);
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        if (from != nullptr) {
            ::inet_pton(AF_INET, from, &address.sin_addr);
            ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        }
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~TestClient() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    bool Connected() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }

    bool Send(const std::string& bytes) {
        for (size_t done = 0; done < bytes.size();) {
            const ssize_t n = ::send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0) {
                return false;
            }
            done += static_cast<size_t>(n);
        }
        return true;
    }

    // Reads until `count` bytes arrived, the peer closed, or the deadline passed.
    std::string Read(size_t count, int timeoutMs = 5000) {
        return ReadWhile(timeoutMs, [count](const std::string& out) {
            return out.size() < count ? count - out.size() : 0;
        });
    }
    // Reads until `marker` has arrived (returning everything up to and including it).
    std::string ReadUntil(const std::string& marker, int timeoutMs = 5000) {
        return ReadWhile(timeoutMs, [&marker](const std::string& out) -> size_t {
            return out.find(marker) == std::string::npos ? 1 : 0;
        });
    }
    // Everything until the peer closes (or the deadline).
    std::string ReadAll(int timeoutMs = 5000) { return Read(SIZE_MAX, timeoutMs); }
    // Whether the peer has closed the connection by the deadline.
    bool WaitClosed(int timeoutMs = 5000) {
        Read(SIZE_MAX, timeoutMs);
        return m_closed;
    }

private:
    // Reads while `want(out)` asks for more bytes (at most that many at once).
    template <class Want>
    std::string ReadWhile(int timeoutMs, Want want) {
        std::string out;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (size_t more = want(out); more > 0 && !m_closed; more = want(out)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd pfd{m_fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) {
                break;
            }
            char buffer[16384];
            const ssize_t n = ::recv(m_fd, buffer, std::min(sizeof buffer, more), 0);
            if (n <= 0) {
                m_closed = true;
                break;
            }
            out.append(buffer, static_cast<size_t>(n));
        }
        return out;
    }

    int m_fd = -1;
    bool m_closed = false;
};

}  // namespace orvanta::test
