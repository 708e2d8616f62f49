// The station's HLS output: the segmenter over the live MP3 or AAC audio, the playlist it renders,
// the copy in the origin folder, and who has been fetching the playlist. Lives on the engine's
// thread beside the station; the station feeds it, connections read from it.
#pragma once

#include "hls/hls_settings.h"
#include "hls/origin_folder.h"
#include "hls/segmenter.h"
#include "stream/format_reader.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace orvanta::engine {

// Distinct clients remembered for the count of HLS listeners. Each costs about a hundred and
// fifty bytes and its player's name (at most kMaxHlsUserAgent), so a flood of addresses holds
// at most about ten megabytes; at the cap a new address
// is neither kept, counted nor logged until clients quiet for the listener window make room, and
// the count reads the cap: at least that many.
inline constexpr size_t kMaxHlsClients = 50'000;
// The part of a client's User-Agent kept for the console's list.
inline constexpr size_t kMaxHlsUserAgent = 128;
// The rewind window holds at most this much audio, however many segments the settings ask for.
inline constexpr int kMaxHlsWindowSeconds = 3600;

// An HLS client that stopped fetching the playlist, for the log and the statistics: from its
// first fetch to its last request, and the segments (and their bytes) it was served. Clients
// are told apart by address only, so players behind one NAT are one client.
struct HlsVisit {
    std::string address;
    std::chrono::steady_clock::duration stayed{};
    uint64_t segments = 0;
    uint64_t bytes = 0;
    std::chrono::steady_clock::time_point lastSeen{};
    // What the caller said about the client at its first fetch (PlaylistFetched).
    uint8_t tag = 0;
};

// A client counted now, as the console lists it.
struct HlsClientSeen {
    std::string address;
    std::string userAgent;  // of its first playlist fetch
    std::chrono::steady_clock::time_point lastSeen;
    uint64_t segments = 0;
};

class HlsStream {
public:
    using SteadyClock = std::chrono::steady_clock;
    using DepartureHandler = std::function<void(const HlsVisit&)>;

    // A source went on air. For a format HLS packs (MP3, AAC) with HLS on, segmenting begins (or
    // goes on, with a discontinuity, after an earlier source); settings are taken now.
    void SourceStarted(StreamFormat format, const HlsSettings& settings);
    void SourceStopped();
    // Whole frames from the station's reader and the title on air. "" or a problem with the
    // origin folder, for the log.
    std::string Feed(std::string_view frames, const std::string& title);

    // The window, or null before the first source HLS packs.
    const HlsSegmenter* Segmenter() const { return m_segmenter.get(); }
    // The current playlist (empty before the first segment) and its strong validator.
    std::shared_ptr<const std::string> Playlist() const { return m_playlist; }
    const std::string& PlaylistEtag() const { return m_playlistEtag; }

    // How long after its last playlist fetch a client is still counted (kHlsListenerWindow
    // unless the engine says otherwise; zero or less: that default).
    void SetListenerWindow(std::chrono::milliseconds window);
    std::chrono::milliseconds ListenerWindow() const { return m_window; }
    // Told of every client that leaves the window, from whichever call notices it, and of those
    // still remembered by Forget. Poll Listeners now and then, or a client that left is only
    // noticed at the next request.
    // The handler must not call back into the stream.
    void OnDeparture(DepartureHandler departed) { m_departed = std::move(departed); }

    // A client at `address` fetched the playlist. True when it is a client not remembered
    // before: one line in the log for its arrival, however often it polls. At most
    // kMaxHlsClients are remembered; false for one turned away at the cap. A new client keeps
    // `userAgent` (as sent, cut to kMaxHlsUserAgent bytes) and `tag` (the caller's, a byte)
    // from its first fetch; its departure hands the tag back.
    bool PlaylistFetched(const std::string& address, SteadyClock::time_point now,
                         std::string_view userAgent = {}, uint8_t tag = 0);
    // A client at `address` was served a segment of `bytes`: counted when it fetched the
    // playlist before.
    void SegmentServed(const std::string& address, SteadyClock::time_point now, uint64_t bytes = 0);
    // Distinct addresses that fetched the playlist within the listener window. Every status
    // request asks, so it costs the same however many clients are remembered: the clients are
    // kept in the order of their last fetch and those past the window leave from the front.
    size_t Listeners(SteadyClock::time_point now) const;
    // The clients Listeners counts, the latest to fetch the playlist first, at most `limit`:
    // a page lists the busy end of a table that may hold tens of thousands.
    std::vector<HlsClientSeen> Clients(SteadyClock::time_point now, size_t limit) const;
    // Every client remembered leaves (the engine stops), each told to the departure handler.
    void Forget();

private:
    std::string Published();

    std::unique_ptr<HlsSegmenter> m_segmenter;
    std::unique_ptr<OriginFolder> m_origin;
    std::shared_ptr<const std::string> m_playlist = std::make_shared<const std::string>();
    std::string m_playlistEtag;
    struct Client {
        std::string address;
        SteadyClock::time_point firstFetch;
        SteadyClock::time_point lastFetch;  // of the playlist: what keeps the client counted
        SteadyClock::time_point lastSeen;   // of the playlist or a segment
        uint64_t segments = 0;
        std::string userAgent;
        uint64_t bytes = 0;
        uint8_t tag = 0;
    };
    // Forgets the clients whose last fetch left the window: each goes once, so the work over
    // time is one step per fetch, never a walk of the table.
    void Expire(SteadyClock::time_point now) const;
    // Takes the oldest client out of the table and tells the departure handler.
    void DropOldest() const;

    std::chrono::milliseconds m_window = kHlsListenerWindow;
    DepartureHandler m_departed;

    // Oldest fetch first; the index finds a client's place in it. Mutable: the count of a
    // status request drops clients that aged out, which changes what is remembered, not what
    // is counted.
    mutable std::list<Client> m_clients;
    mutable std::unordered_map<std::string_view, std::list<Client>::iterator> m_clientIndex;
};

}  // namespace orvanta::engine
