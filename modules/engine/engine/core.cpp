#include "engine/core.h"

#include "base/credentials.h"
#include "base/ports.h"
#include "engine/address_list.h"
#include "engine/directory.h"
#include "engine/relay.h"
#include "engine/transcoder.h"
#include "stats/geo_lookup.h"
#include "stats/player_family.h"
#include "stream/format_table.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <malloc.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

namespace orvanta::engine {

namespace {
// Networks whose held-back logins get lines of their own each interval; beyond them they are
// counted together. Fewer than addresses have for refusals: a guesser spread over many
// networks is one story, told in a line.
constexpr size_t kMaxHoldNetworks = 64;
// The listener history the dashboard draws: one count a minute for an hour.
constexpr auto kListenerSampleInterval = std::chrono::minutes(1);
constexpr size_t kListenerSamples = 60;

// The bits of an HLS client's tag beside its player family.
constexpr uint8_t kHlsTagSecure = 0x80;
constexpr uint8_t kHlsTagFamily = 0x7f;
}  // namespace

bool EngineSettings::AcceptsSource(StreamFormat format) const {
    if (transcoder) {
        return transcoder->Accepts(format);
    }
    return InfoOf(format).direct;
}

Core::Core(asio::io_context& io, EngineSettings settings, EngineStatus& status)
    : m_io(io),
      m_settings(std::move(settings)),
      m_status(status),
      m_holds(kMaxHoldNetworks, "Holding back logins from "),
      m_refusalTimer(io),
      m_logTimer(io),
      m_tls([this](const std::string& line) { Log(line); }),
      m_tlsTimer(io),
      m_beatTimer(io),
      m_hlsTimer(io),
      m_sampleTimer(io),
      m_listenAcceptor(io),
      m_sourceAcceptor(io),
      m_tlsAcceptor(io),
      m_context{m_io, m_settings, m_status, m_log, m_sessions, m_station},
      m_station(m_context) {
    RememberPrivateFiles();
    OpenLog();
    LoadBans();
    m_station.Hls().SetListenerWindow(m_settings.hlsListenerWindow);
    m_station.Hls().OnDeparture([this](const HlsVisit& visit) { HlsDeparted(visit); });
}

Core::~Core() = default;

void Core::RememberPrivateFiles() {
    // A handful of names per settings change, kept for the engine's life: what it was once
    // told is private stays so after the settings name other files.
    constexpr size_t kMaxPrivateFiles = 256;
    std::vector<std::string> named = m_settings.privateFiles;
    named.insert(named.end(), {m_settings.tlsCertificate, m_settings.tlsPrivateKey,
                               m_settings.tlsTrustedCertificates, m_settings.bansFile});
    if (!m_settings.logDirectory.empty() && !m_settings.logFileName.empty()) {
        named.push_back(m_settings.logDirectory + "/" + m_settings.logFileName);
    }
    for (std::string& file : named) {
        if (!file.empty() && m_privateFiles.size() < kMaxPrivateFiles &&
            std::find(m_privateFiles.begin(), m_privateFiles.end(), file) == m_privateFiles.end()) {
            m_privateFiles.push_back(std::move(file));
        }
    }
}

void Core::OpenLog() {
    // The console names a folder and a file only when the station logs.
    if (!m_settings.logDirectory.empty() && !m_settings.logFileName.empty()) {
        m_log.Open(m_settings.logDirectory, m_settings.logFileName);
    } else {
        m_log.Open("", "");
    }
}

void Core::AskReload(std::string_view by) {
    if (!m_settings.reloadBySignal) {
        return;  // a console that does not re-read on SIGHUP would end on it
    }
    m_reloadAskedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
    Log("Web console: " + std::string(by) + " asked for a reload");
    // To the process, not this thread: the console's thread waits for it, and every other
    // thread of the console blocks it.
    ::kill(::getpid(), SIGHUP);
}

void Core::LoadBans() {
    if (m_settings.bansFile.empty()) {
        return;  // none named: the bans made since the start stay
    }
    std::string problem;
    size_t skipped = 0;
    if (!m_bans.Load(m_settings.bansFile, &problem, &skipped)) {
        Log("Bans not read: " + LogSafe(problem) + "; the bans in force are kept");
        return;
    }
    if (skipped > 0) {
        Log("Bans file " + LogSafe(m_settings.bansFile) + ": " + std::to_string(skipped) +
            " line(s) that are no ban left out");
    }
}

bool Core::SaveBans(std::string* problem) {
    std::string reason = "no bans file is set: the bans last until the engine stops";
    if (!m_settings.bansFile.empty() &&
        m_bans.Save(m_settings.bansFile, BanList::Clock::now(), &reason)) {
        return true;
    }
    Log("Bans not saved: " + LogSafe(reason));
    if (problem != nullptr) {
        *problem = std::move(reason);
    }
    return false;
}

void Core::CheckMetricsAllowFrom(const std::string& before) {
    // The list is read afresh by every /metrics request; what it cannot use is said once.
    if (m_settings.metricsAllowFrom == before) {
        return;
    }
    const AddressList list = AddressList::Parse(m_settings.metricsAllowFrom);
    if (list.Rejected().empty()) {
        return;
    }
    std::string entries;
    for (const std::string& entry : list.Rejected()) {
        entries += (entries.empty() ? "\"" : ", \"") + LogSafe(entry) + "\"";
    }
    Log("[Admin] MetricsAllowFrom: ignored " + entries +
        ": not an address or a network (address/prefix length)");
}

void Core::LogRefusal(const std::string& address, std::string_view what) {
    const std::string line = m_refusals.Refused(address, what, RefusalLog::Clock::now());
    if (!line.empty()) {
        Log(line);
    }
}

void Core::LogHold(const std::string& address, std::string_view what) {
    const auto networks = LoginGuard::NetworksOf(address);
    const std::string line = m_holds.Refused(networks.empty() ? address : networks.front().key,
                                             what, RefusalLog::Clock::now());
    if (!line.empty()) {
        Log(line);
    }
}

void Core::FlushRefusals() {
    TrimAfterHandshakeFlood();
    const auto now = RefusalLog::Clock::now();
    for (const std::string& line : m_refusals.Due(now, m_sessions.Stopping())) {
        Log(line);
    }
    for (const std::string& line : m_holds.Due(now, m_sessions.Stopping())) {
        Log(line);
    }
    After(m_refusalTimer, std::chrono::seconds(5), &Core::FlushRefusals);
}

bool Core::BeginHandshake(HandshakeGate::Entry& entry, const std::string& address,
                          std::function<void()> dropped) {
    return m_handshakes.Begin(entry, address, m_settings.handshakeLimits, std::move(dropped));
}

void Core::TrimAfterHandshakeFlood() {
    // Over means next to nothing under way: a busy station is rarely at none.
    if (m_handshakes.Pending() * 4 < kHandshakesWorthATrim &&
        m_handshakes.Peak() >= kHandshakesWorthATrim) {
        m_handshakes.ForgetPeak();
        ::malloc_trim(0);
    }
}

void Core::HlsDeparted(const HlsVisit& visit) {
    using std::chrono::duration_cast;
    using std::chrono::seconds;
    const auto window = duration_cast<seconds>(m_station.Hls().ListenerWindow()).count();
    const std::string why = m_sessions.Stopping()
                                ? "server stopping"
                                : "no playlist fetch for " + std::to_string(window) + " s";
    Log("HLS listener from " + visit.address + " left after " +
        std::to_string(duration_cast<seconds>(visit.stayed).count()) + " s, " +
        std::to_string(visit.segments) + (visit.segments == 1 ? " segment (" : " segments (") +
        why + ")");
    // A client served no segment (a status check, a player that gave up) listened to nothing.
    if (m_stats == nullptr || visit.segments == 0) {
        return;
    }
    ListenerSessionRecord record;
    // It left with its last request, noticed only once the listener window had passed.
    record.end = StatsNow() -
                 duration_cast<seconds>(std::chrono::steady_clock::now() - visit.lastSeen).count();
    record.start = record.end - duration_cast<seconds>(visit.stayed).count();
    record.bytes = visit.bytes;
    record.kind = ListenerKind::Hls;
    record.tls = (visit.tag & kHlsTagSecure) != 0;
    record.player = PlayerFamilyName(static_cast<PlayerFamily>(visit.tag & kHlsTagFamily));
    record.address = visit.address;
    m_stats->Record(std::move(record));
}

uint8_t Core::HlsClientTag(std::string_view userAgent, bool secure) {
    const auto family = static_cast<uint8_t>(PlayerFamilyOf(userAgent));
    return static_cast<uint8_t>((family & kHlsTagFamily) | (secure ? kHlsTagSecure : 0));
}

void Core::OpenStats() {
    // The console names one state folder for the engine, through the bans file beside the
    // configuration; the statistics live beside that file rather than a second option naming
    // the same folder again.
    std::string folder = m_settings.statsFolder;
    if (folder.empty() && !m_settings.bansFile.empty()) {
        folder = std::filesystem::path(m_settings.bansFile).parent_path().string();
    }
    if (!m_settings.statsEnabled || folder.empty()) {
        return;
    }
    StatsStore::Options options;
    options.folder = folder;
    options.keepDays = m_settings.statsKeepDays;
    options.fullAddresses = m_settings.statsFullAddresses;
    options.retryInterval = m_settings.statsRetryInterval;
    if (const std::string& path = m_settings.statsGeoIpDatabase; !path.empty()) {
        std::string why;
        // Shared with the store's writer thread, which looks countries up as it writes.
        std::shared_ptr<const GeoLookup> countries = GeoLookup::Open(path, &why);
        if (countries != nullptr) {
            options.countryOf = [countries](const std::string& address) {
                return countries->Country(address);
            };
        } else {
            Log("Countries not recorded: " + path + ": " + why);
        }
    }
    // The log takes lines from any thread.
    options.log = [this](const std::string& line) { Log(line); };
    m_stats = std::make_unique<StatsStore>(std::move(options));
    m_station.KeepStats(m_stats.get());
    m_privateFiles.push_back(m_stats->FilePath());
}

void Core::SweepHls() {
    m_station.Hls().Listeners(std::chrono::steady_clock::now());
    After(m_hlsTimer,
          std::clamp<std::chrono::milliseconds>(m_station.Hls().ListenerWindow(),
                                                std::chrono::milliseconds(100),
                                                std::chrono::seconds(5)),
          &Core::SweepHls);
}

void Core::Beat() {
    m_status.loopBeats.fetch_add(1, std::memory_order_relaxed);
    After(m_beatTimer, std::chrono::seconds(1), &Core::Beat);
}

void Core::SampleListeners() {
    // The minute that just ended, by kind: one walk of the listeners a minute.
    MinuteSample sample;
    for (const StationListener* listener : m_station.Listeners()) {
        ++(IsRelayAgent(listener->UserAgent()) ? sample.relay
           : listener->Icy()                   ? sample.icy
                                               : sample.stream);
    }
    sample.hls = static_cast<uint32_t>(m_station.Hls().Listeners(std::chrono::steady_clock::now()));
    m_listenerHistory.push_back(size_t{sample.stream} + sample.icy + sample.relay + sample.hls);
    while (m_listenerHistory.size() > kListenerSamples) {
        m_listenerHistory.pop_front();
    }
    const uint64_t sent = m_status.sentBytes.load(std::memory_order_relaxed);
    if (StatsStore* stats = Stats()) {
        // Rounded: the timer may wake a hair before the minute it was set for.
        sample.minute = (StatsNow() + 30) / 60 * 60 - 60;
        sample.bytesOut = sent - m_sentAtLastSample;
        sample.sourceOnAir = m_station.HasSource();
        sample.feed = FeedName(m_station.Playing());
        stats->RecordSample(std::move(sample));
    }
    m_sentAtLastSample = sent;
    SampleAtNextMinute();
}

void Core::SampleAtNextMinute() {
    // On the clock's whole minutes, so that each sample is the minute it is stored as.
    const auto now = std::chrono::system_clock::now();
    const auto next = std::chrono::floor<std::chrono::minutes>(now) + kListenerSampleInterval;
    After(m_sampleTimer, next - now, &Core::SampleListeners);
}

void Core::RefuseSource(const std::string& address, std::chrono::minutes span) {
    SourceRefusals();  // the ones that ended go first: the table holds only what is in force
    m_sourceRefusals[address] = std::chrono::steady_clock::now() + span;
}

bool Core::SourceRefused(const std::string& address) {
    const auto found = m_sourceRefusals.find(address);
    if (found == m_sourceRefusals.end()) {
        return false;
    }
    if (found->second <= std::chrono::steady_clock::now()) {
        m_sourceRefusals.erase(found);
        return false;
    }
    return true;
}

std::vector<RefusedSource> Core::SourceRefusals() {
    const auto now = std::chrono::steady_clock::now();
    std::vector<RefusedSource> refused;
    for (auto it = m_sourceRefusals.begin(); it != m_sourceRefusals.end();) {
        if (it->second <= now) {
            it = m_sourceRefusals.erase(it);
            continue;
        }
        const auto left = std::chrono::ceil<std::chrono::minutes>(it->second - now);
        refused.push_back(RefusedSource{it->first, left.count()});
        ++it;
    }
    return refused;
}

void Core::CheckCertificates() {
    m_tls.Check();
    After(m_tlsTimer, m_settings.tlsCheckInterval, &Core::CheckCertificates);
}

void Core::After(asio::steady_timer& timer, std::chrono::steady_clock::duration delay,
                 void (Core::*again)()) {
    if (m_sessions.Stopping()) {
        return;
    }
    timer.expires_after(delay);
    timer.async_wait([this, again](const asio::error_code& ec) {
        if (!ec) {
            (this->*again)();
        }
    });
}

namespace {
// How long the log waits for the settings of a reload to settle before it follows them.
constexpr auto kLogSettleTime = std::chrono::milliseconds(200);

}  // namespace

bool Core::CheckPassword(std::string storedHash, std::string password,
                         std::function<void(bool)> done) {
    if (m_passwordChecks >= kMaxPasswordChecks) {
        WipeSecret(password);
        return false;
    }
    ++m_passwordChecks;
    asio::post(m_checker, [this, work = asio::make_work_guard(m_io), stored = std::move(storedHash),
                           password = std::move(password), done = std::move(done)]() mutable {
        const bool right = VerifyPasswordHash(stored, password);
        WipeSecret(password);
        asio::post(m_io, [this, right, done = std::move(done)] {
            --m_passwordChecks;
            done(right);
        });
    });
    return true;
}

bool Core::RunReport(std::function<Reply(StatsReader&)> job, std::function<void(Reply)> done) {
    if (m_reportsUnderWay >= kMaxReports) {
        return false;
    }
    if (!m_reports) {
        m_reports = std::make_unique<ReportRunner>(m_stats ? m_stats->FilePath() : std::string(),
                                                   kReportThreads);
    }
    ++m_reportsUnderWay;
    // The work guard keeps the loop turning until the answer is back: a stop waits for the
    // reports under way (they are few and bounded) rather than lose their connections' core.
    m_reports->Post([this, work = asio::make_work_guard(m_io), job = std::move(job),
                     done = std::move(done)](StatsReader& reader) mutable {
        Reply reply = job(reader);
        asio::post(m_io, [this, reply = std::move(reply), done = std::move(done)]() mutable {
            --m_reportsUnderWay;
            done(std::move(reply));
        });
    });
    return true;
}

void Core::ApplySettings(EngineSettings settings) {
    if (settings.adminPasswordHash != m_settings.adminPasswordHash ||
        settings.adminUser != m_settings.adminUser) {
        // A new password (or none) ends every session the old one opened.
        m_consoleSessions.CloseAll();
    }
    const std::string metricsAllowedBefore = std::move(m_settings.metricsAllowFrom);
    m_settings = std::move(settings);
    CheckMetricsAllowFrom(metricsAllowedBefore);
    RememberPrivateFiles();
    m_tls.Configure(m_settings.tlsCertificate, m_settings.tlsPrivateKey);
    // The console hands a reload over one setting at a time: the folder, then the file name.
    // Switching files at once would create a file under the new folder and the old name (or
    // the other way round); the log follows once the settings have settled.
    m_logTimer.expires_after(kLogSettleTime);
    m_logTimer.async_wait([this](const asio::error_code& ec) {
        if (!ec && !m_sessions.Stopping()) {
            OpenLog();
            // A reload hands the bans file over again: bans edited there apply from now.
            LoadBans();
            // A changed fallback file or address is loaded or connected anew, once.
            m_fallbacks.Apply();
        }
    });
    m_station.RebuildMetadata();
    m_station.Hls().SetListenerWindow(m_settings.hlsListenerWindow);
}

namespace {

// The password the configuration has until the operator sets one.
constexpr std::string_view kShippedPassword = "mustedit";

// Descriptors the engine needs besides its listeners: listening sockets, the source, the log,
// the event loop's own, a relay and directory connections, pages being served.
constexpr uint64_t kReservedFiles = 64;

// Connections taken at once when the listen queue has more waiting.
constexpr int kAcceptBatch = 256;

// Opens, binds and listens; false with the reason when it cannot.
bool Listen(tcp::acceptor& acceptor, const asio::ip::address& address, uint16_t port,
            std::string* error) {
    asio::error_code ec;
    const tcp::endpoint endpoint(address, port);
    acceptor.open(endpoint.protocol(), ec);
    if (!ec && address.is_v6()) {
        // One socket for IPv4 and IPv6 listeners alike.
        acceptor.set_option(asio::ip::v6_only(false), ec);
    }
    if (!ec) {
        acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
    }
    if (!ec) {
        acceptor.bind(endpoint, ec);
    }
    if (!ec) {
        // Listeners arrive in waves when a station is announced; a short queue turns them
        // away into TCP retries.
        acceptor.listen(asio::socket_base::max_listen_connections, ec);
    }
    if (ec) {
        if (error != nullptr) {
            *error = "cannot listen on " + address.to_string() + " port " + std::to_string(port) +
                     ": " + ec.message();
        }
        asio::error_code ignored;
        acceptor.close(ignored);
        return false;
    }
    return true;
}

}  // namespace

bool Core::Bind(uint16_t port, std::string* error) {
    if (!IsUsableListenPort(port)) {
        if (error != nullptr) {
            *error = "port " + std::to_string(port) + " leaves no room for the source port";
        }
        return false;
    }
    std::vector<asio::ip::address> candidates;
    if (!m_settings.bindAddress.empty()) {
        asio::error_code ec;
        const auto address = asio::ip::make_address(m_settings.bindAddress, ec);
        if (ec) {
            if (error != nullptr) {
                *error = "binding address " + m_settings.bindAddress + " is not an address";
            }
            return false;
        }
        candidates.push_back(address);
    } else {
        candidates.push_back(asio::ip::address_v6::any());
        candidates.push_back(asio::ip::address_v4::any());
    }
    for (const auto& address : candidates) {
        std::string reason;
        if (Listen(m_listenAcceptor, address, port, &reason)) {
            if (Listen(m_sourceAcceptor, address, static_cast<uint16_t>(port + 1), &reason)) {
                m_port = port;
                const int tlsPort = m_settings.tlsPort;
                if (tlsPort > 0 && tlsPort <= 65535 && tlsPort != port && tlsPort != port + 1 &&
                    !Listen(m_tlsAcceptor, address, static_cast<uint16_t>(tlsPort), &reason)) {
                    m_tlsBindProblem = reason;
                }
                return true;
            }
            asio::error_code ignored;
            m_listenAcceptor.close(ignored);
        }
        if (error != nullptr) {
            *error = reason;
        }
    }
    return false;
}

void Core::StartAccepting() {
    Log("Started: listeners and Icecast-style sources on port " + std::to_string(m_port) +
        ", SHOUTcast-style sources on port " + std::to_string(m_port + 1));
    if (m_settings.sourcePassword == kShippedPassword) {
        Log("Warning: the source password is still the one every copy ships with; anyone who "
            "knows it can take over the station. Change it in Config.ini ([Broadcast] Password)");
    }
    LogOpenFileLimit();
    CheckMetricsAllowFrom("");
    OpenStats();
    m_tls.Configure(m_settings.tlsCertificate, m_settings.tlsPrivateKey);
    if (!m_tlsBindProblem.empty()) {
        Log("TLS-only port not served: " + m_tlsBindProblem);
    } else if (m_tlsAcceptor.is_open()) {
        Log("TLS only on port " + std::to_string(m_settings.tlsPort));
    }
    // The loop's own accepts below must never block it.
    asio::error_code ignored;
    m_listenAcceptor.non_blocking(true, ignored);
    m_sourceAcceptor.non_blocking(true, ignored);
    Accept(m_listenAcceptor, PortKind::Listen);
    Accept(m_sourceAcceptor, PortKind::Source);
    if (m_tlsAcceptor.is_open()) {
        m_tlsAcceptor.non_blocking(true, ignored);
        Accept(m_tlsAcceptor, PortKind::TlsOnly);
    }
    CheckCertificates();
    FlushRefusals();
    SweepHls();
    Beat();
    // The first count at the next whole minute: the dashboard adds the count of the moment
    // itself.
    m_sentAtLastSample = m_status.sentBytes.load(std::memory_order_relaxed);
    SampleAtNextMinute();
    // With an upstream configured the station pulls its audio from there.
    if (!m_settings.relayHost.empty() && m_settings.relayPort > 0) {
        std::make_shared<RelaySession>(m_context)->Start();
    }
    // The fallbacks play from now until the first source.
    m_fallbacks.Apply();
    StartDirectories(DirectoryTimings{});
}

void Core::LogOpenFileLimit() {
    // Every listener holds a descriptor, so the open-file limit is the station's real listener
    // limit. The program raises its own limit as far as it may at start; beyond that it is the
    // operator's (ulimit -n, or LimitNOFILE= for a service).
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return;
    }
    const uint64_t files = limit.rlim_cur;
    const uint64_t listeners = files > kReservedFiles ? files - kReservedFiles : 0;
    Log("Open-file limit " + std::to_string(files) + ": room for about " +
        std::to_string(listeners) + " listeners at once");
    if (m_settings.maxClients > 0 && static_cast<uint64_t>(m_settings.maxClients) > listeners) {
        Log("Warning: MaxClient is " + std::to_string(m_settings.maxClients) +
            ", more than the open-file limit leaves room for; raise the limit (ulimit -n, or "
            "LimitNOFILE= for a service) or listeners past " +
            std::to_string(listeners) + " will be turned away");
    }
}

