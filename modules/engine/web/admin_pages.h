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

// The stream listeners connected now, oldest first, each with a form that disconnects it and one
// that bans its address (or a network the operator types) for a while or for good. HLS players
// are no connections: `hlsListeners` counts them.
// One ban as the bans page shows it: an address or a network, and when it ends (Unix seconds,
// 0 for never).
struct AdminBan {
    std::string target;
    int64_t until = 0;
};

// The bans in force, each with a form that lifts it, and a form that adds one.
std::string AdminBansPage(const std::vector<AdminBan>& bans, const AdminFacts& facts);

// `hlsClients` the latest of the `hlsListeners` counted, each with a form that bans it (HLS
// players hold no connection to close).
std::string AdminListenersPage(const std::vector<ListenerEntry>& listeners,
                               const std::vector<HlsClientEntry>& hlsClients, size_t hlsListeners,
                               const AdminFacts& facts);

// What is on air and, for a live source, who it is; the title form, and a form that kicks the
// source and may refuse its address for a while.
std::string AdminSourcePage(const StationSnapshot& station,
                            const std::vector<RefusedSource>& refused, const AdminFacts& facts);

}  // namespace orvanta::engine
