// What the fuzz targets that read files share: a scratch folder per process (on /dev/shm when
// there is one, so the many small writes stay cheap; for the caches it holds nothing but the
// cache file, so a scan there finds no library), whole-file reads and writes, and the test of
// whether bytes form a cache of ours.
#pragma once

#include "fuzz_require.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace cache_fuzz {

struct Scratch {
    explicit Scratch(const char* prefix) {
        std::string pattern = (::access("/dev/shm", W_OK) == 0 ? "/dev/shm/" : "/tmp/") +
                              std::string(prefix) + "-XXXXXX";
        Require(::mkdtemp(pattern.data()) != nullptr, "cannot make a scratch folder");
        folder = pattern + "/";
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    std::string folder;
};

inline void WriteAll(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    Require(out.good(), "cannot write the input file");
}

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Whether the bytes start with our header: the magic in any case, this record size.
inline bool IsOurCache(const uint8_t* data, size_t size, const char (&magic)[4],
                       uint32_t headerSize, uint32_t recordSize) {
    if (size < headerSize || (uint32_t{data[8]} | uint32_t{data[9]} << 8 |
                              uint32_t{data[10]} << 16 | uint32_t{data[11]} << 24) != recordSize) {
        return false;
    }
    for (size_t i = 0; i < 4; ++i) {
        if (std::tolower(data[i]) != std::tolower(magic[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace cache_fuzz
