#include "http/icy_login.h"

#include "base/ascii.h"

#include <algorithm>
#include <initializer_list>
#include <optional>

namespace orvanta::engine {
namespace {

constexpr int kMaxLineEndCrs = 2;

bool IsControlButTab(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && c != '\t') || byte == 0x7F;
}

std::string_view StripLineEnd(std::string_view text) {
    for (int i = 0; i < kMaxLineEndCrs && !text.empty() && text.back() == '\r'; ++i) {
        text.remove_suffix(1);
    }
    return text;
}

// The line without a trailing ":#<digits>" stream id, or nothing when it has none.
std::optional<std::string_view> WithoutStreamId(std::string_view line) {
    const size_t mark = line.rfind(":#");
    if (mark == std::string_view::npos || mark + 2 == line.size()) {
        return std::nullopt;
    }
    const std::string_view digits = line.substr(mark + 2);
    if (!std::all_of(digits.begin(), digits.end(), IsDigit)) {
        return std::nullopt;
    }
    return line.substr(0, mark);
}

bool NameIsOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
    return std::any_of(names.begin(), names.end(), [name](std::string_view candidate) {
        return EqualsIgnoreCase(name, candidate);
    });
}

std::string FirstValue(const std::vector<Header>& headers,
                       std::initializer_list<std::string_view> names) {
    for (const Header& header : headers) {
        if (!header.value.empty() && NameIsOneOf(header.name, names)) {
            return header.value;
        }
    }
    return {};
}

// The leading decimal digits of a positive number up to `limit`; 0 when absent or larger.
int ParseCount(std::string_view text, int limit) {
    text = TrimSpaceTab(text);
    int value = 0;
    for (size_t i = 0; i < text.size() && IsDigit(text[i]); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit) {
            return 0;
        }
    }
    return value;
}

// The first positive number under one of `names` in an ice-audio-info value
// "bitrate=128;samplerate=44100;channels=2".
int AudioInfoNumber(std::string_view info, std::initializer_list<std::string_view> names,
                    int limit) {
    while (!info.empty()) {
        const size_t end = std::min(info.find(';'), info.size());
        const std::string_view item = TrimSpaceTab(info.substr(0, end));
        info.remove_prefix(std::min(end + 1, info.size()));
        const size_t equals = item.find('=');
        if (equals == std::string_view::npos ||
            !NameIsOneOf(TrimSpaceTab(item.substr(0, equals)), names)) {
            continue;
        }
        const int value = ParseCount(PercentDecode(item.substr(equals + 1), false), limit);
        if (value > 0) {
            return value;
        }
    }
    return 0;
}

int ParsePublic(std::string_view text) {
    const std::string lower = AsciiLower(TrimSpaceTab(text));
    if (lower == "yes" || lower == "true") {
        return 1;
    }
    if (lower == "no" || lower == "false") {
        return 0;
    }
    if (lower.empty() || !std::all_of(lower.begin(), lower.end(), IsDigit)) {
        return -1;
    }
    return std::any_of(lower.begin(), lower.end(), [](char c) { return c != '0'; }) ? 1 : 0;
}

}  // namespace

LineResult ReadLine(std::string_view data, size_t maxBytes) {
    const std::string_view window = data.substr(0, std::min(data.size(), maxBytes));
    LineResult result;
    const size_t end = window.find('\n');
    if (end == std::string_view::npos) {
        result.status = window.size() >= maxBytes ? ParseStatus::TooLarge : ParseStatus::Incomplete;
        return result;
    }
    result.status = ParseStatus::Complete;
    result.consumed = end + 1;
    result.line = std::string(StripLineEnd(window.substr(0, end)));
    return result;
}

bool LooksLikeHttpRequestLine(std::string_view line) {
    for (const std::string_view method : {"GET", "POST", "HEAD", "OPTIONS", "SOURCE", "PUT"}) {
        if (line.size() > method.size() && line.substr(0, method.size()) == method &&
            line[method.size()] == ' ') {
            return true;
        }
    }
    return false;
}

bool IsPokeProbe(std::string_view line) {
    return line == "!POKE";
}

bool IsGarbageLoginLine(std::string_view line, std::string_view password) {
    const auto isControl = [](char c) { return IsControlByte(c) && c != '\t'; };
    if (line.empty()) {
        return true;
    }
    return std::any_of(line.begin(), line.end(), isControl) &&
           std::none_of(password.begin(), password.end(), isControl);
}

