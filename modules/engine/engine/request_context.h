// What a request handler knows of the engine: the settings, the client, the station as plain
// values taken when the request came, and a narrow interface for the few things a handler does
// beyond answering (a title, the login guard, the log, handing the connection to a session).
// Handlers never see the core: they can be read, and tested, over these alone.
#pragma once

#include "engine/ban_list.h"
#include "engine/login_guard.h"
#include "engine/settings.h"
#include "hls/hls_stream.h"
#include "http/icy_login.h"
#include "stream/format_reader.h"
#include "web/content.h"
#include "web/station_snapshot.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta::engine {

struct RequestContext {
    const EngineSettings& settings;
    const std::string& address;  // the client's, for the log and the login guard
    bool secure = false;         // the request came over TLS
    uint16_t port = 0;           // the listen port, for addresses when the client gave no host
    // The station's one mount.
    bool hasSource = false;  // a live source
    bool playing = false;    // a live source or a fallback: listeners are served
    StreamFormat format = StreamFormat::Unknown;
    // What listeners are told (see Station::ContentType); null: the format's.
    const char* contentType = nullptr;
    const SourceInfo& info;
    const std::string& mount;
    size_t listeners = 0;
    const HlsStream& hls;
    // Files never served (see ContentFolder::privateFiles).
    const std::vector<std::string>& privateFiles;
    // After a handler asked for a password to be checked (Outcome::CheckPassword), whether it
    // was right; unset before.
    std::optional<bool> passwordChecked = std::nullopt;
};

// What /metrics shows: the engine's gauges and counters as of one request. Counters count from
// `started`, when the station began serving.
struct EngineMetrics {
    std::chrono::system_clock::time_point started;
    // Stream listeners now: those that asked for titles in the stream (ICY), and the others.
    size_t icyListeners = 0;
    size_t plainListeners = 0;
    // HLS clients as the status counts them (addresses that fetched the playlist lately).
    size_t hlsListeners = 0;
    size_t peakListeners = 0;
    uint64_t listenersJoined = 0;
    // Time listened by the listeners that left and by those still connected.
    std::chrono::steady_clock::duration listened{};
    uint64_t receivedBytes = 0;
    uint64_t sentBytes = 0;
    bool liveSource = false;
    uint64_t liveSourcesJoined = 0;
    uint64_t wrongPasswords = 0;
    uint64_t tlsHandshakes = 0;
    uint64_t tlsHandshakeFailures = 0;
    uint64_t hlsPlaylistRequests = 0;
    uint64_t hlsSegmentRequests = 0;
};

class AdminSessions;

class RequestActions {
public:
    virtual ~RequestActions() = default;

    // Station queries that copy, asked for only by the handlers that need them.
    virtual StationSnapshot Snapshot() const = 0;
    virtual std::shared_ptr<const std::string> StreamHeaders() const = 0;
    virtual std::vector<FileIdentity> PrivateIdentities() const = 0;
    // Who listens now.
    virtual std::vector<ListenerEntry> Listeners() const = 0;
    // The counters, for /metrics.
    virtual EngineMetrics Metrics() const = 0;

    // The login guard, for the request's address.
    virtual LoginGuard::Hold HeldFor() const = 0;
    virtual LoginGuard::Verdict Failed() = 0;
    virtual void Succeeded() = 0;
    // A hold for the log (one line per network per interval), and a refusal without an
    // answer (`what` safe for the log).
    virtual void LogHold(std::string_view what) = 0;
    virtual void LogRefusal(std::string_view what) = 0;

    virtual void SetTitle(std::string_view song, std::string_view url) = 0;
    // Closes the stream listener numbered `id` at once, the log saying it was kicked by `by`
    // (safe for the log); false when no such listener is connected.
    virtual bool Kick(uint64_t id, std::string_view by) = 0;
    // The bans in force, oldest first.
    virtual std::vector<BanList::Ban> Bans() const = 0;
    // Bans `target` (BanList::Valid) until `until` (Unix seconds; 0: for good), closing the
    // stream listeners it covers, and saves the bans; `by` (safe for the log) made it. "" when
    // saved, else why not (the ban holds until the engine stops).
    virtual std::string Ban(const std::string& target, int64_t until, std::string_view by) = 0;
    // Lifts the ban of `target`, as Ban saves; false (and nothing saved) when there is none.
    virtual bool Unban(const std::string& target, std::string_view by, std::string* problem) = 0;
    // Closes the live source's connection at once (the station falls back as when a source
    // leaves), the log saying `by` (safe for the log) kicked it; with `refuseMinutes` (up to
    // kMaxSourceRefusalMinutes) its address's source logins are refused that long, on every
    // source protocol. False when no source connection holds the station.
    virtual bool KickSource(std::string_view by, int refuseMinutes) = 0;
    // Whether the request's address is refused as a source now.
    virtual bool SourceRefused() = 0;
    // The source addresses refused now. Held in memory: a restart forgets them.
    virtual std::vector<RefusedSource> SourceRefusals() = 0;
    // The station's listeners (stream and HLS) counted once a minute, oldest first: the last
    // hour's at most.
    virtual std::vector<size_t> ListenersPerMinute() const = 0;
    // Whether the engine keeps listening statistics (reports read them).
    virtual bool StatsKept() const = 0;
    // When the certificate new TLS connections get expires (Unix seconds); 0 when TLS is off.
    virtual int64_t CertificateNotAfter() const = 0;
    // The web console's sessions, which live as long as the engine runs.
    virtual AdminSessions& ConsoleSessions() = 0;
    // A line in the station's log (`text` safe for it).
    virtual void Log(std::string_view text) = 0;
    // The log's last lines, oldest first (see EventLog::RecentLines), and whether it is on.
    virtual std::vector<std::string> RecentLogLines() const = 0;
    virtual bool LogOn() const = 0;
    // Has the console re-read its configuration, as SIGHUP does (only where the settings say
    // it re-reads on that signal), the log saying `by` (safe for it) asked; and when that was
    // last asked (milliseconds since 1970 UTC, 0 for never since the start).
    virtual void AskReload(std::string_view by) = 0;
    virtual int64_t ReloadAskedMs() const = 0;
    // The client (`userAgent` as sent; `secure`: over TLS) fetched the HLS playlist; a GET was
    // served a segment of `bytes`.
    virtual void PlaylistFetched(std::string_view userAgent, bool secure) = 0;
    virtual void SegmentServed(uint64_t bytes) = 0;
    // A request for an HLS playlist (`playlist`) or a segment, whatever it is answered.
    virtual void HlsAsked(bool playlist) = 0;

    // Hand the connection to a listener that is sent `head` first.
    virtual void StartListener(std::string head, bool icy, std::string userAgent, bool mmsh) = 0;
    // Hand the connection to a source, once `preface` (when not empty) has gone out; the bytes
    // that came after the request go with it.
    virtual void StartSource(std::string preface, StreamFormat format, SourceInfo info,
                             std::string mount, bool chunked) = 0;
};

}  // namespace orvanta::engine
