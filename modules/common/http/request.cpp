#include "http/request.h"

#include "base/ascii.h"

#include <algorithm>
#include <cstdint>

namespace orvanta::engine {
namespace {

// OPTIONS is the longest method any client of ours sends; a longer first word is not HTTP.
constexpr size_t kMaxMethodLength = 16;
// CR CR LF is the longest line end: NSV-era encoders put an extra CR before CRLF.
constexpr int kMaxLineEndCrs = 2;

bool IsTokenChar(char c) {
    if (IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
        return true;
    }
    constexpr std::string_view kTokenSymbols = "!#$%&'*+-.^_`|~";
    return kTokenSymbols.find(c) != std::string_view::npos;
}

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (IsDigit(c)) {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
        return 63;
    }
    return -1;
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

struct Line {
    std::string_view text;  // without its line end
    size_t next = 0;        // where the following line starts
};

// The line starting at `start` if its '\n' is inside `window`.
std::optional<Line> NextLine(std::string_view window, size_t start) {
    const size_t end = window.find('\n', start);
    if (end == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view text = window.substr(start, end - start);
    for (int i = 0; i < kMaxLineEndCrs && !text.empty() && text.back() == '\r'; ++i) {
        text.remove_suffix(1);
    }
    return Line{text, end + 1};
}

// "HTTP/1.0" stays; later 1.x minors are answered as the newest version we speak.
std::optional<std::string> NormaliseVersion(std::string_view word) {
    if (word == "HTTP/1.0") {
        return std::string(word);
    }
    if (word.size() == 8 && word.substr(0, 7) == "HTTP/1." && word[7] >= '1' && word[7] <= '9') {
        return std::string("HTTP/1.1");
    }
    return std::nullopt;
}

// The path a target names: the part before '?', and for an absolute target
// ("http://host:port/mount", as proxies send) the part after the authority.
std::string_view TargetPath(std::string_view target) {
    std::string_view path = target.substr(0, target.find('?'));
    for (const std::string_view scheme : {"http://", "https://"}) {
        if (StartsWithIgnoreCase(path, scheme)) {
            const size_t slash = path.find('/', scheme.size());
            return slash == std::string_view::npos ? std::string_view("/") : path.substr(slash);
        }
    }
    return path;
}

bool ParseRequestLine(std::string_view line, Request& request, std::string& error) {
    if (std::any_of(line.begin(), line.end(), IsControlByte)) {
        error = "control character in the request line";
        return false;
    }
    const size_t methodEnd = line.find(' ');
    const std::string_view method = line.substr(0, methodEnd);
    if (method.empty() || method.size() > kMaxMethodLength ||
        !std::all_of(method.begin(), method.end(), [](char c) { return c >= 'A' && c <= 'Z'; })) {
        error = "bad method";
        return false;
    }
    if (methodEnd == std::string_view::npos) {
        error = "request line without a target";
        return false;
    }
    std::string_view rest = TrimSpaceTab(line.substr(methodEnd + 1));
    const size_t lastSpace = rest.rfind(' ');
    const std::string_view lastWord =
        lastSpace == std::string_view::npos ? rest : rest.substr(lastSpace + 1);
    if (lastWord.substr(0, 5) == "HTTP/") {
        const std::optional<std::string> version = NormaliseVersion(lastWord);
        if (!version) {
            error = "unsupported HTTP version";
            return false;
        }
        request.version = *version;
        rest = lastSpace == std::string_view::npos ? std::string_view()
                                                   : TrimSpaceTab(rest.substr(0, lastSpace));
    }
    if (rest.empty()) {
        error = "request line without a target";
        return false;
    }
    request.method = std::string(method);
    request.target = std::string(rest);
    request.path = PercentDecode(TargetPath(rest), false);
    const size_t question = rest.find('?');
    if (question != std::string_view::npos) {
        request.query = std::string(rest.substr(question + 1));
    }
    return true;
}

bool ParseHeaderLine(std::string_view line, Header& header, std::string& error) {
    if (IsSpaceOrTab(line.front())) {
        error = "folded header line";
        return false;
    }
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
        error = "header line without ':'";
        return false;
    }
    const std::string_view name = line.substr(0, colon);
    if (name.empty() || !std::all_of(name.begin(), name.end(), IsTokenChar)) {
        error = "bad header name";
        return false;
    }
    const std::string_view value = TrimSpaceTab(line.substr(colon + 1));
    if (std::any_of(value.begin(), value.end(),
                    [](char c) { return c != '\t' && IsControlByte(c); })) {
        error = "control character in a header value";
        return false;
    }
    header.name = std::string(name);
    header.value = std::string(value);
    return true;
}

HeadResult Refuse(ParseStatus status, std::string error) {
    HeadResult result;
    result.status = status;
    result.error = std::move(error);
    return result;
}

}  // namespace

const std::string* Request::Find(std::string_view name) const {
    for (const Header& header : headers) {
        if (EqualsIgnoreCase(header.name, name)) {
            return &header.value;
        }
    }
    return nullptr;
}

HeadResult ParseRequestHead(std::string_view data, size_t maxBytes, size_t maxHeaders) {
    // Only the first maxBytes bytes are ever looked at, so a decision never depends on more.
    const std::string_view window = data.substr(0, std::min(data.size(), maxBytes));
    Request request;
    bool haveRequestLine = false;
    std::string error;
    size_t position = 0;
    while (const std::optional<Line> line = NextLine(window, position)) {
        position = line->next;
        if (!haveRequestLine) {
            if (line->text.empty()) {
                continue;
            }
            if (!ParseRequestLine(line->text, request, error)) {
                return Refuse(ParseStatus::Invalid, std::move(error));
            }
            haveRequestLine = true;
            continue;
        }
        if (line->text.empty()) {
            HeadResult result;
            result.status = ParseStatus::Complete;
            result.consumed = position;
            result.request = std::move(request);
            return result;
        }
        if (request.headers.size() >= maxHeaders) {
            return Refuse(ParseStatus::TooLarge, "too many header lines");
        }
        Header header;
        if (!ParseHeaderLine(line->text, header, error)) {
            return Refuse(ParseStatus::Invalid, std::move(error));
        }
        request.headers.push_back(std::move(header));
    }
    if (window.size() >= maxBytes) {
        return Refuse(ParseStatus::TooLarge, "request head too long");
    }
    return HeadResult{};
}

std::string PercentDecode(std::string_view text, bool plusIsSpace) {
    std::string decoded;
    decoded.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 0 &&
            HexDigitValue(text[i + 2]) >= 0) {
            decoded.push_back(
                static_cast<char>(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2])));
            i += 2;
        } else if (c == '+' && plusIsSpace) {
            decoded.push_back(' ');
        } else {
            decoded.push_back(c);
        }
    }
    return decoded;
}

