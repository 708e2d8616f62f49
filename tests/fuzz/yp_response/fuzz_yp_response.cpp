// A directory's answer is outside input: whatever it sends, the reader must decide without
// crashing, keep its figures in range, and never decide differently on more of the same bytes
// once the head is complete (an answer read in two pieces is the same answer).
#include "engine/yp_protocol.h"
#include "fuzz_require.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace orvanta::engine;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string_view data(reinterpret_cast<const char*>(bytes), size);
    const YpParseResult whole = ParseYpResponse(data);
    Require(whole.status != ParseStatus::TooLarge, "TooLarge is reported as Invalid");
    Require((whole.status == ParseStatus::Invalid) == !whole.error.empty(),
            "an error text exactly when Invalid");
    Require(whole.answer.touchFreq >= 0 && whole.answer.touchFreq <= 86400,
            "TouchFreq out of range");
    if (whole.status != ParseStatus::Complete) {
        Require(!whole.answer.accepted && whole.answer.sid.empty() && whole.answer.message.empty(),
                "an answer without a complete head");
        return 0;
    }
    // A decided head stays decided when more bytes (a body) follow.
    const YpParseResult prefix = ParseYpResponse(data.substr(0, size / 2));
    Require(prefix.status != ParseStatus::Complete || prefix.answer.sid == whole.answer.sid,
            "a shorter read decided on another SID");
    return 0;
}
