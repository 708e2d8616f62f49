// A request head is read from whatever a socket has delivered so far, so the parser must give
// the same answer however the bytes were split: a shorter read is either still Incomplete or
// already decided the same way, and bytes after the head never change it. What it hands on must
// be safe to use: a Complete head fits its caps, names are tokens, values are trimmed and carry
// no CR, LF or other control byte. The helpers must invert their encoders exactly, since
// passwords pass through them.
#include "fuzz_require.h"
#include "http/request.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace orvanta::engine;

namespace {

bool IsControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

bool IsTokenChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
           (c != '\0' && std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos);
}

bool SameHead(const HeadResult& a, const HeadResult& b) {
    if (a.status != b.status || a.consumed != b.consumed || a.error != b.error) {
        return false;
    }
    const Request& x = a.request;
    const Request& y = b.request;
    if (x.method != y.method || x.target != y.target || x.version != y.version ||
        x.path != y.path || x.query != y.query || x.headers.size() != y.headers.size()) {
        return false;
    }
    for (size_t i = 0; i < x.headers.size(); ++i) {
        if (x.headers[i].name != y.headers[i].name || x.headers[i].value != y.headers[i].value) {
            return false;
        }
    }
    return true;
}

void CheckHead(std::string_view data, const HeadResult& head, size_t maxBytes, size_t maxHeaders) {
    Require(head.consumed <= data.size(), "consumed beyond the input");
    if (head.status != ParseStatus::Complete) {
        Require(head.consumed == 0, "consumed without a complete head");
        Require(head.request.method.empty() && head.request.headers.empty(),
                "request filled without a complete head");
        Require((head.status == ParseStatus::Incomplete) == head.error.empty(),
                "error text does not match the status");
        return;
    }
    Require(head.consumed > 0 && head.consumed <= maxBytes, "complete head outside its cap");
    Require(data[head.consumed - 1] == '\n', "head does not end at a line end");
    const Request& request = head.request;
    Require(request.headers.size() <= maxHeaders, "more headers than allowed");
    Require(!request.method.empty() &&
                request.method.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ") == std::string::npos,
            "bad method accepted");
    Require(!request.target.empty(), "empty target");
    for (const char c : request.target) {
        Require(!IsControl(c), "control byte in the target");
    }
    Require(
        request.version.empty() || request.version == "HTTP/1.0" || request.version == "HTTP/1.1",
        "odd version");
    Require(request.query.size() < request.target.size(), "query longer than the target");
    for (const Header& header : request.headers) {
        Require(!header.name.empty(), "empty header name");
        for (const char c : header.name) {
            Require(IsTokenChar(c), "header name is not a token");
        }
        for (const char c : header.value) {
            Require(c == '\t' || !IsControl(c), "control byte in a header value");
        }
        if (!header.value.empty()) {
            Require(header.value.front() != ' ' && header.value.front() != '\t' &&
                        header.value.back() != ' ' && header.value.back() != '\t',
                    "header value not trimmed");
        }
        Require(request.Find(header.name) != nullptr, "Find misses a header");
    }
    WantsIcyMetadata(request);
}

// Parses `data` and checks that shorter reads of it agree and longer ones change nothing.
void CheckParse(std::string_view data, size_t maxBytes, size_t maxHeaders, size_t cut) {
    const HeadResult full = ParseRequestHead(data, maxBytes, maxHeaders);
    CheckHead(data, full, maxBytes, maxHeaders);

    for (const size_t length :
         {cut % (data.size() + 1), data.size() / 2, full.consumed > 0 ? full.consumed - 1 : 0}) {
        const HeadResult shorter = ParseRequestHead(data.substr(0, length), maxBytes, maxHeaders);
        Require(shorter.status == ParseStatus::Incomplete || SameHead(shorter, full),
                "a shorter read decided differently");
    }
    if (full.status == ParseStatus::Complete) {
        Require(
            SameHead(ParseRequestHead(data.substr(0, full.consumed), maxBytes, maxHeaders), full),
            "the head alone parses differently");
    }
    if (full.status != ParseStatus::Incomplete) {
        const std::string longer = std::string(data) + "\r\n\r\nGET / HTTP/1.1\r\n\r\n";
        Require(SameHead(ParseRequestHead(longer, maxBytes, maxHeaders), full),
                "bytes after a decision changed it");
    }

    if (full.status == ParseStatus::Complete) {
        const std::string& query = full.request.query;
        const auto pairs = ParseQuery(query);
        Require(pairs.size() <= kMaxQueryPairs, "too many query pairs");
        for (const auto& [name, value] : pairs) {
            const auto found = QueryValue(pairs, name);
            const auto raw = RawQueryValue(query, name);
            Require(found.has_value() && raw.has_value(), "query name not found");
            Require(PercentDecode(*raw, true) == *found, "raw and decoded values disagree");
        }
    }
}

