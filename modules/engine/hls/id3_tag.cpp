#include "hls/id3_tag.h"

#include <algorithm>

namespace orvanta::engine {

namespace {

constexpr uint64_t kTimestampMask = (uint64_t{1} << 33) - 1;
constexpr char kUtf8Encoding = 3;

void AppendFrame(std::string& tag, const char (&id)[5], std::string_view payload) {
    tag.append(id, 4);
    AppendSyncsafe(tag, static_cast<uint32_t>(payload.size()));
    tag.append(2, '\0');  // no frame flags
    tag.append(payload);
}

}  // namespace

// Control bytes (NUL among them) would end the text early or break the players' parsers (a line
// end would split a playlist line); the title is cut on a UTF-8 character boundary so the frame
// stays valid UTF-8.
std::string SegmentTitle(std::string_view title) {
    std::string text;
    text.reserve(std::min(title.size(), kMaxTagTitleBytes));
    for (const char c : title) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            text += c;
        }
    }
    if (text.size() > kMaxTagTitleBytes) {
        size_t cut = kMaxTagTitleBytes;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        text.resize(cut);
    }
    return text;
}

void AppendSyncsafe(std::string& out, uint32_t value) {
    for (int shift = 21; shift >= 0; shift -= 7) {
        out += static_cast<char>((value >> shift) & 0x7F);
    }
}

std::string BuildSegmentTag(uint64_t timestamp90k, std::string_view title) {
    std::string frames;
    std::string priv(kTimestampOwner, sizeof kTimestampOwner);  // with its terminating NUL
    const uint64_t timestamp = timestamp90k & kTimestampMask;
    for (int shift = 56; shift >= 0; shift -= 8) {
        priv += static_cast<char>((timestamp >> shift) & 0xFF);
    }
    AppendFrame(frames, "PRIV", priv);
    const std::string text = SegmentTitle(title);
    if (!text.empty()) {
        AppendFrame(frames, "TIT2", std::string(1, kUtf8Encoding) + text);
    }
    std::string tag = "ID3";
    tag += '\x04';  // version 2.4.0
    tag += '\0';
    tag += '\0';  // no flags: no unsynchronisation, no extended header, no footer
    AppendSyncsafe(tag, static_cast<uint32_t>(frames.size()));
    return tag + frames;
}

}  // namespace orvanta::engine
