// The engine's inside, on its own thread: the two listening sockets, the station (its source,
// its audio chain, its title) and every connection. Nothing here is touched from another
// thread; the controller talks to it through EngineStatus atomics and posted handlers.
#pragma once

#include "engine/engine_status.h"
#include "engine/log.h"
#include "engine/login_guard.h"
#include "engine/refusal_log.h"
#include "engine/session.h"
#include "engine/settings.h"
#include "engine/station.h"
#include "engine/tunables.h"

#include <asio.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

namespace orvanta::engine {

using asio::ip::tcp;

class DirectoryAnnouncer;
struct DirectoryTimings;

class Core {
public:
    Core(asio::io_context& io, EngineSettings settings, EngineStatus& status);
    ~Core();

    // Binds both ports; false (with the reason) when either cannot be bound.
    bool Bind(uint16_t port, std::string* error);
    void StartAccepting();
    // Starts registering with the directories the settings ask for; StartAccepting does, with
    // the protocol's timings. Once per engine start.
    void StartDirectories(const DirectoryTimings& timings);
    void CloseAll();

    asio::io_context& Io() { return m_io; }
    const EngineSettings& Settings() const { return m_settings; }
    void ApplySettings(EngineSettings settings);
    EngineStatus& Status() { return m_status; }
    uint16_t Port() const { return m_port; }
    Station& GetStation() { return m_station; }
    // The directory registrations, or null when the station registers nowhere.
    DirectoryAnnouncer* Directory() { return m_directory.get(); }

    // The station's log file, when logging is on; safe to call with it off.
    void Log(std::string_view text) { m_log.Write(text); }
    // A refusal of `address` (`what`: the request and the answer, safe for the log), written
    // at once or counted into one line per address per interval.
    void LogRefusal(const std::string& address, std::string_view what);

    // Logins (sources, title updates, private listeners) ask it before a password is checked.
    LoginGuard& Guard() { return m_guard; }

    void Register(Session* session) { m_sessions.insert(session); }
    void Unregister(Session* session) { m_sessions.erase(session); }
    bool Stopping() const { return m_stopping; }

private:
    void Accept(tcp::acceptor& acceptor, bool sourcePort);
    void OpenLog();
    // Writes the count lines of refusals whose interval has ended, every few seconds.
    void FlushRefusals();

    asio::io_context& m_io;
    EngineSettings m_settings;
    EngineStatus& m_status;
    EventLog m_log;
    LoginGuard m_guard;
    RefusalLog m_refusals;
    asio::steady_timer m_refusalTimer;
    tcp::acceptor m_listenAcceptor;
    tcp::acceptor m_sourceAcceptor;
    std::unordered_set<Session*> m_sessions;
    bool m_stopping = false;
    uint16_t m_port = 0;
    // After m_sessions: its registrations are sessions and leave that set when they go.
    std::unique_ptr<DirectoryAnnouncer> m_directory;
    // Declared last: its timer and listeners go before the rest.
    Station m_station;
};

// A connection before we know what it is: an HTTP request on the listen port (listener,
// source, title update, page), or a v1 source login on the source port.
void StartConnection(Core& core, tcp::socket socket, bool sourcePort);

}  // namespace orvanta::engine
