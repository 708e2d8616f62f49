#include "web/station_page.h"

#include "base/ascii.h"
#include "web/pages.h"
#include "web/station_assets.h"

#include <chrono>
#include <cstdio>

namespace orvanta::engine {

namespace {

// The icon's dark blue, for the browser's bar and the app's splash screen.
constexpr const char kThemeColour[] = "#1d3f63";

int64_t SecondsSince(std::chrono::system_clock::time_point since) {
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now() - since)
            .count();
    return seconds < 0 ? 0 : seconds;
}

std::string Clock(int64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return text;
}

// The type the script asks the browser about (canPlayType): the container with its codec
// where the stream's content type alone does not say it.
std::string PlayableType(const StationSnapshot& station) {
    if (station.contentType == "application/ogg" || station.contentType == "audio/ogg") {
        return station.codec.empty() ? "audio/ogg"
                                     : "audio/ogg; codecs=\"" + AsciiLower(station.codec) + "\"";
    }
    return station.contentType.empty() ? "audio/mpeg" : station.contentType;
}

std::string Artwork(const StationPageFacts& facts) {
    return facts.logoPath.empty() ? EmbeddedAssetPath("icon-512.png") : facts.logoPath;
}

std::string Attribute(std::string_view name, std::string_view value) {
    return " " + std::string(name) + "=\"" + HtmlEscape(value) + "\"";
}

std::string Meta(std::string_view kind, std::string_view key, std::string_view value) {
    return "<meta" + Attribute(kind, key) + Attribute("content", value) + ">\n";
}

size_t AllListeners(const StationSnapshot& station) {
    return station.listeners + station.hlsListeners;
}

}  // namespace

bool IsStationPagePath(std::string_view path) {
    return path == kNowPlayingPath || path == kManifestPath || FindEmbeddedAsset(path).has_value();
}

const char* StationPageHeaders() {
    return "Content-Security-Policy: default-src 'self'; media-src 'self' blob:; connect-src "
           "'self'; object-src 'none'; base-uri 'none'; form-action 'none'\r\n"
           "Cache-Control: no-cache\r\n";
}

