// Status pages, playlists, the content folder and the station's own page. They never count
// against the listener limit and answer whatever the source is doing.
#include "base/ascii.h"
#include "engine/handlers/handlers.h"
#include "engine/http_reply.h"
#include "web/content.h"
#include "web/pages.h"

namespace orvanta::engine {

namespace {

// The path of the stream: the mount its source used, else "/stream".
std::string StreamPath(const RequestContext& context) {
    return !context.mount.empty() && context.mount != "/" ? context.mount : "/stream";
}

}  // namespace

// The stream's address as the client reached us: its Host header when it is a plain
// host[:port], else the loopback address and our port.
std::string StreamUrl(const Request& request, const RequestContext& context) {
    std::string host;
    if (const std::string* given = request.Find("Host")) {
        host = *given;
    }
    const bool plain = !host.empty() && host.size() < 256 &&
                       host.find_first_not_of(
                           "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                           "0123456789.-:[]") == std::string::npos;
    if (!plain) {
        host = "127.0.0.1:" + std::to_string(context.port);
    }
    // The mount is the source's own text: only what a URL path may hold goes out as is.
    const std::string path = PercentEncode(StreamPath(context), [](unsigned char byte) {
        return byte > 0x20 && byte < 0x7F && byte != '"' && byte != '<' && byte != '>' &&
               byte != '%' && byte != '\\' && byte != '#' && byte != '?';
    });
    return std::string(context.secure ? "https://" : "http://") + host + path;
}

namespace {

// A generated page: its head alone for HEAD.
Reply Page(const Request& request, const std::string& type, const std::string& body,
           const std::string& headers = {}) {
    if (request.method == "HEAD") {
        return Reply(ResponseHead(200, "OK", type, body.size(), headers));
    }
    return Reply(Response(200, "OK", type, body, headers));
}

// A file of the content folder; the station's own page where the folder has no index page.
Reply ContentOrStationPage(const Request& request, const RequestContext& context,
                           const RequestActions& actions) {
    const EngineSettings& settings = context.settings;
    ContentFolder folder;
    folder.root = settings.contentDirectory;
    folder.indexPage = settings.indexPage;
    if (!settings.logDirectory.empty()) {
        folder.privateFolders.push_back(settings.logDirectory);
    }
    folder.privateFiles = context.privateFiles;
    folder.privateIdentities = actions.PrivateIdentities();
    const std::string_view target(request.target);
    const ContentFile file =
        ResolveContent(folder, target.substr(0, target.find('?')), request.method != "HEAD");
    if (file.status == ContentStatus::Found) {
        // The length is the file's, also for HEAD.
        Reply reply(ResponseHead(200, "OK", file.contentType, file.size));
        reply.text += file.body;
        return reply;
    }
    if (request.path == "/" || request.path == "/index.html") {
        return Page(request, "text/html; charset=utf-8",
                    StationPage(actions.Snapshot(), StreamPath(context)), HtmlPageHeaders());
    }
    if (file.status == ContentStatus::Forbidden) {
        return Reply(PlainError(403, "Forbidden"));
    }
    // A page that is not there is no refusal; asking for a file that is never served is.
    if (file.withheld) {
        return Reply(PlainError(404, "Not Found"), "a file that is never served");
    }
    return Quiet(Reply(PlainError(404, "Not Found")));
}

}  // namespace

Outcome PageRequest(const Request& request, const RequestContext& context,
                    RequestActions& actions) {
    const std::string& path = request.path;
    if (path == "/7.html") {
        return Page(request, "text/html", SevenHtml(actions.Snapshot()), HtmlPageHeaders());
    }
    if (path == "/played.html") {
        return Page(request, "text/html; charset=utf-8", PlayedHtml(actions.Snapshot()),
                    HtmlPageHeaders());
    }
    if (path == "/status-json.xsl" || path == "/status.json") {
        return Page(
            request, "application/json; charset=utf-8",
            StatusJson(actions.Snapshot(), StreamUrl(request, context), path == "/status.json"));
    }
    if (path == "/listen.pls" || path == "/listen.m3u") {
        const bool pls = path == "/listen.pls";
        return Page(request, pls ? "audio/x-scpls" : "audio/x-mpegurl",
                    Playlist(StreamUrl(request, context), actions.Snapshot().name, pls));
    }
    return ContentOrStationPage(request, context, actions);
}

}  // namespace orvanta::engine
