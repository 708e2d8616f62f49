#include "stream/format_table.h"

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

template <typename Reader>
std::unique_ptr<FormatReader> Make() {
    return std::make_unique<Reader>();
}

constexpr std::string_view kMp3Types[] = {"audio/mpeg", "audio/mp3", "audio/x-mpeg", "audio/mpeg3"};
constexpr std::string_view kOggTypes[] = {"application/ogg", "audio/ogg", "video/ogg",
                                          "application/x-ogg", "audio/vorbis"};
constexpr std::string_view kAsfTypes[] = {"video/x-ms-asf", "audio/x-ms-wma",
                                          "application/vnd.ms-asf"};

// Sniffing tries them in this order: the Ogg and ASF signatures are exact, MP3's sync pattern
// is the weakest evidence.
constexpr std::array<FormatInfo, 3> kFormats = {{
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
    {.format = StreamFormat::Mp3,
     .name = "MP3",
     .contentType = "audio/mpeg",
     .contentTypes = kMp3Types,
     .sniff = SniffMp3,
     .makeReader = Make<Mp3Reader>,
     .direct = true,
     .icyMetadata = true,
     .shoutcastDirectory = true,
     .hls = true,
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

}  // namespace orvanta::engine