std::string StationPage(const StationSnapshot& station, const StationPageFacts& facts) {
    const std::string name = WithoutControlBytes(station.name);
    const std::string description =
        !station.description.empty() ? WithoutControlBytes(station.description)
        : !station.genre.empty()     ? WithoutControlBytes(station.genre) + " radio"
                                     : "Internet radio";
    const std::string pageUrl = facts.origin + "/";
    const std::string artwork = Artwork(facts);
    const std::string hlsPath = station.hlsOffered ? "/live.m3u8" : "";

    std::string page = "<!DOCTYPE html>\n<html" +
                       Attribute("lang", LanguageTag(facts.languageCode)) +
                       ">\n<head>\n<meta charset=\"utf-8\">\n"
                       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                       "<title>" +
                       HtmlEscape(name) + "</title>\n";
    page += Meta("name", "description", description);
    page += Meta("name", "theme-color", kThemeColour);
    page += "<link rel=\"stylesheet\"" + Attribute("href", EmbeddedAssetPath("station.css")) +
            ">\n<link rel=\"manifest\"" + Attribute("href", kManifestPath) +
            ">\n<link rel=\"icon\" href=\"/favicon.ico\">\n<link rel=\"apple-touch-icon\"" +
            Attribute("href", EmbeddedAssetPath("icon-192.png")) + ">\n";
    // What a link to the station shows where it is shared.
    page += Meta("property", "og:type", "music.radio_station");
    page += Meta("property", "og:site_name", name);
    page += Meta("property", "og:title", name);
    page += Meta("property", "og:description", description);
    page += Meta("property", "og:url", pageUrl);
    page += Meta("property", "og:image", facts.origin + artwork);
    page += Meta("property", "og:audio", facts.origin + facts.streamPath);
    page += Meta("property", "og:audio:type",
                 station.contentType.empty() ? "audio/mpeg" : station.contentType);
    page += Meta("name", "twitter:card", "summary");
    page += Meta("name", "twitter:title", name);
    page += Meta("name", "twitter:description", description);
    page += Meta("name", "twitter:image", facts.origin + artwork);
    page += "<script" + Attribute("src", EmbeddedAssetPath("player.js")) + " defer></script>\n";
    page += "</head>\n<body>\n<main id=\"station\"" + Attribute("data-stream", facts.streamPath) +
            Attribute("data-type", PlayableType(station)) + Attribute("data-hls", hlsPath) +
            Attribute("data-hls-library", station.hlsOffered ? facts.hlsLibraryPath : "") +
            Attribute("data-nowplaying", kNowPlayingPath) + Attribute("data-name", name) +
            Attribute("data-artwork", artwork) + ">\n<header>\n";
    if (!facts.logoPath.empty()) {
        // The name beside it says who the station is: the logo adds nothing to read.
        page += "<img id=\"station-logo\"" + Attribute("src", facts.logoPath) +
                " alt=\"\" width=\"72\" height=\"72\">\n";
    }
    page += "<div>\n<h1 id=\"station-name\">" + HtmlEscape(name) + "</h1>\n";
    if (!station.genre.empty()) {
        page += "<p id=\"station-genre\">" + HtmlEscape(station.genre) + "</p>\n";
    }
    page += "</div>\n</header>\n";

    // The player: the browser's own controls until the script takes over with its own.
    page +=
        "<section aria-label=\"Player\">\n<audio id=\"station-audio\" controls preload=\"none\"" +
        Attribute("src", facts.streamPath) + ">Your browser plays no audio here: <a" +
        Attribute("href", facts.streamPath) +
        ">open the stream</a>.</audio>\n"
        "<div id=\"station-controls\" hidden>\n"
        "<button id=\"station-play\" type=\"button\">Play</button>\n"
        "<div class=\"volume\"><label for=\"station-volume\">Volume</label>"
        "<input id=\"station-volume\" type=\"range\" min=\"0\" max=\"1\" step=\"0.05\" "
        "value=\"1\"></div>\n</div>\n"
        "<p id=\"station-state\" role=\"status\"></p>\n</section>\n";

    page +=
        "<section aria-labelledby=\"now-heading\">\n<h2 id=\"now-heading\">Now playing</h2>\n"
        "<p id=\"station-title\">" +
        HtmlEscape(!station.title.empty() ? station.title
                   : station.onAir        ? "No title yet"
                                          : "Nothing on air") +
        "</p>\n<p class=\"muted\"><span id=\"station-onair\">" +
        (station.onAir ? "On air for " + Clock(SecondsSince(station.streamStart)) : "Off air") +
        "</span> &middot; <span id=\"station-listeners\">" + std::to_string(AllListeners(station)) +
        "</span> listening</p>\n</section>\n";

    if (!station.description.empty()) {
        page += "<section aria-label=\"About the station\">\n<p id=\"station-description\">" +
                HtmlEscape(station.description) + "</p>\n</section>\n";
    }

    page +=
        "<section aria-labelledby=\"recent-heading\">\n<h2 id=\"recent-heading\">Recently "
        "played</h2>\n<ol id=\"station-recent\">\n";
    for (const PlayedEntry& song : station.history) {
        page += "<li>" + HtmlEscape(song.title) + "</li>\n";
    }
    page += "</ol>\n</section>\n";

    page +=
        "<nav aria-label=\"Listen in another player\">\n<ul>\n"
        "<li><a href=\"/listen.pls\">listen.pls</a></li>\n"
        "<li><a href=\"/listen.m3u\">listen.m3u</a></li>\n";
    if (station.hlsOffered) {
        page += "<li><a href=\"/live.m3u8\">HLS</a></li>\n";
    }
    page += "<li><a href=\"/played.html\">Played</a></li>\n";
    // Only a web address is a link: a source could announce a javascript: one.
    const std::string url = WithoutControlBytes(station.url);
    if (AsciiLower(url).starts_with("http://") || AsciiLower(url).starts_with("https://")) {
        page += "<li><a" + Attribute("href", url) + " rel=\"noopener\">Website</a></li>\n";
    }
    return page + "</ul>\n</nav>\n</main>\n</body>\n</html>\n";
}

