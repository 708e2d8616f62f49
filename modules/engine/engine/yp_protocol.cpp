#include "engine/yp_protocol.h"

#include "base/ascii.h"
#include "engine/log.h"
#include "http/icy_login.h"

#include <cstdlib>

namespace orvanta::engine {

namespace {
constexpr int kMaxTouchFreq = 86400;
}  // namespace

YpParseResult ParseYpResponse(std::string_view data) {
    YpParseResult result;
    const LineResult status = ReadLine(data);
    if (status.status == ParseStatus::Incomplete) {
        return result;
    }
    const std::string& line = status.line;
    const size_t space = line.find(' ');
    if (status.status != ParseStatus::Complete || line.rfind("HTTP/1.", 0) != 0 ||
        space == std::string::npos || line.compare(space + 1, 3, "200") != 0) {
        result.status = ParseStatus::Invalid;
        result.error = "answered \"" + LogSafe(line.substr(0, 80)) + "\"";
        return result;
    }
    const HeaderBlockResult block =
        ParseHeaderBlock(data.substr(status.consumed), kMaxYpAnswerBytes - status.consumed);
    if (block.status == ParseStatus::Incomplete) {
        return result;
    }
    if (block.status != ParseStatus::Complete) {
        result.status = ParseStatus::Invalid;
        result.error = "sent headers that cannot be read";
        return result;
    }
    bool sawResponse = false;
    YpAnswer& answer = result.answer;
    for (const Header& header : block.headers) {
        if (EqualsIgnoreCase(header.name, "YPResponse")) {
            sawResponse = true;
            answer.accepted = header.value == "1";
        } else if (EqualsIgnoreCase(header.name, "YPMessage")) {
            answer.message = header.value;
        } else if (EqualsIgnoreCase(header.name, "SID")) {
            answer.sid = header.value;
        } else if (EqualsIgnoreCase(header.name, "TouchFreq")) {
            char* end = nullptr;
            const long seconds = std::strtol(header.value.c_str(), &end, 10);
            const bool number = !header.value.empty() && end != nullptr && *end == '\0';
            answer.touchFreq =
                number && seconds >= 1 && seconds <= kMaxTouchFreq ? static_cast<int>(seconds) : 0;
        }
    }
    if (!sawResponse) {
        // A web server or a proxy, not a directory.
        result.status = ParseStatus::Invalid;
        result.error = "answered without a YPResponse header";
        result.answer = {};
        return result;
    }
    result.status = ParseStatus::Complete;
    return result;
}

std::string FormEncode(std::string_view value) {
    return PercentEncode(value, [](unsigned char byte) {
        return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
               (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' ||
               byte == '~';
    });
}

}  // namespace orvanta::engine
