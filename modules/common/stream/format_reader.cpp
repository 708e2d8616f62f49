#include "stream/format_reader.h"

#include "stream/format_table.h"

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
