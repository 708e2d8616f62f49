#include "engine/directory.h"

#include "engine/listen_url.h"
#include "engine/outbound.h"
#include "engine/yp_protocol.h"
#include "stream/format_table.h"

#include <asio.hpp>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <functional>
#include <optional>
#include <utility>

namespace orvanta::engine {

namespace {

using std::chrono::milliseconds;

// "3 s", "20 min", "2 h": the pauses as the log reads best.
std::string Duration(milliseconds pause) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(pause).count();
    if (pause % std::chrono::seconds(1) != milliseconds(0)) {
        return std::to_string(pause.count()) + " ms";
    }
    if (seconds >= 3600 && seconds % 3600 == 0) {
        return std::to_string(seconds / 3600) + " h";
    }
    if (seconds >= 60 && seconds % 60 == 0) {
        return std::to_string(seconds / 60) + " min";
    }
    if (seconds > 0) {
        return std::to_string(seconds) + " s";
    }
    return std::to_string(pause.count()) + " ms";
}

void AddField(std::string& body, std::string_view name, std::string_view value) {
    if (!body.empty()) {
        body += '&';
    }
    body += name;
    body += '=';
    body += FormEncode(value);
}

// "host:port", "[v6 literal]:port": a host name or an address and a port in 1..65535.
std::optional<std::pair<std::string, int>> ParseHostPort(std::string_view text) {
    const size_t colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 == text.size() ||
        text.size() - colon - 1 > 5) {
        return std::nullopt;
    }
    int port = 0;
    for (const char c : text.substr(colon + 1)) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535) {
        return std::nullopt;
    }
    std::string host(text.substr(0, colon));
    if (host.front() == '[') {
        if (host.size() < 2 || host.back() != ']') {
            return std::nullopt;
        }
        host = host.substr(1, host.size() - 2);
        asio::error_code ec;
        asio::ip::make_address_v6(host, ec);
        if (ec) {
            return std::nullopt;
        }
    } else {
        const bool name = std::all_of(host.begin(), host.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == '.' || c == '-' || c == '_';
        });
        if (!name) {
            return std::nullopt;
        }
    }
    return std::make_pair(std::move(host), port);
}

}  // namespace

// One POST to the directory and its answer head, bounded by a deadline. The callback runs
// once, unless the exchange was cancelled; the exchange keeps itself alive through its handlers.
class YpExchange : public std::enable_shared_from_this<YpExchange> {
public:
    // answer is null when the directory was not reached or did not answer as one.
    using Done = std::function<void(const YpAnswer* answer, const std::string& failure)>;

    YpExchange(asio::io_context& io, std::string host, int port, const std::string& body, Done done)
        : m_host(std::move(host)),
          m_port(port),
          m_resolver(io),
          m_socket(io),
          m_deadline(io),
          m_done(std::move(done)) {
        m_request = "POST " + std::string(kYpPath) + " HTTP/1.0\r\nHost: " + Bracketed(m_host) +
                    ":" + std::to_string(m_port) +
                    "\r\nUser-Agent: Orvanta Server\r\n"
                    "Content-Type: application/x-www-form-urlencoded\r\n"
                    "Content-Length: " +
                    std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    }

    void Start(milliseconds timeout) {
        auto self = shared_from_this();
        m_deadline.expires_after(timeout);
        m_deadline.async_wait([self, timeout](const asio::error_code& ec) {
            if (!ec) {
                self->Finish(nullptr, "no answer within " + Duration(timeout));
            }
        });
        ConnectOutbound(m_resolver, m_socket, m_host, m_port,
                        [self](const std::string& failure) { self->Connected(failure); });
    }

    // Ends it without calling back.
    void Cancel() {
        m_done = nullptr;
        Finish(nullptr, "");
    }

private:
    void Connected(const std::string& failure) {
        if (m_finished) {
            return;
        }
        if (!failure.empty()) {
            Finish(nullptr, failure);
            return;
        }
        auto self = shared_from_this();
        asio::async_write(m_socket, asio::buffer(m_request),
                          [self](const asio::error_code& written, size_t) {
                              if (written) {
                                  self->Finish(nullptr, "cannot send: " + written.message());
                                  return;
                              }
                              self->Read();
                          });
    }

