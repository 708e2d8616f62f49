// What the two catalogue-cache fuzz targets share: a scratch folder per process holding
// nothing but the cache file (so a scan there finds no library), file helpers, and the test of
// whether bytes form a cache of ours.
#pragma once

#include "fuzz_require.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace cache_fuzz {

// A memory file system keeps the many small writes cheap.
inline std::string ScratchParent() {
    struct stat info {};
    if (::stat("/dev/shm", &info) == 0 && S_ISDIR(info.st_mode) &&
        ::access("/dev/shm", W_OK) == 0) {
        return "/dev/shm";
    }
    const char* tmp = std::getenv("TMPDIR");
    return tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
}

struct Scratch {
    Scratch(const char* prefix, const char* cacheName) {
        std::string pattern = ScratchParent() + "/" + prefix + "-XXXXXX";
        Require(::mkdtemp(pattern.data()) != nullptr, "cannot make a scratch folder");
        folder = pattern + "/";
        cache = folder + cacheName;
    }
    ~Scratch() {
        ::unlink(cache.c_str());
        ::rmdir(folder.c_str());
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    std::string folder;
    std::string cache;
};

inline void WriteAll(const std::string& path, const uint8_t* data, size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    Require(fd >= 0, "cannot write the cache file");
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        Require(n > 0, "cannot write the cache file");
        data += n;
        size -= static_cast<size_t>(n);
    }
    ::close(fd);
}

inline std::string ReadAll(const std::string& path) {
    std::string bytes;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    Require(fd >= 0, "cannot read the saved cache");
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
        bytes.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return bytes;
}

inline uint32_t Le32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

// Whether the bytes start with our header: the magic in any case, this record size.
inline bool IsOurCache(const uint8_t* data, size_t size, const char (&magic)[4],
                       uint32_t headerSize, uint32_t recordSize) {
    if (size < headerSize || Le32(data + 8) != recordSize) {
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