void Core::StartDirectories(const DirectoryTimings& timings) {
    std::string problem;
    const std::vector<DirectoryTarget> targets =
        DirectoryTargets(m_settings, std::getenv(kShoutcastDirectoryVariable), &problem);
    if (!problem.empty()) {
        Log(problem);
    }
    if (!targets.empty()) {
        m_directory = std::make_unique<DirectoryAnnouncer>(m_context, m_port, targets, timings);
        m_station.Watch(m_directory.get());
        m_directory->Start();
    }
}

void Core::Accept(tcp::acceptor& acceptor, PortKind kind) {
    acceptor.async_accept([this, &acceptor, kind](const asio::error_code& ec, tcp::socket socket) {
        if (m_sessions.Stopping() || ec == asio::error::operation_aborted) {
            return;
        }
        if (!ec) {
            StartConnection(*this, std::move(socket), kind);
            // Take everything that is waiting now, not one connection per turn of the
            // loop: listeners arrive in waves, and a queue left standing turns into TCP
            // retries.
            for (int more = 0; more < kAcceptBatch; ++more) {
                asio::error_code again;
                tcp::socket next = acceptor.accept(again);
                if (again) {
                    break;
                }
                StartConnection(*this, std::move(next), kind);
            }
            Accept(acceptor, kind);
            return;
        }
        // Out of descriptors, most likely: pause instead of spinning.
        auto timer = std::make_shared<asio::steady_timer>(m_io, std::chrono::milliseconds(100));
        timer->async_wait([this, timer, &acceptor, kind](const asio::error_code& wait) {
            if (!wait && !m_sessions.Stopping()) {
                Accept(acceptor, kind);
            }
        });
    });
}

void Core::CloseAll() {
    if (!m_sessions.Stopping()) {
        m_sessions.BeginStopping();
        FlushRefusals();
        m_refusalTimer.cancel();
        m_hlsTimer.cancel();
        m_beatTimer.cancel();
        m_sampleTimer.cancel();
        m_station.Hls().Forget();
        m_logTimer.cancel();
        Log("Stopped");
    }
    asio::error_code ignored;
    m_listenAcceptor.close(ignored);
    m_sourceAcceptor.close(ignored);
    m_tlsAcceptor.close(ignored);
    m_tlsTimer.cancel();
    m_fallbacks.Shutdown();
    m_station.Shutdown();
    m_sessions.CloseAll();
}

}  // namespace orvanta::engine
