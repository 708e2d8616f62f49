// A v1 source login is read in pieces as the socket delivers them: the password line, then the
// header block, then audio. Each reader must decide the same way on a shorter read (or wait),
// never claim bytes past what it was given, and hand on only values that are safe to republish
// to listeners. The password check can only ever accept a line that contains the password.
#include "fuzz_require.h"
#include "http/icy_login.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace orvanta::engine;

namespace {

bool IsSafe(std::string_view text) {
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F) {
            return false;
        }
    }
    return text.empty() || (text.front() != ' ' && text.front() != '\t' && text.back() != ' ' &&
                            text.back() != '\t');
}

// Everything a caller can see of a parse of the block, as one string.
std::string Key(const HeaderBlockResult& block) {
    std::string key =
        std::to_string(static_cast<int>(block.status)) + '|' + std::to_string(block.consumed);
    for (const Header& header : block.headers) {
        key += '|' + header.name + ':' + header.value;
    }
    return key;
}

void CheckPassword(std::string_view line, std::string_view password) {
    LooksLikeHttpRequestLine(line);
    IsPokeProbe(line);
    Require(!IcyPasswordMatches(line, ""), "an empty password matched");
    Require(!IcyPasswordMatches(line, password) || line.find(password) != std::string_view::npos,
            "a line without the password matched");
}

void CheckBlock(std::string_view data, size_t maxBytes, size_t maxHeaders) {
    const HeaderBlockResult block = ParseHeaderBlock(data, maxBytes, maxHeaders);
    Require(block.consumed <= data.size(), "block consumed beyond the input");
    for (const size_t length : {data.size() / 2, block.consumed > 0 ? block.consumed - 1 : 0}) {
        const HeaderBlockResult shorter =
            ParseHeaderBlock(data.substr(0, length), maxBytes, maxHeaders);
        Require(shorter.status == ParseStatus::Incomplete || Key(shorter) == Key(block),
                "a shorter read decided differently");
    }
    if (block.status != ParseStatus::Complete) {
        Require(block.consumed == 0 && block.headers.empty(), "headers without a blank line");
        return;
    }
    Require(block.consumed > 0 && block.consumed <= maxBytes && data[block.consumed - 1] == '\n' &&
                block.headers.size() <= maxHeaders,
            "block outside its caps or not ended at LF");
    Require(Key(ParseHeaderBlock(std::string(data) + "\n\n", maxBytes, maxHeaders)) == Key(block),
            "bytes after the blank line changed the block");
    for (const Header& header : block.headers) {
        Require(!header.name.empty() && header.name.find(':') == std::string::npos &&
                    IsSafe(header.name) && IsSafe(header.value),
                "a header name or value untrimmed or with a control byte");
    }
    const SourceInfo info = SourceInfoFromHeaders(block.headers);
    Require(info.bitrate >= 0 && info.bitrate <= kMaxBitrateKbps, "bitrate out of range");
    Require(info.isPublic >= -1 && info.isPublic <= 1, "public flag out of range");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string_view data(reinterpret_cast<const char*>(bytes), size);
    const size_t cap = size > 0 ? bytes[0] % 64 : kMaxIcyLineBytes;
    const LineResult capped = ReadLine(data, cap);
    Require(capped.status != ParseStatus::Complete ||
                (capped.consumed <= cap && data[capped.consumed - 1] == '\n'),
            "line outside its cap or not ended at LF");

    const LineResult login = ReadLine(data);
    const std::string_view rest = data.substr(login.consumed);
    // The password the station is configured with: the line itself, or a piece of it.
    CheckPassword(login.line, login.line);
    CheckPassword(login.line, std::string_view(login.line).substr(login.line.size() / 2));
    CheckPassword(login.line, rest.substr(0, rest.find('\n')));

    CheckBlock(rest, kDefaultMaxHeadBytes, kDefaultMaxHeaders);
    if (size > 0) {
        CheckBlock(rest, static_cast<size_t>(bytes[0]) * 2, bytes[0] % 8);
    }
    return 0;
}
