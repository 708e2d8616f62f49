// A request head is read from whatever a socket has delivered so far, so the parser must give
// the same answer however the bytes were split: a shorter read is either still Incomplete or
// already decided the same way, and bytes after the head never change it. What it hands on must
// be safe to use: a Complete head fits its caps, names and values are trimmed and carry no CR,
// LF or other control byte.
#include "fuzz_require.h"
#include "http/request.h"

#include <algorithm>
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

// Everything a caller can see of a parse, as one string.
std::string Key(const HeadResult& head) {
    const Request& r = head.request;
    std::string key = std::to_string(static_cast<int>(head.status)) + '|' +
                      std::to_string(head.consumed) + '|' + head.error + '|' + r.method + '|' +
                      r.target + '|' + r.version + '|' + r.path + '|' + r.query;
    for (const Header& header : r.headers) {
        key += '|' + header.name + ':' + header.value;
    }
    return key;
}

void CheckHead(std::string_view data, const HeadResult& head, size_t maxBytes, size_t maxHeaders) {
    Require(head.consumed <= data.size(), "consumed beyond the input");
    if (head.status != ParseStatus::Complete) {
        Require(head.consumed == 0 && head.request.method.empty() && head.request.headers.empty() &&
                    (head.status == ParseStatus::Incomplete) == head.error.empty(),
                "request filled, or error text wrong, without a complete head");
        return;
    }
    const Request& request = head.request;
    Require(head.consumed > 0 && head.consumed <= maxBytes && data[head.consumed - 1] == '\n' &&
                request.headers.size() <= maxHeaders,
            "complete head outside its caps or not ended at a line end");
    Require(!request.target.empty() &&
                std::none_of(request.target.begin(), request.target.end(), IsControl),
            "empty target or a control byte in it");
    for (const Header& header : request.headers) {
        Require(!header.name.empty() && header.name.find_first_of(" \t:") == std::string::npos &&
                    std::none_of(header.name.begin(), header.name.end(), IsControl),
                "bad header name");
        for (const char c : header.value) {
            Require(c == '\t' || !IsControl(c), "control byte in a header value");
        }
        Require(
            header.value.empty() || (header.value.find_first_of(" \t") != 0 &&
                                     header.value.find_last_of(" \t") != header.value.size() - 1),
            "header value not trimmed");
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
        Require(shorter.status == ParseStatus::Incomplete || Key(shorter) == Key(full),
                "a shorter read decided differently");
    }
    if (full.status != ParseStatus::Incomplete) {
        const std::string longer = std::string(data) + "\r\n\r\nGET / HTTP/1.1\r\n\r\n";
        Require(Key(ParseRequestHead(longer, maxBytes, maxHeaders)) == Key(full),
                "bytes after a decision changed it");
    }
}

void CheckHelpers(std::string_view data) {
    Require(PercentDecode(data, true).size() <= data.size(), "decoding grew the text");
    // A cookie's value is a piece of the header, never more.
    for (const std::string_view name : {"ovadmin", "", "a"}) {
        if (const auto value = CookieValue(data, name)) {
            Require(value->data() >= data.data() &&
                        value->data() + value->size() <= data.data() + data.size() &&
                        value->find(';') == std::string_view::npos,
                    "a cookie value outside its header or across a ';'");
        }
    }
    ParseBasicAuth(data);
    const auto anything = Base64Decode(data);
    Require(!anything || anything->size() <= data.size() / 4 * 3 + 2, "base64 output too long");

    const std::string_view first = data.substr(0, data.size() / 2);
    const std::string_view second = data.substr(data.size() / 2);
    Require(ConstantTimeEquals(first, second) == (first == second), "ConstantTimeEquals");
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
