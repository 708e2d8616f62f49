// The request handlers' narrow view of the engine, over the core, for one request of one
// connection. Only the connection makes these; handlers see RequestContext and RequestActions.
#pragma once

#include "engine/request_context.h"

#include <functional>
#include <memory>
#include <string>

namespace orvanta::engine {

class Core;
class Transport;

class CoreActions final : public RequestActions {
public:
    // What a session does with the connection it is given: its transport, and the bytes that
    // came after the request.
    using Start = std::function<void(std::unique_ptr<Transport> transport, std::string pending)>;
    // The connection's part in handing itself over: `preface` goes out first (when not empty),
    // then `start` runs, unless the connection failed or closed meanwhile.
    using HandOver = std::function<void(std::string preface, Start start)>;

    CoreActions(Core& core, const std::string& address, HandOver handOver)
        : m_core(core), m_address(address), m_handOver(std::move(handOver)) {}

    // The facts of this request and of the station as they are now.
    RequestContext Context(bool secure) const;

    StationSnapshot Snapshot() const override;
    std::shared_ptr<const std::string> StreamHeaders() const override;
    std::vector<FileIdentity> PrivateIdentities() const override;
    std::vector<ListenerEntry> Listeners() const override;
    EngineMetrics Metrics() const override;
    LoginGuard::Hold HeldFor() const override;
    LoginGuard::Verdict Failed() override;
    void Succeeded() override;
    void LogHold(std::string_view what) override;
    void LogRefusal(std::string_view what) override;
    bool Kick(uint64_t id, std::string_view by) override;
    std::vector<BanList::Ban> Bans() const override;
    std::string Ban(const std::string& target, int64_t until, std::string_view by) override;
    bool Unban(const std::string& target, std::string_view by, std::string* problem) override;
    void SetTitle(std::string_view song, std::string_view url) override;
    AdminSessions& ConsoleSessions() override;
    bool KickSource(std::string_view by, int refuseMinutes) override;
    bool SourceRefused() override;
    std::vector<RefusedSource> SourceRefusals() override;
    std::vector<size_t> ListenersPerMinute() const override;
    int64_t CertificateNotAfter() const override;
    bool StatsKept() const override;
    void Log(std::string_view text) override;
    std::vector<std::string> RecentLogLines() const override;
    bool LogOn() const override;
    void AskReload(std::string_view by) override;
    int64_t ReloadAskedMs() const override;
    void PlaylistFetched(std::string_view userAgent, bool secure) override;
    void SegmentServed(uint64_t bytes) override;
    void HlsAsked(bool playlist) override;
    void StartListener(std::string head, bool icy, std::string userAgent, bool mmsh) override;
    void StartSource(std::string preface, StreamFormat format, SourceInfo info, std::string mount,
                     bool chunked) override;

private:
    Core& m_core;
    const std::string& m_address;
    HandOver m_handOver;
};

}  // namespace orvanta::engine
