#include "engine/http_reply.h"

#include "base/ascii.h"

namespace orvanta::engine {

namespace {

std::string Head(int code, std::string_view reason, std::string_view contentType,
                 size_t contentLength, std::string_view cacheControl,
                 std::string_view extraHeaders) {
    std::string text = "HTTP/1.0 " + std::to_string(code) + " " + std::string(reason) + "\r\n";
    text += "Server: " + std::string(kServerName) + "\r\n";
    if (!contentType.empty()) {
        text += "Content-Type: " + std::string(contentType) + "\r\n";
    }
    text += "Content-Length: " + std::to_string(contentLength) + "\r\n";
    text += "Cache-Control: " + std::string(cacheControl) + "\r\nConnection: close\r\n";
    text += kCorsHeaders;
    text += "X-Content-Type-Options: nosniff\r\n";
    text += extraHeaders;
    text += "\r\n";
    return text;
}

}  // namespace

std::string Response(int code, std::string_view reason, std::string_view contentType,
                     std::string_view body, std::string_view extraHeaders) {
    std::string text = ResponseHead(code, reason, contentType, body.size(), extraHeaders);
    text += body;
    return text;
}

std::string PrivateResponse(int code, std::string_view reason, std::string_view contentType,
                            std::string_view body, std::string_view extraHeaders) {
    return Head(code, reason, contentType, body.size(), "no-store", extraHeaders) +
           std::string(body);
}

std::string ResponseHead(int code, std::string_view reason, std::string_view contentType,
                         size_t contentLength, std::string_view extraHeaders) {
    return Head(code, reason, contentType, contentLength, "no-cache", extraHeaders);
}

std::string NoStoreHead(int code, std::string_view reason, std::string_view contentType,
                        size_t contentLength, std::string_view extraHeaders) {
    return Head(code, reason, contentType, contentLength, "no-store", extraHeaders);
}

std::string CacheableHead(int code, std::string_view reason, std::string_view contentType,
                          size_t contentLength, std::string_view cacheControl,
                          std::string_view etag) {
    return Head(code, reason, contentType, contentLength, cacheControl,
                "ETag: " + std::string(etag) + "\r\n");
}

bool EtagMatches(std::string_view ifNoneMatch, std::string_view etag) {
    size_t pos = 0;
    while (pos < ifNoneMatch.size()) {
        size_t end = ifNoneMatch.find(',', pos);
        if (end == std::string_view::npos) {
            end = ifNoneMatch.size();
        }
        std::string_view candidate = TrimSpaceTab(ifNoneMatch.substr(pos, end - pos));
        // A weak comparison, as conditional GET asks for.
        if (candidate.substr(0, 2) == "W/") {
            candidate.remove_prefix(2);
        }
        if (candidate == "*" || candidate == etag) {
            return true;
        }
        pos = end + 1;
    }
    return false;
}

bool KeepConnectionOpen(std::string& answer, int idleSeconds) {
    static constexpr std::string_view kClose = "\r\nConnection: close\r\n";
    const int code = StatusOf(answer);
    if (!(code >= 200 && code < 400) && code != 404) {
        return false;
    }
    const size_t headEnd = answer.find("\r\n\r\n");
    const size_t close = answer.find(kClose);
    const size_t length = answer.find("\r\nContent-Length: ");
    if (headEnd == std::string::npos || close == std::string::npos || close > headEnd ||
        length == std::string::npos || length > headEnd) {
        return false;
    }
    answer.replace(close, kClose.size(),
                   "\r\nConnection: keep-alive\r\nKeep-Alive: timeout=" +
                       std::to_string(idleSeconds) + "\r\n");
    answer.replace(0, 8, "HTTP/1.1");
    return true;
}

std::string PlainError(int code, std::string_view reason, std::string_view extraHeaders) {
    return Response(code, reason, "text/plain; charset=utf-8", std::string(reason) + "\n",
                    extraHeaders);
}

int StatusOf(std::string_view answer) {
    constexpr std::string_view kPrefix = "HTTP/1.0 ";
    if (answer.substr(0, kPrefix.size()) != kPrefix || answer.size() < kPrefix.size() + 3) {
        return 0;
    }
    int code = 0;
    for (size_t i = kPrefix.size(); i < kPrefix.size() + 3; ++i) {
        if (answer[i] < '0' || answer[i] > '9') {
            return 0;
        }
        code = code * 10 + (answer[i] - '0');
    }
    return code;
}

std::string HeaderSafe(std::string_view text) {
    return WithoutControlBytes(text);
}

}  // namespace orvanta::engine
