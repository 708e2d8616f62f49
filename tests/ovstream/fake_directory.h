// A YP directory on 127.0.0.1 for tests: one thread, answering each request with what the
// test's responder says, and remembering every request with its form fields.
#pragma once

#include "http/request.h"
#include "ovstream/test_client.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace orvanta::engine {

// A directory answer: the status line, the given YP headers and a body that must be ignored.
inline std::string Yp(const std::string& headers) {
    return "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n" + headers + "\r\n<html>ok</html>";
}
inline const std::string kAdded =
    Yp("YPResponse: 1\r\nYPMessage: Successfully Added\r\nSID: 123.45\r\n"
       "TouchFreq: 60\r\n");
// The same from the other directory, which has its own SIDs.
inline const std::string kAddedElsewhere = Yp("YPResponse: 1\r\nSID: 999\r\nTouchFreq: 60\r\n");
inline const std::string kOk = Yp("YPResponse: 1\r\nYPMessage: Ok\r\n");
// Accepts the connection, reads the request and never answers.
inline const std::string kHang;

struct YpRequest {
    std::string head;
    std::map<std::string, std::string> form;
    std::chrono::steady_clock::time_point at;
};

// A one-thread YP directory: answers each request with what the responder says.
class FakeDirectory {
public:
    using Responder = std::function<std::string(const YpRequest&)>;

    FakeDirectory() {
        m_fd = test::LoopbackSocket(m_port, 16);
        m_thread = std::thread([this] { Serve(); });
    }
    ~FakeDirectory() {
        ::shutdown(m_fd, SHUT_RDWR);  // ends the accept
        m_thread.join();
        for (const int fd : m_hung) {
            ::close(fd);
        }
        ::close(m_fd);
    }

    uint16_t Port() const { return m_port; }
    void Answer(Responder responder) {
        std::lock_guard lock(m_mutex);
        m_responder = std::move(responder);
    }
    // These answers in turn, then kOk.
    void Script(std::vector<std::string> answers) {
        auto next = std::make_shared<size_t>(0);
        Answer([answers = std::move(answers), next](const YpRequest&) {
            return *next < answers.size() ? answers[(*next)++] : kOk;
        });
    }
    // Waits until `count` requests arrived; all of them so far.
    std::vector<YpRequest> WaitFor(size_t count,
                                   std::chrono::milliseconds timeout = std::chrono::seconds(3)) {
        std::unique_lock lock(m_mutex);
        m_arrived.wait_for(lock, timeout, [&] { return m_requests.size() >= count; });
        return m_requests;
    }

private:
    void Serve() {
        for (int client; (client = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
            YpRequest request = ReadRequest(client);
            std::string reply;
            {
                std::lock_guard lock(m_mutex);
                reply = m_responder ? m_responder(request) : kOk;
                m_requests.push_back(request);
            }
            m_arrived.notify_all();
            if (reply.empty()) {
                m_hung.push_back(client);
                continue;
            }
            ::send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
            ::close(client);
        }
    }

    // The head, and the form in a body of Content-Length bytes; whatever came within a second.
    static YpRequest ReadRequest(int fd) {
        const timeval second{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &second, sizeof second);
        YpRequest request;
        std::string data;
        char buffer[4096];
        size_t wanted = SIZE_MAX;
        for (ssize_t n = 0;
             data.size() < wanted && (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
            data.append(buffer, static_cast<size_t>(n));
            const size_t end = data.find("\r\n\r\n");
            if (end != std::string::npos && request.head.empty()) {
                request.head = data.substr(0, end + 4);
                const size_t length = request.head.find("Content-Length: ");
                wanted =
                    end + 4 +
                    (length == std::string::npos ? 0
                                                 : std::stoul(request.head.substr(length + 16)));
            }
        }
        for (auto& [name, value] : ParseQuery(data.substr(request.head.size()))) {
            request.form.emplace(name, value);
        }
        request.at = std::chrono::steady_clock::now();
        return request;
    }

    int m_fd = -1;
    uint16_t m_port = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    Responder m_responder;
    std::vector<YpRequest> m_requests;
    std::vector<int> m_hung;  // only touched by the serving thread until it is joined
};

}  // namespace orvanta::engine
