#include "web/pages.h"

#include "base/ascii.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <set>

namespace orvanta::engine {

namespace {

constexpr const char kServerName[] = "Orvanta Server";

enum class TimeStyle { Clock, Http, Iso8601 };

std::string FormatTime(std::chrono::system_clock::time_point when, TimeStyle style) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&t, &local);
    char text[64];
    switch (style) {
        case TimeStyle::Clock:
            std::strftime(text, sizeof text, "%H:%M:%S", &local);
            break;
        case TimeStyle::Http:
            std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S %z", &local);
            break;
        case TimeStyle::Iso8601:
            std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
            break;
    }
    return text;
}

// Untrusted text on one line: scrapers of "/7.html" and the playlists split on lines.
std::string OneLine(std::string_view text) {
    return WithoutControlBytes(text);
}

std::string Number(int value) {
    return std::to_string(value);
}

}  // namespace

std::string HtmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : OneLine(text)) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string JsonEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    for (char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x",
                                  static_cast<unsigned>(static_cast<unsigned char>(c)));
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    return out;
}

const char* HtmlPageHeaders() {
    // Every response of ours says nosniff already (Response): once is enough.
    return "Content-Security-Policy: default-src 'none'; style-src 'unsafe-inline'; "
           "img-src 'self'; media-src 'self'; base-uri 'none'; form-action 'none'\r\n";
}

std::string SevenHtml(const StationSnapshot& station) {
    // Scrapers take everything after the sixth comma as the title, as text: markup cannot be
    // escaped away entirely without showing them entities, so only what could open a tag is.
    std::string title;
    for (char c : OneLine(station.title)) {
        title += c == '<'   ? std::string("&lt;")
                 : c == '>' ? std::string("&gt;")
                            : std::string(1, c);
    }
    const std::string fields =
        std::to_string(station.listeners) + "," + (station.onAir ? "1" : "0") + "," +
        std::to_string(station.peakListeners) + "," + Number(station.maxListeners) + "," +
        std::to_string(station.listeners) + "," + Number(station.bitrate) + "," + title;
    return "<HTML><meta http-equiv=\"Pragma\" content=\"no-cache\"></head><body>" + fields +
           "</body></html>";
}

std::string PlayedHtml(const StationSnapshot& station) {
    std::string page = "<html><head><meta charset=\"utf-8\"><title>" + HtmlEscape(station.name) +
                       " - played</title></head><body>\n<table border=\"0\" cellpadding=\"2\">\n"
                       "<tr><td><b>Played @</b></td><td><b>Song Title</b></td></tr>\n";
    bool first = true;
    for (const PlayedEntry& song : station.history) {
        page += "<tr><td>" + FormatTime(song.start, TimeStyle::Clock) + "</td><td>" +
                HtmlEscape(song.title) + "</td>";
        if (first) {
            page += "<td><b>Current Song</b></td>";
            first = false;
        }
        page += "</tr>\n";
    }
    return page + "</table></body></html>\n";
}

std::string StatusJson(const StationSnapshot& station, const std::string& streamUrl, bool array) {
    std::string json =
        "{\"icestats\":{\"admin\":\"\",\"host\":\"\",\"location\":\"\","
        "\"server_id\":\"" +
        std::string(kServerName) + "\"";
    std::string source;
    if (station.onAir) {
        std::string audioInfo = station.audioInfo;
        if (audioInfo.empty()) {
            audioInfo = "bitrate=" + Number(station.bitrate);
            if (station.channels > 0) {
                audioInfo += ";channels=" + Number(station.channels);
            }
            if (station.sampleRate > 0) {
                audioInfo += ";samplerate=" + Number(station.sampleRate);
            }
        }
        source = "{\"audio_info\":\"" + JsonEscape(OneLine(audioInfo)) +
                 "\",\"bitrate\":" + Number(station.bitrate);
        if (station.channels > 0) {
            source += ",\"channels\":" + Number(station.channels);
        }
        source += ",\"genre\":\"" + JsonEscape(OneLine(station.genre)) +
                  "\",\"listener_peak\":" + std::to_string(station.peakListeners) +
                  ",\"listeners\":" + std::to_string(station.listeners) +
                  ",\"hls_listeners\":" + std::to_string(station.hlsListeners) +
                  ",\"listenurl\":\"" + JsonEscape(streamUrl) +
                  "\",\"max_listeners\":" + Number(station.maxListeners);
        if (station.sampleRate > 0) {
            source += ",\"samplerate\":" + Number(station.sampleRate);
        }
        if (!station.codec.empty()) {
            source += ",\"subtype\":\"" + JsonEscape(station.codec) + "\"";
        }
        source +=
            ",\"server_description\":\"" + JsonEscape(OneLine(station.description)) +
            "\",\"server_name\":\"" + JsonEscape(OneLine(station.name)) + "\",\"server_type\":\"" +
            JsonEscape(station.contentType) + "\",\"server_url\":\"" +
            JsonEscape(OneLine(station.url)) + "\",\"playing\":\"" + station.feed +
            "\",\"stream_start\":\"" + FormatTime(station.streamStart, TimeStyle::Http) +
            "\",\"stream_start_iso8601\":\"" + FormatTime(station.streamStart, TimeStyle::Iso8601) +
            "\",\"title\":\"" + JsonEscape(OneLine(station.title)) + "\",\"dummy\":null}";
    }
    if (array) {
        json += ",\"source\":[" + source + "]";
    } else if (!source.empty()) {
        json += ",\"source\":" + source;
    }
    return json + "}}\n";
}

