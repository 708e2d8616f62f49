#include "hls/hls_stream.h"

#include "hls/playlist.h"
#include "stream/format_table.h"

#include <algorithm>

namespace orvanta::engine {

namespace {

// RFC 8216 players start three target durations from the live edge: a shorter window leaves
// them nothing to buffer.
constexpr int kMinHlsWindow = 3;

}  // namespace

void HlsStream::SourceStarted(StreamFormat format, const HlsSettings& settings) {
    if (!InfoOf(format).hls || !settings.enabled) {
        return;
    }
    const int seconds = std::clamp(settings.segmentSeconds, 1, 60);
    const int window = std::clamp(settings.window, kMinHlsWindow,
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
    if (settings.originFolder.empty()) {
        m_origin.reset();
    } else if (!m_origin || m_origin->Root() != settings.originFolder) {
        m_origin = std::make_unique<OriginFolder>(settings.originFolder);
    }
    m_segmenter->SourceStarted(std::chrono::system_clock::now(), InfoOf(format).hls);
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

void HlsStream::SetListenerWindow(std::chrono::milliseconds window) {
    m_window = window > std::chrono::milliseconds::zero() ? window : kHlsListenerWindow;
}

void HlsStream::DropOldest() const {
    const Client& oldest = m_clients.front();
    if (m_departed) {
        m_departed(HlsVisit{oldest.address, oldest.lastSeen - oldest.firstFetch, oldest.segments,
                            oldest.bytes, oldest.lastSeen, oldest.tag});
    }
    m_clientIndex.erase(oldest.address);
    m_clients.pop_front();
}

void HlsStream::Expire(SteadyClock::time_point now) const {
    while (!m_clients.empty() && now - m_clients.front().lastFetch > m_window) {
        DropOldest();
    }
}

bool HlsStream::PlaylistFetched(const std::string& address, SteadyClock::time_point now,
                                std::string_view userAgent, uint8_t tag) {
    // Expired first, so at the cap a newcomer finds the room that quiet clients left, and a
    // client back after the window is a new arrival, after the line of its departure.
    Expire(now);
    if (const auto known = m_clientIndex.find(address); known != m_clientIndex.end()) {
        Client& client = *known->second;
        client.lastFetch = std::max(client.lastFetch, now);
        client.lastSeen = std::max(client.lastSeen, now);
        m_clients.splice(m_clients.end(), m_clients, known->second);
        return false;
    }
    if (m_clients.size() >= kMaxHlsClients) {
        return false;
    }
    m_clients.push_back(Client{address, now, now, now, 0,
                               std::string(userAgent.substr(0, kMaxHlsUserAgent)), 0, tag});
    // The key views the address kept in the list, which a splice never moves.
    m_clientIndex.emplace(m_clients.back().address, std::prev(m_clients.end()));
    return true;
}

void HlsStream::SegmentServed(const std::string& address, SteadyClock::time_point now,
                              uint64_t bytes) {
    if (const auto known = m_clientIndex.find(address); known != m_clientIndex.end()) {
        Client& client = *known->second;
        ++client.segments;
        client.bytes += bytes;
        client.lastSeen = std::max(client.lastSeen, now);
    }
}

size_t HlsStream::Listeners(SteadyClock::time_point now) const {
    Expire(now);
    return m_clients.size();
}

std::vector<HlsClientSeen> HlsStream::Clients(SteadyClock::time_point now, size_t limit) const {
    Expire(now);
    std::vector<HlsClientSeen> clients;
    for (auto it = m_clients.rbegin(); it != m_clients.rend() && clients.size() < limit; ++it) {
        clients.push_back(HlsClientSeen{it->address, it->userAgent, it->lastSeen, it->segments});
    }
    return clients;
}

void HlsStream::Forget() {
    while (!m_clients.empty()) {
        DropOldest();
    }
}

}  // namespace orvanta::engine
