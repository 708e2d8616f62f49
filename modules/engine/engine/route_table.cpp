#include "engine/route_table.h"

#include "hls/playlist.h"

#include <algorithm>

namespace orvanta::engine {

namespace {

using M = Route::Methods;
using P = Route::Path;

constexpr Route kRoutes[] = {
    {M::OneOf, {"OPTIONS"}, P::Any, {}, nullptr, &OptionsRequest},
    {M::OneOf, {"SOURCE", "PUT"}, P::Any, {}, nullptr, &SourceRequest},
    {M::Any, {}, P::Prefix, "/admin/api/", nullptr, &AdminApiRequest},
    {M::OneOf, {"POST"}, P::Prefix, "/admin/", nullptr, &AdminConsoleRequest},
    {M::NoneOf, {"GET", "HEAD"}, P::Any, {}, nullptr, &MethodNotAllowed},
    {M::Any, {}, P::Exact, "/admin.cgi", nullptr, &AdminCgiRequest},
    {M::Any, {}, P::Exact, "/admin/metadata", nullptr, &AdminMetadataRequest},
    {M::Any, {}, P::Exact, "/admin/stats", nullptr, &AdminStatsRequest},
    {M::Any, {}, P::Exact, "/admin/listclients", nullptr, &AdminStatsRequest},
    {M::Any, {}, P::Exact, "/admin", nullptr, &AdminConsoleRequest},
    {M::Any, {}, P::Prefix, "/admin/", nullptr, &AdminConsoleRequest},
    {M::Any, {}, P::Exact, "/stats", nullptr, &ShoutcastStatsRequest},
    {M::Any, {}, P::Exact, "/statistics", nullptr, &ShoutcastStatsRequest},
    {M::Any, {}, P::Exact, "/favicon.ico", nullptr, &FaviconRequest},
    {M::Any, {}, P::Exact, "/metrics", nullptr, &MetricsRequest},
    {M::Any, {}, P::Exact, kHlsPlaylistPath, nullptr, &HlsRequest},
    {M::Any, {}, P::Prefix, kHlsSegmentFolder, nullptr, &HlsRequest},
    {M::Any, {}, P::Predicate, {}, &IsStationPageRequest, &StationPageRequest},
    {M::Any, {}, P::Predicate, {}, &IsStreamRequest, &ListenerRequest},
    {M::Any, {}, P::Any, {}, nullptr, &PageRequest},
};

}  // namespace

bool Route::Matches(const Request& request, const RequestContext& context) const {
    const bool listed = std::any_of(methods.begin(), methods.end(), [&](std::string_view m) {
        return !m.empty() && m == request.method;
    });
    if ((methodMatch == Methods::OneOf && !listed) || (methodMatch == Methods::NoneOf && listed)) {
        return false;
    }
    switch (pathMatch) {
        case Path::Any:
            return true;
        case Path::Exact:
            return request.path == path;
        case Path::Prefix:
            return request.path.rfind(path, 0) == 0;
        case Path::Predicate:
            return accepts(request, context);
    }
    return false;
}

std::span<const Route> Routes() {
    return kRoutes;
}

Handler FindHandler(const Request& request, const RequestContext& context) {
    for (const Route& route : kRoutes) {
        if (route.Matches(request, context)) {
            return route.handler;
        }
    }
    return &PageRequest;
}

}  // namespace orvanta::engine
