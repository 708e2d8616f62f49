#include "stream/adts.h"

#include <algorithm>

namespace orvanta::engine {

namespace {

constexpr int kSampleRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                  22050, 16000, 12000, 11025, 8000,  7350};
// Channel configurations 1..7; 7 is 7.1.
constexpr int kChannels[8] = {0, 1, 2, 3, 4, 5, 6, 8};

}  // namespace

std::optional<AdtsFrameHeader> ParseAdtsFrameHeader(const unsigned char* p, size_t size) {
    if (p == nullptr || size < kAdtsHeaderBytes || p[0] != 0xFF || (p[1] & 0xF6) != 0xF0) {
        return std::nullopt;
    }
    const int rateIndex = (p[2] >> 2) & 0x0F;
    const int channelConfig = ((p[2] & 1) << 2) | (p[3] >> 6);
    if (rateIndex > 12 || channelConfig == 0) {
        return std::nullopt;
    }
    AdtsFrameHeader header;
    header.mpeg2 = (p[1] & 0x08) != 0;
    header.objectType = (p[2] >> 6) + 1;
    header.rateIndex = rateIndex;
    header.sampleRate = kSampleRates[rateIndex];
    header.channelConfig = channelConfig;
    header.channels = kChannels[channelConfig];
    header.headerBytes = (p[1] & 1) != 0 ? 7 : 9;
    header.frameBytes = ((p[3] & 3) << 11) | (p[4] << 3) | (p[5] >> 5);
    header.samplesPerFrame = 1024 * ((p[6] & 3) + 1);
    if (header.frameBytes <= header.headerBytes) {
        return std::nullopt;
    }
    return header;
}

bool AdtsCompatible(const AdtsFrameHeader& a, const AdtsFrameHeader& b) {
    return a.mpeg2 == b.mpeg2 && a.objectType == b.objectType && a.rateIndex == b.rateIndex &&
           a.channelConfig == b.channelConfig;
}

bool AdtsLikelySbr(const AdtsFrameHeader& header) {
    return header.objectType == 2 && header.sampleRate <= 24000;
}

const char* AdtsCodecs(const AdtsFrameHeader& header) {
    if (AdtsLikelySbr(header)) {
        return "mp4a.40.5";
    }
    static constexpr const char* kByObjectType[5] = {"", "mp4a.40.1", "mp4a.40.2", "mp4a.40.3",
                                                     "mp4a.40.4"};
    return kByObjectType[std::clamp(header.objectType, 1, 4)];
}

const char* AdtsReader::DirectoryType() const {
    const AdtsFrameHeader* newest = NewestHeader();
    return newest != nullptr && AdtsLikelySbr(*newest) ? "AAC+" : nullptr;
}

}  // namespace orvanta::engine
