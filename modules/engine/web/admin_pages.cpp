#include "web/admin_pages.h"

#include "base/ascii.h"
#include "web/listener_chart.h"
#include "web/listening_report.h"
#include "web/pages.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <tuple>

namespace orvanta::engine {

namespace {

std::string Escaped(std::string_view text) {
    return HtmlEscape(text);
}

// "2 h 05 min", "4 min 10 s": how long, for people.
std::string Span(int64_t seconds) {
    char text[48];
    if (seconds >= 3600) {
        std::snprintf(text, sizeof text, "%lld h %02lld min",
                      static_cast<long long>(seconds / 3600),
                      static_cast<long long>(seconds / 60 % 60));
    } else {
        std::snprintf(text, sizeof text, "%lld min %02lld s", static_cast<long long>(seconds / 60),
                      static_cast<long long>(seconds % 60));
    }
    return text;
}

// "12.3 MB": bytes for people (decimal units, as network tools count).
std::string Bytes(uint64_t bytes) {
    char text[32];
    if (bytes >= 1'000'000'000) {
        std::snprintf(text, sizeof text, "%.2f GB", static_cast<double>(bytes) / 1e9);
    } else if (bytes >= 1'000'000) {
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    } else {
        std::snprintf(text, sizeof text, "%.1f kB", static_cast<double>(bytes) / 1e3);
    }
    return text;
}

std::string Page(std::string_view title, std::string_view body, std::string_view csrf = {}) {
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
        "<meta name=\"referrer\" content=\"same-origin\"><title>" +
        Escaped(title) + " - Orvanta Server</title><link rel=\"stylesheet\" href=\"" +
        std::string(kAdminStylePath) + "\"></head><body><header><p class=\"brand\">Orvanta Server";
    if (!csrf.empty()) {
        // Logging out changes something: a form with the session's token, like every action.
        page +=
            "</p><form method=\"post\" action=\"/admin/logout\"><input type=\"hidden\" "
            "name=\"csrf\" value=\"" +
            Escaped(csrf) + "\"><button type=\"submit\">Log out</button></form>";
    } else {
        page += "</p>";
    }
    page += "</header>";
    if (!csrf.empty()) {
        // Plain links between the pages of a logged-in operator: no script, nothing to submit.
        page +=
            "<nav><a href=\"/admin/\">Dashboard</a> <a href=\"/admin/listeners\">Listeners</a> "
            "<a href=\"/admin/reports\">Reports</a> <a href=\"/admin/bans\">Bans</a> <a "
            "href=\"/admin/source\">Source</a> "
            "<a href=\"/admin/log\">Log</a> <a href=\"/admin/settings\">Settings</a></nav>";
    }
    page += "<main><h1>" + Escaped(title) + "</h1>";
    page += body;
    page += "</main></body></html>\n";
    return page;
}

std::string Notice(std::string_view notice) {
    return notice.empty() ? std::string()
                          : "<p class=\"notice\" role=\"status\">" + Escaped(notice) + "</p>";
}

std::string TokenField(std::string_view csrf) {
    return "<input type=\"hidden\" name=\"csrf\" value=\"" + Escaped(csrf) + "\">";
}

std::string Row(std::string_view name, std::string_view value) {
    return "<tr><th scope=\"row\">" + Escaped(name) + "</th><td>" + Escaped(value) + "</td></tr>";
}

// "2024-05-01 18:30 UTC" (or with the seconds: "2024-05-01 18:30:07 UTC"); "" when the time
// cannot be shown.
std::string UtcTime(int64_t unixSeconds, bool seconds = false) {
    const std::time_t when = static_cast<std::time_t>(unixSeconds);
    std::tm utc{};
    char text[32];
    if (::gmtime_r(&when, &utc) == nullptr ||
        std::strftime(text, sizeof text, seconds ? "%Y-%m-%d %H:%M:%S UTC" : "%Y-%m-%d %H:%M UTC",
                      &utc) == 0) {
        return {};
    }
    return text;
}

int64_t SecondsSince(std::chrono::system_clock::time_point when) {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now() - when)
        .count();
}

// "2024-05-01 18:30 UTC, 1 h 05 min ago": when something began, both ways.
std::string Since(std::chrono::system_clock::time_point when) {
    return UtcTime(
               std::chrono::duration_cast<std::chrono::seconds>(when.time_since_epoch()).count()) +
           ", " + Span(std::max<int64_t>(0, SecondsSince(when))) + " ago";
}

// The live source's rows: where it connects from, its encoder as it named itself, since when.
std::string SourceRows(const StationSnapshot& station) {
    return Row("Source address", station.sourceAddress) +
           Row("Encoder",
               station.sourceUserAgent.empty() ? "(not named)" : station.sourceUserAgent) +
           Row("Connected since", Since(station.sourceSince));
}

// The form that sets the title; `back` names the page the browser returns to.
std::string TitleForm(const StationSnapshot& station, std::string_view csrf,
                      std::string_view back) {
    return "<h2>Title</h2><form method=\"post\" action=\"/admin/title\">" + TokenField(csrf) +
           (back.empty()
                ? std::string()
                : "<input type=\"hidden\" name=\"back\" value=\"" + Escaped(back) + "\">") +
           "<label for=\"title\">Title listeners see</label><input type=\"text\" "
           "id=\"title\" name=\"title\" value=\"" +
           Escaped(station.title) +
           "\"><div><button type=\"submit\">Set the title</button></div></form>";
}

// The certificate's expiry, with the days left: what to renew, and when.
std::string CertificateText(int64_t notAfter) {
    if (notAfter == 0) {
        return "No certificate: TLS is off";
    }
    const int64_t left = notAfter - std::chrono::duration_cast<std::chrono::seconds>(
                                        std::chrono::system_clock::now().time_since_epoch())
                                        .count();
    if (left <= 0) {
        return "Expired on " + UtcTime(notAfter);
    }
    const int64_t days = left / 86400;
    return "Valid until " + UtcTime(notAfter) + " (" + std::to_string(days) +
           (days == 1 ? " day left)" : " days left)");
}

}  // namespace

