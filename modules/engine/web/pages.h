// The pages the engine answers itself: the status pages monitoring tools and players already
// read and the playlists (the station's own page is station_page.h's). Built from a snapshot of
// the station: plain data in, text out.
//
// Every text that came from outside (titles, the source's name and genre) is untrusted: control
// bytes never reach a page, HTML pages escape it, and the HTML the engine generates is served
// with headers (HtmlPageHeaders) that keep a browser from running anything in it.
#pragma once

#include "web/station_snapshot.h"

#include <string>
#include <string_view>
#include <vector>

namespace orvanta::engine {

// For HTML and XML element text and attribute values: one line, markup and both quotes escaped
// (the apostrophe as &#39;, which both read).
std::string HtmlEscape(std::string_view text);
std::string JsonEscape(std::string_view text);

// Headers for every HTML page the engine generates: no script, style only inline, media and
// images from the station itself, and no guessing at the content type.
const char* HtmlPageHeaders();

// "/7.html": CUR,STATUS,PEAK,MAX,UNIQUE,BITRATE,TITLE between the exact prefix and suffix
// scrapers cut off, on one line; the title last (it may hold commas).
std::string SevenHtml(const StationSnapshot& station);
// "/played.html": the song history as the table scrapers split.
std::string PlayedHtml(const StationSnapshot& station);
// "/status-json.xsl" (`array` false: one source as an object, none as no member) and
// "/status.json" (`array` true: always a list), `listeners` always a number.
std::string StatusJson(const StationSnapshot& station, const std::string& streamUrl, bool array);
// "/listen.pls" and "/listen.m3u".
std::string Playlist(const std::string& streamUrl, const std::string& title, bool pls);
// "/stats" and "/statistics" as SHOUTcast v2 answers them, which listener counters (butt's
// among them) poll: public facts only. Unique listeners and the average time are of those
// connected now.
std::string ShoutcastStatsXml(const StationSnapshot& station,
                              const std::vector<ListenerEntry>& listeners);
// "/admin/stats": the station's one mount in the Icecast admin's form.
std::string IcecastStatsXml(const StationSnapshot& station, const std::string& mount,
                            const std::string& streamUrl);
// "/admin/listclients": who listens to `mount`, with address, player and seconds connected.
std::string ListClientsXml(const std::string& mount, const std::vector<ListenerEntry>& listeners);
// The icon browsers ask every page for, when the content folder has none: a 16x16 PNG in an
// ICO container.
std::string_view BuiltInFavicon();

}  // namespace orvanta::engine
