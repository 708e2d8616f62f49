// The pages the engine answers itself: the status pages monitoring tools and players already
// read, the playlists, and the station's own page when the content folder has none.
#pragma once

#include "engine/core.h"

#include <string>
#include <string_view>

namespace orvanta::engine {

std::string HtmlEscape(std::string_view text);
std::string JsonEscape(std::string_view text);

// "/7.html": CUR,STATUS,PEAK,MAX,UNIQUE,BITRATE,TITLE between the exact prefix and suffix
// scrapers cut off, on one line; the title last (it may hold commas).
std::string SevenHtml(const Station& station, const EngineSettings& settings);
// "/played.html": the song history as the table scrapers split.
std::string PlayedHtml(const Station& station);
// "/status-json.xsl" (`array` false: one source as an object, none as no member) and
// "/status.json" (`array` true: always a list), `listeners` always a number.
std::string StatusJson(const Station& station, const EngineSettings& settings,
                       const std::string& streamUrl, bool array);
// "/listen.pls" and "/listen.m3u".
std::string Playlist(const std::string& streamUrl, const std::string& title, bool pls);
// The station's page: name, genre, title, listeners, time on air, history, links.
std::string StationPage(const Station& station, const EngineSettings& settings);

}  // namespace orvanta::engine
