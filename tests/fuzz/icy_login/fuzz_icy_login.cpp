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

bool IsUnsafe(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && c != '\t') || byte == 0x7F;
}

bool IsTrimmed(std::string_view text) {
    return text.empty() || (text.front() != ' ' && text.front() != '\t' && text.back() != ' ' &&
                            text.back() != '\t');
}

bool SameLine(const LineResult& a, const LineResult& b) {
    return a.status == b.status && a.consumed == b.consumed && a.line == b.line;
}

std::string Key(const HeaderBlockResult& block) {
    std::string key =
        std::to_string(static_cast<int>(block.status)) + '|' + std::to_string(block.consumed);
    for (const Header& header : block.headers) {
        key += '|' + header.name + ':' + header.value;
    }
    return key;
}

bool SameBlock(const HeaderBlockResult& a, const HeaderBlockResult& b) {
    return Key(a) == Key(b);
}

void CheckLine(std::string_view data, size_t maxBytes) {
    const LineResult result = ReadLine(data, maxBytes);
    Require(result.consumed <= data.size(), "line consumed beyond the input");
    for (const size_t length : {data.size() / 2, result.consumed > 0 ? result.consumed - 1 : 0}) {
        const LineResult shorter = ReadLine(data.substr(0, length), maxBytes);
        Require(shorter.status == ParseStatus::Incomplete || SameLine(shorter, result),
                "a shorter read decided differently");
    }
    if (result.status != ParseStatus::Complete) {
        Require(result.consumed == 0 && result.line.empty(), "line without a line end");
        return;
    }
    Require(result.consumed > 0 && result.consumed <= maxBytes && data[result.consumed - 1] == '\n',
            "line outside its cap or not ended at LF");
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
        Require(shorter.status == ParseStatus::Incomplete || SameBlock(shorter, block),
                "a shorter read decided differently");
    }
    if (block.status != ParseStatus::Complete) {
        Require(block.consumed == 0 && block.headers.empty(), "headers without a blank line");
        return;
    }
    Require(block.consumed > 0 && block.consumed <= maxBytes && data[block.consumed - 1] == '\n' &&
                block.headers.size() <= maxHeaders,
            "block outside its caps or not ended at LF");
    Require(SameBlock(ParseHeaderBlock(std::string(data) + "\n\n", maxBytes, maxHeaders), block),
            "bytes after the blank line changed the block");
    for (const Header& header : block.headers) {
        Require(!header.name.empty() && header.name.find(':') == std::string::npos,
                "bad header name");
        Require(IsTrimmed(header.name) && IsTrimmed(header.value), "header not trimmed");
        for (const char c : header.name + header.value) {
            Require(!IsUnsafe(c), "control byte in a header");
        }
    }
    const SourceInfo info = SourceInfoFromHeaders(block.headers);
    Require(info.bitrate >= 0 && info.bitrate <= kMaxBitrateKbps, "bitrate out of range");
    Require(info.isPublic >= -1 && info.isPublic <= 1, "public flag out of range");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string_view data(reinterpret_cast<const char*>(bytes), size);
    CheckLine(data, kMaxIcyLineBytes);
    if (size > 0) {
        CheckLine(data, bytes[0] % 64);
    }

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
