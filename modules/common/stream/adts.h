// AAC in ADTS: frame headers and the reader that cuts a source's bytes into units of whole
// frames, the way the MP3 reader does for MPEG audio (the two share a station module: the source
// decides which it sends).
#pragma once

#include "stream/frame_reader.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta::engine {

struct AdtsFrameHeader {
    bool mpeg2 = false;       // the ID bit: MPEG-2 rather than MPEG-4 AAC; same frames either way
    int objectType = 0;       // 1 Main, 2 LC, 3 SSR, 4 LTP (the header's profile + 1)
    int rateIndex = 0;        // 0..12
    int sampleRate = 0;       // Hz, as the header says (the core rate when SBR doubles it)
    int channelConfig = 0;    // 1..7
    int channels = 0;         // 1..6, 8
    int headerBytes = 0;      // 7, or 9 with the CRC
    int frameBytes = 0;       // the whole frame, header included
    int samplesPerFrame = 0;  // 1024 per raw data block, up to four blocks
};

inline constexpr size_t kAdtsHeaderBytes = 7;

// The header at p (needs 7 bytes). Rejects a bad sync, a layer other than 0, the reserved and
// escape sample rate indexes (13..15), channel configuration 0 (channels in a program config
// element, which a frame-cutting reader cannot see) and a frame length that does not reach
// past the header.
std::optional<AdtsFrameHeader> ParseAdtsFrameHeader(const unsigned char* p, size_t size);

// Same ID, object type, sample rate and channels: what consecutive frames of one stream share.
bool AdtsCompatible(const AdtsFrameHeader& a, const AdtsFrameHeader& b);

// Whether the stream is taken for HE-AAC (SBR). ADTS has no field for it: encoders signal SBR
// implicitly, with an LC header at the core rate, half the rate the decoder puts out. So an LC
// header at 24 kHz or below counts as HE-AAC; that is where HE-AAC encoders put the core, and
// plain LC so low is rare (a decoder told HE-AAC still plays LC, and one told LC plays HE-AAC
// at the core rate at worst).
bool AdtsLikelySbr(const AdtsFrameHeader& header);

// The codec as HLS playlists name it: "mp4a.40.2" for LC, "mp4a.40.5" for HE-AAC, "mp4a.40.N"
// for the other object types.
const char* AdtsCodecs(const AdtsFrameHeader& header);

// ADTS frames for FrameReader. ADTS names no bitrate: each frame's is its length over its
// duration, so the reader's mean is bytes over time.
struct AdtsFrames {
    using Header = AdtsFrameHeader;
    static constexpr size_t kHeaderBytes = kAdtsHeaderBytes;
    static std::optional<Header> Parse(const unsigned char* p, size_t size) {
        return ParseAdtsFrameHeader(p, size);
    }
    static bool Compatible(const Header& a, const Header& b) { return AdtsCompatible(a, b); }
    static uint64_t KbpsMicros(const Header& header, uint64_t /*micros*/) {
        return static_cast<uint64_t>(header.frameBytes) * 8'000;
    }
};

class AdtsReader final : public FrameReader<AdtsFrames> {
public:
    // "AAC+" while the newest frame is taken for HE-AAC (AdtsLikelySbr): directories list the
    // two apart, and players pick a decoder by it.
    const char* DirectoryType() const override;
};

}  // namespace orvanta::engine
