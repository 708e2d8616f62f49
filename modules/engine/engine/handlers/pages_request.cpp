// Status pages, playlists, the content folder and the station's own page with its files. They
// never count against the listener limit and answer whatever the source is doing.
#include "base/ascii.h"
#include "engine/handlers/handlers.h"
#include "engine/http_reply.h"
#include "engine/module_folder.h"
#include "web/content.h"
#include "web/pages.h"
#include "web/station_assets.h"
#include "web/station_page.h"

#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <openssl/evp.h>
#include <unistd.h>

namespace orvanta::engine {

namespace {

// The path of the stream: the mount its source used, else "/stream". A mount named like one of
// the station page's own paths is answered by those (they come first in the route table), so
// the page points players at "/stream", which always reaches the stream.
std::string StreamPath(const RequestContext& context) {
    return !context.mount.empty() && context.mount != "/" && !IsStationPagePath(context.mount)
               ? context.mount
               : "/stream";
}

// "http://host:port" as the client reached us: its Host header when it is a plain host[:port],
// else the loopback address and our port.
std::string Origin(const Request& request, const RequestContext& context) {
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
    return std::string(context.secure ? "https://" : "http://") + host;
}

// The stream's path as it goes into an address. The mount is the source's own text: only what
// a URL path may hold goes out as is.
std::string EncodedStreamPath(const RequestContext& context) {
    return PercentEncode(StreamPath(context), [](unsigned char byte) {
        return byte > 0x20 && byte < 0x7F && byte != '"' && byte != '<' && byte != '>' &&
               byte != '%' && byte != '\\' && byte != '#' && byte != '?';
    });
}

}  // namespace

// The stream's address as the client reached us.
std::string StreamUrl(const Request& request, const RequestContext& context) {
    return Origin(request, context) + EncodedStreamPath(context);
}

namespace {

// hls.js as installed beside the engine (the program folder's web/), read once: the file is
// the build's and does not change while the program runs.
struct HlsLibraryFile {
    std::shared_ptr<const std::string> body;
    std::string hash;  // the first 12 hex digits of its SHA-256; "" when there is no file
};

HlsLibraryFile ReadHlsLibrary() {
    // Bounded: the light build is about 400 kB.
    constexpr size_t kMaxBytes = 4u << 20;
    const std::string path = ModuleFolder() + "/web/" + std::string(kHlsLibraryName);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    std::string body;
    char buffer[65536];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0 && body.size() < kMaxBytes) {
        body.append(buffer, static_cast<size_t>(got));
    }
    ::close(fd);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (got < 0 || body.empty() || body.size() >= kMaxBytes ||
        EVP_Digest(body.data(), body.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
        return {};
    }
    HlsLibraryFile library;
    library.body = std::make_shared<const std::string>(std::move(body));
    for (unsigned int i = 0; i < 6 && i < length; ++i) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", digest[i]);
        library.hash += hex;
    }
    return library;
}

// Read at the first page or request that needs it (once per loaded engine module).
const HlsLibraryFile& HlsLibrary() {
    static const HlsLibraryFile library = ReadHlsLibrary();
    return library;
}

ContentFolder StationContent(const RequestContext& context, const RequestActions& actions) {
    const EngineSettings& settings = context.settings;
    ContentFolder folder;
    folder.root = settings.contentDirectory;
    folder.indexPage = settings.indexPage;
    if (!settings.logDirectory.empty()) {
        folder.privateFolders.push_back(settings.logDirectory);
    }
    folder.privateFiles = context.privateFiles;
    folder.privateIdentities = actions.PrivateIdentities();
    return folder;
}

StationPageFacts FactsFor(const Request& request, const RequestContext& context,
                          const ContentFolder& folder) {
    StationPageFacts facts;
    facts.origin = Origin(request, context);
    facts.streamPath = EncodedStreamPath(context);
    for (const char* logo : {"/logo.svg", "/logo.png"}) {
        if (ResolveContent(folder, logo, false).status == ContentStatus::Found) {
            facts.logoPath = logo;
            break;
        }
    }
    const HlsLibraryFile& library = HlsLibrary();
    if (!library.hash.empty()) {
        facts.hlsLibraryPath = VersionedAssetPath(kHlsLibraryName, library.hash);
    }
    facts.languageCode = context.settings.languageCode;
    return facts;
}

// A generated page: its head alone for HEAD.
Reply Page(const Request& request, const std::string& type, const std::string& body,
           const std::string& headers = {}) {
    if (request.method == "HEAD") {
        return Reply(ResponseHead(200, "OK", type, body.size(), headers));
    }
    return Reply(Response(200, "OK", type, body, headers));
}

// A file of the station page's own, or 304 when the client's copy is current: its hash is its
// ETag.
Reply AssetReply(const Request& request, std::string_view name, std::string_view hash,
                 bool versioned, std::shared_ptr<const std::string> body) {
    const std::string etag = "\"" + std::string(hash) + "\"";
    const char* cacheControl = AssetCacheControl(versioned);
    const std::string* ifNoneMatch = request.Find("If-None-Match");
    if (ifNoneMatch != nullptr && EtagMatches(*ifNoneMatch, etag)) {
        return Reply(CacheableHead(304, "Not Modified", "", 0, cacheControl, etag));
    }
    Reply reply(CacheableHead(200, "OK", MimeTypeForPath(name), body->size(), cacheControl, etag));
    if (request.method != "HEAD") {
        reply.body = std::move(body);
    }
    return reply;
}

// A file of the content folder as it lies there.
Reply ContentReply(const ContentFile& file) {
    // The length is the file's, also for HEAD.
    Reply reply(ResponseHead(200, "OK", file.contentType, file.size));
    reply.text += file.body;
    return reply;
}

// A file of the content folder; the station's own page where the folder has no index page.
Reply ContentOrStationPage(const Request& request, const RequestContext& context,
                           const RequestActions& actions) {
    const ContentFolder folder = StationContent(context, actions);
    const std::string_view target(request.target);
    const ContentFile file =
        ResolveContent(folder, target.substr(0, target.find('?')), request.method != "HEAD");
    if (file.status == ContentStatus::Found) {
        return ContentReply(file);
    }
    if (request.path == "/" || request.path == "/index.html") {
        return Page(request, "text/html; charset=utf-8",
                    StationPage(actions.Snapshot(), FactsFor(request, context, folder)),
                    StationPageHeaders());
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

bool IsStationPageRequest(const Request& request, const RequestContext& /*context*/) {
    return IsStationPagePath(request.path) ||
           MatchAsset(request.path, kHlsLibraryName, HlsLibrary().hash) == AssetMatch::Versioned;
}

Outcome StationPageRequest(const Request& request, const RequestContext& context,
                           RequestActions& actions) {
    const std::string& path = request.path;
    if (path == kNowPlayingPath) {
        // Asked every two seconds by every open page: only the addresses, no look at the disk.
        StationPageFacts facts;
        facts.origin = Origin(request, context);
        facts.streamPath = EncodedStreamPath(context);
        return Page(request, "application/json; charset=utf-8",
                    NowPlayingJson(actions.Snapshot(), facts), "Cache-Control: no-cache\r\n");
    }
    if (path == kManifestPath) {
        // An operator's own manifest wins, as the own index page does.
        const ContentFile file =
            ResolveContent(StationContent(context, actions), path, request.method != "HEAD");
        if (file.status == ContentStatus::Found) {
            return ContentReply(file);
        }
        return Page(request, "application/manifest+json", StationManifest(actions.Snapshot()),
                    "Cache-Control: max-age=300\r\n");
    }
    if (const std::optional<FoundAsset> asset = FindEmbeddedAsset(path)) {
        const EmbeddedFile& file = *asset->file;
        return AssetReply(request, file.name, file.hash, asset->versioned,
                          std::make_shared<const std::string>(file.body));
    }
    // hls.js, by its versioned address only: the page asks for nothing else.
    const HlsLibraryFile& library = HlsLibrary();
    if (!library.hash.empty()) {
        return AssetReply(request, kHlsLibraryName, library.hash, true, library.body);
    }
    return Quiet(Reply(PlainError(404, "Not Found")));
}

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
