#include "stream/format_table.h"

#include "base/ascii.h"
#include "stream/adts.h"
#include "stream/asf.h"
#include "stream/mp3.h"
#include "stream/ogg.h"

#include <algorithm>
#include <array>

namespace orvanta::engine {

namespace {

bool SniffOgg(std::string_view firstBytes) {
    return firstBytes.substr(0, 4) == "OggS";
}

// ASF, bare or in the streaming handshake's chunks (a 12-byte "$H" chunk head first).
bool SniffAsf(std::string_view firstBytes) {
    for (const size_t at : {size_t{0}, size_t{12}}) {
        if (firstBytes.size() >= at + kAsfHeaderObject.size() &&
            (at == 0 || firstBytes.substr(0, 2) == "$H") &&
            std::equal(kAsfHeaderObject.begin(), kAsfHeaderObject.end(),
                       reinterpret_cast<const unsigned char*>(firstBytes.data() + at))) {
            return true;
        }
    }
    return false;
}

bool SniffMp3(std::string_view firstBytes) {
    if (firstBytes.substr(0, 3) == "ID3") {
        return true;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(firstBytes.data());
    const auto header = ParseMp3FrameHeader(p, firstBytes.size());
    if (!header) {
        return false;
    }
    // A lone sync pattern is weak evidence; where the bytes reach the next frame, it must agree.
    const auto length = static_cast<size_t>(header->frameBytes);
    if (firstBytes.size() < length + 4) {
        return true;
    }
    const auto next = ParseMp3FrameHeader(p + length, 4);
    return next && Mp3Compatible(*header, *next);
}

// An ADTS header at the start, after an ID3v2 tag when the bytes hold all of it (encoders that
// write one put it first); where the bytes reach the next frame, it must agree. Tried before MP3,
// whose sniffer takes any stream that starts with a tag.
bool SniffAdts(std::string_view firstBytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(firstBytes.data());
    size_t at = 0;
    uint64_t tagBytes = 0;
    if (CheckId3v2(p, firstBytes.size(), tagBytes) == TagCheck::kYes) {
        if (tagBytes >= firstBytes.size()) {
            return false;
        }
        at = static_cast<size_t>(tagBytes);
    }
    const size_t size = firstBytes.size() - at;
    const auto header = ParseAdtsFrameHeader(p + at, size);
    if (!header) {
        return false;
    }
    const auto length = static_cast<size_t>(header->frameBytes);
    if (size < length + kAdtsHeaderBytes) {
        return true;
    }
    const auto next = ParseAdtsFrameHeader(p + at + length, kAdtsHeaderBytes);
    return next && AdtsCompatible(*header, *next);
}

std::optional<HlsFrame> Mp3FrameAt(const unsigned char* p, size_t size) {
    const auto header = ParseMp3FrameHeader(p, size);
    if (!header || static_cast<size_t>(header->frameBytes) > size) {
        return std::nullopt;
    }
    return HlsFrame{.bytes = static_cast<size_t>(header->frameBytes),
                    .samples = static_cast<uint32_t>(header->samplesPerFrame),
                    .sampleRate = header->sampleRate,
                    .shape = static_cast<uint32_t>(header->version) << 16 |
                             static_cast<uint32_t>(header->layer) << 8 |
                             static_cast<uint32_t>(header->channels),
                    .codecs = "mp4a.40.34"};
}

std::optional<HlsFrame> AdtsFrameAt(const unsigned char* p, size_t size) {
    const auto header = ParseAdtsFrameHeader(p, size);
    if (!header || static_cast<size_t>(header->frameBytes) > size) {
        return std::nullopt;
    }
    // Bit 24 keeps AAC shapes apart from MP3's.
    return HlsFrame{.bytes = static_cast<size_t>(header->frameBytes),
                    .samples = static_cast<uint32_t>(header->samplesPerFrame),
                    .sampleRate = header->sampleRate,
                    .shape = 1u << 24 | (header->mpeg2 ? 1u << 20 : 0u) |
                             static_cast<uint32_t>(header->objectType) << 16 |
                             static_cast<uint32_t>(header->rateIndex) << 8 |
                             static_cast<uint32_t>(header->channelConfig),
                    .codecs = AdtsCodecs(*header)};
}

constexpr HlsPacking kMp3Hls{
    .extension = "mp3", .contentType = "audio/mpeg", .frameAt = Mp3FrameAt};
// Packed audio: ADTS frames behind the same timestamp tag as MP3's.
constexpr HlsPacking kAacHls{
    .extension = "aac", .contentType = "audio/aac", .frameAt = AdtsFrameAt};

template <typename Reader>
std::unique_ptr<FormatReader> Make() {
    return std::make_unique<Reader>();
}

constexpr std::string_view kMp3Types[] = {"audio/mpeg", "audio/mp3", "audio/x-mpeg", "audio/mpeg3"};
constexpr std::string_view kOggTypes[] = {"application/ogg", "audio/ogg", "video/ogg",
                                          "application/x-ogg", "audio/vorbis"};
constexpr std::string_view kAacTypes[] = {"audio/aac", "audio/aacp", "audio/x-aac"};
constexpr std::string_view kAsfTypes[] = {"video/x-ms-asf", "audio/x-ms-wma",
                                          "application/vnd.ms-asf"};

// Sniffing tries them in this order: the Ogg and ASF signatures are exact, MP3's sync pattern
// is the weakest evidence and its sniffer takes any leading ID3 tag, so ADTS goes before it (the
// two sync patterns exclude each other: ADTS has layer 0, which MPEG audio never uses).
constexpr std::array<FormatInfo, 4> kFormats = {{
    {.format = StreamFormat::Ogg,
     .name = "Ogg Vorbis",
     .contentType = "application/ogg",
     .contentTypes = kOggTypes,
     .sniff = SniffOgg,
     .makeReader = Make<OggReader>,
     .direct = true,
     .titlesInStream = true,
     .titlesUntouched = true,
     .directoryType = "Vorbis",
     .stationFormat = ORVANTA_FORMAT_OGG_VORBIS},
    {.format = StreamFormat::Asf,
     .name = "WMA",
     .contentType = "application/vnd.ms-asf",
     .contentTypes = kAsfTypes,
     .sniff = SniffAsf,
     .makeReader = Make<AsfReader>,
     // Only a station that serves WMA takes it; the station writes titles into the ASF header
     // it gives joiners, so updates reach them.
     .titlesInStream = true,
     .mmsh = true,
     // The directory has no WMA type; registrations have always said MP3.
     .directoryType = "MP3",
     .stationFormat = ORVANTA_FORMAT_WMA},
    {.format = StreamFormat::Aac,
     .name = "AAC",
     .contentType = "audio/aac",
     .contentTypes = kAacTypes,
     .sniff = SniffAdts,
     .makeReader = Make<AdtsReader>,
     .direct = true,
     .icyMetadata = true,
     .shoutcastDirectory = true,
     .hls = &kAacHls,
     .directoryType = "AAC",
     // The MPEG-audio station: MP3 or AAC, whichever the source sends.
     .stationFormat = ORVANTA_FORMAT_MP3},
    {.format = StreamFormat::Mp3,
     .name = "MP3",
     .contentType = "audio/mpeg",
     .contentTypes = kMp3Types,
     .sniff = SniffMp3,
     .looseLabel = true,
     .makeReader = Make<Mp3Reader>,
     .direct = true,
     .icyMetadata = true,
     .shoutcastDirectory = true,
     .hls = &kMp3Hls,
     .directoryType = "MP3",
     .stationFormat = ORVANTA_FORMAT_MP3},
}};

constexpr FormatInfo kUnknown{};

}  // namespace

const FormatInfo& InfoOf(StreamFormat format) {
    for (const FormatInfo& info : kFormats) {
        if (info.format == format) {
            return info;
        }
    }
    return kUnknown;
}

std::span<const FormatInfo> KnownFormats() {
    return kFormats;
}

uint32_t DirectFormatMask() {
    uint32_t mask = 0;
    for (const FormatInfo& info : kFormats) {
        if (info.direct) {
            mask |= info.stationFormat;
        }
    }
    return mask;
}

StreamFormat FormatFromContentType(std::string_view contentType) {
    const std::string type = AsciiLower(TrimSpaceTab(contentType.substr(0, contentType.find(';'))));
    for (const FormatInfo& info : KnownFormats()) {
        if (std::find(info.contentTypes.begin(), info.contentTypes.end(), type) !=
            info.contentTypes.end()) {
            return info.format;
        }
    }
    return StreamFormat::Unknown;
}

StreamFormat SniffFormat(std::string_view firstBytes) {
    for (const FormatInfo& info : KnownFormats()) {
        if (info.sniff != nullptr && info.sniff(firstBytes)) {
            return info.format;
        }
    }
    return StreamFormat::Unknown;
}

const char* ContentTypeOf(StreamFormat format) {
    return InfoOf(format).contentType;
}

std::unique_ptr<FormatReader> MakeFormatReader(StreamFormat format) {
    const FormatInfo& info = InfoOf(format);
    return info.makeReader != nullptr ? info.makeReader() : nullptr;
}

}  // namespace orvanta::engine
