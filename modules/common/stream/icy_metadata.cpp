#include "stream/icy_metadata.h"

#include <cstddef>
#include <cstdint>

namespace orvanta::engine {

namespace {

constexpr size_t kMaxBlocks = 255;
constexpr size_t kMaxText = kMaxBlocks * 16 - 1;  // one NUL always follows the text
constexpr std::string_view kTitleOpen = "StreamTitle='";
constexpr std::string_view kUrlOpen = "StreamUrl='";
constexpr std::string_view kClose = "';";

// Windows-1252 at 0x80-0x9F; the unassigned bytes keep their own value.
constexpr char16_t kWindows1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

unsigned char Byte(char c) {
    return static_cast<unsigned char>(c);
}

// Strict: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = Byte(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        size_t length = 0;
        uint32_t code = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0Fu;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07u;
        } else {
            return false;
        }
        if (text.size() - i < length) {
            return false;
        }
        for (size_t k = 1; k < length; ++k) {
            const unsigned char next = Byte(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3Fu);
        }
        if ((length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
            (length == 4 && (code < 0x10000 || code > 0x10FFFF))) {
            return false;
        }
        i += length;
    }
    return true;
}

void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::string ReplaceAll(std::string_view format, std::string_view token, std::string_view value) {
    if (format.empty()) {
        return std::string(value);
    }
    std::string out;
    size_t pos = 0;
    for (size_t found; (found = format.find(token, pos)) != std::string_view::npos;) {
        out.append(format.substr(pos, found - pos));
        out.append(value);
        pos = found + token.size();
    }
    out.append(format.substr(pos));
    return out;
}

// A value as it may stand between the quotes of a block.
std::string BlockValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        out += Byte(c) < 0x20 ? ' ' : c;
        if (c == '\'' && i + 1 < value.size() && value[i + 1] == ';') {
            out += ' ';
        }
    }
    return out;
}

// The longest prefix of at most `limit` bytes that does not split a UTF-8 character. Text that is
// not UTF-8 at that point (a legacy charset) is cut at `limit`.
size_t Utf8Prefix(std::string_view text, size_t limit) {
    if (text.size() <= limit) {
        return text.size();
    }
    size_t cut = limit;
    for (int back = 0; back < 3 && cut > 0 && (Byte(text[cut]) & 0xC0) == 0x80; ++back) {
        --cut;
    }
    return (Byte(text[cut]) & 0xC0) != 0x80 ? cut : limit;
}

}  // namespace

std::string ApplyTitleFormat(std::string_view format, std::string_view title) {
    return ReplaceAll(format, "%t", title);
}

std::string ApplyUrlFormat(std::string_view format, std::string_view homepage) {
    return ReplaceAll(format, "%s", homepage);
}

std::string ToUtf8(std::string_view bytes) {
    if (IsUtf8(bytes)) {
        constexpr std::string_view kBom = "\xEF\xBB\xBF";
        if (bytes.substr(0, kBom.size()) == kBom) {
            bytes.remove_prefix(kBom.size());
        }
        return std::string(bytes);
    }
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const unsigned char b = Byte(c);
        AppendUtf8(out, b >= 0x80 && b < 0xA0 ? kWindows1252[b - 0x80] : b);
    }
    return out;
}

std::string BuildIcyMetadataBlock(std::string_view title, std::string_view url) {
    std::string titleValue = BlockValue(title);
    const std::string urlValue = BlockValue(url);
    const size_t titleBytes = kTitleOpen.size() + titleValue.size() + kClose.size();
    const size_t urlBytes = kUrlOpen.size() + urlValue.size() + kClose.size();
    const bool withUrl = !urlValue.empty() && titleBytes + urlBytes <= kMaxText;
    titleValue.resize(Utf8Prefix(titleValue, kMaxText - kTitleOpen.size() - kClose.size()));

    std::string text;
    text.reserve(kMaxText);
    text.append(kTitleOpen).append(titleValue).append(kClose);
    if (withUrl) {
        text.append(kUrlOpen).append(urlValue).append(kClose);
    }
    const size_t blocks = text.size() / 16 + 1;
    std::string block(1 + blocks * 16, '\0');
    block[0] = static_cast<char>(blocks);
    block.replace(1, text.size(), text);
    return block;
}

const std::string& EmptyIcyMetadataBlock() {
    static const std::string empty(1, '\0');
    return empty;
}

}  // namespace orvanta::engine
