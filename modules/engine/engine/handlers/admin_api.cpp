// The console's JSON API for scripts: what the console shows and does, under /admin/api/, with
// the API token as a bearer token instead of a login. The same addresses as the console may use
// it; a wrong token counts against the address like any wrong password. Requests that change
// something are POSTs with form fields; answers are JSON.
#include "base/credentials.h"
#include "engine/handlers/handlers.h"
#include "engine/handlers/stats_report.h"
#include "engine/http_reply.h"
#include "engine/log.h"
#include "engine/login_check.h"
#include "web/admin_pages.h"
#include "web/pages.h"

#include <charconv>

namespace orvanta::engine {

namespace {

Reply Json(int code, std::string_view reason, const std::string& body,
           std::string_view extraHeaders = {}) {
    return Reply(PrivateResponse(code, reason, "application/json", body + "\n", extraHeaders));
}

Reply JsonError(int code, std::string_view reason, std::string_view message,
                std::string_view extraHeaders = {}) {
    return Json(code, reason, "{\"error\":\"" + JsonEscape(message) + "\"}", extraHeaders);
}

std::string Quoted(std::string_view text) {
    return "\"" + JsonEscape(text) + "\"";
}

std::string StatusJsonOf(const StationSnapshot& station, const EngineMetrics& metrics) {
    const auto since = [](std::chrono::system_clock::time_point when) {
        return std::to_string(
            std::chrono::duration_cast<std::chrono::seconds>(when.time_since_epoch()).count());
    };
    std::string json = "{\"on_air\":" + std::string(station.onAir ? "true" : "false");
    json += ",\"playing\":" + Quoted(station.feed);
    if (station.onAir) {
        json += ",\"playing_since\":" + since(station.streamStart);
    }
    json += ",\"title\":" + Quoted(station.title) + ",\"name\":" + Quoted(station.name) +
            ",\"content_type\":" + Quoted(station.contentType) +
            ",\"bitrate\":" + std::to_string(station.bitrate) +
            ",\"listeners\":" + std::to_string(station.listeners) +
            ",\"listeners_peak\":" + std::to_string(station.peakListeners) +
            ",\"listeners_max\":" + std::to_string(station.maxListeners) +
            ",\"hls_clients\":" + std::to_string(station.hlsListeners) +
            ",\"received_bytes\":" + std::to_string(metrics.receivedBytes) +
            ",\"sent_bytes\":" + std::to_string(metrics.sentBytes) +
            ",\"started\":" + since(metrics.started);
    if (!station.sourceAddress.empty()) {
        json += ",\"source\":{\"address\":" + Quoted(station.sourceAddress) +
                ",\"user_agent\":" + Quoted(station.sourceUserAgent) +
                ",\"connected_since\":" + since(station.sourceSince) + "}";
    }
    return json + "}";
}

std::string ListenersJson(const std::vector<ListenerEntry>& listeners) {
    std::string json = "[";
    for (const ListenerEntry& listener : listeners) {
        if (json.size() > 1) {
            json += ',';
        }
        json += "{\"id\":" + std::to_string(listener.id) +
                ",\"address\":" + Quoted(listener.address) +
                ",\"user_agent\":" + Quoted(listener.userAgent) +
                ",\"kind\":" + Quoted(KindOf(listener)) +
                ",\"connected_seconds\":" + std::to_string(listener.connectedSeconds) +
                ",\"bytes_sent\":" + std::to_string(listener.bytesSent) +
                ",\"tls\":" + (listener.secure ? "true" : "false") + "}";
    }
    return json + "]";
}

// The HLS clients counted now, after the stream listeners: players that fetch and go, with no
// id (there is no connection to kick) and the seconds since their last request.
std::string HlsClientsJson(const HlsStream& hls) {
    constexpr size_t kMaxListed = 10'000;
    const auto now = std::chrono::steady_clock::now();
    std::string json;
    for (const HlsClientSeen& client : hls.Clients(now, kMaxListed)) {
        json +=
            ",{\"address\":" + Quoted(client.address) +
            ",\"user_agent\":" + Quoted(client.userAgent) + ",\"kind\":\"hls\"" +
            ",\"last_seen_seconds\":" +
            std::to_string(
                std::chrono::duration_cast<std::chrono::seconds>(now - client.lastSeen).count()) +
            ",\"segments\":" + std::to_string(client.segments) + "}";
    }
    return json;
}

std::optional<uint64_t> Number(std::string_view text) {
    uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

std::string StringsJson(const std::vector<std::string>& texts) {
    std::string json = "[";
    for (const std::string& text : texts) {
        json += (json.size() > 1 ? "," : "") + Quoted(text);
    }
    return json + "]";
}

// {"Section":{"Key":"value",...},...}: the settings as the console handed them over.
std::string SettingsJson(const std::vector<AdminSetting>& settings) {
    std::string json = "{";
    for (size_t i = 0; i < settings.size(); ++i) {
        if (i == 0 || settings[i].section != settings[i - 1].section) {
            json += (i == 0 ? "" : "},") + Quoted(settings[i].section) + ":{";
        } else {
            json += ',';
        }
        json += Quoted(settings[i].key) + ":" + Quoted(settings[i].value);
    }
    return json + (settings.empty() ? "}" : "}}");
}

}  // namespace

Outcome AdminApiRequest(const Request& request, const RequestContext& context,
                        RequestActions& actions) {
    const EngineSettings& settings = context.settings;
    if (settings.adminApiTokenHash.empty()) {
        return JsonError(404, "Not Found", "the API is off: no token is set");
    }
    if (const std::string why = ConsoleNotHere(context); !why.empty()) {
        Reply refused = JsonError(403, "Forbidden", why);
        refused.why = "the console's API: " + why;
        return refused;
    }
    constexpr std::string_view kChallenge = "WWW-Authenticate: Bearer realm=\"Orvanta Server\"\r\n";
    const std::string_view token = BearerToken(request);
    if (token.empty()) {
        return Quiet(JsonError(401, "Unauthorized", "a bearer token is needed", kChallenge));
    }
    if (auto held = HeldBack(context, actions, TooManyAttempts(actions))) {
        return *held;
    }
    if (!VerifyApiToken(settings.adminApiTokenHash, token)) {
        WrongPassword(context, actions);
        Reply wrong = JsonError(401, "Unauthorized", "wrong token", kChallenge);
        wrong.why = "a wrong API token";
        return wrong;
    }
    actions.Succeeded();

    const std::string& path = request.path;
    const bool post = request.method == "POST";
    if (!post && (request.method == "GET" || request.method == "HEAD")) {
        if (path == "/admin/api/status") {
            return Json(200, "OK", StatusJsonOf(actions.Snapshot(), actions.Metrics()));
        }
        if (path == "/admin/api/listeners") {
            std::string json = ListenersJson(actions.Listeners());
            const std::string hls = HlsClientsJson(context.hls);  // each after a comma
            if (!hls.empty()) {
                json.pop_back();  // the closing bracket
                json += (json.size() > 1 ? hls : hls.substr(1)) + "]";
            }
            return Json(200, "OK", json);
        }
        if (path == "/admin/api/bans") {
            std::string json = "[";
            for (const BanList::Ban& ban : actions.Bans()) {
                json += std::string(json.size() > 1 ? "," : "") +
                        "{\"target\":" + Quoted(ban.target) +
                        ",\"until\":" + std::to_string(ban.until) + "}";
            }
            return Json(200, "OK", json + "]");
        }
        if (path == "/admin/api/log") {
            const auto query = ParseQuery(request.query);
            return Json(200, "OK",
                        StringsJson(LinesHolding(actions.RecentLogLines(),
                                                 QueryValue(query, "q").value_or(""))));
        }
        if (path == "/admin/api/stats") {
            return StatsSummary(request, context, actions);
        }
        if (path == "/admin/api/stats/export") {
            return StatsExport(request, context, actions, true);
        }
        if (path == "/admin/api/settings") {
            return Json(200, "OK", SettingsJson(ParseShownSettings(settings.shownSettings)));
        }
        return JsonError(404, "Not Found", "no such resource");
    }
    if (!post) {
        return JsonError(405, "Method Not Allowed", "GET for reading, POST for actions");
    }
    const auto form = ParseQuery(request.body);
    const std::string by = "the API";
    if (path == "/admin/api/title") {
        const auto title = QueryValue(form, "title");
        if (!title) {
            return JsonError(400, "Bad Request", "no title field");
        }
        actions.SetTitle(*title, QueryValue(form, "url").value_or(""));
        return Json(200, "OK", "{\"done\":true}");
    }
    if (path == "/admin/api/kick") {
        const auto id = Number(QueryValue(form, "id").value_or(""));
        if (!id) {
            return JsonError(400, "Bad Request", "no listener id");
        }
        return actions.Kick(*id, by) ? Json(200, "OK", "{\"done\":true}")
                                     : JsonError(404, "Not Found", "no such listener");
    }
    if (path == "/admin/api/source/kick") {
        const auto minutes = Number(QueryValue(form, "minutes").value_or("0"));
        if (!minutes || *minutes > static_cast<uint64_t>(kMaxSourceRefusalMinutes)) {
            return JsonError(400, "Bad Request",
                             "minutes: 0 or none (just disconnect) to " +
                                 std::to_string(kMaxSourceRefusalMinutes));
        }
        return actions.KickSource(by, static_cast<int>(*minutes))
                   ? Json(200, "OK", "{\"done\":true}")
                   : JsonError(404, "Not Found", "no source is connected");
    }
    if (path == "/admin/api/ban") {
        const std::string target = QueryValue(form, "target").value_or("");
        const auto minutes = Number(QueryValue(form, "minutes").value_or("0"));
        constexpr uint64_t kTenYears = 10ull * 366 * 24 * 60;
        if (!BanList::Valid(target) || !minutes || *minutes > kTenYears) {
            return JsonError(400, "Bad Request",
                             "target: an address or a network; minutes: 0 (for good) or more");
        }
        const int64_t until = *minutes == 0 ? 0
                                            : BanList::UnixSeconds(BanList::Clock::now()) +
                                                  static_cast<int64_t>(*minutes) * 60;
        const std::string problem = actions.Ban(target, until, by);
        return problem.empty()
                   ? Json(200, "OK", "{\"done\":true}")
                   : Json(200, "OK",
                          "{\"done\":true,\"saved\":false,\"problem\":" + Quoted(problem) + "}");
    }
    if (path == "/admin/api/unban") {
        std::string problem;
        if (!actions.Unban(QueryValue(form, "target").value_or(""), by, &problem)) {
            return JsonError(404, "Not Found", "no such ban");
        }
        return problem.empty()
                   ? Json(200, "OK", "{\"done\":true}")
                   : Json(200, "OK",
                          "{\"done\":true,\"saved\":false,\"problem\":" + Quoted(problem) + "}");
    }
    if (path == "/admin/api/reload") {
        if (!settings.reloadBySignal) {
            return JsonError(409, "Conflict", kAdminNoReload);
        }
        actions.AskReload("a script with the API token");
        return Json(200, "OK", "{\"done\":true}");
    }
    return JsonError(404, "Not Found", "no such action");
}

}  // namespace orvanta::engine
