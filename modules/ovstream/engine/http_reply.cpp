#include "engine/http_reply.h"

#include "text/ascii.h"

namespace orvanta::engine {

std::string Response(int code, std::string_view reason, std::string_view contentType,
                     std::string_view body, std::string_view extraHeaders) {
    std::string text = "HTTP/1.0 " + std::to_string(code) + " " + std::string(reason) + "\r\n";
    text += "Server: " + std::string(kServerName) + "\r\n";
    if (!contentType.empty()) {
        text += "Content-Type: " + std::string(contentType) + "\r\n";
    }
    text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    text += "Cache-Control: no-cache\r\nConnection: close\r\n";
    text += kCorsHeaders;
    text += "X-Content-Type-Options: nosniff\r\n";
    text += extraHeaders;
    text += "\r\n";
    text += body;
    return text;
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
