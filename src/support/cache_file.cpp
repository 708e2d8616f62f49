#include "support/cache_file.h"

#include "base/ascii.h"
#include "platform/dynamic_library.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string_view>
#include <system_error>
#include <unistd.h>

namespace orvanta::cache_file {

namespace {

void PutLe32(unsigned char* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

uint32_t GetLe32(const unsigned char* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

}  // namespace

void WriteHeader(unsigned char (&header)[kHeaderSize], const char (&magic)[4], uint32_t version,
                 uint32_t recordSize) {
    std::memcpy(header, magic, 4);
    PutLe32(header + 4, version);
    PutLe32(header + 8, recordSize);
}

bool WriteAndClose(LDiskFile& file, bool opened, const std::string& path, const char (&magic)[4],
                   uint32_t version, uint32_t recordSize, const void* records, size_t bytes) {
    unsigned char header[kHeaderSize];
    WriteHeader(header, magic, version, recordSize);
    bool written = opened && bytes <= std::numeric_limits<uint32_t>::max() &&
                   file.Write(header, kHeaderSize) &&
                   file.Write(records, static_cast<uint32_t>(bytes));
    written = file.Close() && written;
    if (!written) {
        ::unlink(path.c_str());
    }
    return written;
}

bool OpenAndCheck(LDiskFile& file, const std::string& path, const char (&magic)[4],
                  uint32_t recordSize, size_t& count) {
    if (!file.OpenRead(path, kFileShareRead)) {
        return false;
    }
    unsigned char header[kHeaderSize] = {};
    uint32_t got = 0;
    if (!file.Read(header, kHeaderSize, &got) || got == 0) {
        file.Close();
        return false;
    }
    for (size_t i = 0; i < 4; ++i) {
        if (AsciiLower(static_cast<char>(header[i])) != AsciiLower(magic[i])) {
            file.Close();
            return false;
        }
    }
    // A file shorter than its header is cut off, not an empty cache.
    const int64_t size = file.GetSize64();
    if (GetLe32(header + 8) != recordSize || got < kHeaderSize || size < kHeaderSize ||
        size > kMaxFileSize) {
        file.Close();
        return false;
    }
    count = static_cast<size_t>(size - kHeaderSize) / recordSize;
    return true;
}

void ReadInto(LDiskFile& file, void* buffer, size_t count) {
    auto* out = static_cast<unsigned char*>(buffer);
    while (count > 0) {
        const uint32_t want =
            static_cast<uint32_t>(std::min<size_t>(count, std::numeric_limits<uint32_t>::max()));
        uint32_t got = 0;
        if (!file.Read(out, want, &got) || got == 0) {
            return;
        }
        out += got;
        count -= got;
    }
}

std::vector<std::string> ListLibraries(const std::string& folder) {
    std::vector<std::string> names;
    if (folder.empty()) {
        return names;
    }
    constexpr std::string_view kSuffix = platform::kLibrarySuffix;
    std::error_code error;
    std::filesystem::directory_iterator it(folder, error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        std::string name = it->path().filename().string();
        if (name.size() >= kSuffix.size() &&
            std::string_view(name).substr(name.size() - kSuffix.size()) == kSuffix) {
            names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace orvanta::cache_file
