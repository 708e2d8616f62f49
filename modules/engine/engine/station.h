// The station's one mount: its source, the chain of audio chunks every listener reads, the
// title and the titles played. Lives on the engine's thread.
#pragma once

#include "engine/chunk_chain.h"
#include "engine/engine_context.h"
#include "engine/tunables.h"
#include "hls/hls_stream.h"
#include "http/icy_login.h"
#include "stream/format_reader.h"
#include "web/station_snapshot.h"

#include <asio/steady_timer.hpp>

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace orvanta::engine {

// What the station asks of a listener: to send what the chain holds beyond its cursor, where
// that cursor is, and to go; and who it is, for the listener lists.
class StationListener {
public:
    virtual const std::string& Address() const = 0;
    virtual const std::string& UserAgent() const = 0;
    virtual std::chrono::steady_clock::time_point Since() const = 0;
    // Sends what the chain holds beyond the cursor, unless a write is under way.
    virtual void Pump() = 0;
    // The oldest chain position the listener still needs.
    virtual uint64_t Cursor() const = 0;
    // Closes with the reason the log gives for it.
    virtual void CloseBecause(const char* reason) = 0;

protected:
    ~StationListener() = default;
};

// Told when a source takes the station and when it leaves: the directory listings follow them.
class SourceWatcher {
public:
    virtual void OnSourceConnected() = 0;
    virtual void OnSourceLeft() = 0;

protected:
    ~SourceWatcher() = default;
};

// The one mount of the station.
class Station {
public:
    // `engine`: the engine's context, whose station this is.
    explicit Station(const EngineContext& engine);
    // From now on `watcher` (null: none) is told about sources coming and going; it outlives the
    // station or is replaced first.
    void Watch(SourceWatcher* watcher) { m_watcher = watcher; }

    bool HasSource() const { return m_hasSource; }
    StreamFormat Format() const { return m_format; }
    // What listeners are told: the format's content type, or the codec's where it names one.
    const char* ContentType() const;
    // What the source said about its stream; the bitrate, sample rate and channels it did not
    // say are filled in from the stream itself once known.
    const SourceInfo& Info() const { return m_info; }
    const std::string& Mount() const { return m_mount; }
    const std::string& Title() const { return m_title; }
    ChunkChain& Chain() { return m_chain; }
    // The HLS window cut from the same audio, for MP3 stations.
    HlsStream& Hls() { return m_hls; }
    std::shared_ptr<const std::string> Headers() const;
    uint64_t Generation() const;
    // What the reader of the stream listeners get has seen of it; null before the first source.
    const FormatReader* Reader() const { return m_reader.get(); }
    std::shared_ptr<const std::string> MetadataBlock() const { return m_metaBlock; }
    // The titles played, newest first, at most SongHistoryMax of them.
    const std::deque<PlayedEntry>& History() const { return m_history; }
    size_t PeakListeners() const { return m_peakListeners; }
    // When the current source went on air.
    std::chrono::system_clock::time_point StreamStart() const { return m_streamStart; }

    // What the pages show, as of now.
    StationSnapshot Snapshot() const;

    // A source took the station. Listeners of another format are closed. The title starts
    // empty: the last source's title is not this one's. A title that arrived while no source
    // held the station, at most kFirstTitleWindow before, is kept: it is this source's first
    // (see the constant).
    void SourceConnected(StreamFormat format, const SourceInfo& info, const std::string& mount);
    // Audio from the source. False when the source sends no audio of its format.
    bool SourceData(std::string_view data);
    // The source left: listeners wait Timeout seconds for another one.
    void SourceGone();

    // A title from an update (raw bytes as sent) and the URL that came with it. Control bytes
    // become spaces: a title goes into pages, logs and every listener's metadata.
    void SetTitle(std::string_view song, std::string_view url);

    // Rebuilds the metadata block from the last title and the current formats.
    void RebuildMetadata();

    void AddListener(StationListener* listener);
    void RemoveListener(StationListener* listener);
    // A listener that has sent what there was is written again at the next tick.
    void WaitForData(StationListener* listener) { m_waiting.insert(listener); }
    size_t ListenerCount() const { return m_listeners.size(); }
    const std::unordered_set<StationListener*>& Listeners() const { return m_listeners; }
    // Closes every listener, telling the log why.
    void CloseAllListeners(const char* reason);
    void Shutdown();

private:
    // Passes over the listeners waiting for audio (see kWriteTick), in slices so the source is
    // read in between.
    void Tick();
    // Starts a pass over the waiting listeners unless one is still under way.
    void StartPass();
    void WriteWaiting();
    void DropLaggingListeners();
    // Puts a new current title at the head of the history (the same title again is a repeat
    // from the encoder, not a new song).
    void Played(const std::string& title);
    // Cuts HLS segments from the source's frames.
    void HlsFeed(std::string_view frames);
    // Fills in what the source did not announce about its audio from what the reader saw.
    void TakeAudioFacts();

    const EngineContext& m_engine;
    SourceWatcher* m_watcher = nullptr;
    ChunkChain m_chain{kQueueBytes};
    std::unique_ptr<FormatReader> m_reader;
    StreamFormat m_format = StreamFormat::Unknown;        // what listeners get
    StreamFormat m_sourceFormat = StreamFormat::Unknown;  // what the source sends
    SourceInfo m_info;
    SourceInfo m_announced;  // as the source sent it
    std::string m_mount;
    bool m_hasSource = false;
    uint64_t m_sourceBytes = 0;
    std::string m_rawTitle;  // from the last update, "" when the stream's own title is current
    // When the last update came while no source held the station; unset once a source takes
    // the station or an update comes while one holds it.
    std::optional<std::chrono::steady_clock::time_point> m_titleOffAirAt;
    std::string m_rawUrl;
    std::string m_streamTitle;  // from the Ogg stream's newest comment header
    std::string m_title;
    std::shared_ptr<const std::string> m_metaBlock;
    std::deque<PlayedEntry> m_history;
    size_t m_peakListeners = 0;
    uint64_t m_listenerHits = 0;
    std::chrono::system_clock::time_point m_streamStart;
    std::unordered_set<StationListener*> m_listeners;
    std::unordered_set<StationListener*> m_waiting;
    std::vector<StationListener*> m_writing;  // this tick's pass, still to go
    asio::steady_timer m_graceTimer;
    asio::steady_timer m_tickTimer;
    bool m_ticking = false;
    size_t m_gathered = 0;  // audio appended since the last pass began
    std::chrono::steady_clock::time_point m_lastPass;
    HlsStream m_hls;
    std::string m_hlsProblem;  // the origin folder's last, logged once
};

}  // namespace orvanta::engine
