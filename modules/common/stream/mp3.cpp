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

constexpr uint64_t kBitrateWindowMicros = 10'000'000;

std::shared_ptr<const std::string> NoHeaders() {
    static const auto empty = std::make_shared<const std::string>();
    return empty;
}

}  // namespace

TagCheck CheckId3v2(const unsigned char* p, size_t avail, uint64_t& size) {
    static constexpr unsigned char kMagic[3] = {'I', 'D', '3'};
    for (size_t i = 0; i < std::min<size_t>(avail, 10); ++i) {
        const unsigned char c = p[i];
        const bool fits = i < 3    ? c == kMagic[i]
                          : i == 3 ? c >= 2 && c <= 4
                          : i == 4 ? c != 0xFF
                          : i == 5 ? true
                                   : c < 0x80;
        if (!fits) {
            return TagCheck::kNo;
        }
    }
    if (avail < 10) {
        return TagCheck::kNeedMore;
    }
    size = (uint64_t{p[6]} << 21) | (uint64_t{p[7]} << 14) | (uint64_t{p[8]} << 7) | p[9];
    size += 10;
    if ((p[5] & 0x10) != 0) {
        size += 10;  // footer
    }
    return TagCheck::kYes;
}

bool IsTagStart(const unsigned char* p) {
    return (p[0] == 'I' && p[1] == 'D' && p[2] == '3') ||
           (p[0] == 'T' && p[1] == 'A' && p[2] == 'G');
}

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

std::shared_ptr<const std::string> Mp3Reader::Headers() const {
    return NoHeaders();
}

int Mp3Reader::Bitrate() const {
    if (m_bitrate == 0 && m_windowMicros > 0) {
        return static_cast<int>((m_windowKbpsMicros + m_windowMicros / 2) / m_windowMicros);
    }
    return m_bitrate;
}

void Mp3Reader::Feed(std::string_view data, std::vector<MediaUnit>& out) {
    m_pending.Take(
        data, [&] { Process(out); }, [&] { ForgetPending(); });
}

// Out of memory: what was pending is dropped and the stream resyncs on the next bytes.
void Mp3Reader::ForgetPending() {
    m_dropped += m_pending.Forget() + m_unit.size();
    std::string().swap(m_unit);
    m_unitMicros = 0;
    m_synced = false;
}

void Mp3Reader::Drop(size_t count) {
    m_pending.pos += count;
    m_dropped += count;
}

void Mp3Reader::Process(std::vector<MediaUnit>& out) {
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
            if (avail < 4) {
                break;
            }
            if (const auto header = ParseMp3FrameHeader(p, avail)) {
                const size_t length = static_cast<size_t>(header->frameBytes);
                if (avail < length + 4) {
                    break;  // the frame and the header after it decide
                }
                const unsigned char* next = p + length;
                const auto following = ParseMp3FrameHeader(next, 4);
                const bool good = m_synced ? following.has_value() || IsTagStart(next)
                                           : following && Mp3Compatible(*header, *following);
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

void Mp3Reader::Accept(const Mp3FrameHeader& header, std::vector<MediaUnit>& out) {
    const size_t length = static_cast<size_t>(header.frameBytes);
    m_unit.append(m_pending.bytes, m_pending.pos, length);
    m_pending.pos += length;
    m_sawAudio = true;
    m_sampleRate = header.sampleRate;
    m_channels = header.channels;

    const uint64_t micros = uint64_t{1'000'000} * static_cast<uint64_t>(header.samplesPerFrame) /
                            static_cast<uint64_t>(header.sampleRate);
    m_windowKbpsMicros += static_cast<uint64_t>(header.bitrateKbps) * micros;
    m_windowMicros += micros;
    if (m_windowMicros >= kBitrateWindowMicros) {
        m_bitrate = static_cast<int>((m_windowKbpsMicros + m_windowMicros / 2) / m_windowMicros);
        m_windowKbpsMicros = 0;
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
