// MPEG audio (MP3 and its layer I/II relatives): frame headers and the reader that cuts a
// source's bytes into units of whole frames.
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

struct Mp3FrameHeader {
    int version = 0;  // 10 = MPEG-1, 20 = MPEG-2, 25 = MPEG-2.5
    int layer = 0;    // 1, 2 or 3
    int bitrateKbps = 0;
    int sampleRate = 0;  // Hz
    int channels = 0;    // 1 or 2
    int frameBytes = 0;  // the whole frame, header included
    int samplesPerFrame = 0;
};

// The header at p (needs 4 bytes). Rejects a bad sync, the reserved version, layer, sample rate
// and emphasis values, free format (bitrate index 0) and the bad bitrate index 15.
std::optional<Mp3FrameHeader> ParseMp3FrameHeader(const unsigned char* p, size_t size);

// Same version, layer and sample rate: what consecutive frames of one stream share.
bool Mp3Compatible(const Mp3FrameHeader& a, const Mp3FrameHeader& b);

// MPEG audio frames for FrameReader; the bitrate is the one each header names.
struct Mp3Frames {
    using Header = Mp3FrameHeader;
    static constexpr size_t kHeaderBytes = 4;
    static std::optional<Header> Parse(const unsigned char* p, size_t size) {
        return ParseMp3FrameHeader(p, size);
    }
    static bool Compatible(const Header& a, const Header& b) { return Mp3Compatible(a, b); }
    static uint64_t KbpsMicros(const Header& header, uint64_t micros) {
        return static_cast<uint64_t>(header.bitrateKbps) * micros;
    }
};

class Mp3Reader final : public FrameReader<Mp3Frames> {};

}  // namespace orvanta::engine
