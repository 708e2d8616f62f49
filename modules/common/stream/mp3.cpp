#include "stream/mp3.h"

#include <algorithm>
#include <new>
#include <stdexcept>

namespace orvanta::engine {

namespace {

// [MPEG-1 ? 0 : 1][layer - 1][bitrate index]; MPEG-2.5 shares the MPEG-2 rows.
constexpr int kBitratesKbps[2][3][16] = {
    {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    },
    {
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
    },
};

// [MPEG-1, MPEG-2, MPEG-2.5][sample rate index]
constexpr int kSampleRates[3][3] = {
    {44100, 48000, 32000},
    {22050, 24000, 16000},
    {11025, 12000, 8000},
};

}  // namespace

std::optional<Mp3FrameHeader> ParseMp3FrameHeader(const unsigned char* p, size_t size) {
    if (p == nullptr || size < 4 || p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) {
        return std::nullopt;
    }
    const int versionBits = (p[1] >> 3) & 3;  // 0 MPEG-2.5, 1 reserved, 2 MPEG-2, 3 MPEG-1
    const int layerBits = (p[1] >> 1) & 3;    // 0 reserved, 1 layer III, 2 layer II, 3 layer I
    const int bitrateIndex = p[2] >> 4;
    const int rateIndex = (p[2] >> 2) & 3;
    const int padding = (p[2] >> 1) & 1;
    const int mode = p[3] >> 6;
    const int emphasis = p[3] & 3;
    if (versionBits == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 ||
        rateIndex == 3 || emphasis == 2) {
        return std::nullopt;
    }
    const bool mpeg1 = versionBits == 3;
    Mp3FrameHeader header;
    header.version = mpeg1 ? 10 : versionBits == 2 ? 20 : 25;
    header.layer = 4 - layerBits;
    header.bitrateKbps = kBitratesKbps[mpeg1 ? 0 : 1][header.layer - 1][bitrateIndex];
    header.sampleRate = kSampleRates[mpeg1 ? 0 : versionBits == 2 ? 1 : 2][rateIndex];
    header.channels = mode == 3 ? 1 : 2;
    const int bitsPerSecond = header.bitrateKbps * 1000;
    if (header.layer == 1) {
        header.samplesPerFrame = 384;
        header.frameBytes = (12 * bitsPerSecond / header.sampleRate + padding) * 4;
    } else if (header.layer == 2 || mpeg1) {
        header.samplesPerFrame = 1152;
        header.frameBytes = 144 * bitsPerSecond / header.sampleRate + padding;
    } else {
        header.samplesPerFrame = 576;
        header.frameBytes = 72 * bitsPerSecond / header.sampleRate + padding;
    }
    return header;
}

bool Mp3Compatible(const Mp3FrameHeader& a, const Mp3FrameHeader& b) {
    return a.version == b.version && a.layer == b.layer && a.sampleRate == b.sampleRate;
}

}  // namespace orvanta::engine
