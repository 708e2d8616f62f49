// The streaming engine as the controller sees it: start on a port, stop, change settings,
// read the counters. The engine runs one event loop on a thread of its own.
#pragma once

#include "engine/settings.h"

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace orvanta::engine {

struct EngineStatus;
class Core;

class Engine {
public:
    Engine();
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Binds `port` (listeners, Icecast-style sources) and `port + 1` (SHOUTcast-v1 sources)
    // now, on the calling thread, then starts serving. False, with nothing left open, when
    // either port cannot be bound or the engine already runs.
    bool Start(int32_t port, const EngineSettings& settings, std::string* error = nullptr);
    // Closes every connection and both ports, and waits for the engine's thread.
    void Stop();
    bool IsRunning() const;
    // Settings that change while the engine runs take effect at once.
    void UpdateSettings(const EngineSettings& settings);

    // Safe from any thread at any time.
    int32_t ListenerCount() const;
    bool SourceConnected() const;
    // What plays without a source: 0 nothing, 1 the fallback file, 2 the fallback stream.
    int32_t Fallback() const;
    uint64_t ReceivedBytes() const;
    uint64_t SentBytes() const;
    // HLS segments the engine itself served (not the copies caches in front served).
    uint64_t HlsSegmentsServed() const;
    // The event loop's beats (EngineStatus::loopBeats): a number that grows while it turns.
    uint64_t LoopBeats() const;

private:
    struct Running;
    std::unique_ptr<EngineStatus> m_status;
    std::unique_ptr<Running> m_running;
};

}  // namespace orvanta::engine
