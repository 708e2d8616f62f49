// What the engine's own pages show of the station, as plain values taken when a request comes
// in. The pages are built from this alone, so they know nothing of the engine's insides.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orvanta::engine {

struct PlayedEntry {
    std::chrono::system_clock::time_point start;
    std::string title;
};

// One listener as the admin's list shows it.
struct ListenerEntry {
    std::string address;
    std::string userAgent;
    int64_t connectedSeconds = 0;
    // The engine's number for it (1, 2, ... in the order listeners joined).
    uint64_t id = 0;
    uint64_t bytesSent = 0;
    bool icy = false;     // it asked for titles in the stream
    bool secure = false;  // it came over TLS
    bool relay = false;   // another server relaying the station (by its User-Agent)
};

// An HLS client as the console lists it: it fetched the playlist within the listener window.
struct HlsClientEntry {
    std::string address;
    std::string userAgent;        // of its first playlist fetch, as sent (cut to a bounded length)
    int64_t lastSeenSeconds = 0;  // since its last request
    uint64_t segments = 0;
};

// An address whose source logins the operator refuses for a while (after kicking its source).
struct RefusedSource {
    std::string address;
    int64_t minutesLeft = 0;  // begun minutes
};

// The longest the console may refuse a source address: a day.
inline constexpr int kMaxSourceRefusalMinutes = 24 * 60;

// "relay", "icy" or "stream": what the listener is, as the console and its API name it.
inline const char* KindOf(const ListenerEntry& listener) {
    return listener.relay ? "relay" : listener.icy ? "icy" : "stream";
}

struct StationSnapshot {
    // Something plays: a live source or a fallback (`feed` tells which, streamStart since when).
    bool onAir = false;
    std::string feed;  // "live", "fallback stream", "fallback file"
    // The station's name as its source announced it, or the server's name.
    std::string name;
    std::string genre;
    std::string url;
    std::string description;
    std::string title;
    std::string contentType;  // of the stream ("audio/mpeg", "application/ogg")
    // The codec inside the container ("Opus", "FLAC", "Vorbis"); "" when the content type says it.
    std::string codec;
    // What is known of the audio: announced by the source or read from the stream; 0 unknown.
    int bitrate = 0;  // kbit/s
    int sampleRate = 0;
    int channels = 0;
    // The source's ice-audio-info as it sent it ("" when it sent none).
    std::string audioInfo;
    size_t listeners = 0;
    // Distinct clients that fetched the HLS playlist lately, and whether the station offers
    // HLS at all (MP3 with HLS on).
    size_t hlsListeners = 0;
    bool hlsOffered = false;
    size_t peakListeners = 0;
    // Listeners admitted since the engine started.
    uint64_t listenerHits = 0;
    int32_t maxListeners = 0;
    std::chrono::system_clock::time_point streamStart;
    // The live source's connection while one holds the station: its address ("" otherwise),
    // its User-Agent as sent, and when it connected.
    std::string sourceAddress;
    std::string sourceUserAgent;
    std::chrono::system_clock::time_point sourceSince;
    // Newest first.
    std::vector<PlayedEntry> history;
};

}  // namespace orvanta::engine
