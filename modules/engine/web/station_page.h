// The station's own page, the shop window a browser opening the station's address gets when the
// content folder has no index page: the station's name and words, a player, what plays now and
// what played, and what a phone needs to keep it as an app (the manifest, the icons) and a link
// shared elsewhere needs to show it (Open Graph and Twitter cards). With the page go the small
// document its script polls (/nowplaying.json) and the manifest. Plain values in, text out.
#pragma once

#include "web/station_snapshot.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace orvanta::engine {

inline constexpr std::string_view kNowPlayingPath = "/nowplaying.json";
inline constexpr std::string_view kManifestPath = "/manifest.webmanifest";

// What the page needs beyond the snapshot.
struct StationPageFacts {
    // "http://host:port" as the client reached the station: links shared elsewhere must be whole.
    std::string origin;
    // The stream's path ("/stream", or the source's mount).
    std::string streamPath;
    // "/logo.svg" or "/logo.png" when the content folder holds one; "" otherwise.
    std::string logoPath;
    // The versioned address of hls.js, "" when it is not installed beside the engine.
    std::string hlsLibraryPath;
    // The station's language as a Windows language id ([Broadcast] LangCode).
    int32_t languageCode = 0;
};

// Whether the station page claims `path` for itself (the polled document, the manifest, and
// the compiled-in files under /assets/): these are answered before the stream's paths, so a
// source's mount named like one of them cannot hide the page's own files.
bool IsStationPagePath(std::string_view path);

// The page. Every text from the station or its source is escaped; the page holds no inline
// script or style, so StationPageHeaders' policy can forbid both.
std::string StationPage(const StationSnapshot& station, const StationPageFacts& facts);
// The page's headers: a policy allowing only the station's own origin (and blob: media, which
// hls.js plays through), and a short life in caches.
const char* StationPageHeaders();

// "/nowplaying.json": the title, on air and since how long, listeners now (stream and HLS), the
// recent titles (newest first) and the stream's addresses. Public facts only: no addresses of
// sources or listeners.
std::string NowPlayingJson(const StationSnapshot& station, const StationPageFacts& facts);

// "/manifest.webmanifest": the station as an installable app opening its page.
std::string StationManifest(const StationSnapshot& station);

// The BCP 47 tag for a Windows language id ("en" for 9 and 0x409, "ko" for 0x412); "en" for
// ids it does not know, since the page's own words are English.
std::string LanguageTag(int32_t languageId);

}  // namespace orvanta::engine
