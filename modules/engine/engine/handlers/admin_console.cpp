// The operator's web console under /admin/: off until a password is set, served over HTTPS (and
// over plain HTTP only to this machine, unless the operator allows more), to the addresses the
// operator allows. A login form opens a session kept in a cookie the page's script could not
// read (there is no script); every form that changes something carries the session's token and,
// when the browser names it, our own origin. Passwords are checked off the event loop (the hash
// is slow on purpose) and through the login guard every password of the engine goes through.
#include "base/ascii.h"
#include "base/credentials.h"
#include "engine/address_list.h"
#include "engine/admin_sessions.h"
#include "engine/handlers/handlers.h"
#include "engine/handlers/stats_report.h"
#include "engine/http_reply.h"
#include "engine/log.h"
#include "engine/login_check.h"
#include "web/admin_pages.h"
#include "web/pages.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <optional>
#include <vector>

namespace orvanta::engine {

namespace {

Reply Page(int code, std::string_view reason, const std::string& body,
           std::string_view extraHeaders = {}) {
    return Reply(PrivateResponse(code, reason, "text/html; charset=utf-8", body,
                                 std::string(AdminPageHeaders()) + std::string(extraHeaders)));
}

Reply SeeOther(std::string_view where, std::string_view extraHeaders = {}) {
    return Reply(PrivateResponse(303, "See Other", "text/plain; charset=utf-8", "",
                                 "Location: " + std::string(where) + "\r\n" +
                                     std::string(AdminPageHeaders()) + std::string(extraHeaders)));
}

std::string SessionCookie(std::string_view id, bool secure) {
    return "Set-Cookie: " + std::string(kAdminCookie) + "=" + std::string(id) +
           "; Path=/admin; HttpOnly; SameSite=Strict" + (secure ? "; Secure" : "") + "\r\n";
}

std::string EndedCookie(bool secure) {
    return "Set-Cookie: " + std::string(kAdminCookie) +
           "=; Path=/admin; HttpOnly; SameSite=Strict; Max-Age=0" + (secure ? "; Secure" : "") +
           "\r\n";
}

bool IsLoopback(std::string_view address) {
    return address.rfind("127.", 0) == 0 || address == "::1" ||
           address.rfind("::ffff:127.", 0) == 0;
}

bool AddressAllowed(std::string_view list, std::string_view address);

}  // namespace

std::string ConsoleNotHere(const RequestContext& context) {
    const EngineSettings& settings = context.settings;
    if (!context.secure && !settings.adminAllowPlainHttp && !IsLoopback(context.address)) {
        return "The web console answers over HTTPS, or over plain HTTP to this machine only.";
    }
    if (!AddressAllowed(settings.adminAllowFrom, context.address)) {
        return "The web console does not answer this address.";
    }
    return {};
}

namespace {

// A form that changes something came from a page of ours: the browser names no other origin.
bool SameOrigin(const Request& request, const RequestContext& context) {
    const std::string* origin = request.Find("Origin");
    if (origin == nullptr) {
        return true;  // browsers name it on every POST; other clients carry the token anyway
    }
    const std::string* host = request.Find("Host");
    return host != nullptr &&
           EqualsIgnoreCase(*origin, std::string(context.secure ? "https://" : "http://") + *host);
}

// What the listeners and bans pages say after an action sent the browser back to them.
std::string BanNotice(std::string_view done) {
    if (done == "banned") {
        return "The ban is in force and saved.";
    }
    if (done == "unbanned") {
        return "The ban is lifted.";
    }
    if (done == "unsaved") {
        return "Done, but the bans could not be saved (see the log): the change lasts until the "
               "server stops.";
    }
    if (done == "bad") {
        return "That is not an address or a network (address/prefix length), or not a number of "
               "minutes.";
    }
    if (done == "nosuchban") {
        return "There was no such ban.";
    }
    return {};
}

// Minutes as the ban form sends them: "" for good (0), else a whole number from 1 to ten
// years' worth.
std::optional<int64_t> BanMinutes(std::string_view text) {
    text = TrimSpaceTab(text);
    if (text.empty()) {
        return 0;
    }
    int64_t minutes = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), minutes);
    constexpr int64_t kTenYears = 10LL * 366 * 24 * 60;
    if (ec != std::errc() || end != text.data() + text.size() || minutes < 1 ||
        minutes > kTenYears) {
        return std::nullopt;
    }
    return minutes;
}