std::string NowPlayingJson(const StationSnapshot& station, const StationPageFacts& facts) {
    std::string json = "{\"name\":\"" + JsonEscape(WithoutControlBytes(station.name)) +
                       "\",\"title\":\"" + JsonEscape(WithoutControlBytes(station.title)) +
                       "\",\"on_air\":" + (station.onAir ? "true" : "false") +
                       ",\"on_air_seconds\":" +
                       std::to_string(station.onAir ? SecondsSince(station.streamStart) : 0) +
                       ",\"listeners\":" + std::to_string(AllListeners(station)) + ",\"recent\":[";
    bool first = true;
    for (const PlayedEntry& song : station.history) {
        json += std::string(first ? "" : ",") + "{\"title\":\"" +
                JsonEscape(WithoutControlBytes(song.title)) + "\",\"start\":" +
                std::to_string(
                    std::chrono::duration_cast<std::chrono::seconds>(song.start.time_since_epoch())
                        .count()) +
                "}";
        first = false;
    }
    json += "],\"stream\":\"" + JsonEscape(facts.origin + facts.streamPath) + "\",\"hls\":";
    json += station.hlsOffered ? "\"" + JsonEscape(facts.origin) + "/live.m3u8\"" : "null";
    return json + "}\n";
}

std::string StationManifest(const StationSnapshot& station) {
    const std::string name = JsonEscape(WithoutControlBytes(station.name));
    std::string json = "{\"name\":\"" + name + "\",\"short_name\":\"" + name +
                       "\",\"start_url\":\"/\",\"scope\":\"/\",\"display\":\"standalone\","
                       "\"background_color\":\"" +
                       kThemeColour + "\",\"theme_color\":\"" + kThemeColour + "\",\"icons\":[";
    const char* sizes[] = {"192", "512"};
    for (const char* size : sizes) {
        json += std::string(size == sizes[0] ? "" : ",") + "{\"src\":\"" +
                EmbeddedAssetPath(std::string("icon-") + size + ".png") + "\",\"sizes\":\"" + size +
                "x" + size + "\",\"type\":\"image/png\",\"purpose\":\"any\"}";
    }
    return json + "]}\n";
}

std::string LanguageTag(int32_t languageId) {
    // The primary language is the id's low ten bits; its sub-language rarely matters to a page.
    struct Language {
        int32_t primary;
        const char* tag;
    };
    static constexpr Language kLanguages[] = {
        {0x01, "ar"}, {0x02, "bg"}, {0x03, "ca"}, {0x04, "zh"}, {0x05, "cs"}, {0x06, "da"},
        {0x07, "de"}, {0x08, "el"}, {0x09, "en"}, {0x0A, "es"}, {0x0B, "fi"}, {0x0C, "fr"},
        {0x0D, "he"}, {0x0E, "hu"}, {0x0F, "is"}, {0x10, "it"}, {0x11, "ja"}, {0x12, "ko"},
        {0x13, "nl"}, {0x14, "no"}, {0x15, "pl"}, {0x16, "pt"}, {0x18, "ro"}, {0x19, "ru"},
        {0x1A, "hr"}, {0x1B, "sk"}, {0x1D, "sv"}, {0x1E, "th"}, {0x1F, "tr"}, {0x21, "id"},
        {0x22, "uk"}, {0x24, "sl"}, {0x25, "et"}, {0x26, "lv"}, {0x27, "lt"}, {0x29, "fa"},
        {0x2A, "vi"}, {0x39, "hi"}, {0x3E, "ms"},
    };
    const int32_t primary = languageId & 0x3FF;
    for (const Language& language : kLanguages) {
        if (language.primary == primary) {
            return language.tag;
        }
    }
    return "en";
}

}  // namespace orvanta::engine
