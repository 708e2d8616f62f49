#include "stream/ogg_codecs.h"

#include "base/ascii.h"
#include "stream/icy_metadata.h"

namespace orvanta::engine {

namespace {

constexpr std::string_view kOpusHead = "OpusHead";
constexpr size_t kOpusHeadBytes = 19;
constexpr std::string_view kFlacHead = "\x7F\x46LAC";  // 0x7F "FLAC"
constexpr std::string_view kFlacMarker = "fLaC";
constexpr size_t kFlacBlockHeaderBytes = 4;
constexpr size_t kStreamInfoBytes = 34;
// 0x7F "FLAC", major and minor version, the header count, "fLaC".
constexpr size_t kFlacMappingBytes = 13;
constexpr unsigned char kFlacLastBlock = 0x80;
constexpr int kFlacStreamInfo = 0;
// 0x7F is reserved as a block type; 0xFF opens an audio frame's sync code.
constexpr int kFlacInvalidType = 127;

const unsigned char* U(std::string_view bytes) {
    return reinterpret_cast<const unsigned char*>(bytes.data());
}

uint32_t Le16(std::string_view bytes, size_t at) {
    return uint32_t{U(bytes)[at]} | (uint32_t{U(bytes)[at + 1]} << 8);
}

uint32_t Le32(std::string_view bytes, size_t at) {
    return Le16(bytes, at) | (Le16(bytes, at + 2) << 16);
}

}  // namespace

std::optional<OpusHead> ParseOpusHead(std::string_view packet) {
    if (packet.size() < kOpusHeadBytes || packet.substr(0, kOpusHead.size()) != kOpusHead) {
        return std::nullopt;
    }
    const unsigned char* p = U(packet);
    // Versions 0-15 share the layout; a new major version may not.
    if ((p[8] & 0xF0) != 0 || p[9] == 0) {
        return std::nullopt;
    }
    OpusHead head;
    head.channels = p[9];
    head.preSkip = Le16(packet, 10);
    head.inputRate = Le32(packet, 12);
    return head;
}

std::optional<FlacHead> ParseFlacHead(std::string_view packet) {
    if (packet.size() < kFlacMappingBytes + kFlacBlockHeaderBytes + kStreamInfoBytes ||
        packet.substr(0, kFlacHead.size()) != kFlacHead ||
        packet.substr(9, kFlacMarker.size()) != kFlacMarker) {
        return std::nullopt;
    }
    const unsigned char* p = U(packet);
    if ((p[kFlacMappingBytes] & 0x7F) != kFlacStreamInfo) {
        return std::nullopt;
    }
    FlacHead head;
    head.moreHeaders = (size_t{p[7]} << 8) | p[8];
    head.lastBlock = (p[kFlacMappingBytes] & kFlacLastBlock) != 0;
    // STREAMINFO: block sizes (2 + 2 bytes), frame sizes (3 + 3), then 20 bits of sample rate,
    // 3 bits of channels - 1.
    const unsigned char* info = p + kFlacMappingBytes + kFlacBlockHeaderBytes + 10;
    head.sampleRate = static_cast<int>((uint32_t{info[0]} << 12) | (uint32_t{info[1]} << 4) |
                                       (uint32_t{info[2]} >> 4));
    head.channels = ((info[2] >> 1) & 0x07) + 1;
    return head;
}

std::optional<FlacBlock> ParseFlacBlock(std::string_view packet) {
    if (packet.size() < kFlacBlockHeaderBytes) {
        return std::nullopt;
    }
    const unsigned char first = U(packet)[0];
    const int type = first & 0x7F;
    if (type == kFlacInvalidType) {
        return std::nullopt;
    }
    return FlacBlock{type, (first & kFlacLastBlock) != 0};
}

std::string CommentTitle(std::string_view data) {
    size_t pos = 0;
    const auto read32 = [&](uint32_t& value) {
        if (data.size() - pos < 4) {
            return false;
        }
        value = Le32(data, pos);
        pos += 4;
        return true;
    };
    uint32_t vendorBytes = 0;
    uint32_t count = 0;
    if (!read32(vendorBytes) || vendorBytes > data.size() - pos) {
        return {};
    }
    pos += vendorBytes;
    if (!read32(count)) {
        return {};
    }
    std::string title;
    std::string artist;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t length = 0;
        if (!read32(length) || length > data.size() - pos) {
            break;
        }
        const std::string_view field = data.substr(pos, length);
        pos += length;
        const size_t equals = field.find('=');
        if (equals == std::string_view::npos) {
            continue;
        }
        const std::string_view key = field.substr(0, equals);
        const std::string_view value = field.substr(equals + 1);
        if (title.empty() && EqualsIgnoreCase(key, "TITLE")) {
            title = ToUtf8(value);
        } else if (artist.empty() && EqualsIgnoreCase(key, "ARTIST")) {
            artist = ToUtf8(value);
        }
    }
    if (!artist.empty() && !title.empty()) {
        return artist + " - " + title;
    }
    return title.empty() ? artist : title;
}

}  // namespace orvanta::engine
