// The version stamped into a file: (major << 48) | (minor << 32) | (build << 16) | revision,
// 0 when the file has none or cannot be read.
#pragma once

#include <cstdint>
#include <string>

namespace orvanta {

uint64_t GetFileVersion(const std::string& path);
void SplitFileVersion(const std::string& path, uint16_t* major, uint16_t* minor, uint16_t* build,
                      uint16_t* revision);
// The version with build and revision cleared: two files whose values are equal count as the
// same version.
uint64_t GetFileVersionMajorMinor(const std::string& path);
// "major.minor.build.revision", each part read as a signed 16-bit number.
std::string FormatFileVersion(const std::string& path);

}  // namespace orvanta