std::string Playlist(const std::string& streamUrl, const std::string& title, bool pls) {
    if (pls) {
        return "[playlist]\nNumberOfEntries=1\nFile1=" + streamUrl + "\nTitle1=" + OneLine(title) +
               "\nLength1=-1\nVersion=2\n";
    }
    return "#EXTM3U\n#EXTINF:-1," + OneLine(title) + "\n" + streamUrl + "\n";
}

namespace {

// An element whose text came from outside.
std::string Element(std::string_view name, std::string_view text) {
    return "<" + std::string(name) + ">" + HtmlEscape(text) + "</" + std::string(name) + ">";
}

std::string Element(std::string_view name, int64_t value) {
    return Element(name, std::to_string(value));
}

}  // namespace

std::string ShoutcastStatsXml(const StationSnapshot& station,
                              const std::vector<ListenerEntry>& listeners) {
    std::set<std::string_view> addresses;
    int64_t seconds = 0;
    for (const ListenerEntry& listener : listeners) {
        addresses.insert(listener.address);
        seconds += listener.connectedSeconds;
    }
    const int64_t average =
        listeners.empty() ? 0 : seconds / static_cast<int64_t>(listeners.size());
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\n<SHOUTCASTSERVER>" +
           Element("CURRENTLISTENERS", static_cast<int64_t>(station.listeners)) +
           Element("PEAKLISTENERS", static_cast<int64_t>(station.peakListeners)) +
           Element("MAXLISTENERS", station.maxListeners) +
           Element("UNIQUELISTENERS", static_cast<int64_t>(addresses.size())) +
           Element("AVERAGETIME", average) + Element("SERVERGENRE", station.genre) +
           Element("SERVERURL", station.url) + Element("SERVERTITLE", station.name) +
           Element("SONGTITLE", station.title) +
           Element("STREAMHITS", static_cast<int64_t>(station.listenerHits)) +
           Element("STREAMSTATUS", station.onAir ? 1 : 0) + Element("BITRATE", station.bitrate) +
           Element("CONTENT", station.contentType) + Element("VERSION", kServerName) +
           "</SHOUTCASTSERVER>\n";
}

std::string IcecastStatsXml(const StationSnapshot& station, const std::string& mount,
                            const std::string& streamUrl) {
    std::string xml = "<?xml version=\"1.0\"?>\n<icestats>" + Element("admin", "") +
                      Element("host", "") + Element("location", "") +
                      Element("server_id", kServerName) +
                      Element("listeners", static_cast<int64_t>(station.listeners)) +
                      Element("sources", station.onAir ? 1 : 0);
    if (station.onAir) {
        xml +=
            "<source mount=\"" + HtmlEscape(mount) + "\">" +
            Element("listeners", static_cast<int64_t>(station.listeners)) +
            Element("listener_peak", static_cast<int64_t>(station.peakListeners)) +
            Element("max_listeners", station.maxListeners) + Element("server_name", station.name) +
            Element("genre", station.genre) + Element("server_url", station.url) +
            Element("server_description", station.description) +
            Element("server_type", station.contentType) + Element("subtype", station.codec) +
            Element("bitrate", station.bitrate) + Element("samplerate", station.sampleRate) +
            Element("channels", station.channels) + Element("title", station.title) +
            Element("listenurl", streamUrl) +
            Element("stream_start_iso8601", FormatTime(station.streamStart, TimeStyle::Iso8601)) +
            "</source>";
    }
    return xml + "</icestats>\n";
}

std::string ListClientsXml(const std::string& mount, const std::vector<ListenerEntry>& listeners) {
    std::string xml = "<?xml version=\"1.0\"?>\n<icestats><source mount=\"" + HtmlEscape(mount) +
                      "\">" + Element("Listeners", static_cast<int64_t>(listeners.size()));
    int64_t id = 0;
    for (const ListenerEntry& listener : listeners) {
        xml += "<listener>" + Element("IP", listener.address) +
               Element("UserAgent", listener.userAgent) +
               Element("Connected", listener.connectedSeconds) + Element("ID", ++id) +
               "</listener>";
    }
    return xml + "</source></icestats>\n";
}

std::string_view BuiltInFavicon() {
    // An orange disc on transparency, 16x16.
    static constexpr unsigned char kIcon[] = {
        0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x10, 0x10, 0x00, 0x00, 0x01, 0x00, 0x20, 0x00, 0x6B,
        0x00, 0x00, 0x00, 0x16, 0x00, 0x00, 0x00, 0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A,
        0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00,
        0x10, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1F, 0xF3, 0xFF, 0x61, 0x00, 0x00, 0x00, 0x32, 0x49,
        0x44, 0x41, 0x54, 0x78, 0xDA, 0x63, 0x60, 0xA0, 0x05, 0xF8, 0xD0, 0x23, 0xF5, 0x1F, 0x1B,
        0x26, 0x5B, 0x23, 0x51, 0x06, 0x11, 0xAB, 0x19, 0xA7, 0x21, 0x14, 0x19, 0x40, 0xAA, 0x66,
        0x0C, 0x43, 0x46, 0x0D, 0xA0, 0x82, 0x01, 0x03, 0x9F, 0x0E, 0xA8, 0x92, 0x94, 0xA9, 0x92,
        0x99, 0xC8, 0x01, 0x00, 0x70, 0x2E, 0xA7, 0x84, 0x33, 0xBF, 0xD7, 0x1C, 0x00, 0x00, 0x00,
        0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
    return {reinterpret_cast<const char*>(kIcon), sizeof kIcon};
}

}  // namespace orvanta::engine
