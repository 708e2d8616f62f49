// The Icecast admin's statistics and listener list, for the tools that manage stations through
// it. They show who listens, so they take the source password, checked as for title updates.
#include "engine/handlers/handlers.h"
#include "engine/http_reply.h"
#include "engine/login_check.h"
#include "web/pages.h"

namespace orvanta::engine {

Outcome AdminStatsRequest(const Request& request, const RequestContext& context,
                          RequestActions& actions) {
    if (auto refusal = SourceRefusal(request, context, actions)) {
        return *refusal;
    }
    const std::string mount =
        !context.mount.empty() && context.mount != "/" ? context.mount : "/stream";
    const std::string body =
        request.path == "/admin/listclients"
            ? ListClientsXml(mount, actions.Listeners())
            : IcecastStatsXml(actions.Snapshot(), mount, StreamUrl(request, context));
    return Reply(Response(200, "OK", "text/xml; charset=utf-8", body));
}

}  // namespace orvanta::engine
