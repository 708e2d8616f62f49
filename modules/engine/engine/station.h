// The station's one mount: its source, the chain of audio chunks every listener reads, the
// title and the titles played. Lives on the engine's thread.
#pragma once

#include "engine/chunk_chain.h"
#include "engine/engine_context.h"
#include "engine/tunables.h"
#include "hls/hls_stream.h"
#include "http/icy_login.h"
#include "stats/stats_store.h"
#include "stream/format_reader.h"
#include "web/station_snapshot.h"

#include <asio/steady_timer.hpp>

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace orvanta::engine {

// What the station asks of a listener: to send what the chain holds beyond its cursor, where
// that cursor is, and to go; and who it is, for the listener lists.
class StationListener {
public:
    // The number the station gave it when it joined (see AddListener).
    virtual uint64_t Id() const = 0;
    virtual const std::string& Address() const = 0;
    virtual const std::string& UserAgent() const = 0;
    virtual std::chrono::steady_clock::time_point Since() const = 0;
    // It asked for titles in the stream (ICY metadata).
    virtual bool Icy() const = 0;
    // Bytes written to it so far, and whether it came over TLS.
    virtual uint64_t BytesSent() const = 0;
    virtual bool Secure() const = 0;
    // Sends what the chain holds beyond the cursor, unless a write is under way.
    virtual void Pump() = 0;
    // The oldest chain position the listener still needs.
    virtual uint64_t Cursor() const = 0;
    // Closes with the reason the log gives for it.
    virtual void CloseBecause(std::string_view reason) = 0;

protected:
    ~StationListener() = default;
};

// The live source's connection while it holds the station, as the console sees it: who it is,
// since when, and a way to close it.
class StationSource {
public:
    virtual const std::string& Address() const = 0;
    virtual std::chrono::system_clock::time_point ConnectedAt() const = 0;
    // Closes the connection at once, with the reason the log gives for it.
    virtual void CloseBecause(std::string_view reason) = 0;

protected:
    ~StationSource() = default;
};

// Told when a source takes the station and when it leaves: the directory listings follow them.
class SourceWatcher {
public:
    virtual void OnSourceConnected() = 0;
    virtual void OnSourceLeft() = 0;

protected:
    ~SourceWatcher() = default;
};

// What feeds the station, lowest priority first: a feed takes the station from any lower one at
// once, and when it leaves the station goes back down. Live is an encoder or the relay of the
// station's own upstream; the fallbacks play only while no live source does.
enum class Feed { None, FallbackFile, FallbackStream, Live };

// How the log and the status name a feed: "live", "fallback stream", "fallback file", "".
const char* FeedName(Feed feed);

// A fallback the station starts when it may be needed and stops when a higher feed holds the
// station: the file plays at once, the stream connects and takes the station when its audio
// comes.
class StandbyFeed {
public:
    virtual void Begin() = 0;
    virtual void End() = 0;

protected:
    ~StandbyFeed() = default;
};

// The intro a listener gets before the station's audio: whole frames, or a whole Ogg stream.
struct IntroAudio {
    StreamFormat format = StreamFormat::Unknown;
    std::string bytes;
};

// What the fallback file's audio is, to compare a live source's with.
struct AudioFacts {
    int sampleRate = 0;
    int channels = 0;
};

// The one mount of the station.
class Station {
public:
    // `engine`: the engine's context, whose station this is.
    explicit Station(const EngineContext& engine);
    // From now on `watcher` (null: none) is told about sources coming and going; it outlives the
    // station or is replaced first.
    void Watch(SourceWatcher* watcher) { m_watcher = watcher; }
    // From now on listeners that leave and titles that end are recorded there (null: nowhere);
    // it outlives the station or is replaced first.
    void KeepStats(StatsStore* stats) { m_stats = stats; }
    StatsStore* Stats() const { return m_stats; }

    // A live source holds the station (what the console shows as connected).
    bool HasSource() const { return m_feed == Feed::Live; }
    // What plays now: listeners are served unless nothing does.
    Feed Playing() const { return m_feed; }
    // Whether `feed` may take the station now: nothing, or only a lower feed, holds it.
    bool MayTake(Feed feed) const { return feed > m_feed; }
    // The fallbacks the station starts and stops (null: none); each outlives the station or is
    // replaced first. `fileFacts` describe the fallback file's audio. Starts them when nothing
    // plays.
    void SetStandbys(StandbyFeed* stream, StandbyFeed* file, AudioFacts fileFacts);
    // The title the fallbacks play under: the setting's, or the station's name.
    void SetFallbackTitle(std::string title);
    // The intro new listeners get first (null: none).
    void SetIntro(std::shared_ptr<const IntroAudio> intro) { m_intro = std::move(intro); }
    // The intro for a listener joining now: null when there is none or it is not of the
    // stream's format.
    std::shared_ptr<const IntroAudio> IntroFor() const {
        return m_intro && m_intro->format == m_format ? m_intro : nullptr;
    }
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
    // Listeners that joined since the station started, and the time those that left listened.
    uint64_t ListenersJoined() const { return m_listenerHits; }
    std::chrono::steady_clock::duration ListenedByLeavers() const { return m_listenedByLeavers; }
    // Live sources that took the station since it started.
    uint64_t LiveSourcesJoined() const { return m_liveSources; }
    // When the current source went on air.
    std::chrono::system_clock::time_point StreamStart() const { return m_streamStart; }

    // What the pages show, as of now.
    StationSnapshot Snapshot() const;

    // `feed` took the station (MayTake said it could); the feed it displaced is stopped.
    // Listeners of another format are closed; listeners of the same one carry on at the next
    // frame or page, Ogg listeners with the new stream's header pages. A live source's title
    // starts empty: the last source's title is not this one's. A title that arrived while no
    // live source held the station, at most kFirstTitleWindow before, is kept: it is this
    // source's first (see the constant). The fallbacks start under the fallback title.
    void SourceConnected(StreamFormat format, const SourceInfo& info, const std::string& mount,
                         Feed feed = Feed::Live);
    // Audio from the feed on air. False when it sends no audio of its format.
    bool SourceData(std::string_view data);
    // The connection of the live source that just took the station (SourceConnected), until it
    // leaves or another feed takes the station. The relay has none: it is the station's own.
    void SetLiveSource(StationSource* source) { m_liveSource = source; }
    const StationSource* LiveSource() const { return m_liveSource; }
    // Closes the live source's connection (`reason` for the log); false when none holds the
    // station. The station then falls back as when a source leaves by itself.
    bool CloseLiveSource(std::string_view reason);
    // `feed` left (nothing when it did not hold the station). The fallbacks take over; without
    // any, listeners wait Timeout seconds for another source.
    void SourceGone(Feed feed = Feed::Live);

    // A title from an update (raw bytes as sent) and the URL that came with it. Control bytes
    // become spaces: a title goes into pages, logs and every listener's metadata. While a
    // fallback plays, it waits for the live source the update came ahead of.
    void SetTitle(std::string_view song, std::string_view url);
    // A title a relayed stream's metadata named, shown when `feed` holds the station.
    void SetFeedTitle(Feed feed, std::string_view song);

    // Rebuilds the metadata block from the last title and the current formats.
    void RebuildMetadata();

    // Takes `listener` in; its number, which no other listener of this engine's life gets
    // (listeners are numbered 1, 2, ... in the order they joined).
    uint64_t AddListener(StationListener* listener);
    void RemoveListener(StationListener* listener);
    // A listener that has sent what there was is written again at the next tick.
    void WaitForData(StationListener* listener) { m_waiting.insert(listener); }
    size_t ListenerCount() const { return m_listeners.size(); }
    const std::unordered_set<StationListener*>& Listeners() const { return m_listeners; }
    // Closes every listener, telling the log why.
    void CloseAllListeners(const char* reason);
    // Closes the listener numbered `id` (`reason` for the log); false when none is.
    bool CloseListener(uint64_t id, std::string_view reason);
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
    // The title on record for the statistics becomes `title` ("": none); the one before ends
    // now and goes to the store.
    void RecordTitle(const std::string& title);
    void TitleEnded();
    // Cuts HLS segments from the source's frames.
    void HlsFeed(std::string_view frames);
    // Fills in what the source did not announce about its audio from what the reader saw.
    void TakeAudioFacts();
    // The new reader's generations follow every one the chain holds, so a listener joining
    // never takes one stream's pages for another's.
    void ReplaceReader(std::unique_ptr<FormatReader> reader);
    // The chain generation of a reader's generation (0 stays 0: frame formats).
    uint64_t ChainGeneration(uint64_t readerGeneration) const {
        return readerGeneration == 0 ? 0 : m_generationBase + readerGeneration;
    }
    // Nothing plays: the fallbacks begin; without a file, the Timeout rule closes listeners if
    // nothing comes back in time.
    void NothingPlays();
    // The fallback file's audio against the live source's, once per fallback file.
    void CompareWithFallback();

    const EngineContext& m_engine;
    SourceWatcher* m_watcher = nullptr;
    StationSource* m_liveSource = nullptr;
    StatsStore* m_stats = nullptr;
    // The title the statistics will get when it ends: when it began, the listeners then and
    // the most since. Empty: none.
    std::string m_recordedTitle;
    StatsTime m_recordedTitleStart = 0;
    uint32_t m_recordedTitleListeners = 0;
    uint32_t m_recordedTitlePeak = 0;
    ChunkChain m_chain{kQueueBytes};
    std::unique_ptr<FormatReader> m_reader;
    StreamFormat m_format = StreamFormat::Unknown;        // what listeners get
    StreamFormat m_sourceFormat = StreamFormat::Unknown;  // what the source sends
    SourceInfo m_info;
    SourceInfo m_announced;  // as the source sent it
    std::string m_mount;
    Feed m_feed = Feed::None;
    StandbyFeed* m_standbyStream = nullptr;
    StandbyFeed* m_standbyFile = nullptr;
    AudioFacts m_fileFacts;
    bool m_factsCompared = false;
    std::string m_fallbackTitle;
    std::shared_ptr<const IntroAudio> m_intro;
    // Reader generations are offset by this in the chain: past every generation it holds.
    uint64_t m_generationBase = 0;
    uint64_t m_newestGeneration = 0;
    // The last reader's headers and generation, for joiners until the new one has its own.
    std::shared_ptr<const std::string> m_lastHeaders;
    uint64_t m_lastGeneration = 0;
    uint64_t m_sourceBytes = 0;
    std::string m_rawTitle;  // from the last update, "" when the stream's own title is current
    // When the last update came while no source held the station; unset once a source takes
    // the station or an update comes while one holds it.
    std::optional<std::chrono::steady_clock::time_point> m_titleOffAirAt;
    std::string m_rawUrl;
    // An update that came while a fallback played, for the live source it came ahead of.
    std::string m_heldTitle;
    std::string m_heldUrl;
    std::string m_streamTitle;  // from the Ogg stream's newest comment header
    std::string m_title;
    std::shared_ptr<const std::string> m_metaBlock;
    std::deque<PlayedEntry> m_history;
    size_t m_peakListeners = 0;
    uint64_t m_listenerHits = 0;
    std::chrono::steady_clock::duration m_listenedByLeavers{};
    uint64_t m_liveSources = 0;
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
