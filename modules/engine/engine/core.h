// The engine's inside, on its own thread: the two listening sockets, the station (its source,
// its audio chain, its title) and every connection. Nothing here is touched from another
// thread; the controller talks to it through EngineStatus atomics and posted handlers.
#pragma once

#include "engine/admin_sessions.h"
#include "engine/ban_list.h"
#include "engine/engine_status.h"
#include "engine/fallback.h"
#include "engine/handshake_gate.h"
#include "engine/log.h"
#include "engine/login_guard.h"
#include "engine/refusal_log.h"
#include "engine/reply.h"
#include "engine/report_runner.h"
#include "engine/request_context.h"
#include "engine/session.h"
#include "engine/settings.h"
#include "engine/station.h"
#include "engine/tls_context.h"
#include "engine/tunables.h"
#include "stats/stats_store.h"

#include <asio.hpp>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace orvanta::engine {

using asio::ip::tcp;

class DirectoryAnnouncer;
struct DirectoryTimings;

// What a port speaks: listeners and Icecast-style sources (plain or TLS, told apart by the
// first byte), SHOUTcast-v1 sources (plain only), or TLS only.
enum class PortKind { Listen, Source, TlsOnly };

class Core {
public:
    Core(asio::io_context& io, EngineSettings settings, EngineStatus& status);
    ~Core();

    // Binds both ports, and the TLS-only port when the settings name one; false (with the
    // reason) when either of the two cannot be bound (a TLS-only port that cannot is logged).
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
    // When the station began serving (its counters count from then).
    std::chrono::system_clock::time_point Started() const { return m_started; }
    uint16_t Port() const { return m_port; }
    Station& GetStation() { return m_station; }
    // What the station and the sessions get instead of the core.
    const EngineContext& Context() const { return m_context; }

    // The station's log file, when logging is on; safe to call with it off.
    void Log(std::string_view text) { m_log.Write(text); }
    // The log's last lines for the web console, and whether the station logs.
    std::vector<std::string> RecentLogLines() const { return m_log.RecentLines(); }
    bool LogOn() const { return m_log.IsOpen(); }
    // The console's Reload: SIGHUP to this process, whose console re-reads its configuration
    // on it (only when the settings say so), and when it was last asked.
    void AskReload(std::string_view by);
    int64_t ReloadAskedMs() const { return m_reloadAskedMs; }
    // A refusal of `address` (`what`: the request and the answer, safe for the log), written
    // at once or counted into one line per address per interval.
    void LogRefusal(const std::string& address, std::string_view what);

    // Every file the engine was told holds secrets or private data since it started (the
    // configuration, TLS files, log files), by path and, for what it wrote, by identity: the
    // content folder never serves them, whatever the settings say now.
    const std::vector<std::string>& PrivateFiles() const { return m_privateFiles; }
    std::vector<std::pair<uint64_t, uint64_t>> PrivateIdentities() const {
        return m_log.FilesWritten();
    }

    // Logins (sources, title updates, private listeners) ask it before a password is checked.
    LoginGuard& Guard() { return m_guard; }
    // A login from `address` held back, or a hold beginning (`what`: why, safe for the log):
    // one line per network (IPv4 /24, IPv6 /48) per interval and a count, as with refusals,
    // so guessing from thousands of addresses writes a few lines a minute.
    void LogHold(const std::string& address, std::string_view what);

    // The certificate new TLS connections get; null while TLS is off.
    std::shared_ptr<asio::ssl::context> TlsContext() const { return m_tls.Current(); }
    const TlsCertificates& Tls() const { return m_tls; }
    // A TLS handshake from `address` may begin, in `entry`: false when that address has too
    // many under way. When its network, or everyone together, has, the oldest of those is
    // dropped (its `dropped` runs) to make room: a flood of handshakes held open must neither
    // starve the streams nor shut out clients that complete theirs.
    bool BeginHandshake(HandshakeGate::Entry& entry, const std::string& address,
                        std::function<void()> dropped);
    void EndHandshake(HandshakeGate::Entry& entry) { m_handshakes.End(entry); }
    size_t HandshakesUnderWay() const { return m_handshakes.Pending(); }

    bool Stopping() const { return m_sessions.Stopping(); }

    static constexpr size_t kMaxPasswordChecks = 4;

    // Whether the operator banned `address`: every request from it is refused.
    bool Banned(const std::string& address) const {
        return m_bans.Banned(address, BanList::Clock::now());
    }
    // The bans, kept in the settings' bans file: changed by the web console, which saves them.
    BanList& Bans() { return m_bans; }
    // Writes the bans to their file; false, with the reason (logged too), when there is none or
    // it cannot be written.
    bool SaveBans(std::string* problem);

    // Source logins from `address` are refused for `span` from now (the console kicked its
    // source). Kept in memory only, and forgotten once over.
    void RefuseSource(const std::string& address, std::chrono::minutes span);
    bool SourceRefused(const std::string& address);
    std::vector<RefusedSource> SourceRefusals();
    // The listener counts (stream and HLS) of the last hour, one a minute, oldest first.
    std::vector<size_t> ListenersPerMinute() const {
        return {m_listenerHistory.begin(), m_listenerHistory.end()};
    }
    // The listening statistics, from StartAccepting on when the settings keep them; null
    // otherwise. Safe to hand records to from any thread.
    StatsStore* Stats() { return m_stats.get(); }
    // What an HLS client's departure hands back about it: its player family and whether it
    // came over TLS, packed into the byte HlsStream keeps per client.
    static uint8_t HlsClientTag(std::string_view userAgent, bool secure);

