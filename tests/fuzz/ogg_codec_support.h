// What the Opus and FLAC targets share: the input cut into packets, the packets laid onto
// good Ogg pages of one logical stream (one second of audio a packet), and the reader run over
// them in one piece and in two, with what must not depend on the split.
#pragma once

#include "fuzz_require.h"
#include "stream/ogg.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ogg_fuzz {

using namespace orvanta::engine;

// Packets are separated by "|\n" in the input.
inline std::vector<std::string> SplitPackets(std::string_view data) {
    std::vector<std::string> packets;
    for (;;) {
        const size_t at = data.find("|\n");
        packets.emplace_back(data.substr(0, at));
        if (at == std::string_view::npos) {
            return packets;
        }
        data.remove_prefix(at + 2);
    }
}

struct Laid {
    std::string bytes;
    std::vector<size_t> packetEnds;  // where the page ending each packet ends
};

inline void PutLe32(std::string& out, size_t at, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) {
        out[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

// Each packet starts a page; a packet of more than 255 lacing values goes on over continued
// pages, which carry no granule position.
inline Laid LayOut(const std::vector<std::string>& packets, uint64_t rate) {
    Laid laid;
    uint32_t sequence = 0;
    for (size_t p = 0; p < packets.size(); ++p) {
        const std::string& packet = packets[p];
        std::string lacing;
        for (size_t left = packet.size();; left -= 255) {
            lacing += static_cast<char>(left < 255 ? left : 255);
            if (left < 255) {
                break;
            }
        }
        size_t bodyAt = 0;
        for (size_t first = 0; first < lacing.size(); first += 255) {
            const std::string_view laces = std::string_view(lacing).substr(first, 255);
            const bool ends = first + laces.size() == lacing.size();
            size_t bodyBytes = 0;
            for (const char c : laces) {
                bodyBytes += static_cast<unsigned char>(c);
            }
            std::string page = "OggS";
            page += '\0';
            page += static_cast<char>((first > 0 ? kOggContinued : 0) | (p == 0 ? kOggBos : 0));
            page.append(21, '\0');
            const uint64_t granule = ends ? rate * p : ~uint64_t{0};
            PutLe32(page, 6, static_cast<uint32_t>(granule));
            PutLe32(page, 10, static_cast<uint32_t>(granule >> 32));
            PutLe32(page, 14, 0x0660);
            PutLe32(page, 18, sequence++);
            page[26] = static_cast<char>(laces.size());
            page.append(laces);
            page.append(packet, bodyAt, bodyBytes);
            bodyAt += bodyBytes;
            PutLe32(page, 22, OggCrc32(page));
            laid.bytes += page;
        }
        laid.packetEnds.push_back(laid.bytes.size());
    }
    return laid;
}

// The reader's findings and units, fed `stream` in two pieces cut at `split`.
inline std::string Run(std::string_view stream, size_t split, OggReader& reader) {
    std::vector<MediaUnit> units;
    reader.Feed(stream.substr(0, split), units);
    reader.Feed(stream.substr(split), units);
    Require(reader.Bitrate() >= 0 && reader.Channels() >= 0 && reader.SampleRate() >= 0,
            "negative audio facts");
    std::string summary = reader.Title() + '|' + *reader.Headers() + '|' +
                          std::to_string(reader.Bitrate()) + '|' +
                          std::to_string(reader.SampleRate()) + '|' +
                          std::to_string(reader.Channels()) + '|' + reader.CodecName();
    for (const MediaUnit& unit : units) {
        Require(unit.syncPoint == (unit.headers != nullptr), "sync point without headers");
        summary += (unit.syncPoint ? "s" : "-") + unit.bytes;
    }
    return summary;
}

}  // namespace ogg_fuzz
