#include "stream/format_reader.h"

#include "stream/asf.h"
#include "stream/mp3.h"
#include "stream/ogg.h"

#include <algorithm>
#include <cctype>

namespace orvanta::engine {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

StreamFormat FormatFromContentType(std::string_view contentType) {
    contentType = contentType.substr(0, contentType.find(';'));
    while (!contentType.empty() && IsBlank(contentType.front())) {
        contentType.remove_prefix(1);
    }
    while (!contentType.empty() && IsBlank(contentType.back())) {
        contentType.remove_suffix(1);
    }
    std::string type(contentType);
    std::transform(type.begin(), type.end(), type.begin(), [](char c) {
        return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    });
    static constexpr std::string_view kMp3[] = {"audio/mpeg", "audio/mp3", "audio/x-mpeg",
                                                "audio/mpeg3"};
    static constexpr std::string_view kOgg[] = {"application/ogg", "audio/ogg", "video/ogg",
                                                "application/x-ogg", "audio/vorbis"};
    if (std::find(std::begin(kMp3), std::end(kMp3), type) != std::end(kMp3)) {
        return StreamFormat::Mp3;
    }
    if (std::find(std::begin(kOgg), std::end(kOgg), type) != std::end(kOgg)) {
        return StreamFormat::Ogg;
    }
    static constexpr std::string_view kAsf[] = {"video/x-ms-asf", "audio/x-ms-wma",
                                                "application/vnd.ms-asf"};
    if (std::find(std::begin(kAsf), std::end(kAsf), type) != std::end(kAsf)) {
        return StreamFormat::Asf;
    }
    return StreamFormat::Unknown;
}

StreamFormat SniffFormat(std::string_view firstBytes) {
    if (firstBytes.substr(0, 4) == "OggS") {
        return StreamFormat::Ogg;
    }
    // ASF, bare or in the streaming handshake's chunks (a 12-byte "$H" chunk head first).
    for (const size_t at : {size_t{0}, size_t{12}}) {
        if (firstBytes.size() >= at + kAsfHeaderObject.size() &&
            (at == 0 || firstBytes.substr(0, 2) == "$H") &&
            std::equal(kAsfHeaderObject.begin(), kAsfHeaderObject.end(),
                       reinterpret_cast<const unsigned char*>(firstBytes.data() + at))) {
            return StreamFormat::Asf;
        }
    }
    if (firstBytes.substr(0, 3) == "ID3") {
        return StreamFormat::Mp3;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(firstBytes.data());
    const auto header = ParseMp3FrameHeader(p, firstBytes.size());
    if (!header) {
        return StreamFormat::Unknown;
    }
    // A lone sync pattern is weak evidence; where the bytes reach the next frame, it must agree.
    const auto length = static_cast<size_t>(header->frameBytes);
    if (firstBytes.size() < length + 4) {
        return StreamFormat::Mp3;
    }
    const auto next = ParseMp3FrameHeader(p + length, 4);
    return next && Mp3Compatible(*header, *next) ? StreamFormat::Mp3 : StreamFormat::Unknown;
}

const char* ContentTypeOf(StreamFormat format) {
    switch (format) {
        case StreamFormat::Mp3:
            return "audio/mpeg";
        case StreamFormat::Ogg:
            return "application/ogg";
        case StreamFormat::Asf:
            return "application/vnd.ms-asf";
        case StreamFormat::Unknown:
            break;
    }
    return "application/octet-stream";
}

std::unique_ptr<FormatReader> MakeFormatReader(StreamFormat format) {
    switch (format) {
        case StreamFormat::Mp3:
            return std::make_unique<Mp3Reader>();
        case StreamFormat::Ogg:
            return std::make_unique<OggReader>();
        case StreamFormat::Asf:
            return std::make_unique<AsfReader>();
        case StreamFormat::Unknown:
            break;
    }
    return nullptr;
}

}  // namespace orvanta::engine