namespace {

// Calls visit(rawName, rawValue) for each non-empty '&' piece, up to kMaxQueryPairs of them;
// stops early when visit returns true.
template <typename Visit>
void ForEachQueryPiece(std::string_view query, Visit visit) {
    size_t count = 0;
    size_t start = 0;
    while (start < query.size() && count < kMaxQueryPairs) {
        const size_t end = std::min(query.find('&', start), query.size());
        const std::string_view piece = query.substr(start, end - start);
        start = end + 1;
        if (piece.empty()) {
            continue;
        }
        ++count;
        const size_t equals = piece.find('=');
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view() : piece.substr(equals + 1);
        if (visit(piece.substr(0, equals), value)) {
            return;
        }
    }
}

}  // namespace

std::vector<std::pair<std::string, std::string>> ParseQuery(std::string_view query) {
    std::vector<std::pair<std::string, std::string>> pairs;
    ForEachQueryPiece(query, [&pairs](std::string_view name, std::string_view value) {
        pairs.emplace_back(PercentDecode(name, true), PercentDecode(value, true));
        return false;
    });
    return pairs;
}

std::optional<std::string> QueryValue(const std::vector<std::pair<std::string, std::string>>& pairs,
                                      std::string_view name) {
    for (const auto& [pairName, value] : pairs) {
        if (pairName == name) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<std::string_view> RawQueryValue(std::string_view query, std::string_view name) {
    std::optional<std::string_view> found;
    ForEachQueryPiece(query, [&](std::string_view pieceName, std::string_view value) {
        if (PercentDecode(pieceName, true) == name) {
            found = value;
            return true;
        }
        return false;
    });
    return found;
}

std::optional<std::string_view> CookieValue(std::string_view header, std::string_view name) {
    while (!header.empty()) {
        const size_t end = header.find(';');
        std::string_view pair = header.substr(0, end);
        header.remove_prefix(end == std::string_view::npos ? header.size() : end + 1);
        while (!pair.empty() && (pair.front() == ' ' || pair.front() == '\t')) {
            pair.remove_prefix(1);
        }
        while (!pair.empty() && (pair.back() == ' ' || pair.back() == '\t')) {
            pair.remove_suffix(1);
        }
        const size_t equals = pair.find('=');
        if (equals != std::string_view::npos && pair.substr(0, equals) == name) {
            std::string_view value = pair.substr(equals + 1);
            // A quoted value is the text between the quotes.
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
                value = value.substr(1, value.size() - 2);
            }
            return value;
        }
    }
    return std::nullopt;
}

std::optional<std::string> Base64Decode(std::string_view text) {
    if (text.size() > kMaxBase64Input) {
        return std::nullopt;
    }
    std::string_view digits = text;
    for (int i = 0; i < 2 && !digits.empty() && digits.back() == '='; ++i) {
        digits.remove_suffix(1);
    }
    const bool padded = digits.size() != text.size();
    // A single leftover digit carries fewer than 8 bits: no encoder ends that way.
    if ((padded && text.size() % 4 != 0) || digits.size() % 4 == 1) {
        return std::nullopt;
    }
    std::string decoded;
    decoded.reserve(digits.size() / 4 * 3 + 2);
    uint32_t bits = 0;
    int bitCount = 0;
    for (const char c : digits) {
        const int value = Base64Value(c);
        if (value < 0) {
            return std::nullopt;
        }
        bits = (bits << 6) | static_cast<uint32_t>(value);
        bitCount += 6;
        if (bitCount >= 8) {
            bitCount -= 8;
            decoded.push_back(static_cast<char>((bits >> bitCount) & 0xFFu));
            bits &= (1u << bitCount) - 1u;
        }
    }
    return decoded;
}

std::optional<BasicCredentials> ParseBasicAuth(std::string_view headerValue) {
    constexpr std::string_view kScheme = "Basic";
    const std::string_view value = TrimSpaceTab(headerValue);
    if (!StartsWithIgnoreCase(value, kScheme) || value.size() == kScheme.size() ||
        !IsSpaceOrTab(value[kScheme.size()])) {
        return std::nullopt;
    }
    const std::optional<std::string> decoded =
        Base64Decode(TrimSpaceTab(value.substr(kScheme.size())));
    if (!decoded) {
        return std::nullopt;
    }
    const size_t colon = decoded->find(':');
    if (colon == std::string::npos) {
        return std::nullopt;
    }
    return BasicCredentials{decoded->substr(0, colon), decoded->substr(colon + 1)};
}

bool ConstantTimeEquals(std::string_view a, std::string_view b) {
    // Every byte of the longer text is visited and folded in without an early exit; the
    // branches below depend on the lengths only.
    const size_t length = std::max(a.size(), b.size());
    unsigned difference = a.size() == b.size() ? 0u : 1u;
    for (size_t i = 0; i < length; ++i) {
        const unsigned byteA = i < a.size() ? static_cast<unsigned char>(a[i]) : 0u;
        const unsigned byteB = i < b.size() ? static_cast<unsigned char>(b[i]) : 0u;
        difference |= byteA ^ byteB;
    }
    return difference == 0;
}

bool WantsIcyMetadata(const Request& request) {
    const std::string* value = request.Find("Icy-MetaData");
    if (value == nullptr || value->empty() || !std::all_of(value->begin(), value->end(), IsDigit)) {
        return false;
    }
    return std::any_of(value->begin(), value->end(), [](char c) { return c != '0'; });
}

}  // namespace orvanta::engine
