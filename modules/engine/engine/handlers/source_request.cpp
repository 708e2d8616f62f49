// Icecast-style sources: SOURCE, or PUT with the audio as the request body (raw or chunked).
#include "base/ascii.h"
#include "engine/handlers/handlers.h"
#include "engine/http_reply.h"
#include "engine/login_check.h"
#include "stream/format_table.h"

namespace orvanta::engine {

namespace {

constexpr const char kAllowSource[] = "GET, PUT, OPTIONS, SOURCE";

bool Contains(const std::string* text, std::string_view part) {
    return text != nullptr && text->find(part) != std::string::npos;
}

}  // namespace

Outcome SourceRequest(const Request& request, const RequestContext& context,
                      RequestActions& actions) {
    // Refused outright, before the password: the operator put this encoder off the air.
    if (actions.SourceRefused()) {
        return Reply(PlainError(403, "Forbidden"), kSourceRefusedForAWhile);
    }
    if (auto refusal = SourceRefusal(request, context, actions,
                                     "Allow: " + std::string(kAllowSource) + "\r\n")) {
        return *refusal;
    }
    if (request.path.empty() || request.path[0] != '/') {
        return Reply(PlainError(400, "Bad Request"));
    }
    if (context.hasSource) {
        // Encoders read 403 as "mountpoint in use" and try again later.
        return Reply(PlainError(403, "Mountpoint in use"));
    }
    SourceInfo info = SourceInfoFromHeaders(request.headers);
    StreamFormat format = StreamFormat::Unknown;
    if (!info.contentType.empty()) {
        format = FormatFromContentType(info.contentType);
        if (!context.settings.AcceptsSource(format)) {
            return Reply(PlainError(415, "Content-type not supported"));
        }
    }
    const bool chunked = Contains(request.Find("Transfer-Encoding"), "chunked");
    const bool expectContinue =
        request.Find("Expect") != nullptr &&
        AsciiLower(*request.Find("Expect")).find("100-continue") != std::string::npos;
    std::string preface;
    if (request.method == "SOURCE") {
        preface = "HTTP/1.0 200 OK\r\n\r\n";
    } else if (expectContinue) {
        // Only now, after the password: clients read the first status line only.
        preface = "HTTP/1.1 100 Continue\r\n\r\n";
    }
    actions.StartSource(std::move(preface), format, std::move(info), request.path, chunked);
    return Outcome::HandedOver();
}

}  // namespace orvanta::engine
