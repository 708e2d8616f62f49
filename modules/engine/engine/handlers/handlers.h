// The engine's request handlers, one file each. A handler takes the request and the narrow view
// of the engine it needs, and returns the whole answer or says it took the connection. The
// route table (route_table.h) picks the handler of an HTTP request; the v1 login on the source
// port has its two steps here too.
#pragma once

#include "engine/reply.h"
#include "engine/request_context.h"
#include "http/request.h"

#include <string>
#include <vector>

namespace orvanta::engine {

using Handler = Outcome (*)(const Request& request, const RequestContext& context,
                            RequestActions& actions);

Outcome OptionsRequest(const Request& request, const RequestContext& context,
                       RequestActions& actions);
Outcome MethodNotAllowed(const Request& request, const RequestContext& context,
                         RequestActions& actions);
// Icecast-style sources: SOURCE, or PUT (with Expect: 100-continue, or without).
Outcome SourceRequest(const Request& request, const RequestContext& context,
                      RequestActions& actions);
// Title updates: SHOUTcast v1 (/admin.cgi) and Icecast-style (/admin/metadata).
Outcome AdminCgiRequest(const Request& request, const RequestContext& context,
                        RequestActions& actions);
Outcome AdminMetadataRequest(const Request& request, const RequestContext& context,
                             RequestActions& actions);
// The Icecast admin's /admin/stats and /admin/listclients, behind the source password.
Outcome AdminStatsRequest(const Request& request, const RequestContext& context,
                          RequestActions& actions);
// SHOUTcast v2's /stats and /statistics, and /favicon.ico.
Outcome ShoutcastStatsRequest(const Request& request, const RequestContext& context,
                              RequestActions& actions);
Outcome FaviconRequest(const Request& request, const RequestContext& context,
                       RequestActions& actions);
// The station's metrics in Prometheus's text format, for this machine and the addresses
// [Admin] MetricsAllowFrom lists.
Outcome MetricsRequest(const Request& request, const RequestContext& context,
                       RequestActions& actions);
// The HLS playlist and its segments.
Outcome HlsRequest(const Request& request, const RequestContext& context, RequestActions& actions);
// A listener of the stream (and the Windows Media HTTP streaming handshake's header request).
Outcome ListenerRequest(const Request& request, const RequestContext& context,
                        RequestActions& actions);
// Whether a GET or HEAD asks for the stream: "/" does for players, not for browsers.
bool IsStreamRequest(const Request& request, const RequestContext& context);
// The stream's address as the client reached us (its Host header when plain).
std::string StreamUrl(const Request& request, const RequestContext& context);
// The operator's web console under /admin/ (its login, pages and forms, and its style sheet).
Outcome AdminConsoleRequest(const Request& request, const RequestContext& context,
                            RequestActions& actions);
// Why the console (and its API) is not offered to this client at all: plain HTTP from another
// machine without [Admin] AllowPlainHttp, or an address [Admin] AllowFrom leaves out; "" when
// it is.
std::string ConsoleNotHere(const RequestContext& context);
// The console's JSON API under /admin/api/, for scripts with the API token.
Outcome AdminApiRequest(const Request& request, const RequestContext& context,
                        RequestActions& actions);
// The station page's own files and documents: /nowplaying.json, /manifest.webmanifest, the
// compiled-in script, style sheet and icons under /assets/, and hls.js by its versioned address.
// Asked before the stream's paths, so that no mount can hide them.
bool IsStationPageRequest(const Request& request, const RequestContext& context);
Outcome StationPageRequest(const Request& request, const RequestContext& context,
                           RequestActions& actions);
// Status pages, playlists, the content folder and the station's own page.
Outcome PageRequest(const Request& request, const RequestContext& context, RequestActions& actions);

// SHOUTcast v1 on the source port: the password line (Continue with OK2 when it is right),
// then the header block, whose audio follows.
Outcome V1Login(const std::string& line, const RequestContext& context, RequestActions& actions);
Outcome V1LoginHeaders(const std::vector<Header>& headers, const RequestContext& context,
                       RequestActions& actions);

}  // namespace orvanta::engine