// What the source page says after an action sent the browser back to it.
std::string SourceNotice(std::string_view done) {
    if (done == "kicked") {
        return "The source is disconnected.";
    }
    if (done == "refused") {
        return "The source is disconnected, and its address refused as a source for now.";
    }
    if (done == "nosource") {
        return "No source was connected.";
    }
    if (done == "bad") {
        return "Not a number of minutes from 1 to " + std::to_string(kMaxSourceRefusalMinutes) +
               ": nothing was done.";
    }
    if (done == "title") {
        return "The title is set.";
    }
    return {};
}

// The HLS clients the listeners page shows: the latest of those counted.
std::vector<HlsClientEntry> HlsClients(const HlsStream& hls) {
    constexpr size_t kMaxListed = 500;
    const auto now = std::chrono::steady_clock::now();
    std::vector<HlsClientEntry> entries;
    for (const HlsClientSeen& client : hls.Clients(now, kMaxListed)) {
        entries.push_back(HlsClientEntry{
            client.address, client.userAgent,
            std::chrono::duration_cast<std::chrono::seconds>(now - client.lastSeen).count(),
            client.segments});
    }
    return entries;
}

// Whether the operator's list lets `address` try at all (an empty list lets everyone).
bool AddressAllowed(std::string_view list, std::string_view address) {
    return TrimSpaceTab(list).empty() || AddressList::Parse(list).Contains(address);
}

// The log page, filtered by the `q` of its query.
Reply LogPage(const std::vector<std::pair<std::string, std::string>>& query,
              RequestActions& actions, const AdminFacts& facts) {
    const std::string text = QueryValue(query, "q").value_or("");
    std::vector<std::string> lines = actions.RecentLogLines();
    const size_t total = lines.size();
    lines = LinesHolding(std::move(lines), text);
    return Page(200, "OK", AdminLogPage(lines, total, actions.LogOn(), text, facts));
}

// The settings page; after the Reload form sent the browser here, whether the outcome is in.
Reply SettingsPage(std::optional<std::string> done, const RequestContext& context,
                   RequestActions& actions, AdminFacts facts) {
    const EngineSettings& settings = context.settings;
    AdminReload reload;
    reload.available = settings.reloadBySignal;
    reload.pending = actions.ReloadAskedMs() > settings.lastReloadMs;
    reload.lastMs = settings.lastReloadMs;
    reload.said = settings.lastReload;
    if (done == "reload" && !reload.pending) {
        facts.notice = "Reloaded: the outcome is below.";
    } else if (done == "noreload") {
        facts.notice = kAdminNoReload;
    }
    return Page(200, "OK",
                AdminSettingsPage(ParseShownSettings(settings.shownSettings), reload, facts));
}

}  // namespace

