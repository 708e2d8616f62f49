// The directory (YP) protocol's own bytes: the form a station posts and the answer head a
// directory gives. Plain code over bytes, fuzzed: a directory's answer is outside input.
#pragma once

#include "http/request.h"

#include <string>
#include <string_view>

namespace orvanta::engine {

// Where every YP exchange posts its form.
inline constexpr std::string_view kYpPath = "/cgi-bin/yp-cgi";
// A directory's answer head is a few hundred bytes; more is not one.
inline constexpr size_t kMaxYpAnswerBytes = 16 * 1024;

// TouchFreq, in seconds, when an accepting directory names none.
inline constexpr int kDefaultTouchFreq = 60;

// What a directory answered.
struct YpAnswer {
    bool accepted = false;  // "YPResponse: 1"
    std::string message;    // YPMessage, as sent
    std::string sid;        // SID; empty when none
    int touchFreq = 0;      // TouchFreq in seconds; 0 when absent or not a number in 1..86400
};

struct YpParseResult {
    ParseStatus status = ParseStatus::Incomplete;  // Complete, Incomplete, or Invalid
    YpAnswer answer;                               // filled only when Complete
    std::string error;                             // short reason for the log when Invalid
};

// Reads a directory's answer head from the bytes received so far: "HTTP/1.x 200 ..." and a
// header block holding a YPResponse header. Another status, no YPResponse, or no blank line
// within 16 KiB is Invalid.
YpParseResult ParseYpResponse(std::string_view data);

// Form encoding of one value: RFC 3986 unreserved characters kept, every other byte as %XX.
std::string FormEncode(std::string_view value);

}  // namespace orvanta::engine
