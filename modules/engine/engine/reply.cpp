#include "engine/reply.h"

#include "engine/http_reply.h"
#include "engine/log.h"

namespace orvanta::engine {

std::string RefusalLine(std::string_view what, const Reply& reply) {
    const std::string& text = reply.text;
    const bool refusal =
        StatusOf(text) >= 400 || text == kIcyLoginRefused || text == kIcyStreamInUse;
    if (!refusal || reply.quiet) {
        return {};
    }
    std::string line = LogSafe(what) + ": " + LogSafe(text.substr(0, text.find('\r')));
    if (!reply.why.empty()) {
        line += " (" + reply.why + ")";
    }
    return line;
}

}  // namespace orvanta::engine
