// The operator's web console as pages: built whole from plain values, every text escaped, no
// script and no inline style (the console's strict Content-Security-Policy allows neither), so
// they work in any browser, a phone's included.
#pragma once

#include "web/station_snapshot.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta::engine {

// The headers every console page and its style sheet go out with: the policy that forbids
// script, inline style, framing and forms to elsewhere.
const char* AdminPageHeaders();

// Where the console's style sheet is served, and its text.
inline constexpr char kAdminStylePath[] = "/admin/console.css";
std::string_view AdminStyleSheet();

// The cookie that carries a console session.
inline constexpr char kAdminCookie[] = "ovadmin";

// With no password set: what the console is and how to turn it on.
std::string AdminOffPage();
// Refused before any password is asked (plain HTTP from elsewhere, an address not allowed):
// `why` in the operator's words.
std::string AdminRefusedPage(std::string_view why);
// The login form; `message` ("" for none) says why it is shown again.
std::string AdminLoginPage(std::string_view message);

// What the dashboard shows besides the station itself.
struct AdminFacts {
    std::string user;
    std::string csrf;  // the session's token, for the forms
    uint64_t receivedBytes = 0;
    uint64_t sentBytes = 0;
    int64_t uptimeSeconds = 0;
    std::string notice;  // the outcome of the last action ("" for none)
    // Listeners (stream and HLS) one a minute, oldest first, the last the count now.
    std::vector<size_t> listenersPerMinute;
    // When the TLS certificate in use expires (Unix seconds); 0 when TLS is off.
    int64_t certificateNotAfter = 0;
};

std::string AdminDashboard(const StationSnapshot& station, const AdminFacts& facts);

// One ban as the bans page shows it: an address or a network, and when it ends (Unix seconds,
// 0 for never).
struct AdminBan {
    std::string target;
    int64_t until = 0;
};

// The bans in force, each with a form that lifts it, and a form that adds one.
std::string AdminBansPage(const std::vector<AdminBan>& bans, const AdminFacts& facts);

// The stream listeners connected now, in the order `sort` names (a column's key, as the
// column headings link to it: "address", "player", "kind", "connected", "sent", "tls"; anything
// else: the order they joined), each with a form that disconnects it and one that bans its
// address (or a network the operator types) for a while or for good. `hlsClients` the latest
// of the `hlsListeners` counted, each with a form that bans it (HLS players hold no connection
// to close).
std::string AdminListenersPage(std::vector<ListenerEntry> listeners,
                               const std::vector<HlsClientEntry>& hlsClients, size_t hlsListeners,
                               std::string_view sort, const AdminFacts& facts);

// What is on air and, for a live source, who it is; the title form, and a form that kicks the
// source and may refuse its address for a while.
std::string AdminSourcePage(const StationSnapshot& station,
                            const std::vector<RefusedSource>& refused, const AdminFacts& facts);

struct ListeningReport;
struct ReportRange;

// What the reports page shows: the range form and export links, then the report of `range`,
// or why there is none.
struct AdminStatsView {
    bool kept = false;                        // the engine keeps statistics
    bool fullAddresses = false;               // the store keeps whole addresses
    const ReportRange* range = nullptr;       // null: the query's range was refused
    const ListeningReport* report = nullptr;  // null: not read (see problem)
    std::string problem;                      // why not, in the operator's words
    std::string_view rangeAsked;              // the query's own fields, shown again in the form
    std::string_view fromAsked;
    std::string_view toAsked;
};
std::string AdminStatsPage(const AdminStatsView& view, const AdminFacts& facts);

// Why the console's Reload is not offered, in the operator's words.
inline constexpr char kAdminNoReload[] =
    "Reload is available here only when the server runs without a window (headless, as the "
    "system service does). With the console window open, change and apply settings there.";

// The log page: `lines` (oldest first) are those of the `total` kept that hold `query` ("" for
// every one), shown newest first with a plain GET form that filters them; `on`: the station
// logs (else the page says how to turn it on).
std::string AdminLogPage(const std::vector<std::string>& lines, size_t total, bool on,
                         std::string_view query, const AdminFacts& facts);
// The lines that hold `text`, compared without regard to ASCII case; all of them for "".
std::vector<std::string> LinesHolding(std::vector<std::string> lines, std::string_view text);

// One stored setting as the console handed it over, secrets already "set" or "not set".
struct AdminSetting {
    std::string section;
    std::string key;
    std::string value;
};
// The "Section.Key=value" lines of the settings the console hands over, in their order.
std::vector<AdminSetting> ParseShownSettings(std::string_view text);

// The console's reload as the settings page tells it.
struct AdminReload {
    bool available = false;  // the console re-reads on SIGHUP, so the page may ask for it
    bool pending = false;    // asked after the last outcome came
    int64_t lastMs = 0;      // when the last reload happened (ms since 1970 UTC; 0: none)
    std::string said;        // what the console said of it
};
// The running configuration, read-only, by section, with the Reload form and the last reload's
// outcome.
std::string AdminSettingsPage(const std::vector<AdminSetting>& settings, const AdminReload& reload,
                              const AdminFacts& facts);

}  // namespace orvanta::engine