    void Read() {
        if (m_finished) {
            return;
        }
        auto self = shared_from_this();
        m_socket.async_read_some(asio::buffer(m_readBuffer), [self](const asio::error_code& ec,
                                                                    size_t n) {
            if (self->m_finished) {
                return;
            }
            self->m_answer.append(self->m_readBuffer.data(), n);
            const YpParseResult parsed = ParseYpResponse(self->m_answer);
            if (parsed.status == ParseStatus::Complete) {
                self->Finish(&parsed.answer, "");
            } else if (parsed.status != ParseStatus::Incomplete) {
                self->Finish(nullptr, parsed.error);
            } else if (ec) {
                self->Finish(nullptr, self->m_answer.empty()
                                          ? "closed the connection without answering"
                                          : "closed the connection in the middle of its answer");
            } else {
                self->Read();
            }
        });
    }

    void Finish(const YpAnswer* answer, const std::string& failure) {
        if (m_finished) {
            return;
        }
        m_finished = true;
        asio::error_code ignored;
        m_socket.close(ignored);
        m_resolver.cancel();
        m_deadline.cancel();
        // Moved out first: the callback holds the announcer, which holds this exchange.
        Done done = std::move(m_done);
        m_done = nullptr;
        if (done) {
            done(answer, failure);
        }
    }

    std::string m_host;
    int m_port;
    tcp::resolver m_resolver;
    tcp::socket m_socket;
    asio::steady_timer m_deadline;
    Done m_done;
    std::string m_request;
    std::string m_answer;
    std::array<char, 4096> m_readBuffer{};
    bool m_finished = false;
};

bool DirectoryEnabled(const EngineSettings& settings) {
    return settings.publicServer != 0 && settings.master != 0 &&
           !settings.directoryServer.empty() && settings.directoryPort > 0 &&
           settings.directoryPort <= 65535;
}

bool ShoutcastDirectoryEnabled(const EngineSettings& settings, StreamFormat format) {
    return settings.shoutcastRegister != 0 && settings.privateBroadcast == 0 &&
           settings.master != 0 && InfoOf(format).shoutcastDirectory;
}

DirectoryTarget ShoutcastDirectory(const char* configured, std::string* problem) {
    DirectoryTarget target;
    target.flag = DirectoryTarget::Flag::ShoutcastRegister;
    target.host = std::string(kShoutcastDirectoryHost);
    target.port = kShoutcastDirectoryPort;
    if (configured == nullptr || *configured == '\0') {
        return target;
    }
    if (const auto address = ParseHostPort(configured)) {
        target.host = address->first;
        target.port = address->second;
    } else if (problem != nullptr) {
        *problem = std::string(kShoutcastDirectoryVariable) + " \"" +
                   LogSafe(std::string(configured).substr(0, 80)) +
                   "\" is not host:port; the SHOUTcast-style directory is " + target.host + ":" +
                   std::to_string(target.port);
    }
    return target;
}

std::vector<DirectoryTarget> DirectoryTargets(const EngineSettings& settings,
                                              const char* shoutcastAt, std::string* problem) {
    // A public station of its own announces itself to its directory server while it is on air;
    // a cluster member does not.
    std::vector<DirectoryTarget> targets;
    if (DirectoryEnabled(settings)) {
        targets.emplace_back();  // at directoryServer:directoryPort, as the settings say
    }
    // shoutcastRegister lists the station in the SHOUTcast-style directory as well, on its own:
    // whether this stream qualifies (MP3, not private, not a cluster member) is decided at each
    // add, once the source's format is known.
    if (settings.shoutcastRegister != 0) {
        targets.push_back(ShoutcastDirectory(shoutcastAt, problem));
    }
    return targets;
}

DirectoryRegistration::DirectoryRegistration(const EngineContext& engine, uint16_t listenPort,
                                             DirectoryTarget target, DirectoryTimings timings)
    : Session(engine),
      m_listenPort(listenPort),
      m_target(std::move(target)),
      m_timings(timings),
      m_timer(engine.io) {
    // TouchFreq is multiplied by it and the log divides by it.
    m_timings.touchFreqUnit = std::max(m_timings.touchFreqUnit, milliseconds(1));
}

DirectoryRegistration::~DirectoryRegistration() = default;

void DirectoryRegistration::Start() {
    if (m_engine.station.HasSource()) {
        OnSourceConnected();
    }
}

bool DirectoryRegistration::Active() const {
    if (m_closed || m_engine.sessions.Stopping()) {
        return false;
    }
    const EngineSettings& settings = m_engine.settings;
    return m_target.flag == DirectoryTarget::Flag::ShoutcastRegister
               ? ShoutcastDirectoryEnabled(settings, m_engine.station.Format())
               : DirectoryEnabled(settings);
}

const std::string& DirectoryRegistration::Host() const {
    return m_target.host.empty() ? m_engine.settings.directoryServer : m_target.host;
}

