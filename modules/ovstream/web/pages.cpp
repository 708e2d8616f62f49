#include "web/pages.h"

#include <cstdio>
#include <ctime>

namespace orvanta::engine {

namespace {

constexpr const char kServerName[] = "Orvanta Server";

std::string StationName(const Station& station) {
    return station.Info().name.empty() ? kServerName : station.Info().name;
}

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

std::string Duration(std::chrono::system_clock::time_point since) {
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now() - since)
            .count();
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return text;
}

// Scrapers of "/7.html" split on commas and lines: a title may hold commas (it stands last)
// but no line break.
std::string OneLine(std::string_view text) {
    std::string out;
    for (char c : text) {
        out += (c == '\r' || c == '\n') ? ' ' : c;
    }
    return out;
}

}  // namespace

std::string HtmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
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

std::string SevenHtml(const Station& station, const EngineSettings& settings) {
    const std::string fields =
        std::to_string(station.ListenerCount()) + "," + (station.HasSource() ? "1" : "0") + "," +
        std::to_string(station.PeakListeners()) + "," + std::to_string(settings.maxClients) + "," +
        std::to_string(station.ListenerCount()) + "," + std::to_string(station.Info().bitrate) +
        "," + OneLine(station.Title());
    return "<HTML><meta http-equiv=\"Pragma\" content=\"no-cache\"></head><body>" + fields +
           "</body></html>";
}

std::string PlayedHtml(const Station& station) {
    std::string page = "<html><head><meta charset=\"utf-8\"><title>" +
                       HtmlEscape(StationName(station)) +
                       " - played</title></head><body>\n<table border=\"0\" cellpadding=\"2\">\n"
                       "<tr><td><b>Played @</b></td><td><b>Song Title</b></td></tr>\n";
    bool first = true;
    for (const PlayedSong& song : station.History()) {
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

std::string StatusJson(const Station& station, const EngineSettings& settings,
                       const std::string& streamUrl, bool array) {
    std::string json =
        "{\"icestats\":{\"admin\":\"\",\"host\":\"\",\"location\":\"\","
        "\"server_id\":\"" +
        std::string(kServerName) + "\"";
    std::string source;
    if (station.HasSource()) {
        const SourceInfo& info = station.Info();
        source = "{\"audio_info\":\"bitrate=" + std::to_string(info.bitrate) +
                 "\",\"bitrate\":" + std::to_string(info.bitrate) + ",\"genre\":\"" +
                 JsonEscape(info.genre) +
                 "\",\"listener_peak\":" + std::to_string(station.PeakListeners()) +
                 ",\"listeners\":" + std::to_string(station.ListenerCount()) +
                 ",\"max_listeners\":" + std::to_string(settings.maxClients) + ",\"listenurl\":\"" +
                 JsonEscape(streamUrl) + "\",\"server_description\":\"" +
                 JsonEscape(info.description) + "\",\"server_name\":\"" +
                 JsonEscape(StationName(station)) + "\",\"server_type\":\"" +
                 ContentTypeOf(station.Format()) + "\",\"server_url\":\"" + JsonEscape(info.url) +
                 "\",\"stream_start\":\"" + FormatTime(station.StreamStart(), TimeStyle::Http) +
                 "\",\"stream_start_iso8601\":\"" +
                 FormatTime(station.StreamStart(), TimeStyle::Iso8601) + "\",\"title\":\"" +
                 JsonEscape(station.Title()) + "\",\"dummy\":null}";
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

std::string StationPage(const Station& station, const EngineSettings& settings) {
    const std::string name = HtmlEscape(StationName(station));
    std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + name +
                       "</title>\n<style>body{font-family:sans-serif;margin:2em}td{padding:2px "
                       "8px}</style></head><body>\n<h1>" +
                       name + "</h1>\n<table>\n";
    auto row = [&page](const std::string& label, const std::string& value) {
        page += "<tr><td>" + label + "</td><td>" + value + "</td></tr>\n";
    };
    if (station.HasSource()) {
        row("Status", "On air for " + Duration(station.StreamStart()));
        row("Genre", HtmlEscape(station.Info().genre));
        row("Current song", "<b>" + HtmlEscape(station.Title()) + "</b>");
        row("Listeners", std::to_string(station.ListenerCount()) + " of " +
                             std::to_string(settings.maxClients) + " (peak " +
                             std::to_string(station.PeakListeners()) + ")");
        if (station.Info().bitrate > 0) {
            row("Bitrate", std::to_string(station.Info().bitrate) + " kbit/s");
        }
    } else {
        row("Status", "Not on air");
    }
    page +=
        "</table>\n<p><a href=\"/;\">Listen</a> | <a href=\"/listen.pls\">listen.pls</a> | "
        "<a href=\"/listen.m3u\">listen.m3u</a> | <a href=\"/played.html\">Played</a></p>\n";
    if (!station.History().empty()) {
        page += "<h2>Recently played</h2>\n<table>\n";
        for (const PlayedSong& song : station.History()) {
            row(FormatTime(song.start, TimeStyle::Clock), HtmlEscape(song.title));
        }
        page += "</table>\n";
    }
    return page + "</body></html>\n";
}

}  // namespace orvanta::engine