std::string PercentEncodeAll(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string encoded;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        encoded += '%';
        encoded += kHex[byte >> 4];
        encoded += kHex[byte & 0xF];
    }
    return encoded;
}

std::string Base64Encode(std::string_view text, bool pad) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded;
    size_t i = 0;
    for (; i + 3 <= text.size(); i += 3) {
        const uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(text[i])) << 16 |
                               static_cast<uint32_t>(static_cast<unsigned char>(text[i + 1])) << 8 |
                               static_cast<unsigned char>(text[i + 2]);
        for (int shift = 18; shift >= 0; shift -= 6) {
            encoded += kAlphabet[(group >> shift) & 0x3F];
        }
    }
    const size_t left = text.size() - i;
    if (left > 0) {
        uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(text[i])) << 16;
        if (left == 2) {
            group |= static_cast<uint32_t>(static_cast<unsigned char>(text[i + 1])) << 8;
        }
        encoded += kAlphabet[(group >> 18) & 0x3F];
        encoded += kAlphabet[(group >> 12) & 0x3F];
        if (left == 2) {
            encoded += kAlphabet[(group >> 6) & 0x3F];
        }
        if (pad) {
            encoded += left == 1 ? "==" : "=";
        }
    }
    return encoded;
}

void CheckHelpers(std::string_view data) {
    Require(PercentDecode(data, true).size() <= data.size(), "decoding grew the text");
    Require(PercentDecode(PercentEncodeAll(data), true) == data, "percent round trip");

    const bool padded = !data.empty() && (data[0] & 1) != 0;
    const std::string encoded = Base64Encode(data, padded);
    const auto decoded = Base64Decode(encoded);
    Require(decoded.has_value() == (encoded.size() <= kMaxBase64Input), "base64 refused");
    if (decoded) {
        Require(*decoded == data, "base64 round trip");
        const auto credentials = ParseBasicAuth("Basic " + encoded);
        const size_t colon = data.find(':');
        Require(credentials.has_value() == (colon != std::string_view::npos),
                "credentials without a ':'");
        if (credentials) {
            Require(credentials->user == data.substr(0, colon) &&
                        credentials->password == data.substr(colon + 1),
                    "credentials split wrongly");
        }
    }
    const auto anything = Base64Decode(data);
    Require(!anything || anything->size() <= data.size() / 4 * 3 + 2, "base64 output too long");

    const std::string_view first = data.substr(0, data.size() / 2);
    const std::string_view second = data.substr(data.size() / 2);
    Require(ConstantTimeEquals(first, second) == (first == second), "ConstantTimeEquals");
    Require(ConstantTimeEquals(data, data), "ConstantTimeEquals of itself");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string_view data(reinterpret_cast<const char*>(bytes), size);
    const size_t cut = size >= 2 ? static_cast<size_t>(bytes[size - 1]) << 8 | bytes[size - 2] : 0;
    CheckParse(data, kDefaultMaxHeadBytes, kDefaultMaxHeaders, cut);
    // Small caps reach the TooLarge edges with short inputs.
    if (size > 0) {
        CheckParse(data, static_cast<size_t>(bytes[0]) * 2, bytes[0] % 8, cut);
    }
    CheckHelpers(data);
    return 0;
}