int DirectoryRegistration::Port() const {
    return m_target.host.empty() ? m_engine.settings.directoryPort : m_target.port;
}

std::string DirectoryRegistration::Where() const {
    return "Directory " + LogSafe(Host()) + ":" + std::to_string(Port());
}

std::string DirectoryRegistration::StreamSubtype() const {
    const FormatReader* reader = m_engine.station.Reader();
    const char* own = reader != nullptr ? reader->DirectoryType() : nullptr;
    return own != nullptr ? own : InfoOf(m_engine.station.Format()).directoryType;
}

void DirectoryRegistration::CancelPending() {
    ++m_epoch;
    m_timer.cancel();
    if (m_exchange) {
        m_exchange->Cancel();
        m_exchange.reset();
    }
}

void DirectoryRegistration::OnSourceConnected() {
    if (m_closed) {
        return;
    }
    CancelPending();
    if (!m_sid.empty()) {
        // Another source replaced the first: its listing goes, the new one is announced.
        SendRemove(m_timings.exchangeTimeout);
    }
    m_onAir = true;
    if (Active()) {
        // Once the source's first audio, which comes right after this, has reached the
        // station's reader: the listing names what it read (HE-AAC or plain AAC).
        Schedule(milliseconds(0), &DirectoryRegistration::Add);
    }
}

void DirectoryRegistration::OnSourceLeft() {
    if (m_closed) {
        return;
    }
    CancelPending();
    m_onAir = false;
    if (!m_sid.empty()) {
        SendRemove(m_timings.exchangeTimeout);
    }
}

void DirectoryRegistration::Close() {
    if (m_closed) {
        return;
    }
    m_closed = true;
    CancelPending();
    if (!m_sid.empty()) {
        if (m_engine.io.stopped()) {
            m_engine.log.Write(Where() + ": not removing the listing, the engine is gone");
            m_sid.clear();
        } else {
            SendRemove(m_timings.closeTimeout);
        }
    }
}

void DirectoryRegistration::Schedule(milliseconds after, Step step) {
    m_timer.expires_after(after);
    auto self = shared_from_this();
    const uint64_t epoch = m_epoch;
    m_timer.async_wait([self, epoch, step](const asio::error_code& ec) {
        if (!ec && epoch == self->m_epoch && !self->m_closed) {
            (self.get()->*step)();
        }
    });
}

void DirectoryRegistration::Send(const std::string& body, Handler handler) {
    auto self = shared_from_this();
    const uint64_t epoch = m_epoch;
    m_exchange = std::make_shared<YpExchange>(
        m_engine.io, Host(), Port(), body,
        [self, epoch, handler](const YpAnswer* answer, const std::string& failure) {
            if (epoch != self->m_epoch || self->m_closed) {
                return;
            }
            self->m_exchange.reset();
            (self.get()->*handler)(answer, failure);
        });
    m_exchange->Start(m_timings.exchangeTimeout);
}

void DirectoryRegistration::Add() {
    if (!m_onAir || !Active()) {
        return;
    }
    const EngineSettings& settings = m_engine.settings;
    const Station& station = m_engine.station;
    const SourceInfo& info = station.Info();
    std::string body;
    AddField(body, "action", "add");
    // The directory refuses a listing without a name or a genre.
    AddField(body, "sn", info.name.empty() ? "Unnamed station" : info.name);
    AddField(body, "genre", info.genre.empty() ? "Various" : info.genre);
    AddField(body, "desc", info.description);
    AddField(body, "url", info.url);
    AddField(body, "listenurl", ListenUrl(settings, m_listenPort));
    AddField(body, "type", ContentTypeOf(station.Format()));
    AddField(body, "stype", StreamSubtype());
    AddField(body, "b", std::to_string(info.bitrate));
    // Ours: the station's settings from the console, for a directory that knows them.
    AddField(body, "language", std::to_string(settings.languageCode));
    AddField(body, "genrecode", std::to_string(settings.genre));
    AddField(body, "generation", std::to_string(settings.generation));
    AddField(body, "ment", std::to_string(settings.ment));
    std::string schedule;
    for (size_t i = 0; i < settings.schedule.size(); ++i) {
        schedule += (i == 0 ? "" : ",") + std::to_string(settings.schedule[i]);
    }
    AddField(body, "schedule", schedule);
    Send(body, &DirectoryRegistration::Added);
}

