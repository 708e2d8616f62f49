#include "hls/hls_stream.h"

#include "hls/playlist.h"

#include <algorithm>

namespace orvanta::engine {

namespace {

// Forgotten clients are swept out at most this often, not on every fetch.
constexpr auto kPruneInterval = std::chrono::seconds(5);
// RFC 8216 players start three target durations from the live edge: a shorter window leaves
// them nothing to buffer.
constexpr int kMinHlsWindow = 3;

}  // namespace

void HlsStream::SourceStarted(StreamFormat format, const EngineSettings& settings) {
    if (format != StreamFormat::Mp3 || !settings.hlsEnabled) {
        return;
    }
    const int seconds = std::clamp(settings.hlsSegmentSeconds, 1, 60);
    const int window = std::clamp(settings.hlsWindow, kMinHlsWindow,
                                  std::max(kMinHlsWindow, kMaxHlsWindowSeconds / seconds));
    if (!m_segmenter || m_segmenter->TargetSeconds() != seconds ||
        m_segmenter->WindowSize() != static_cast<size_t>(window)) {
        // Numbers start from the clock's seconds: they keep rising across restarts of the
        // server, so caches in front never hold an older segment under a new one's name.
        const uint64_t first =
            m_segmenter
                ? m_segmenter->NextSequence()
                : static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(
                                            std::chrono::system_clock::now().time_since_epoch())
                                            .count());
        m_segmenter = std::make_unique<HlsSegmenter>(first, seconds, static_cast<size_t>(window));
    }
    if (settings.hlsOriginFolder.empty()) {
        m_origin.reset();
    } else if (!m_origin || m_origin->Root() != settings.hlsOriginFolder) {
        m_origin = std::make_unique<OriginFolder>(settings.hlsOriginFolder);
    }
    m_segmenter->SourceStarted(std::chrono::system_clock::now());
}

void HlsStream::SourceStopped() {
    if (m_segmenter) {
        const uint64_t before = m_segmenter->NextSequence();
        m_segmenter->SourceStopped();
        if (m_segmenter->NextSequence() != before) {
            Published();
        }
    }
}

std::string HlsStream::Feed(std::string_view frames, const std::string& title) {
    if (!m_segmenter || m_segmenter->Feed(frames, title) == 0) {
        return {};
    }
    return Published();
}

std::string HlsStream::Published() {
    auto playlist = std::make_shared<const std::string>(RenderPlaylist(*m_segmenter));
    m_playlistEtag = "\"" + HlsFingerprint(*playlist) + "\"";
    m_playlist = std::move(playlist);
    // A few small files once per segment: written at once rather than handed to a thread,
    // which the engine's single event loop has no place for.
    return m_origin ? m_origin->Sync(*m_segmenter, *m_playlist) : std::string();
}

void HlsStream::PlaylistFetched(const std::string& address, SteadyClock::time_point now) {
    // Swept before the address is looked at, so at the cap a newcomer finds the room that
    // quiet clients left.
    if (now - m_lastPrune >= kPruneInterval) {
        m_lastPrune = now;
        for (auto it = m_clients.begin(); it != m_clients.end();) {
            it = now - it->second > kHlsListenerWindow ? m_clients.erase(it) : std::next(it);
        }
    }
    if (const auto known = m_clients.find(address); known != m_clients.end()) {
        known->second = now;
    } else if (m_clients.size() < kMaxHlsClients) {
        m_clients.emplace(address, now);
    }
}

size_t HlsStream::Listeners(SteadyClock::time_point now) const {
    return static_cast<size_t>(std::count_if(
        m_clients.begin(), m_clients.end(),
        [now](const auto& client) { return now - client.second <= kHlsListenerWindow; }));
}

}  // namespace orvanta::engine
