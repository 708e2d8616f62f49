#include "engine/engine.h"

#include "base/ports.h"
#include "engine/core.h"

#include <signal.h>

namespace orvanta::engine {

// Everything that exists only between Start and Stop. The event loop runs until Stop closes
// every socket and timer and the last handler has run, so nothing still points into the core
// when it goes, before the event loop it was built on.
struct Engine::Running {
    asio::io_context io{1};
    std::unique_ptr<Core> core;
    std::thread thread;
};

Engine::Engine() : m_status(std::make_unique<EngineStatus>()) {}

Engine::~Engine() {
    Stop();
}

bool Engine::Start(int32_t port, const EngineSettings& settings, std::string* error) {
    if (m_running) {
        if (error != nullptr) {
            *error = "already running";
        }
        return false;
    }
    if (!IsUsableListenPort(port)) {
        if (error != nullptr) {
            *error = "port " + std::to_string(port) + " is not a usable port";
        }
        return false;
    }
    auto running = std::make_unique<Running>();
    running->core = std::make_unique<Core>(running->io, settings, *m_status);
    if (!running->core->Bind(static_cast<uint16_t>(port), error)) {
        return false;
    }
    m_status->listeners = 0;
    m_status->sourceConnected = 0;
    m_status->fallback = 0;
    m_status->receivedBytes = 0;
    m_status->sentBytes = 0;
    m_status->hlsPlaylistRequests = 0;
    m_status->hlsSegmentRequests = 0;
    m_status->tlsHandshakes = 0;
    m_status->tlsHandshakeFailures = 0;
    running->core->StartAccepting();
    Running* raw = running.get();
    running->thread = std::thread([raw] {
        // A listener that vanishes mid-write must not kill the program that loaded us.
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &set, nullptr);
        raw->io.run();
    });
    m_running = std::move(running);
    return true;
}

void Engine::Stop() {
    if (!m_running) {
        return;
    }
    Running* raw = m_running.get();
    asio::post(raw->io, [raw] { raw->core->CloseAll(); });
    raw->thread.join();
    m_running.reset();
    m_status->listeners = 0;
    m_status->sourceConnected = 0;
    m_status->fallback = 0;
}

bool Engine::IsRunning() const {
    return m_running != nullptr;
}

void Engine::UpdateSettings(const EngineSettings& settings) {
    if (!m_running) {
        return;
    }
    Core* core = m_running->core.get();
    asio::post(m_running->io, [core, settings] { core->ApplySettings(settings); });
}

int32_t Engine::ListenerCount() const {
    return m_status->listeners.load(std::memory_order_relaxed);
}

bool Engine::SourceConnected() const {
    return m_status->sourceConnected.load(std::memory_order_relaxed) != 0;
}

int32_t Engine::Fallback() const {
    return m_status->fallback.load(std::memory_order_relaxed);
}

uint64_t Engine::LoopBeats() const {
    return m_status->loopBeats.load(std::memory_order_relaxed);
}

uint64_t Engine::ReceivedBytes() const {
    return m_status->receivedBytes.load(std::memory_order_relaxed);
}

uint64_t Engine::SentBytes() const {
    return m_status->sentBytes.load(std::memory_order_relaxed);
}

uint64_t Engine::HlsSegmentsServed() const {
    return m_status->hlsSegmentsServed.load(std::memory_order_relaxed);
}

}  // namespace orvanta::engine
