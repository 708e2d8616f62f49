#include "engine/core_actions.h"

#include "engine/core.h"
#include "engine/listener.h"
#include "engine/source.h"
#include "stats/player_family.h"

#include <algorithm>

namespace orvanta::engine {

RequestContext CoreActions::Context(bool secure) const {
    Station& station = m_core.GetStation();
    return RequestContext{
        .settings = m_core.Settings(),
        .address = m_address,
        .secure = secure,
        .port = m_core.Port(),
        .hasSource = station.HasSource(),
        .playing = station.Playing() != Feed::None,
        .format = station.Format(),
        .contentType = station.ContentType(),
        .info = station.Info(),
        .mount = station.Mount(),
        .listeners = station.ListenerCount(),
        .hls = station.Hls(),
        .privateFiles = m_core.PrivateFiles(),
    };
}

AdminSessions& CoreActions::ConsoleSessions() {
    return m_core.ConsoleSessions();
}

void CoreActions::Log(std::string_view text) {
    m_core.Log(text);
}

std::vector<std::string> CoreActions::RecentLogLines() const {
    return m_core.RecentLogLines();
}

bool CoreActions::LogOn() const {
    return m_core.LogOn();
}

void CoreActions::AskReload(std::string_view by) {
    m_core.AskReload(by);
}

int64_t CoreActions::ReloadAskedMs() const {
    return m_core.ReloadAskedMs();
}

StationSnapshot CoreActions::Snapshot() const {
    return m_core.GetStation().Snapshot();
}

std::shared_ptr<const std::string> CoreActions::StreamHeaders() const {
    return m_core.GetStation().Headers();
}

std::vector<FileIdentity> CoreActions::PrivateIdentities() const {
    std::vector<FileIdentity> identities;
    for (const auto& [device, inode] : m_core.PrivateIdentities()) {
        identities.push_back(FileIdentity{device, inode});
    }
    return identities;
}

std::vector<ListenerEntry> CoreActions::Listeners() const {
    std::vector<ListenerEntry> entries;
    const auto now = std::chrono::steady_clock::now();
    for (const StationListener* listener : m_core.GetStation().Listeners()) {
        entries.push_back(
            {listener->Address(), listener->UserAgent(),
             std::chrono::duration_cast<std::chrono::seconds>(now - listener->Since()).count(),
             listener->Id(), listener->BytesSent(), listener->Icy(), listener->Secure(),
             IsRelayAgent(listener->UserAgent())});
    }
    // In the order they joined, which their numbers follow.
    std::sort(entries.begin(), entries.end(),
              [](const ListenerEntry& a, const ListenerEntry& b) { return a.id < b.id; });
    return entries;
}

EngineMetrics CoreActions::Metrics() const {
    const Station& station = m_core.GetStation();
    const EngineStatus& status = m_core.Status();
    const auto now = std::chrono::steady_clock::now();
    EngineMetrics metrics;
    metrics.started = m_core.Started();
    metrics.listened = station.ListenedByLeavers();
    for (const StationListener* listener : station.Listeners()) {
        ++(listener->Icy() ? metrics.icyListeners : metrics.plainListeners);
        metrics.listened += now - listener->Since();
    }
    metrics.hlsListeners = m_core.GetStation().Hls().Listeners(now);
    metrics.peakListeners = station.PeakListeners();
    metrics.listenersJoined = station.ListenersJoined();
    metrics.receivedBytes = status.receivedBytes.load(std::memory_order_relaxed);
    metrics.sentBytes = status.sentBytes.load(std::memory_order_relaxed);
    metrics.liveSource = station.HasSource();
    metrics.liveSourcesJoined = station.LiveSourcesJoined();
    metrics.wrongPasswords = m_core.Guard().WrongPasswords();
    metrics.tlsHandshakes = status.tlsHandshakes.load(std::memory_order_relaxed);
    metrics.tlsHandshakeFailures = status.tlsHandshakeFailures.load(std::memory_order_relaxed);
    metrics.hlsPlaylistRequests = status.hlsPlaylistRequests.load(std::memory_order_relaxed);
    metrics.hlsSegmentRequests = status.hlsSegmentRequests.load(std::memory_order_relaxed);
    return metrics;
}

LoginGuard::Hold CoreActions::HeldFor() const {
    return m_core.Guard().HeldFor(m_address, LoginGuard::Clock::now());
}

LoginGuard::Verdict CoreActions::Failed() {
    return m_core.Guard().Failed(m_address, LoginGuard::Clock::now());
}

void CoreActions::Succeeded() {
    m_core.Guard().Succeeded(m_address, LoginGuard::Clock::now());
}

void CoreActions::LogHold(std::string_view what) {
    m_core.LogHold(m_address, what);
}

void CoreActions::LogRefusal(std::string_view what) {
    m_core.LogRefusal(m_address, what);
}

bool CoreActions::Kick(uint64_t id, std::string_view by) {
    return m_core.GetStation().CloseListener(id, "kicked by " + std::string(by));
}

std::vector<BanList::Ban> CoreActions::Bans() const {
    return m_core.Bans().InForce(BanList::Clock::now());
}

std::string CoreActions::Ban(const std::string& target, int64_t until, std::string_view by) {
    m_core.Bans().Add(target, until);
    const int64_t minutes = (until - BanList::UnixSeconds(BanList::Clock::now()) + 59) / 60;
    m_core.Log(
        "Banned " + LogSafe(target) +
        (until == 0 ? std::string(" for good") : " for " + std::to_string(minutes) + " min") +
        " by " + std::string(by));
    // Who is banned is refused from now on, and who listens from there now goes.
    const BanList::Ban ban{target, until};
    std::vector<uint64_t> covered;
    for (const StationListener* listener : m_core.GetStation().Listeners()) {
        if (BanList::Covers(ban, listener->Address())) {
            covered.push_back(listener->Id());
        }
    }
    const std::string why = "banned by " + std::string(by);
    for (const uint64_t id : covered) {
        m_core.GetStation().CloseListener(id, why);
    }
    std::string problem;
    m_core.SaveBans(&problem);
    return problem;
}

bool CoreActions::Unban(const std::string& target, std::string_view by, std::string* problem) {
    if (!m_core.Bans().Remove(target)) {
        return false;
    }
    m_core.Log("Ban of " + LogSafe(target) + " lifted by " + std::string(by));
    m_core.SaveBans(problem);
    return true;
}

bool CoreActions::KickSource(std::string_view by, int refuseMinutes) {
    Station& station = m_core.GetStation();
    if (station.LiveSource() == nullptr) {
        return false;
    }
    // Copied: the close below lets go of the source.
    const std::string address = station.LiveSource()->Address();
    if (refuseMinutes > 0) {
        // Before the close: an encoder that reconnects at once finds the door shut already.
        m_core.RefuseSource(address, std::chrono::minutes(refuseMinutes));
        m_core.Log("Source logins from " + address + " refused for " +
                   std::to_string(refuseMinutes) + " min by " + std::string(by));
    }
    station.CloseLiveSource("kicked by " + std::string(by));
    return true;
}

bool CoreActions::SourceRefused() {
    return m_core.SourceRefused(m_address);
}

std::vector<RefusedSource> CoreActions::SourceRefusals() {
    return m_core.SourceRefusals();
}

std::vector<size_t> CoreActions::ListenersPerMinute() const {
    return m_core.ListenersPerMinute();
}

bool CoreActions::StatsKept() const {
    return m_core.Stats() != nullptr;
}

int64_t CoreActions::CertificateNotAfter() const {
    return m_core.TlsContext() ? static_cast<int64_t>(m_core.Tls().Facts().notAfter) : 0;
}

void CoreActions::SetTitle(std::string_view song, std::string_view url) {
    m_core.GetStation().SetTitle(song, url);
}

void CoreActions::PlaylistFetched(std::string_view userAgent, bool secure) {
    // A player polls the playlist every few seconds: the log hears of its first fetch only,
    // and of its departure once it stops (Core::HlsDeparted), which is one listening session.
    if (m_core.GetStation().Hls().PlaylistFetched(m_address, std::chrono::steady_clock::now(),
                                                  userAgent,
                                                  Core::HlsClientTag(userAgent, secure))) {
        m_core.Log("HLS listener from " + m_address + " (" + LogSafe(userAgent) + ")");
    }
}

void CoreActions::SegmentServed(uint64_t bytes) {
    m_core.Status().hlsSegmentsServed.fetch_add(1, std::memory_order_relaxed);
    m_core.GetStation().Hls().SegmentServed(m_address, std::chrono::steady_clock::now(), bytes);
}

void CoreActions::HlsAsked(bool playlist) {
    (playlist ? m_core.Status().hlsPlaylistRequests : m_core.Status().hlsSegmentRequests)
        .fetch_add(1, std::memory_order_relaxed);
}

void CoreActions::StartListener(std::string head, bool icy, std::string userAgent, bool mmsh) {
    const EngineContext& engine = m_core.Context();
    m_handOver({}, [&engine, head = std::move(head), icy, userAgent = std::move(userAgent), mmsh](
                       std::unique_ptr<Transport> transport, std::string) mutable {
        auto listener = std::make_shared<ListenerSession>(
            engine, std::move(transport), std::move(head), icy, std::move(userAgent), mmsh);
        listener->Start();
    });
}

void CoreActions::StartSource(std::string preface, StreamFormat format, SourceInfo info,
                              std::string mount, bool chunked) {
    const EngineContext& engine = m_core.Context();
    m_handOver(std::move(preface),
               [&engine, format, info = std::move(info), mount = std::move(mount), chunked](
                   std::unique_ptr<Transport> transport, std::string pending) mutable {
                   auto source = std::make_shared<SourceSession>(
                       engine, std::move(transport), std::move(pending), format, std::move(info),
                       std::move(mount), chunked);
                   source->Start();
               });
}

}  // namespace orvanta::engine
