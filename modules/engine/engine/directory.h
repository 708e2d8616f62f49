// Directory (YP) registration: while a source is on air, the station is announced to the
// directories it asks for, each with the Icecast YP protocol, so listeners can find it there:
//   - the directory server of the settings (directoryServer:directoryPort), for a station that is
//     public (publicServer) and not a cluster member (master != 0);
//   - the SHOUTcast-style directory (kShoutcastDirectoryHost:kShoutcastDirectoryPort), for a
//     station with shoutcastRegister that is neither private nor a cluster member, while its
//     stream is MP3 (the only format such directories list; listeners also see icy-pub: 1).
// Each directory has its own registration: its own SID, touches, retries and log lines, so one
// directory failing never changes what happens with the other.
//
// Each exchange is one HTTP/1.0 POST of a form to /cgi-bin/yp-cgi; the directory answers in the
// response headers (YPResponse: 1|0, YPMessage, SID, TouchFreq) and the body is ignored.
//   add     when a source goes on air: the station's name, genres, description, home page,
//           listen URL, content type, bitrate, plus our own fields (language, generation, ment,
//           genre code, schedule) that a directory not knowing them ignores;
//   touch   5 s after a successful add, then every TouchFreq seconds (at least 30): the current
//           title and the listener count;
//   remove  when the source leaves or the engine stops.
// A refused add is tried again after 2 h, a refused touch sends an add again after
// max(20 min, TouchFreq), and a directory that cannot be reached, does not answer within 10 s or
// answers something that is not a YP answer is tried again after 20 min. Every outcome goes to
// the station's log; nothing here ever affects a listener or blocks the event loop.
#pragma once

#include "engine/session.h"
#include "engine/station.h"
#include "engine/yp_protocol.h"

#include <asio/steady_timer.hpp>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta::engine {

class YpExchange;

// How long things take. The defaults are the protocol's; tests shorten them.
struct DirectoryTimings {
    // One whole exchange (resolve, connect, send, answer head): a hanging directory is abandoned.
    std::chrono::milliseconds exchangeTimeout{std::chrono::seconds(10)};
    // The remove sent while the engine stops: the engine's thread waits for it, so shorter.
    std::chrono::milliseconds closeTimeout{std::chrono::seconds(2)};
    std::chrono::milliseconds firstTouch{std::chrono::seconds(5)};
    std::chrono::milliseconds minTouch{std::chrono::seconds(30)};
    // The length of one second of the directory's TouchFreq.
    std::chrono::milliseconds touchFreqUnit{std::chrono::seconds(1)};
    std::chrono::milliseconds addRetry{std::chrono::hours(2)};
    std::chrono::milliseconds touchRetry{std::chrono::minutes(20)};
    std::chrono::milliseconds networkRetry{std::chrono::minutes(20)};
};

// Whether these settings ask for a listing in the settings' directory server.
bool DirectoryEnabled(const EngineSettings& settings);

// Whether these settings ask for a listing in the SHOUTcast-style directory while the stream is
// of this format: shoutcastRegister, a station neither private nor a cluster member, MP3.
bool ShoutcastDirectoryEnabled(const EngineSettings& settings, StreamFormat format);

// The SHOUTcast-style directory a station with shoutcastRegister is listed in.
inline constexpr std::string_view kShoutcastDirectoryHost = "yp.orvanta.net";
inline constexpr int kShoutcastDirectoryPort = 80;
// "host:port" (an IPv6 literal in brackets) in this environment variable, read once when the
// engine starts, lists the station in that directory instead; tests point it at 127.0.0.1. A
// value that is not host:port is logged and the default used.
inline constexpr const char* kShoutcastDirectoryVariable = "ORVANTA_SHOUTCAST_DIRECTORY";

// One directory the station may be listed in.
struct DirectoryTarget {
    // The setting that asks for the listing.
    enum class Flag { PublicServer, ShoutcastRegister };
    Flag flag = Flag::PublicServer;
    // Where the directory is. An empty host is the settings' directoryServer:directoryPort,
    // read at each exchange: the console may change them while the engine runs.
    std::string host;
    int port = 0;
};