void DirectoryRegistration::Added(const YpAnswer* answer, const std::string& failure) {
    if (answer == nullptr) {
        m_engine.log.Write(Where() + " unreachable: " + failure + "; trying again in " +
                           Duration(m_timings.networkRetry));
        Schedule(m_timings.networkRetry, &DirectoryRegistration::Add);
        return;
    }
    if (!answer->accepted || answer->sid.empty()) {
        const std::string why = answer->message.empty()
                                    ? (answer->accepted ? "no SID given" : "no reason given")
                                    : LogSafe(answer->message);
        m_engine.log.Write(Where() + " refused: " + why + "; trying again in " +
                           Duration(m_timings.addRetry));
        Schedule(m_timings.addRetry, &DirectoryRegistration::Add);
        return;
    }
    m_sid = answer->sid;
    const int touchFreq = answer->touchFreq > 0 ? answer->touchFreq : kDefaultTouchFreq;
    m_touchEvery = std::max(m_timings.minTouch, m_timings.touchFreqUnit * touchFreq);
    m_engine.log.Write(Where() + ": added, SID " + LogSafe(m_sid) + ", touching every " +
                       std::to_string(m_touchEvery / m_timings.touchFreqUnit) + " s");
    Schedule(m_timings.firstTouch, &DirectoryRegistration::Touch);
}

void DirectoryRegistration::Touch() {
    if (!m_onAir || m_sid.empty()) {
        return;
    }
    if (!Active()) {
        // The settings changed under us: the station is no longer to be listed.
        SendRemove(m_timings.exchangeTimeout);
        return;
    }
    const Station& station = m_engine.station;
    std::string body;
    AddField(body, "action", "touch");
    AddField(body, "sid", m_sid);
    AddField(body, "st", station.Title());
    AddField(body, "listeners", std::to_string(station.ListenerCount()));
    AddField(body, "max_listeners", std::to_string(m_engine.settings.maxClients));
    AddField(body, "stype", StreamSubtype());
    Send(body, &DirectoryRegistration::Touched);
}

void DirectoryRegistration::Touched(const YpAnswer* answer, const std::string& failure) {
    if (answer == nullptr) {
        // The SID may well still be good: touch again; a directory that dropped us meanwhile
        // refuses that touch, and the station is added again.
        m_engine.log.Write(Where() + " unreachable: " + failure + "; trying again in " +
                           Duration(m_timings.networkRetry));
        Schedule(m_timings.networkRetry, &DirectoryRegistration::Touch);
        return;
    }
    if (!answer->accepted) {
        const milliseconds pause = std::max(m_timings.touchRetry, m_touchEvery);
        m_engine.log.Write(
            Where() + " refused the touch: " +
            (answer->message.empty() ? std::string("no reason given") : LogSafe(answer->message)) +
            "; adding the station again in " + Duration(pause));
        m_sid.clear();
        Schedule(pause, &DirectoryRegistration::Add);
        return;
    }
    if (answer->touchFreq > 0) {
        m_touchEvery = std::max(m_timings.minTouch, m_timings.touchFreqUnit * answer->touchFreq);
    }
    Schedule(m_touchEvery, &DirectoryRegistration::Touch);
}

void DirectoryRegistration::SendRemove(milliseconds timeout) {
    std::string body;
    AddField(body, "action", "remove");
    AddField(body, "sid", m_sid);
    m_sid.clear();
    // Fire and forget: owned by its own handlers, it ends within the timeout whatever we do.
    EventLog& log = m_engine.log;
    std::string where = Where();
    auto exchange = std::make_shared<YpExchange>(
        m_engine.io, Host(), Port(), body,
        [&log, where](const YpAnswer* answer, const std::string& failure) {
            if (answer == nullptr) {
                log.Write(where + ": remove not delivered: " + failure);
            } else if (answer->accepted) {
                log.Write(where + ": removed");
            } else {
                log.Write(where + " refused the remove: " + LogSafe(answer->message));
            }
        });
    exchange->Start(timeout);
}

DirectoryAnnouncer::DirectoryAnnouncer(const EngineContext& engine, uint16_t listenPort,
                                       const std::vector<DirectoryTarget>& targets,
                                       DirectoryTimings timings) {
    for (const DirectoryTarget& target : targets) {
        m_registrations.push_back(
            std::make_shared<DirectoryRegistration>(engine, listenPort, target, timings));
    }
}

void DirectoryAnnouncer::Start() {
    for (const auto& registration : m_registrations) {
        registration->Start();
    }
}

void DirectoryAnnouncer::OnSourceConnected() {
    for (const auto& registration : m_registrations) {
        registration->OnSourceConnected();
    }
}

void DirectoryAnnouncer::OnSourceLeft() {
    for (const auto& registration : m_registrations) {
        registration->OnSourceLeft();
    }
}

}  // namespace orvanta::engine
