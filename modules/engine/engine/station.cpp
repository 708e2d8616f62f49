#include "engine/station.h"

#include "engine/http_reply.h"
#include "engine/transcoder.h"
#include "stats/player_family.h"
#include "stream/format_table.h"
#include "stream/icy_metadata.h"

#include <asio/post.hpp>

#include <algorithm>
#include <utility>

namespace orvanta::engine {

namespace {
// A source that sends this much without a single frame or page of its format is not one.
constexpr uint64_t kNoAudioLimit = 256 * 1024;

// Encoders send the first song's title around their login, not after their first audio:
// ezstream and GStreamer's shout2send update it right after the source request is answered,
// while the engine still waits for the first bytes and verifies them (up to three seconds of
// audio), and some send it before they connect the source at all. So an update that comes while
// no source holds the station belongs to the source that goes on air next, if that happens within
// this long of the update; a title older than that (set while the station was silent, or the
// last words of a source that has gone) is not the new source's.
constexpr auto kFirstTitleWindow = std::chrono::seconds(10);

// What the statistics keep of a listener that leaves after `stayed`.
ListenerSessionRecord SessionOf(const StationListener& listener,
                                std::chrono::steady_clock::duration stayed) {
    ListenerSessionRecord record;
    record.end = StatsNow();
    record.start = record.end - std::chrono::duration_cast<std::chrono::seconds>(stayed).count();
    record.bytes = listener.BytesSent();
    record.kind = IsRelayAgent(listener.UserAgent()) ? ListenerKind::Relay
                  : listener.Icy()                   ? ListenerKind::Icy
                                                     : ListenerKind::Stream;
    record.tls = listener.Secure();
    record.player = PlayerFamilyName(PlayerFamilyOf(listener.UserAgent()));
    record.address = listener.Address();
    return record;
}

uint32_t Count(size_t n) {
    return static_cast<uint32_t>(std::min<size_t>(n, UINT32_MAX));
}
}  // namespace

const char* FeedName(Feed feed) {
    switch (feed) {
        case Feed::Live:
            return "live";
        case Feed::FallbackStream:
            return "fallback stream";
        case Feed::FallbackFile:
            return "fallback file";
        case Feed::None:
            break;
    }
    return "";
}

Station::Station(const EngineContext& engine)
    : m_engine(engine), m_graceTimer(engine.io), m_tickTimer(engine.io) {
    RebuildMetadata();
}

std::shared_ptr<const std::string> Station::Headers() const {
    if (m_reader && m_reader->Generation() != 0) {
        return m_reader->Headers();
    }
    // A new feed's headers are not complete yet: joiners still start in the last one's stream.
    if (m_lastHeaders) {
        return m_lastHeaders;
    }
    return m_reader ? m_reader->Headers() : nullptr;
}

uint64_t Station::Generation() const {
    if (m_reader && m_reader->Generation() != 0) {
        return ChainGeneration(m_reader->Generation());
    }
    return m_lastGeneration;
}

void Station::ReplaceReader(std::unique_ptr<FormatReader> reader) {
    if (m_reader && m_chain.Count() != 0) {
        m_lastHeaders = Headers();
        m_lastGeneration = Generation();
    } else {
        m_lastHeaders.reset();
        m_lastGeneration = 0;
    }
    m_generationBase = m_newestGeneration;
    m_reader = std::move(reader);
}

void Station::SetStandbys(StandbyFeed* stream, StandbyFeed* file, AudioFacts fileFacts) {
    StandbyFeed* const oldStream = std::exchange(m_standbyStream, stream);
    StandbyFeed* const oldFile = std::exchange(m_standbyFile, file);
    if (fileFacts.sampleRate != m_fileFacts.sampleRate ||
        fileFacts.channels != m_fileFacts.channels) {
        m_factsCompared = false;
    }
    m_fileFacts = fileFacts;
    // An old fallback on air leaves, and the station goes down to what there is now.
    if (oldFile != nullptr && oldFile != file) {
        oldFile->End();
    }
    if (oldStream != nullptr && oldStream != stream) {
        oldStream->End();
    }
    if (m_feed == Feed::None && (stream != nullptr || file != nullptr) &&
        !m_engine.sessions.Stopping()) {
        NothingPlays();
    }
}

void Station::SetFallbackTitle(std::string title) {
    m_fallbackTitle = std::move(title);
    if (m_feed == Feed::FallbackFile) {
        m_rawTitle = m_fallbackTitle;
        RebuildMetadata();
    }
}

const char* Station::ContentType() const {
    const char* codecType = m_reader ? m_reader->ContentType() : nullptr;
    return codecType != nullptr ? codecType : ContentTypeOf(m_format);
}

StationSnapshot Station::Snapshot() const {
    StationSnapshot snapshot;
    snapshot.onAir = m_feed != Feed::None;
    snapshot.feed = FeedName(m_feed);
    snapshot.name = m_info.name.empty() ? kServerName : m_info.name;
    snapshot.genre = m_info.genre;
    snapshot.url = m_info.url;
    snapshot.description = m_info.description;
    snapshot.title = m_title;
    snapshot.contentType = ContentType();
    snapshot.codec = m_reader ? m_reader->CodecName() : "";
    snapshot.bitrate = m_info.bitrate;
    snapshot.sampleRate = m_info.sampleRate;
    snapshot.channels = m_info.channels;
    snapshot.audioInfo = m_info.audioInfo;
    snapshot.listeners = m_listeners.size();
    snapshot.hlsListeners = m_hls.Listeners(std::chrono::steady_clock::now());
    snapshot.hlsOffered = InfoOf(m_format).hls && m_engine.settings.hlsEnabled;
    snapshot.peakListeners = m_peakListeners;
    snapshot.listenerHits = m_listenerHits;
    snapshot.maxListeners = m_engine.settings.maxClients;
    snapshot.streamStart = m_streamStart;
    if (m_feed == Feed::Live && m_liveSource != nullptr) {
        snapshot.sourceAddress = m_liveSource->Address();
        snapshot.sourceUserAgent = m_announced.userAgent;
        snapshot.sourceSince = m_liveSource->ConnectedAt();
    }
    snapshot.history.assign(m_history.begin(), m_history.end());
    return snapshot;
}

void Station::SourceConnected(StreamFormat format, const SourceInfo& info, const std::string& mount,
                              Feed feed) {
    m_graceTimer.cancel();
    m_liveSource = nullptr;
    const Feed displaced = std::exchange(m_feed, feed);
    if (displaced != Feed::None) {
        m_hls.SourceStopped();
    }
    StreamTranscoder* transcoder = m_engine.settings.transcoder.get();
    const StreamFormat output = transcoder != nullptr ? transcoder->Output() : format;
    const bool seamless = transcoder == nullptr || m_sourceFormat == StreamFormat::Unknown ||
                          transcoder->SeamlessAfter(m_sourceFormat, format);
    if (output != m_format || !seamless) {
        // Listeners were told another content type, or hold stream headers the new source's
        // stream does not match; they cannot follow. Said once, with the reason, so that an
        // operator who sees listeners go knows why.
        const char* why =
            output != m_format
                ? "the new source's format is not the one listeners were given"
                : "the new source pushes a stream of its own (its own ASF header), which players "
                  "cannot switch to in the middle of a stream";
        if (!m_listeners.empty()) {
            m_engine.log.Write("Listeners dropped at the change of source: " + std::string(why));
        }
        CloseAllListeners("the stream's format changed");
        m_chain.Clear();
    }
    m_format = output;
    m_sourceFormat = format;
    ReplaceReader(transcoder != nullptr ? transcoder->MakeReader(format)
                                        : MakeFormatReader(format));
    const SourceInfo described = m_info;
    m_announced = info;
    if (feed != Feed::Live) {
        // A fallback says nothing of the station: it keeps the last source's description.
        m_announced.name = info.name.empty() ? described.name : info.name;
        m_announced.genre = info.genre.empty() ? described.genre : info.genre;
        m_announced.url = info.url.empty() ? described.url : info.url;
        m_announced.description =
            info.description.empty() ? described.description : info.description;
    }
    if (transcoder != nullptr) {
        // What the source said describes its own stream, not the one listeners get.
        m_announced.bitrate = m_announced.sampleRate = m_announced.channels = 0;
        m_announced.audioInfo.clear();
    }
    m_info = m_announced;
    m_mount = mount;
    if (feed == Feed::Live) {
        const bool firstTitle =
            m_titleOffAirAt &&
            std::chrono::steady_clock::now() - *m_titleOffAirAt <= kFirstTitleWindow;
        m_titleOffAirAt.reset();
        if (displaced != Feed::None) {
            // What was current was the fallback's; an update held meanwhile is the source's.
            m_rawTitle = std::move(m_heldTitle);
            m_rawUrl = std::move(m_heldUrl);
        }
        if (!firstTitle) {
            m_rawTitle.clear();
            m_rawUrl.clear();
        }
        m_heldTitle.clear();
        m_heldUrl.clear();
    } else {
        if (displaced == Feed::None && m_titleOffAirAt) {
            // An update for a source still to come: it waits while the fallback plays.
            m_heldTitle = std::move(m_rawTitle);
            m_heldUrl = std::move(m_rawUrl);
        }
        m_rawTitle = m_fallbackTitle.empty() ? m_announced.name : m_fallbackTitle;
        m_rawUrl.clear();
    }
    m_streamTitle.clear();
    m_title.clear();
    RebuildMetadata();
    // The last source's title ends here; a first title kept for this source goes on.
    RecordTitle(m_title);
    m_sourceBytes = 0;
    m_streamStart = std::chrono::system_clock::now();
    m_hls.SourceStarted(m_format, m_engine.settings.Hls());
    m_engine.status.fallback.store(feed == Feed::Live ? 0 : static_cast<int32_t>(feed),
                                   std::memory_order_relaxed);
    if (feed == Feed::Live) {
        ++m_liveSources;
        m_engine.status.sourceConnected.store(1, std::memory_order_relaxed);
        if (m_watcher != nullptr) {
            m_watcher->OnSourceConnected();
        }
    }
    // The fallbacks below the new feed stop (one that is on air, one still connecting).
    if (feed > Feed::FallbackFile && m_standbyFile != nullptr) {
        m_standbyFile->End();
    }
    if (feed > Feed::FallbackStream && m_standbyStream != nullptr) {
        m_standbyStream->End();
    }
}

bool Station::SourceData(std::string_view data) {
    if (!m_reader) {
        return false;
    }
    std::vector<MediaUnit> units;
    m_reader->Feed(data, units);
    m_sourceBytes += data.size();
    const uint64_t tailBefore = m_chain.Tail();
    const bool hls = InfoOf(m_format).hls;
    for (MediaUnit& unit : units) {
        if (hls) {
            HlsFeed(unit.bytes);
        }
        m_gathered += unit.bytes.size();
        auto chunk = std::make_shared<Chunk>();
        chunk->bytes = std::move(unit.bytes);
        chunk->seq = m_chain.NextSeq();
        chunk->syncPoint = unit.syncPoint;
        chunk->generation = ChainGeneration(unit.generation);
        m_newestGeneration = std::max(m_newestGeneration, chunk->generation);
        chunk->headers = std::move(unit.headers);
        m_chain.Append(std::move(chunk));
    }
    TakeAudioFacts();
    // The fallback file plays under the fallback title, whatever its own comments say.
    if (InfoOf(m_sourceFormat).titlesInStream && m_feed != Feed::FallbackFile) {
        // A new comment header (or ASF header) names the song now playing; it replaces any
        // title an update set before it.
        std::string title = WithoutControlBytes(m_reader->Title());
        if (!title.empty() && title != m_streamTitle) {
            m_streamTitle = title;
            m_rawTitle.clear();
            m_title = std::move(title);
            m_reader->TitleChanged(m_title);
            m_engine.log.Write("Title: " + LogSafe(m_title));
            Played(m_title);
        }
    }
    if (m_chain.Tail() != tailBefore) {
        DropLaggingListeners();
    }
    if (!m_ticking && !units.empty()) {
        m_ticking = true;
        Tick();
    } else if (m_gathered >= kPassBytes) {
        // A source sending faster than real time (a relay catching up, a burst after a
        // reconnect) must not leave listeners waiting for the tick until they fall behind.
        StartPass();
    }
    return m_reader->SawAudio() || m_sourceBytes < kNoAudioLimit;
}

void Station::HlsFeed(std::string_view frames) {
    std::string problem = m_hls.Feed(frames, m_title);
    if (problem != m_hlsProblem) {
        if (!problem.empty()) {
            m_engine.log.Write("HLS origin folder: " + LogSafe(problem));
        }
        m_hlsProblem = std::move(problem);
    }
}

void Station::SourceGone(Feed feed) {
    if (feed != m_feed || feed == Feed::None) {
        return;  // displaced before it left
    }
    m_feed = Feed::None;
    m_liveSource = nullptr;
    m_hls.SourceStopped();
    TitleEnded();
    m_engine.status.fallback.store(0, std::memory_order_relaxed);
    if (feed == Feed::Live) {
        m_engine.status.sourceConnected.store(0, std::memory_order_relaxed);
        if (m_watcher != nullptr) {
            m_watcher->OnSourceLeft();
        }
    }
    if (m_engine.sessions.Stopping()) {
        return;
    }
    NothingPlays();
}

void Station::NothingPlays() {
    if (m_standbyStream != nullptr) {
        m_standbyStream->Begin();
    }
    if (m_standbyFile != nullptr) {
        m_standbyFile->Begin();
        return;
    }
    // Listeners stay for a while: an encoder that reconnects, or the fallback stream, resumes
    // their stream.
    m_graceTimer.expires_after(std::chrono::seconds(m_engine.settings.TimeoutSeconds()));
    m_graceTimer.async_wait([this](const asio::error_code& ec) {
        if (!ec && m_feed == Feed::None) {
            CloseAllListeners("no source came back in time");
        }
    });
}

void Station::CompareWithFallback() {
    const int rate = m_reader->SampleRate();
    const int channels = m_reader->Channels();
    if (m_factsCompared || m_fileFacts.sampleRate <= 0 || rate <= 0 || channels <= 0) {
        return;
    }
    m_factsCompared = true;
    if (rate != m_fileFacts.sampleRate || channels != m_fileFacts.channels) {
        const auto describe = [](int hz, int count) {
            return std::to_string(hz) + " Hz, " + std::to_string(count) +
                   (count == 1 ? " channel" : " channels");
        };
        m_engine.log.Write("Note: the fallback file's audio (" +
                           describe(m_fileFacts.sampleRate, m_fileFacts.channels) +
                           ") differs from the live source's (" + describe(rate, channels) +
                           "); players follow the change, some with a short break");
    }
}

void Station::TakeAudioFacts() {
    if (m_feed == Feed::Live) {
        CompareWithFallback();
    }
    if (m_announced.bitrate <= 0 && m_reader->Bitrate() > 0) {
        m_info.bitrate = m_reader->Bitrate();
    }
    if (m_announced.sampleRate <= 0) {
        m_info.sampleRate = m_reader->SampleRate();
    }
    if (m_announced.channels <= 0) {
        m_info.channels = m_reader->Channels();
    }
}

void Station::SetFeedTitle(Feed feed, std::string_view song) {
    if (feed != m_feed) {
        return;
    }
    m_rawTitle = WithoutControlBytes(ToUtf8(song));
    m_rawUrl.clear();
    RebuildMetadata();
    if (!m_title.empty() && (m_history.empty() || m_history.front().title != m_title)) {
        m_engine.log.Write("Title: " + LogSafe(m_title));
    }
    Played(m_title);
}

void Station::SetTitle(std::string_view song, std::string_view url) {
    if (m_feed == Feed::FallbackFile || m_feed == Feed::FallbackStream) {
        // Listeners hear the fallback: the title is the live source's, coming soon.
        m_titleOffAirAt = std::chrono::steady_clock::now();
        m_heldTitle = WithoutControlBytes(ToUtf8(song));
        m_heldUrl = WithoutControlBytes(ToUtf8(url));
        return;
    }
    if (m_feed == Feed::Live) {
        m_titleOffAirAt.reset();
    } else {
        m_titleOffAirAt = std::chrono::steady_clock::now();
    }
    m_rawTitle = WithoutControlBytes(ToUtf8(song));
    m_rawUrl = WithoutControlBytes(ToUtf8(url));
    RebuildMetadata();
    if (!m_title.empty() && (m_history.empty() || m_history.front().title != m_title)) {
        m_engine.log.Write("Title: " + LogSafe(m_title));
    }
    Played(m_title);
}

void Station::Played(const std::string& title) {
    if (title.empty() || (!m_history.empty() && m_history.front().title == title)) {
        return;
    }
    RecordTitle(title);
    m_history.push_front({std::chrono::system_clock::now(), title});
    const int32_t limit = m_engine.settings.songHistoryMax;
    const size_t keep = limit > 0 ? std::min<size_t>(static_cast<size_t>(limit), 1000) : 0;
    while (m_history.size() > keep) {
        m_history.pop_back();
    }
}

void Station::RecordTitle(const std::string& title) {
    if (title == m_recordedTitle) {
        return;
    }
    TitleEnded();
    m_recordedTitle = title;
    m_recordedTitleStart = StatsNow();
    m_recordedTitleListeners = m_recordedTitlePeak = Count(m_listeners.size());
}

void Station::TitleEnded() {
    if (m_recordedTitle.empty()) {
        return;
    }
    if (m_stats != nullptr) {
        m_stats->Record(TitleRecord{m_recordedTitleStart, StatsNow(), std::move(m_recordedTitle),
                                    m_recordedTitleListeners, Count(m_listeners.size()),
                                    m_recordedTitlePeak});
    }
    m_recordedTitle.clear();
}

void Station::RebuildMetadata() {
    const EngineSettings& settings = m_engine.settings;
    // A stream's own titles (Ogg comments, the ASF header) set it without an update; keep that
    // one.
    if (!m_rawTitle.empty() || !InfoOf(m_sourceFormat).titlesInStream) {
        m_title =
            m_rawTitle.empty() ? std::string() : ApplyTitleFormat(settings.titleFormat, m_rawTitle);
    }
    std::string url = m_rawUrl;
    if (!settings.urlFormat.empty()) {
        url = ApplyUrlFormat(settings.urlFormat, m_info.url);
    }
    m_metaBlock = std::make_shared<const std::string>(BuildIcyMetadataBlock(m_title, url));
    if (m_reader) {
        m_reader->TitleChanged(m_title);
    }
}

uint64_t Station::AddListener(StationListener* listener) {
    m_listeners.insert(listener);
    ++m_listenerHits;
    m_peakListeners = std::max(m_peakListeners, m_listeners.size());
    m_recordedTitlePeak = std::max(m_recordedTitlePeak, Count(m_listeners.size()));
    m_engine.status.listeners.store(static_cast<int32_t>(m_listeners.size()),
                                    std::memory_order_relaxed);
    return m_listenerHits;
}

bool Station::CloseLiveSource(std::string_view reason) {
    if (m_feed != Feed::Live || m_liveSource == nullptr) {
        return false;
    }
    // The source's close runs SourceGone, which lets go of it.
    m_liveSource->CloseBecause(reason);
    return true;
}

bool Station::CloseListener(uint64_t id, std::string_view reason) {
    const auto found = std::find_if(m_listeners.begin(), m_listeners.end(),
                                    [id](const StationListener* l) { return l->Id() == id; });
    if (found == m_listeners.end()) {
        return false;
    }
    // Closing takes it out of the set: the iterator is not used again.
    (*found)->CloseBecause(reason);
    return true;
}

void Station::RemoveListener(StationListener* listener) {
    if (m_listeners.erase(listener) != 0) {
        const auto stayed = std::chrono::steady_clock::now() - listener->Since();
        m_listenedByLeavers += stayed;
        if (m_stats != nullptr) {
            m_stats->Record(SessionOf(*listener, stayed));
        }
    }
    m_waiting.erase(listener);
    // A listener gone while a pass is under way is skipped by the pass (it checks m_listeners).
    m_engine.status.listeners.store(static_cast<int32_t>(m_listeners.size()),
                                    std::memory_order_relaxed);
}

void Station::Tick() {
    if (m_engine.sessions.Stopping()) {
        m_ticking = false;
        return;
    }
    // The byte rule in SourceData starts most passes; this one covers low bitrates.
    if (std::chrono::steady_clock::now() - m_lastPass >= kWriteTick) {
        StartPass();
    }
    m_tickTimer.expires_after(kWriteTick / 4);
    m_tickTimer.async_wait([this](const asio::error_code& ec) {
        if (ec) {
            m_ticking = false;
            return;
        }
        Tick();
    });
}

void Station::StartPass() {
    if (!m_writing.empty()) {
        return;
    }
    m_lastPass = std::chrono::steady_clock::now();
    m_gathered = 0;
    m_writing.assign(m_waiting.begin(), m_waiting.end());
    m_waiting.clear();
    WriteWaiting();
}

void Station::WriteWaiting() {
    size_t done = 0;
    while (!m_writing.empty() && done < kWriteSlice) {
        StationListener* listener = m_writing.back();
        m_writing.pop_back();
        ++done;
        if (m_listeners.count(listener) != 0) {
            listener->Pump();
        }
    }
    if (!m_writing.empty()) {
        asio::post(m_engine.io, [this] {
            if (!m_engine.sessions.Stopping()) {
                WriteWaiting();
            }
        });
    }
}

void Station::DropLaggingListeners() {
    const uint64_t tail = m_chain.Tail();
    std::vector<StationListener*> lagging;
    for (StationListener* listener : m_listeners) {
        if (listener->Cursor() < tail) {
            lagging.push_back(listener);
        }
    }
    // Its audio is gone: a listener this far behind (a stalled connection, most likely) is let
    // go rather than left to hold its connection and the chunks of its last write.
    for (StationListener* listener : lagging) {
        listener->CloseBecause("fell too far behind");
    }
}

void Station::CloseAllListeners(const char* reason) {
    std::vector<StationListener*> closing(m_listeners.begin(), m_listeners.end());
    for (StationListener* listener : closing) {
        listener->CloseBecause(reason);
    }
}

void Station::Shutdown() {
    m_graceTimer.cancel();
    m_tickTimer.cancel();
    m_writing.clear();
    CloseAllListeners("the server stopped");
    TitleEnded();
}

}  // namespace orvanta::engine