const char* AdminPageHeaders() {
    return "Content-Security-Policy: default-src 'none'; style-src 'self'; img-src 'self'; "
           "form-action 'self'; frame-ancestors 'none'; base-uri 'none'\r\n"
           "Referrer-Policy: same-origin\r\nX-Frame-Options: DENY\r\n";
}

// Light or dark as the device is. The page paints its own background (Canvas) rather than leaving
// it to the browser, so every text colour is chosen against a known one; the state colours have
// a lighter shade in the dark, where the light scheme's would fall below 4.5:1.
std::string_view AdminStyleSheet() {
    return R"(:root { color-scheme: light dark; --accent: #1f6feb; }
body { font: 16px/1.5 system-ui, sans-serif; margin: 0; background: Canvas; color: CanvasText; }
header { display: flex; justify-content: space-between; align-items: center;
  padding: .5rem 1rem; border-bottom: 1px solid #8884; }
header form { margin: 0; }
nav { padding: .25rem 1rem; border-bottom: 1px solid #8884; }
nav a { margin-right: 1rem; }
td form { display: inline-block; margin: 0 .5rem 0 0; }
td form button { margin-top: .25rem; }
td input[type=text] { width: 12rem; }
input.minutes { width: 6rem; }
.brand { font-weight: 600; margin: 0; }
main { max-width: 48rem; margin: 0 auto; padding: 1rem; }
h1 { font-size: 1.5rem; margin: .5rem 0 1rem; }
h2 { font-size: 1.15rem; margin: 1.5rem 0 .5rem; }
table { border-collapse: collapse; width: 100%; }
.wide { overflow-x: auto; }
.wide table { min-width: 40rem; }
th, td { text-align: left; padding: .4rem .5rem; border-bottom: 1px solid #8883;
  vertical-align: top; overflow-wrap: anywhere; }
th[scope=row] { width: 40%; font-weight: 500; }
label { display: block; margin: .75rem 0 .25rem; }
input[type=text], input[type=password], input[type=number], input[type=date], select {
  font: inherit; width: 100%; max-width: 24rem;
  padding: .5rem; box-sizing: border-box; }
button { font: inherit; padding: .5rem 1rem; min-height: 44px; margin-top: .75rem;
  border: 1px solid var(--accent); border-radius: 6px; background: var(--accent); color: #fff; }
header button { margin: 0; background: none; color: inherit; border-color: #8888; }
.notice { padding: .5rem .75rem; border-left: 4px solid var(--accent); background: #8881; }
.onair { color: #1a7f37; font-weight: 600; }
.offair { color: #b35900; font-weight: 600; }
@media (prefers-color-scheme: dark) {
  .onair { color: #3fb950; }
  .offair { color: #f0883e; }
}
code { font-size: .95em; }
svg.chart { display: block; width: 100%; height: auto; margin: 1rem 0; }
pre.log { white-space: pre-wrap; overflow-wrap: anywhere; font-size: .85rem; }
)";
}

std::string AdminOffPage() {
    return Page("Web console off",
                "<p>The web console is off: no password is set for it.</p><p>To turn it on, set "
                "one on the server, then reload the configuration (or restart):</p>"
                "<p><code>ovserver --set-admin-password</code></p><p>It is served over HTTPS, "
                "and over plain HTTP only to this machine itself (an SSH tunnel works) unless "
                "<code>[Admin] AllowPlainHttp</code> says otherwise.</p>");
}

std::string AdminRefusedPage(std::string_view why) {
    return Page("Not here", "<p>" + Escaped(why) + "</p>");
}

std::string AdminLoginPage(std::string_view message) {
    std::string body;
    if (!message.empty()) {
        body += "<p class=\"notice\" role=\"alert\">" + Escaped(message) + "</p>";
    }
    body +=
        "<form method=\"post\" action=\"/admin/login\"><label for=\"user\">User</label>"
        "<input type=\"text\" id=\"user\" name=\"user\" autocomplete=\"username\" "
        "autocapitalize=\"none\" spellcheck=\"false\" required><label for=\"password\">"
        "Password</label><input type=\"password\" id=\"password\" name=\"password\" "
        "autocomplete=\"current-password\" required><div><button type=\"submit\">Log in</button>"
        "</div></form>";
    return Page("Log in", body);
}

std::string AdminDashboard(const StationSnapshot& station, const AdminFacts& facts) {
    std::string body;
    if (!facts.notice.empty()) {
        body += "<p class=\"notice\" role=\"status\">" + Escaped(facts.notice) + "</p>";
    }
    const auto since = [&station] {
        return Span(std::chrono::duration_cast<std::chrono::seconds>(
                        std::chrono::system_clock::now() - station.streamStart)
                        .count());
    };
    body += "<h2>On air</h2><table>";
    if (station.onAir) {
        body += "<tr><th scope=\"row\">State</th><td class=\"onair\">On air (" +
                Escaped(station.feed) + ") for " + since() + "</td></tr>";
        body += Row(
            "Stream",
            station.contentType + (station.codec.empty() ? "" : " (" + station.codec + ")") +
                (station.bitrate > 0 ? ", " + std::to_string(station.bitrate) + " kbit/s" : ""));
        body += Row("Title", station.title.empty() ? "(none)" : station.title);
        if (!station.sourceAddress.empty()) {
            body += SourceRows(station);
        }
    } else {
        body += "<tr><th scope=\"row\">State</th><td class=\"offair\">Not on air</td></tr>";
    }
    body += Row("Station", station.name);
    body += "</table><h2>Listeners</h2><table>";
    body += Row("Now",
                std::to_string(station.listeners) + " of " + std::to_string(station.maxListeners));
    body += Row("Peak", std::to_string(station.peakListeners));
    if (station.hlsOffered) {
        body += Row("HLS clients", std::to_string(station.hlsListeners));
    }
    body += Row("Since start", std::to_string(station.listenerHits) + " connections");
    body += "</table>" + ListenerChart(facts.listenersPerMinute);
    body += "<h2>Server</h2><table>";
    body += Row("Up for", Span(facts.uptimeSeconds));
    body += Row("Received", Bytes(facts.receivedBytes));
    body += Row("Sent", Bytes(facts.sentBytes));
    body += Row("TLS certificate", CertificateText(facts.certificateNotAfter));
    body += "</table>";
    body += TitleForm(station, facts.csrf, "");
    return Page("Dashboard", body, facts.csrf);
}

}  // namespace orvanta::engine

namespace orvanta::engine {

namespace {

// A listener row's ban form. The address is a field: the operator may widen it to a network
// before banning.
std::string BanForm(std::string_view address, std::string_view csrf) {
    return "<form method=\"post\" action=\"/admin/ban\">" + TokenField(csrf) +
           "<input type=\"hidden\" name=\"back\" value=\"listeners\">"
           "<input type=\"text\" name=\"address\" aria-label=\"Address or network "
           "to ban\" value=\"" +
           Escaped(address) +
           "\"><input type=\"number\" class=\"minutes\" name=\"minutes\" min=\"1\" "
           "aria-label=\"Minutes (empty: for good)\" placeholder=\"minutes\">"
           "<button type=\"submit\">Ban</button></form>";
}

}  // namespace

std::string AdminListenersPage(std::vector<ListenerEntry> listeners,
                               const std::vector<HlsClientEntry>& hlsClients, size_t hlsListeners,
                               std::string_view sort, const AdminFacts& facts) {
    // Sorted on the server, by links in the headings: no script. Text ascending; time, bytes
    // and TLS the most first; ties, and everything by default, in the order they joined.
    using Key = std::function<bool(const ListenerEntry&, const ListenerEntry&)>;
    const std::vector<std::tuple<std::string_view, std::string_view, Key>> columns = {
        {"address", "Address", [](auto& a, auto& b) { return a.address < b.address; }},
        {"player", "Player", [](auto& a, auto& b) { return a.userAgent < b.userAgent; }},
        {"kind", "Kind",
         [](auto& a, auto& b) {
             return std::string_view(KindOf(a)) < std::string_view(KindOf(b));
         }},
        {"connected", "Connected for",
         [](auto& a, auto& b) { return a.connectedSeconds > b.connectedSeconds; }},
        {"sent", "Sent", [](auto& a, auto& b) { return a.bytesSent > b.bytesSent; }},
        {"tls", "TLS", [](auto& a, auto& b) { return a.secure > b.secure; }},
    };
    std::string head = "<th scope=\"col\"" +
                       std::string(sort.empty() ? " aria-sort=\"ascending\"" : "") +
                       "><a href=\"/admin/listeners\">#</a></th>";
    for (const auto& [key, name, before] : columns) {
        const bool sorted = key == sort;
        if (sorted) {
            std::stable_sort(listeners.begin(), listeners.end(), before);
        }
        head += "<th scope=\"col\"" +
                std::string(sorted ? (key == "connected" || key == "sent" || key == "tls"
                                          ? " aria-sort=\"descending\""
                                          : " aria-sort=\"ascending\"")
                                   : "") +
                "><a href=\"/admin/listeners?sort=" + std::string(key) + "\">" + std::string(name) +
                "</a></th>";
    }
    std::string body = Notice(facts.notice);
    if (listeners.empty()) {
        body += "<p>No stream listener is connected.</p>";
    } else {
        // Eight columns do not fit a phone: the table scrolls sideways in a region of its own
        // (focusable, so a keyboard can scroll it too), the page does not.
        body +=
            "<div class=\"wide\" role=\"region\" aria-label=\"Stream listeners\" tabindex=\"0\">"
            "<table><thead><tr>" +
            head + "<th scope=\"col\">Actions</th></tr></thead><tbody>";
        for (const ListenerEntry& listener : listeners) {
            const std::string id = std::to_string(listener.id);
            const std::string_view kind = KindOf(listener);
            body += "<tr><td>" + id + "</td><td>" + Escaped(listener.address) + "</td><td>" +
                    Escaped(listener.userAgent) + "</td><td>" +
                    std::string(kind == "icy" ? "ICY" : kind) + "</td><td>" +
                    Span(listener.connectedSeconds) + "</td><td>" + Bytes(listener.bytesSent) +
                    "</td><td>" + (listener.secure ? "yes" : "no") + "</td><td>";
            body += "<form method=\"post\" action=\"/admin/kick\">" + TokenField(facts.csrf) +
                    "<input type=\"hidden\" name=\"id\" value=\"" + id +
                    "\"><button type=\"submit\">Kick</button></form>";
            body += BanForm(listener.address, facts.csrf) + "</td></tr>";
        }
        body += "</tbody></table></div>";
    }
    body +=
        "<h2>HLS</h2><p>HLS players fetch the playlist and segments without staying "
        "connected: there is nothing to kick, but a ban refuses their requests. " +
        std::to_string(hlsListeners) + " counted now";
    if (hlsClients.size() < hlsListeners) {
        body += ", the latest " + std::to_string(hlsClients.size()) + " listed";
    }
    body += ".</p>";
    if (!hlsClients.empty()) {
        body +=
            "<div class=\"wide\" role=\"region\" aria-label=\"HLS clients\" tabindex=\"0\">"
            "<table><thead><tr><th scope=\"col\">Kind</th><th scope=\"col\">Address</th>"
            "<th scope=\"col\">Player</th><th scope=\"col\">Last seen</th><th scope=\"col\">"
            "Segments</th><th scope=\"col\">Actions</th></tr></thead><tbody>";
        for (const HlsClientEntry& client : hlsClients) {
            body += "<tr><td>HLS</td><td>" + Escaped(client.address) + "</td><td>" +
                    Escaped(client.userAgent) + "</td><td>" + Span(client.lastSeenSeconds) +
                    " ago</td><td>" + std::to_string(client.segments) + "</td><td>" +
                    BanForm(client.address, facts.csrf) + "</td></tr>";
        }
        body += "</tbody></table></div>";
    }
    return Page("Listeners", body, facts.csrf);
}

std::string AdminBansPage(const std::vector<AdminBan>& bans, const AdminFacts& facts) {
    std::string body = Notice(facts.notice);
    body +=
        "<p>A banned address or network gets 403 for everything: the stream, HLS, sources, "
        "pages and this console.</p>";
    if (bans.empty()) {
        body += "<p>Nobody is banned.</p>";
    } else {
        body +=
            "<table><thead><tr><th scope=\"col\">Address or network</th><th scope=\"col\">"
            "Until</th><th scope=\"col\">Action</th></tr></thead><tbody>";
        for (const AdminBan& ban : bans) {
            const std::string until = ban.until > 0 ? UtcTime(ban.until) : "for good";
            body += "<tr><td>" + Escaped(ban.target) + "</td><td>" + Escaped(until) +
                    "</td><td><form method=\"post\" action=\"/admin/unban\">" +
                    TokenField(facts.csrf) + "<input type=\"hidden\" name=\"address\" value=\"" +
                    Escaped(ban.target) +
                    "\"><button type=\"submit\">Remove</button></form></td></tr>";
        }
        body += "</tbody></table>";
    }
    body += "<h2>Add a ban</h2><form method=\"post\" action=\"/admin/ban\">" +
            TokenField(facts.csrf) +
            "<input type=\"hidden\" name=\"back\" value=\"bans\"><label for=\"address\">"
            "Address or network (192.0.2.7, 192.0.2.0/24, 2001:db8::/48)</label><input "
            "type=\"text\" id=\"address\" name=\"address\" required spellcheck=\"false\">"
            "<label for=\"minutes\">For how many minutes (empty: for good)</label><input "
            "type=\"number\" id=\"minutes\" name=\"minutes\" min=\"1\"><div><button "
            "type=\"submit\">Ban</button></div></form>";
    return Page("Bans", body, facts.csrf);
}

}  // namespace orvanta::engine

namespace orvanta::engine {

std::string AdminSourcePage(const StationSnapshot& station,
                            const std::vector<RefusedSource>& refused, const AdminFacts& facts) {
    std::string body = Notice(facts.notice);
    body += "<h2>On air</h2><table>";
    const bool live = station.onAir && station.feed == "live";
    if (!station.onAir) {
        body +=
            "<tr><th scope=\"row\">State</th><td class=\"offair\">Nothing: no source and "
            "no fallback plays</td></tr>";
    } else {
        body += "<tr><th scope=\"row\">State</th><td class=\"onair\">" +
                std::string(live ? "A live source" : "The " + Escaped(station.feed)) + ", for " +
                Span(std::max<int64_t>(0, SecondsSince(station.streamStart))) + "</td></tr>";
        if (!station.sourceAddress.empty()) {
            body += SourceRows(station);
        }
        body += Row("Format", station.contentType +
                                  (station.codec.empty() ? "" : " (" + station.codec + ")"));
        body += Row("Bitrate", station.bitrate > 0 ? std::to_string(station.bitrate) + " kbit/s"
                                                   : "not known");
    }
    body += "</table>";
    body += TitleForm(station, facts.csrf, "source");
    body += "<h2>Kick the source</h2>";
    if (station.sourceAddress.empty()) {
        body += live ? "<p>The live feed is the station's relay: it has no source connection to "
                       "close.</p>"
                     : "<p>No source is connected.</p>";
    } else {
        body +=
            "<p>Kicking closes the source's connection at once; the station falls back as when "
            "a source leaves.</p><form method=\"post\" action=\"/admin/source/kick\">" +
            TokenField(facts.csrf) +
            "<label for=\"minutes\">Refuse this source address for how many minutes (empty: "
            "just disconnect; at most " +
            std::to_string(kMaxSourceRefusalMinutes) +
            ")</label><input type=\"number\" id=\"minutes\" name=\"minutes\" min=\"1\" "
            "max=\"" +
            std::to_string(kMaxSourceRefusalMinutes) +
            "\"><div><button type=\"submit\">Kick the source</button></div></form>";
    }
    if (!refused.empty()) {
        body +=
            "<h2>Refused source addresses</h2><table><thead><tr><th scope=\"col\">Address</th>"
            "<th scope=\"col\">Minutes left</th></tr></thead><tbody>";
        for (const RefusedSource& source : refused) {
            body += "<tr><td>" + Escaped(source.address) + "</td><td>" +
                    std::to_string(source.minutesLeft) + "</td></tr>";
        }
        body += "</tbody></table>";
    }
    body +=
        "<p>Refused addresses are kept in memory only: a restart of the server forgets them. To "
        "keep an address out for good, ban it.</p>";
    return Page("Source", body, facts.csrf);
}

std::vector<std::string> LinesHolding(std::vector<std::string> lines, std::string_view text) {
    if (text.empty()) {
        return lines;
    }
    const std::string wanted = AsciiLower(text);
    std::erase_if(lines, [&wanted](const std::string& line) {
        return AsciiLower(line).find(wanted) == std::string::npos;
    });
    return lines;
}

std::string AdminLogPage(const std::vector<std::string>& lines, size_t total, bool on,
                         std::string_view query, const AdminFacts& facts) {
    std::string body = Notice(facts.notice);
    if (!on) {
        body +=
            "<p class=\"notice\" role=\"status\">Logging is off: the station writes no log. "
            "<code>[Broadcast] CreateLog=true</code> with <code>[Paths] LogDir</code> and "
            "<code>LogFile</code> in <code>Config.ini</code> turn it on.</p>";
    }
    body +=
        "<form method=\"get\" action=\"/admin/log\"><label for=\"q\">Lines containing "
        "(any case)</label><input type=\"text\" id=\"q\" name=\"q\" spellcheck=\"false\" "
        "value=\"" +
        Escaped(query) + "\"><div><button type=\"submit\">Filter</button></div></form>";
    body += "<p>" + std::to_string(lines.size()) + " of " + std::to_string(total) +
            " lines, newest first: the latest the server keeps since the station started.</p>";
    if (!lines.empty()) {
        body += "<pre class=\"log\">";
        for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
            body += Escaped(*line) + "\n";
        }
        body += "</pre>";
    }
    return Page("Log", body, facts.csrf);
}

std::vector<AdminSetting> ParseShownSettings(std::string_view text) {
    std::vector<AdminSetting> settings;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const size_t dot = line.find('.');
        const size_t equals = line.find('=');
        if (dot == 0 || dot == std::string_view::npos || equals == std::string_view::npos ||
            equals < dot) {
            continue;
        }
        settings.push_back(AdminSetting{std::string(line.substr(0, dot)),
                                        std::string(line.substr(dot + 1, equals - dot - 1)),
                                        std::string(line.substr(equals + 1))});
    }
    return settings;
}

std::string AdminSettingsPage(const std::vector<AdminSetting>& settings, const AdminReload& reload,
                              const AdminFacts& facts) {
    std::string body = Notice(facts.notice);
    body += "<h2>Reload</h2>";
    if (reload.available) {
        body +=
            "<p>Reads <code>Config.ini</code> again, as <code>systemctl reload</code> or SIGHUP "
            "do: what can change while the station runs applies at once, the rest after a "
            "restart.</p><form method=\"post\" action=\"/admin/reload\">" +
            TokenField(facts.csrf) +
            "<div><button type=\"submit\">Reload the configuration</button></div></form>";
    } else {
        body += "<p>" + Escaped(kAdminNoReload) + "</p>";
    }
    if (reload.pending) {
        body += "<p role=\"status\">Reload asked: refresh this page for the result.</p>";
    } else if (reload.lastMs > 0) {
        body += "<p>Last reload: " + Escaped(UtcTime(reload.lastMs / 1000, true)) +
                "</p><pre class=\"log\">" + Escaped(reload.said) + "</pre>";
    }
    body +=
        "<p>What the server runs with, read-only; passwords and tokens show only whether "
        "they are set.</p>";
    if (settings.empty()) {
        body += "<p>The server did not hand its configuration over.</p>";
    }
    for (size_t i = 0; i < settings.size(); ++i) {
        if (i == 0 || settings[i].section != settings[i - 1].section) {
            body += (i == 0 ? "" : "</table>") + std::string("<h2>") +
                    Escaped(settings[i].section) + "</h2><table>";
        }
        body += Row(settings[i].key, settings[i].value);
        if (i + 1 == settings.size()) {
            body += "</table>";
        }
    }
    return Page("Settings", body, facts.csrf);
}

}  // namespace orvanta::engine

namespace orvanta::engine {

namespace {

// The link of one export of the range shown.
std::string ExportLink(const ReportRange& range, std::string_view what, std::string_view format) {
    return "<a href=\"/admin/reports/export?what=" + std::string(what) +
           "&amp;format=" + std::string(format) + "&amp;from=" + range.fromDate +
           "&amp;to=" + range.toDate + "\" download>" + std::string(what) + " (" +
           std::string(format == "csv" ? "CSV" : "JSON") + ")</a>";
}

bool Nothing(const ListeningReport& report) {
    return report.summary.sessions == 0 && report.summary.hours == 0 && report.samples == 0 &&
           report.titles.empty();
}

}  // namespace

std::string AdminStatsPage(const AdminStatsView& view, const AdminFacts& facts) {
    std::string body = Notice(facts.notice);
    if (!view.kept) {
        body +=
            "<p class=\"notice\" role=\"status\">Statistics are off: the engine keeps none. "
            "<code>[Stats] Enabled=True</code> in <code>Config.ini</code> turns them on (at the "
            "next start).</p>";
        return Page("Listening reports", body, facts.csrf);
    }
    const auto selected = [&view](std::string_view preset) {
        const bool chosen =
            view.range != nullptr ? view.range->preset == preset : view.rangeAsked == preset;
        return chosen ? " selected" : "";
    };
    body +=
        "<p>Days are counted in UTC.</p><form method=\"get\" action=\"/admin/reports\">"
        "<label for=\"range\">Range</label><select id=\"range\" name=\"range\">"
        "<option value=\"today\"" +
        std::string(selected("today")) + ">Today</option><option value=\"7d\"" + selected("7d") +
        ">The last 7 days</option><option value=\"30d\"" + selected("30d") +
        ">The last 30 days</option></select><div><button type=\"submit\">Show</button></div>"
        "</form><form method=\"get\" action=\"/admin/reports\"><label for=\"from\">From "
        "(YYYY-MM-DD, UTC)</label><input type=\"date\" id=\"from\" name=\"from\" value=\"" +
        Escaped(view.range != nullptr && view.range->preset.empty() ? view.range->fromDate
                                                                    : view.fromAsked) +
        "\"><label for=\"to\">To (included)</label><input type=\"date\" id=\"to\" "
        "name=\"to\" value=\"" +
        Escaped(view.range != nullptr && view.range->preset.empty() ? view.range->toDate
                                                                    : view.toAsked) +
        "\"><div><button type=\"submit\">Show these days</button></div></form>";
    if (view.range == nullptr || view.report == nullptr) {
        body += "<p class=\"notice\" role=\"alert\">" + Escaped(view.problem) + "</p>";
        return Page("Listening reports", body, facts.csrf);
    }
    const ReportRange& range = *view.range;
    body += "<h2>" +
            Escaped(range.fromDate == range.toDate ? range.fromDate
                                                   : range.fromDate + " to " + range.toDate) +
            " (UTC)</h2>";
    if (Nothing(*view.report)) {
        body += "<p>No listening was recorded in this range.</p>";
    } else {
        body += ListeningReportHtml(*view.report, range, view.fullAddresses);
    }
    body += "<h2>Exports</h2><p>The rows of this range as files: ";
    bool first = true;
    for (const char* what : {"sessions", "samples", "titles"}) {
        for (const char* format : {"csv", "json"}) {
            body += (first ? "" : ", ") + ExportLink(range, what, format);
            first = false;
        }
    }
    body += ".</p>";
    return Page("Listening reports", body, facts.csrf);
}

}  // namespace orvanta::engine