Outcome AdminConsoleRequest(const Request& request, const RequestContext& context,
                            RequestActions& actions) {
    const bool post = request.method == "POST";
    const std::string& path = request.path;
    if (path == kAdminStylePath && !post) {
        return Reply(PrivateResponse(
            200, "OK", "text/css; charset=utf-8",
            request.method == "HEAD" ? std::string_view() : AdminStyleSheet(), AdminPageHeaders()));
    }
    // The console's pages and forms; anything else under /admin/ is not the console's.
    static constexpr std::string_view kPaths[] = {"/admin",         "/admin/",
                                                  "/admin/login",   "/admin/logout",
                                                  "/admin/title",   "/admin/listeners",
                                                  "/admin/kick",    "/admin/bans",
                                                  "/admin/ban",     "/admin/unban",
                                                  "/admin/source",  "/admin/source/kick",
                                                  "/admin/reports", "/admin/reports/export",
                                                  "/admin/log",     "/admin/settings",
                                                  "/admin/reload"};
    const bool home = path == "/admin" || path == "/admin/";
    if (std::find(std::begin(kPaths), std::end(kPaths), path) == std::end(kPaths)) {
        return post ? Reply(PlainError(405, "Method Not Allowed"))
                    : Reply(PlainError(404, "Not Found"));
    }
    const EngineSettings& settings = context.settings;
    if (settings.adminPasswordHash.empty()) {
        return home && !post ? Page(200, "OK", AdminOffPage())
                             : Page(403, "Forbidden", AdminOffPage());
    }
    if (const std::string why = ConsoleNotHere(context); !why.empty()) {
        return Reply(Page(403, "Forbidden", AdminRefusedPage(why)).text, "the web console: " + why);
    }

    AdminSessions& sessions = actions.ConsoleSessions();
    const auto now = AdminSessions::Clock::now();
    const std::string* cookies = request.Find("Cookie");
    const auto id = cookies != nullptr ? CookieValue(*cookies, kAdminCookie) : std::nullopt;
    const AdminSessions::Session* session = id ? sessions.Use(*id, now) : nullptr;

    if (path == "/admin/login") {
        if (!post) {
            return session != nullptr ? SeeOther("/admin/") : Page(200, "OK", AdminLoginPage(""));
        }
        if (!SameOrigin(request, context)) {
            return Reply(
                Page(403, "Forbidden", AdminRefusedPage("A login from another site.")).text,
                "a console login from a page of another origin");
        }
        if (auto held = HeldBack(context, actions, TooManyAttempts(actions))) {
            return *held;
        }
        const auto form = ParseQuery(request.body);
        const std::string user = QueryValue(form, "user").value_or("");
        if (!context.passwordChecked) {
            // The hash is slow on purpose: the check runs elsewhere and the request comes back
            // here with its verdict.
            return Outcome::CheckPassword(settings.adminPasswordHash,
                                          QueryValue(form, "password").value_or(""));
        }
        if (!*context.passwordChecked || !ConstantTimeEquals(user, settings.adminUser)) {
            WrongPassword(context, actions);
            return Reply(Page(403, "Forbidden", AdminLoginPage("Wrong user or password.")).text,
                         "a wrong console login");
        }
        actions.Succeeded();
        const AdminSessions::Session& opened = sessions.Open(user, now);
        actions.Log("Web console: " + LogSafe(user) + " logged in from " + context.address);
        return SeeOther("/admin/", SessionCookie(opened.id, context.secure));
    }

    if (session == nullptr) {
        // Not logged in (or no longer): the form first. Actions without a session are refused
        // outright: they are what a foreign page would try.
        return post ? Page(403, "Forbidden", AdminLoginPage("Your session has ended."),
                           EndedCookie(context.secure))
                    : SeeOther("/admin/login");
    }
    if (!post) {
        AdminFacts facts;
        facts.user = session->user;
        facts.csrf = session->csrf;
        const auto query = ParseQuery(request.query);
        const auto done = QueryValue(query, "done");
        if (path == "/admin/listeners") {
            if (done == "kicked") {
                facts.notice =
                    "Listener " + QueryValue(query, "id").value_or("") + " is disconnected.";
            } else if (done == "gone") {
                facts.notice = "That listener had left already.";
            } else {
                facts.notice = BanNotice(done.value_or(""));
            }
            return Page(200, "OK",
                        AdminListenersPage(actions.Listeners(), HlsClients(context.hls),
                                           context.hls.Listeners(std::chrono::steady_clock::now()),
                                           QueryValue(query, "sort").value_or(""), facts));
        }
        if (path == "/admin/reports") {
            return StatsReportPage(request, context, actions, facts);
        }
        if (path == "/admin/reports/export") {
            return StatsExport(request, context, actions, false);
        }
        if (path == "/admin/bans") {
            facts.notice = BanNotice(done.value_or(""));
            std::vector<AdminBan> bans;
            for (const BanList::Ban& ban : actions.Bans()) {
                bans.push_back(AdminBan{ban.target, ban.until});
            }
            return Page(200, "OK", AdminBansPage(bans, facts));
        }
        if (path == "/admin/log") {
            return LogPage(query, actions, facts);
        }
        if (path == "/admin/settings") {
            return SettingsPage(done, context, actions, facts);
        }
        if (path == "/admin/reload") {
            return SeeOther("/admin/settings");
        }
        if (path == "/admin/kick" || path == "/admin/ban" || path == "/admin/unban") {
            return SeeOther("/admin/listeners");
        }
        if (path == "/admin/source") {
            facts.notice = SourceNotice(done.value_or(""));
            return Page(200, "OK",
                        AdminSourcePage(actions.Snapshot(), actions.SourceRefusals(), facts));
        }
        if (path == "/admin/source/kick") {
            return SeeOther("/admin/source");
        }
        const EngineMetrics totals = actions.Metrics();
        facts.receivedBytes = totals.receivedBytes;
        facts.sentBytes = totals.sentBytes;
        facts.uptimeSeconds = std::chrono::duration_cast<std::chrono::seconds>(
                                  std::chrono::system_clock::now() - totals.started)
                                  .count();
        if (done == "title") {
            facts.notice = "The title is set.";
        }
        const StationSnapshot station = actions.Snapshot();
        facts.listenersPerMinute = actions.ListenersPerMinute();
        facts.listenersPerMinute.push_back(station.listeners + station.hlsListeners);
        facts.certificateNotAfter = actions.CertificateNotAfter();
        return Page(200, "OK", AdminDashboard(station, facts));
    }
    const auto form = ParseQuery(request.body);
    if (!SameOrigin(request, context) ||
        !SameToken(QueryValue(form, "csrf").value_or(""), session->csrf)) {
        return Reply(Page(403, "Forbidden", AdminRefusedPage("That form is not one of ours.")).text,
                     "a console form without its session's token or from another origin");
    }
    if (path == "/admin/logout") {
        actions.Log("Web console: " + LogSafe(session->user) + " logged out");
        sessions.Close(*id);
        return SeeOther("/admin/login", EndedCookie(context.secure));
    }
    if (path == "/admin/reload") {
        if (!settings.reloadBySignal) {
            return SeeOther("/admin/settings?done=noreload");
        }
        actions.AskReload(LogSafe(session->user));
        return SeeOther("/admin/settings?done=reload");
    }
    if (path == "/admin/title") {
        actions.SetTitle(QueryValue(form, "title").value_or(""), "");
        return SeeOther(QueryValue(form, "back") == "source" ? "/admin/source?done=title"
                                                             : "/admin/?done=title");
    }
    if (path == "/admin/kick") {
        const std::string text = QueryValue(form, "id").value_or("");
        uint64_t listener = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), listener);
        if (ec != std::errc() || end != text.data() + text.size() ||
            !actions.Kick(listener, LogSafe(session->user) + " on the web console")) {
            return SeeOther("/admin/listeners?done=gone");
        }
        return SeeOther("/admin/listeners?done=kicked&id=" + std::to_string(listener));
    }
    const std::string by = LogSafe(session->user) + " on the web console";
    if (path == "/admin/ban") {
        // Back to the page the form was on: one of two, never an address the form names.
        const std::string back =
            QueryValue(form, "back") == "listeners" ? "/admin/listeners" : "/admin/bans";
        const std::string target(TrimSpaceTab(QueryValue(form, "address").value_or("")));
        const auto minutes = BanMinutes(QueryValue(form, "minutes").value_or(""));
        if (!BanList::Valid(target) || !minutes) {
            return SeeOther(back + "?done=bad");
        }
        const int64_t until =
            *minutes == 0 ? 0 : BanList::UnixSeconds(BanList::Clock::now()) + *minutes * 60;
        const std::string problem = actions.Ban(target, until, by);
        return SeeOther(back + (problem.empty() ? "?done=banned" : "?done=unsaved"));
    }
    if (path == "/admin/source/kick") {
        // Minutes as the form sends them: "" just disconnects.
        const auto minutes = BanMinutes(QueryValue(form, "minutes").value_or(""));
        if (!minutes || *minutes > kMaxSourceRefusalMinutes) {
            return SeeOther("/admin/source?done=bad");
        }
        if (!actions.KickSource(by, static_cast<int>(*minutes))) {
            return SeeOther("/admin/source?done=nosource");
        }
        return SeeOther(*minutes > 0 ? "/admin/source?done=refused" : "/admin/source?done=kicked");
    }
    if (path == "/admin/unban") {
        std::string problem;
        if (!actions.Unban(QueryValue(form, "address").value_or(""), by, &problem)) {
            return SeeOther("/admin/bans?done=nosuchban");
        }
        return SeeOther(problem.empty() ? "/admin/bans?done=unbanned" : "/admin/bans?done=unsaved");
    }
    return Reply(PlainError(405, "Method Not Allowed"));
}

}  // namespace orvanta::engine
