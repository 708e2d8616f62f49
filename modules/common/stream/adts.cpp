#include "stream/adts.h"

#include "stream/mp3.h"

#include <algorithm>

namespace orvanta::engine {

namespace {

constexpr int kSampleRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                  22050, 16000, 12000, 11025, 8000,  7350};
// Channel configurations 1..7; 7 is 7.1.
constexpr int kChannels[8] = {0, 1, 2, 3, 4, 5, 6, 8};

constexpr uint64_t kBitrateWindowMicros = 10'000'000;

std::shared_ptr<const std::string> NoHeaders() {
    static const auto empty = std::make_shared<const std::string>();
    return empty;
}

int KbpsOf(uint64_t bytes, uint64_t micros) {
    return micros == 0 ? 0 : static_cast<int>((bytes * 8'000 + micros / 2) / micros);
}

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

std::shared_ptr<const std::string> AdtsReader::Headers() const {
    return NoHeaders();
}

int AdtsReader::Bitrate() const {
    if (m_bitrate == 0) {
        return KbpsOf(m_windowBytes, m_windowMicros);
    }
    return m_bitrate;
}

void AdtsReader::Feed(std::string_view data, std::vector<MediaUnit>& out) {
    m_pending.Take(
        data, [&] { Process(out); }, [&] { ForgetPending(); });
}

// Out of memory: what was pending is dropped and the stream resyncs on the next bytes.
void AdtsReader::ForgetPending() {
    m_dropped += m_pending.Forget() + m_unit.size();
    std::string().swap(m_unit);
    m_unitMicros = 0;
    m_synced = false;
}

void AdtsReader::Drop(size_t count) {
    m_pending.pos += count;
    m_dropped += count;
}

void AdtsReader::Process(std::vector<MediaUnit>& out) {
    while (m_pending.pos < m_pending.bytes.size()) {
        const size_t avail = m_pending.bytes.size() - m_pending.pos;
        if (m_skip > 0) {
            const size_t count = static_cast<size_t>(std::min<uint64_t>(avail, m_skip));
            m_skip -= count;
            Drop(count);
            continue;
        }
        const auto* p =
            reinterpret_cast<const unsigned char*>(m_pending.bytes.data() + m_pending.pos);
        if (p[0] == 'I') {
            uint64_t tagBytes = 0;
            const TagCheck tag = CheckId3v2(p, avail, tagBytes);
            if (tag == TagCheck::kNeedMore) {
                break;
            }
            if (tag == TagCheck::kYes && tagBytes <= kMaxId3Bytes) {
                m_synced = false;
                m_skip = tagBytes;
                continue;
            }
        }
        if (p[0] == 0xFF) {
            if (avail < kAdtsHeaderBytes) {
                break;
            }
            if (const auto header = ParseAdtsFrameHeader(p, avail)) {
                const size_t length = static_cast<size_t>(header->frameBytes);
                if (avail < length + kAdtsHeaderBytes) {
                    break;  // the frame and the header after it decide
                }
                const unsigned char* next = p + length;
                const auto following = ParseAdtsFrameHeader(next, kAdtsHeaderBytes);
                const bool good = m_synced ? following.has_value() || IsTagStart(next)
                                           : following && AdtsCompatible(*header, *following);
                if (good) {
                    Accept(*header, out);
                    m_synced = true;
                    continue;
                }
            }
        }
        // Not a frame nor a tag: drop up to the next byte that could start one.
        m_synced = false;
        size_t count = 1;
        while (count < avail && p[count] != 0xFF && p[count] != 'I') {
            ++count;
        }
        Drop(count);
    }
}

void AdtsReader::Accept(const AdtsFrameHeader& header, std::vector<MediaUnit>& out) {
    const size_t length = static_cast<size_t>(header.frameBytes);
    m_unit.append(m_pending.bytes, m_pending.pos, length);
    m_pending.pos += length;
    m_sawAudio = true;
    m_sampleRate = header.sampleRate;
    m_channels = header.channels;

    const uint64_t micros = uint64_t{1'000'000} * static_cast<uint64_t>(header.samplesPerFrame) /
                            static_cast<uint64_t>(header.sampleRate);
    m_windowBytes += length;
    m_windowMicros += micros;
    if (m_windowMicros >= kBitrateWindowMicros) {
        m_bitrate = KbpsOf(m_windowBytes, m_windowMicros);
        m_windowBytes = 0;
        m_windowMicros = 0;
    }

    m_unitMicros += micros;
    if (m_unit.size() >= kUnitBytes || m_unitMicros >= kUnitMicros) {
        MediaUnit unit;
        unit.bytes = std::move(m_unit);
        unit.syncPoint = true;
        out.push_back(std::move(unit));
        m_unit.clear();
        m_unitMicros = 0;
    }
}

}  // namespace orvanta::engine