// The SHOUTcast-style directory, at `configured` (the environment variable's value, null when
// unset) when that is a usable "host:port", else at the default; `problem` gets the log line
// when a value was set but not used.
DirectoryTarget ShoutcastDirectory(const char* configured, std::string* problem);

// The directories these settings ask for a listing in: the settings' directory server for a
// public station of its own, the SHOUTcast-style one (at `shoutcastAt`, as ShoutcastDirectory
// takes it) with shoutcastRegister. `problem` gets a log line when shoutcastAt was not used.
std::vector<DirectoryTarget> DirectoryTargets(const EngineSettings& settings,
                                              const char* shoutcastAt, std::string* problem);

// The station's listing in one directory: add, touch, retries and remove, on the engine's
// thread. It keeps itself alive through its pending handlers; the engine closes it as a session.
class DirectoryRegistration : public Session,
                              public std::enable_shared_from_this<DirectoryRegistration> {
public:
    // `listenPort`: the engine's, for the listen URL when the settings name no other.
    DirectoryRegistration(const EngineContext& engine, uint16_t listenPort, DirectoryTarget target,
                          DirectoryTimings timings = {});
    ~DirectoryRegistration() override;

    // Announces at once when a source is already on air.
    void Start();
    // The station got a source (also a new source replacing one): announces it anew.
    void OnSourceConnected();
    // The source left: sends remove, fire and forget, bounded by the exchange timeout.
    void OnSourceLeft();
    // The engine stops: stops everything and sends remove, bounded by closeTimeout. The event
    // loop runs until that exchange ends, so Engine::Stop waits at most closeTimeout for it;
    // when the loop is already stopped, the remove is skipped (the directory drops a station
    // that stops touching on its own).
    void Close() override;

    // The SID of the current registration; empty when not registered.
    const std::string& Sid() const { return m_sid; }

private:
    using Step = void (DirectoryRegistration::*)();
    using Handler = void (DirectoryRegistration::*)(const YpAnswer*, const std::string&);

    void Add();
    void Touch();
    // answer is null when the directory was not reached; failure then says why.
    void Added(const YpAnswer* answer, const std::string& failure);
    void Touched(const YpAnswer* answer, const std::string& failure);
    void Send(const std::string& body, Handler handler);
    void SendRemove(std::chrono::milliseconds timeout);
    void Schedule(std::chrono::milliseconds after, Step step);
    // Forgets the exchange and the timer in progress: their handlers will do nothing.
    void CancelPending();
    bool Active() const;
    const std::string& Host() const;
    int Port() const;
    std::string Where() const;
    std::string StreamSubtype() const;

    uint16_t m_listenPort;
    DirectoryTarget m_target;
    DirectoryTimings m_timings;
    asio::steady_timer m_timer;
    std::shared_ptr<YpExchange> m_exchange;
    std::string m_sid;
    std::chrono::milliseconds m_touchEvery{};
    // Bumped whenever what is pending is abandoned; a handler of an older epoch does nothing.
    uint64_t m_epoch = 0;
    bool m_onAir = false;
    bool m_closed = false;
};

// Every directory the station is listed in, as the station sees them: what happens to the
// source goes to each registration, and nothing else passes between them.
class DirectoryAnnouncer final : public SourceWatcher {
public:
    DirectoryAnnouncer(const EngineContext& engine, uint16_t listenPort,
                       const std::vector<DirectoryTarget>& targets, DirectoryTimings timings = {});

    // When the engine starts. Announces at once when a source is already on air.
    void Start();
    void OnSourceConnected() override;
    void OnSourceLeft() override;

    // One per target, in the targets' order.
    const std::vector<std::shared_ptr<DirectoryRegistration>>& Registrations() const {
        return m_registrations;
    }

private:
    std::vector<std::shared_ptr<DirectoryRegistration>> m_registrations;
};

}  // namespace orvanta::engine
