// What other servers' tools ask of a station besides its stream: the SHOUTcast v2 statistics
// that listener counters poll, and the icon every browser visit asks for. Neither is a refusal
// when missing, and neither writes a log line.
#include "engine/handlers/handlers.h"
#include "engine/http_reply.h"
#include "web/content.h"
#include "web/pages.h"

namespace orvanta::engine {

namespace {

constexpr char kIconType[] = "image/x-icon";

Reply Answer(const Request& request, std::string_view type, std::string_view body) {
    if (request.method == "HEAD") {
        return Reply(ResponseHead(200, "OK", type, body.size()));
    }
    return Reply(Response(200, "OK", type, body));
}

}  // namespace

Outcome ShoutcastStatsRequest(const Request& request, const RequestContext& /*context*/,
                              RequestActions& actions) {
    return Answer(request, "text/xml; charset=utf-8",
                  ShoutcastStatsXml(actions.Snapshot(), actions.Listeners()));
}

Outcome FaviconRequest(const Request& request, const RequestContext& context,
                       RequestActions& actions) {
    // The content folder's own icon, under the same rules as any of its files.
    ContentFolder folder;
    folder.root = context.settings.contentDirectory;
    if (!context.settings.logDirectory.empty()) {
        folder.privateFolders.push_back(context.settings.logDirectory);
    }
    folder.privateFiles = context.privateFiles;
    folder.privateIdentities = actions.PrivateIdentities();
    const ContentFile file = ResolveContent(folder, "/favicon.ico", request.method != "HEAD");
    if (file.status == ContentStatus::Found) {
        Reply reply(ResponseHead(200, "OK", file.contentType, file.size));
        reply.text += file.body;
        return reply;
    }
    return Answer(request, kIconType, BuiltInFavicon());
}

}  // namespace orvanta::engine
