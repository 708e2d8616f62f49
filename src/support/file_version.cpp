#include "support/file_version.h"

#include "platform/version_stamp.h"

#include <cstdio>

namespace orvanta {

uint64_t GetFileVersion(const std::string& path) {
    auto info = platform::ReadFixedFileInfo(path);
    if (!info) {
        return 0;
    }
    return (static_cast<uint64_t>(info->dwFileVersionMS) << 32) | info->dwFileVersionLS;
}

void SplitFileVersion(const std::string& path, uint16_t* major, uint16_t* minor, uint16_t* build,
                      uint16_t* revision) {
    const uint64_t version = GetFileVersion(path);
    *major = static_cast<uint16_t>(version >> 48);
    *minor = static_cast<uint16_t>(version >> 32);
    *build = static_cast<uint16_t>(version >> 16);
    *revision = static_cast<uint16_t>(version);
}

uint64_t GetFileVersionMajorMinor(const std::string& path) {
    return GetFileVersion(path) & 0xFFFFFFFF00000000ull;
}

std::string FormatFileVersion(const std::string& path) {
    uint16_t major = 0, minor = 0, build = 0, revision = 0;
    SplitFileVersion(path, &major, &minor, &build, &revision);
    char text[32];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", static_cast<int16_t>(major),
                  static_cast<int16_t>(minor), static_cast<int16_t>(build),
                  static_cast<int16_t>(revision));
    return text;
}

}  // namespace orvanta
