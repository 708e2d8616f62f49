// The engine's inside, on its own thread: the two listening sockets, the station (its source,
// its audio chain, its title) and every connection. Nothing here is touched from another
// thread; the controller talks to it through EngineStatus atomics and posted handlers.
#pragma once

#include "engine/chunk_chain.h"
#include "engine/log.h"
#include "engine/settings.h"
#include "http/icy_login.h"
#include "http/request.h"
#include "stream/format_reader.h"

#include <asio.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

namespace orvanta::engine {

using asio::ip::tcp;

// What the console polls, from any thread.
struct EngineStatus {
    std::atomic<int32_t> listeners{0};
    std::atomic<int32_t> sourceConnected{0};
    std::atomic<uint64_t> receivedBytes{0};
    std::atomic<uint64_t> sentBytes{0};
};

class Core;
class DirectoryAnnouncer;
struct DirectoryTimings;
class ListenerSession;

// Tunables of the fan-out, chosen for 128 kbit/s stations.
inline constexpr size_t kQueueBytes = 512 * 1024;    // how far a listener may lag
inline constexpr size_t kBurstBytes = 64 * 1024;     // what a new listener gets at once
inline constexpr size_t kMaxWriteBytes = 64 * 1024;  // one gather write, several chunks
inline constexpr size_t kIcyMetaInt = 8192;
inline constexpr size_t kReadBufferBytes = 16 * 1024;
inline constexpr int kHeaderTimeoutSeconds = 15;

// A title the station played and when it began.
struct PlayedSong {
    std::chrono::system_clock::time_point start;
    std::string title;
};

// The one mount of the station.
class Station {
public:
    explicit Station(Core& core);

    bool HasSource() const { return m_hasSource; }
    StreamFormat Format() const { return m_format; }
    const SourceInfo& Info() const { return m_info; }
    const std::string& Mount() const { return m_mount; }
    const std::string& Title() const { return m_title; }
    ChunkChain& Chain() { return m_chain; }
    std::shared_ptr<const std::string> Headers() const;
    uint64_t Generation() const;
    std::shared_ptr<const std::string> MetadataBlock() const { return m_metaBlock; }
    // The titles played, newest first, at most SongHistoryMax of them.
    const std::deque<PlayedSong>& History() const { return m_history; }
    size_t PeakListeners() const { return m_peakListeners; }
    // When the current source went on air.
    std::chrono::system_clock::time_point StreamStart() const { return m_streamStart; }

    // A source took the station. Listeners of another format are closed.
    void SourceConnected(StreamFormat format, const SourceInfo& info, const std::string& mount);
    // Audio from the source. False when the source sends no audio of its format.
    bool SourceData(std::string_view data);
    // The source left: listeners wait Timeout seconds for another one.
    void SourceGone();

    // A title from an update (raw bytes as sent) and the URL that came with it.
    void SetTitle(std::string_view song, std::string_view url);

    // Rebuilds the metadata block from the last title and the current formats.
    void RebuildMetadata();

    void AddListener(ListenerSession* listener);
    void RemoveListener(ListenerSession* listener);
    // A listener that has sent everything asks to be woken when more audio arrives.
    void WaitForData(ListenerSession* listener) { m_waiting.insert(listener); }
    size_t ListenerCount() const { return m_listeners.size(); }
    void CloseAllListeners();
    void Shutdown();

private:
    void WakeListeners();
    void DropLaggingListeners();
    // Puts a new current title at the head of the history (the same title again is a repeat
    // from the encoder, not a new song).
    void Played(const std::string& title);

    Core& m_core;
    ChunkChain m_chain{kQueueBytes};
    std::unique_ptr<FormatReader> m_reader;
    StreamFormat m_format = StreamFormat::Unknown;
    SourceInfo m_info;
    std::string m_mount;
    bool m_hasSource = false;
    uint64_t m_sourceBytes = 0;
    std::string m_rawTitle;
    std::string m_rawUrl;
    std::string m_title;
    std::shared_ptr<const std::string> m_metaBlock;
    std::deque<PlayedSong> m_history;
    size_t m_peakListeners = 0;
    std::chrono::system_clock::time_point m_streamStart;
    std::unordered_set<ListenerSession*> m_listeners;
    std::unordered_set<ListenerSession*> m_waiting;
    asio::steady_timer m_graceTimer;
};

// Anything the engine can close when it stops.
class Session {
public:
    explicit Session(Core& core);
    virtual ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    virtual void Close() = 0;

protected:
    Core& m_core;
};

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

    void Register(Session* session) { m_sessions.insert(session); }
    void Unregister(Session* session) { m_sessions.erase(session); }
    bool Stopping() const { return m_stopping; }

private:
    void Accept(tcp::acceptor& acceptor, bool sourcePort);
    void OpenLog();

    asio::io_context& m_io;
    EngineSettings m_settings;
    EngineStatus& m_status;
    EventLog m_log;
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

// The peer's address for the log ("?" once the socket is gone).
std::string RemoteAddress(const tcp::socket& socket);

// A connection before we know what it is: an HTTP request on the listen port (listener,
// source, title update, page), or a v1 source login on the source port.
void StartConnection(Core& core, tcp::socket socket, bool sourcePort);

}  // namespace orvanta::engine