    // The web console's logged-in sessions: they last as long as the engine runs.
    AdminSessions& ConsoleSessions() { return m_consoleSessions; }
    // Checks `password` against the stored hash on a thread of its own (the hash is slow on
    // purpose), then runs `done` with the verdict on the event loop. False, with nothing run,
    // when kMaxPasswordChecks are under way already: a flood of logins waits its turn at the
    // door, not in the engine.
    bool CheckPassword(std::string storedHash, std::string password,
                       std::function<void(bool)> done);

    // Reports and exports of the statistics run two at a time, with a few more waiting; beyond
    // that the console answers "busy" rather than queue work nobody may wait for.
    static constexpr size_t kReportThreads = 2;
    static constexpr size_t kMaxReports = 6;
    // Runs `job` off the event loop with a reader of the statistics file, then `done` with its
    // answer on the loop. False, with nothing run, when kMaxReports are under way or waiting.
    bool RunReport(std::function<Reply(StatsReader&)> job, std::function<void(Reply)> done);

private:
    void Accept(tcp::acceptor& acceptor, PortKind kind);
    // Runs `again` on the loop after `delay` with `timer`, unless the engine is stopping: the
    // core's periodic chores each re-arm themselves this way.
    void After(asio::steady_timer& timer, std::chrono::steady_clock::duration delay,
               void (Core::*again)());
    // Looks at the certificate files again every tlsCheckInterval.
    void CheckCertificates();
    void OpenLog();
    // Adds the files the settings name as private to PrivateFiles.
    void RememberPrivateFiles();
    // Writes the count lines of refusals whose interval has ended, every few seconds.
    void FlushRefusals();
    // Notices the HLS clients that stopped fetching the playlist, every few seconds (sooner
    // with a listener window shorter than that), so each departure is logged without waiting
    // for a request or a status page.
    void SweepHls();
    // Counts a beat in the status every second, for as long as the event loop turns.
    void Beat();
    // The log line of an HLS client's departure.
    void HlsDeparted(const HlsVisit& visit);
    // Once a minute, counts the listeners by kind for the dashboard's chart and, when kept, the
    // statistics.
    void SampleListeners();
    void SampleAtNextMinute();
    // After a flood of handshakes, once it is over: the memory they took goes back to the
    // system instead of staying in the allocator's arenas.
    void TrimAfterHandshakeFlood();
    // Reads the bans file the settings name (at the start, and at each reload, so that a file
    // edited by hand applies then).
    void LoadBans();
    // The open-file limit in the log, and a warning when MaxClient asks for more.
    void LogOpenFileLimit();
    // The entries of [Admin] MetricsAllowFrom that are no address or network, once per list.
    void CheckMetricsAllowFrom(const std::string& before);
    // Opens the statistics store the settings ask for, in the state folder.
    void OpenStats();

    asio::io_context& m_io;
    EngineSettings m_settings;
    EngineStatus& m_status;
    std::chrono::system_clock::time_point m_started = std::chrono::system_clock::now();
    EventLog m_log;
    int64_t m_reloadAskedMs = 0;
    std::vector<std::string> m_privateFiles;
    LoginGuard m_guard;
    RefusalLog m_refusals;
    RefusalLog m_holds;
    asio::steady_timer m_refusalTimer;
    asio::steady_timer m_logTimer;  // the log follows settings once they have settled
    TlsCertificates m_tls;
    asio::steady_timer m_tlsTimer;
    asio::steady_timer m_beatTimer;
    asio::steady_timer m_hlsTimer;
    asio::steady_timer m_sampleTimer;
    std::deque<size_t> m_listenerHistory;
    uint64_t m_sentAtLastSample = 0;
    // Until when each address's source logins are refused.
    std::map<std::string, std::chrono::steady_clock::time_point, std::less<>> m_sourceRefusals;
    HandshakeGate m_handshakes;
    tcp::acceptor m_listenAcceptor;
    tcp::acceptor m_sourceAcceptor;
    tcp::acceptor m_tlsAcceptor;
    SessionRegister m_sessions;
    // Refers to the station below, which is built with it; before the directory, whose
    // registrations use it to the end.
    EngineContext m_context;
    uint16_t m_port = 0;
    std::string m_tlsBindProblem;
    // After m_sessions: its registrations are sessions and leave that set when they go.
    std::unique_ptr<DirectoryAnnouncer> m_directory;
    // The station's standby feeds; it lets go of them before they go.
    Fallbacks m_fallbacks{m_context};
    AdminSessions m_consoleSessions;
    BanList m_bans;
    size_t m_passwordChecks = 0;  // under way
    // Before the station, which records into it until it goes; written by a thread of its
    // own, which the store ends (after writing what is queued) when the core goes.
    std::unique_ptr<StatsStore> m_stats;
    // Declared last: its timer and listeners go before the rest.
    Station m_station;
    // Destroyed first: waits for a check still under way, whose answer then finds the loop
    // stopped (its work guard kept the loop running until then).
    asio::thread_pool m_checker{1};
    // Started at the first report; destroyed before the rest, as the checker.
    std::unique_ptr<ReportRunner> m_reports;
    size_t m_reportsUnderWay = 0;  // running or waiting
};

// A connection before we know what it is: an HTTP request on the listen port (listener,
// source, title update, page), or a v1 source login on the source port.
void StartConnection(Core& core, tcp::socket socket, PortKind kind);

}  // namespace orvanta::engine
