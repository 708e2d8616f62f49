// What the station and its sessions reach of the engine, handed to them instead of the core: the
// engine thread's event loop, the settings as they are now, the counters the controller reads,
// the log, the register of open sessions and the station. The core owns each of these and keeps
// one EngineContext for its whole life; nothing that takes one knows the core.
#pragma once

#include "engine/engine_status.h"
#include "engine/log.h"
#include "engine/settings.h"

#include <asio/io_context.hpp>

#include <unordered_set>

namespace orvanta::engine {

class Session;
class Station;

// Every session open now, so stopping the engine reaches each one.
class SessionRegister {
public:
    void Add(Session* session) { m_sessions.insert(session); }
    void Remove(Session* session) { m_sessions.erase(session); }
    size_t Count() const { return m_sessions.size(); }

    // From now on the engine is stopping: nothing new is started, timers are not armed again.
    void BeginStopping() { m_stopping = true; }
    bool Stopping() const { return m_stopping; }
    // Closes every session still open. A session closing may end others, which are then not
    // closed twice.
    void CloseAll();

private:
    std::unordered_set<Session*> m_sessions;
    bool m_stopping = false;
};

struct EngineContext {
    asio::io_context& io;
    // Replaced in place when the console applies new settings: read it when needed, keep no
    // copy of what may change.
    const EngineSettings& settings;
    EngineStatus& status;
    EventLog& log;
    SessionRegister& sessions;
    Station& station;
};

}  // namespace orvanta::engine
