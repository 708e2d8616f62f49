// The HLS playlist and its segments. They are answered from memory like pages, never count
// against the listener limit, and are made for caches: a CDN or proxy in front asks about once
// per segment however many players it serves.
#include "engine/handlers/handlers.h"
#include "engine/http_reply.h"
#include "engine/login_check.h"
#include "hls/playlist.h"
#include "stream/format_table.h"

#include <algorithm>

namespace orvanta::engine {

namespace {

// 200 with `body` (its head only for HEAD), or 304 when the client's copy is current.
Reply Cacheable(const Request& request, const char* type, std::shared_ptr<const std::string> body,
                const std::string& etag, const std::string& cacheControl) {
    const std::string* ifNoneMatch = request.Find("If-None-Match");
    if (ifNoneMatch != nullptr && EtagMatches(*ifNoneMatch, etag)) {
        return Reply(CacheableHead(304, "Not Modified", "", 0, cacheControl, etag));
    }
    Reply reply(CacheableHead(200, "OK", type, body->size(), cacheControl, etag));
    if (request.method != "HEAD") {
        reply.body = std::move(body);
    }
    return reply;
}

}  // namespace

Outcome HlsRequest(const Request& request, const RequestContext& context, RequestActions& actions) {
    actions.HlsAsked(request.path == kHlsPlaylistPath || request.path == kHlsMasterPath);
    const HlsStream& hls = context.hls;
    if (!context.settings.hlsEnabled) {
        return Reply(PlainError(404, "HLS is turned off for this station"));
    }
    const FormatInfo& format = InfoOf(context.format);
    if (context.format != StreamFormat::Unknown && !format.hls) {
        return Reply(PlainError(
            404, "HLS carries MP3 and AAC only; this station streams " + std::string(format.name)));
    }
    if (context.settings.privateBroadcast != 0) {
        if (auto refusal = PrivateListenerRefusal(request, context, actions)) {
            return *refusal;
        }
    }
    const int target = hls.Segmenter() ? hls.Segmenter()->TargetSeconds() : 1;
    if (request.path == kHlsPlaylistPath) {
        const auto playlist = hls.Playlist();
        if (playlist->empty()) {
            return Reply(PlainError(404, "No HLS segments yet"));
        }
        const std::string* userAgent = request.Find("User-Agent");
        actions.PlaylistFetched(userAgent != nullptr ? *userAgent : std::string_view(),
                                context.secure);
        // Short-lived: a cache must fetch a fresh one about twice per segment.
        const std::string cache = "public, max-age=" + std::to_string(std::max(1, target / 2));
        return Cacheable(request, "application/vnd.apple.mpegurl", playlist, hls.PlaylistEtag(),
                         cache);
    }
    if (request.path == kHlsMasterPath) {
        const auto master = std::make_shared<const std::string>(
            hls.Segmenter() ? RenderMasterPlaylist(*hls.Segmenter()) : std::string());
        if (master->empty()) {
            return Reply(PlainError(404, "No HLS segments yet"));
        }
        // Changes only with the codec or the bitrate; as short-lived as the live playlist.
        const std::string cache = "public, max-age=" + std::to_string(std::max(1, target / 2));
        return Cacheable(request, "application/vnd.apple.mpegurl", master,
                         "\"" + HlsFingerprint(*master) + "\"", cache);
    }
    const auto sequence = ParseSegmentPath(request.path);
    const HlsSegment* segment =
        sequence && hls.Segmenter() ? hls.Segmenter()->Find(*sequence) : nullptr;
    if (segment != nullptr && SegmentUri(*segment) != request.path.substr(1)) {
        segment = nullptr;  // the number of a segment of another format
    }
    if (segment == nullptr) {
        return Reply(PlainError(404, "Not Found"), sequence ? "segment not in the window" : "");
    }
    // A segment never changes once published.
    constexpr char kImmutable[] = "public, max-age=86400, immutable";
    if (request.method == "GET") {
        actions.SegmentServed(segment->bytes->size());
    }
    return Cacheable(request,
                     segment->packing != nullptr ? segment->packing->contentType : "audio/mpeg",
                     segment->bytes, segment->etag, kImmutable);
}

}  // namespace orvanta::engine
