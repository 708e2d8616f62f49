// A listener of the stream: the checks before it may listen, and the head it is sent first.
// Players of the Windows Media HTTP streaming handshake (mmsh://) get that protocol's heads.
#include "base/ascii.h"
#include "engine/handlers/handlers.h"
#include "engine/http_reply.h"
#include "engine/login_check.h"
#include "engine/tunables.h"
#include "stream/asf.h"
#include "stream/format_table.h"

#include <algorithm>

namespace orvanta::engine {

namespace {

// Handshake players quote the id of their session; ours only need to differ. Engine thread only.
uint32_t NextMmshClientId() {
    static uint32_t last = 0;
    return ++last;
}

bool Contains(const std::string* text, std::string_view part) {
    return text != nullptr && text->find(part) != std::string::npos;
}

// Players of the handshake name themselves and send their session in Pragma lines.
bool SpeaksMmsh(const Request& request) {
    const std::string* agent = request.Find("User-Agent");
    if (agent != nullptr &&
        (agent->rfind("NSPlayer", 0) == 0 || agent->rfind("NSServer", 0) == 0)) {
        return true;
    }
    return std::any_of(request.headers.begin(), request.headers.end(), [](const Header& h) {
        return AsciiLower(h.name) == "pragma" && Contains(&h.value, "xClientGUID");
    });
}

// The handshake's first request asks for the stream's header only, the second one
// (xPlayStrm=1) for the stream.
bool MmshPlayRequest(const Request& request) {
    return std::any_of(request.headers.begin(), request.headers.end(), [](const Header& h) {
        return AsciiLower(h.name) == "pragma" && Contains(&h.value, "xPlayStrm=1");
    });
}

std::string MmshHead(bool play) {
    std::string head = "HTTP/1.0 200 OK\r\n";
    head += play ? "Content-Type: application/x-mms-framed\r\n"
                 : "Content-Type: application/vnd.ms.wms-hdr.asfv1\r\n";
    head += "Server: " + std::string(kServerName) + "\r\n";
    head += "Cache-Control: no-cache\r\nPragma: no-cache\r\n";
    head += "Pragma: client-id=" + std::to_string(NextMmshClientId()) + "\r\n";
    head += "Pragma: features=\"broadcast\"\r\nConnection: close\r\n";
    return head + "\r\n";
}

// The header request: the stream's header in its chunk, then the end of the answer. Like a
// page, it does not count against the listener limit.
Reply MmshDescribe(const RequestActions& actions) {
    const auto headers = actions.StreamHeaders();
    if (!headers || headers->empty()) {
        return Reply(PlainError(503, "Stream not ready"));
    }
    const MmshChunkHead chunk = MakeMmshChunkHead('H', headers->size(), 0);
    Reply reply(MmshHead(false));
    reply.text.append(chunk.data(), chunk.size());
    reply.body = headers;
    return reply;
}

std::string ListenerHead(const RequestContext& context, bool icy) {
    const SourceInfo& info = context.info;
    std::string head = "HTTP/1.0 200 OK\r\n";
    head += "Content-Type: " +
            std::string(context.contentType != nullptr ? context.contentType
                                                       : ContentTypeOf(context.format)) +
            "\r\n";
    head += "Server: " + std::string(kServerName) + "\r\n";
    head += "Cache-Control: no-cache, no-store\r\nPragma: no-cache\r\nConnection: close\r\n";
    head += kCorsHeaders;
    head += "X-Content-Type-Options: nosniff\r\n";
    head += "icy-name:" + HeaderSafe(info.name) + "\r\n";
    head += "icy-genre:" + HeaderSafe(info.genre) + "\r\n";
    head += "icy-url:" + HeaderSafe(info.url) + "\r\n";
    if (!info.description.empty()) {
        head += "icy-description:" + HeaderSafe(info.description) + "\r\n";
    }
    // SHOUTcast registration marks a public stream those directories list as listed.
    const EngineSettings& settings = context.settings;
    const bool listed =
        info.isPublic > 0 || (settings.shoutcastRegister != 0 && settings.privateBroadcast == 0 &&
                              InfoOf(context.format).shoutcastDirectory);
    head += "icy-pub:" + std::string(listed ? "1" : "0") + "\r\n";
    if (info.bitrate > 0) {
        head += "icy-br:" + std::to_string(info.bitrate) + "\r\n";
    }
    if (info.sampleRate > 0) {
        head += "icy-sr:" + std::to_string(info.sampleRate) + "\r\n";
    }
    std::string audioInfo = info.audioInfo;
    if (audioInfo.empty() && info.bitrate > 0) {
        audioInfo = "ice-bitrate=" + std::to_string(info.bitrate);
        if (info.channels > 0) {
            audioInfo += ";ice-channels=" + std::to_string(info.channels);
        }
        if (info.sampleRate > 0) {
            audioInfo += ";ice-samplerate=" + std::to_string(info.sampleRate);
        }
    }
    if (!audioInfo.empty()) {
        head += "ice-audio-info:" + HeaderSafe(audioInfo) + "\r\n";
    }
    if (icy) {
        head += "icy-metaint:" + std::to_string(kIcyMetaInt) + "\r\n";
    }
    return head + "\r\n";
}

}  // namespace

// "/" is the stream for players and the station's page for browsers; the other stream paths
// are always the stream.
bool IsStreamRequest(const Request& request, const RequestContext& context) {
    const std::string& path = request.path;
    if (path.rfind("/;", 0) == 0 || path == "/stream" || path == "/listen" ||
        path == "/stream.mp3" || path == "/stream.ogg") {
        return true;
    }
    if (!context.mount.empty() && context.mount != "/" && path == context.mount) {
        return true;
    }
    if (path != "/") {
        return false;
    }
    const bool browser = Contains(request.Find("User-Agent"), "Mozilla") &&
                         Contains(request.Find("Accept"), "text/html");
    return WantsIcyMetadata(request) || !browser;
}

Outcome ListenerRequest(const Request& request, const RequestContext& context,
                        RequestActions& actions) {
    const EngineSettings& settings = context.settings;
    if (settings.privateBroadcast != 0) {
        if (auto refusal = PrivateListenerRefusal(request, context, actions)) {
            return *refusal;
        }
    }
    if (!context.playing) {
        return Reply(PlainError(404, "Stream not available"));
    }
    const bool mmsh = InfoOf(context.format).mmsh && SpeaksMmsh(request);
    if (mmsh && !MmshPlayRequest(request)) {
        return MmshDescribe(actions);
    }
    // Only audio listeners count against the limit; pages and updates never do.
    if (static_cast<int64_t>(context.listeners) >= settings.maxClients) {
        return Reply(PlainError(503, "Maximum listeners reached"));
    }
    const bool icy = WantsIcyMetadata(request) && InfoOf(context.format).icyMetadata;
    std::string head = mmsh ? MmshHead(true) : ListenerHead(context, icy);
    if (request.method == "HEAD") {
        return Reply(std::move(head));
    }
    const std::string* agent = request.Find("User-Agent");
    actions.StartListener(std::move(head), icy, agent != nullptr ? *agent : "", mmsh);
    return Outcome::HandedOver();
}

}  // namespace orvanta::engine