bool IcyPasswordMatches(std::string_view line, std::string_view password) {
    if (password.empty()) {
        return false;
    }
    std::vector<std::string_view> forms{line};
    if (const std::optional<std::string_view> stripped = WithoutStreamId(line)) {
        forms.push_back(*stripped);
    }
    // Every form is compared, so the time taken tells nothing about which one came close.
    bool matched = false;
    for (const std::string_view form : forms) {
        matched = ConstantTimeEquals(form, password) || matched;
        const size_t colon = form.find(':');
        if (colon != std::string_view::npos) {
            matched = ConstantTimeEquals(form.substr(colon + 1), password) || matched;
        }
    }
    return matched;
}

HeaderBlockResult ParseHeaderBlock(std::string_view data, size_t maxBytes, size_t maxHeaders) {
    const std::string_view window = data.substr(0, std::min(data.size(), maxBytes));
    HeaderBlockResult result;
    std::vector<Header> headers;
    size_t lines = 0;
    size_t position = 0;
    for (size_t end = window.find('\n'); end != std::string_view::npos;
         end = window.find('\n', position)) {
        const std::string_view text = StripLineEnd(window.substr(position, end - position));
        position = end + 1;
        if (text.empty()) {
            result.status = ParseStatus::Complete;
            result.consumed = position;
            result.headers = std::move(headers);
            return result;
        }
        if (++lines > maxHeaders) {
            result.status = ParseStatus::TooLarge;
            return result;
        }
        const size_t colon = text.find(':');
        if (colon == std::string_view::npos ||
            std::any_of(text.begin(), text.end(), IsControlButTab)) {
            continue;
        }
        const std::string_view name = TrimSpaceTab(text.substr(0, colon));
        if (!name.empty()) {
            headers.push_back(
                Header{std::string(name), std::string(TrimSpaceTab(text.substr(colon + 1)))});
        }
    }
    result.status = window.size() >= maxBytes ? ParseStatus::TooLarge : ParseStatus::Incomplete;
    return result;
}

SourceInfo SourceInfoFromHeaders(const std::vector<Header>& headers) {
    SourceInfo info;
    info.name = FirstValue(headers, {"icy-name", "ice-name"});
    info.genre = FirstValue(headers, {"icy-genre", "ice-genre"});
    info.url = FirstValue(headers, {"icy-url", "ice-url"});
    info.description = FirstValue(headers, {"icy-description", "ice-description"});
    info.isPublic = ParsePublic(FirstValue(headers, {"icy-pub", "icy-public", "ice-public"}));
    info.userAgent = FirstValue(headers, {"user-agent"});

    const std::string contentType = FirstValue(headers, {"content-type"});
    info.contentType =
        AsciiLower(TrimSpaceTab(std::string_view(contentType).substr(0, contentType.find(';'))));

    // libshout sends icy-br:0 when it does not know, so a later positive figure still counts.
    for (const Header& header : headers) {
        if (info.bitrate == 0 && NameIsOneOf(header.name, {"icy-br", "ice-bitrate"})) {
            info.bitrate = ParseCount(header.value, kMaxBitrateKbps);
        }
    }
    for (const Header& header : headers) {
        if (info.sampleRate == 0 && NameIsOneOf(header.name, {"icy-sr", "ice-samplerate"})) {
            info.sampleRate = ParseCount(header.value, kMaxSampleRate);
        }
        if (info.channels == 0 && NameIsOneOf(header.name, {"ice-channels"})) {
            info.channels = ParseCount(header.value, kMaxChannels);
        }
    }
    for (const Header& header : headers) {
        if (!NameIsOneOf(header.name, {"ice-audio-info"})) {
            continue;
        }
        if (info.audioInfo.empty()) {
            info.audioInfo = header.value;
        }
        if (info.bitrate == 0) {
            info.bitrate =
                AudioInfoNumber(header.value, {"bitrate", "ice-bitrate"}, kMaxBitrateKbps);
        }
        if (info.sampleRate == 0) {
            info.sampleRate =
                AudioInfoNumber(header.value, {"samplerate", "ice-samplerate"}, kMaxSampleRate);
        }
        if (info.channels == 0) {
            info.channels =
                AudioInfoNumber(header.value, {"channels", "ice-channels"}, kMaxChannels);
        }
    }
    return info;
}

}  // namespace orvanta::engine
