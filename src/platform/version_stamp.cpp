#include "platform/version_stamp.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace orvanta::platform {

namespace {

constexpr size_t kBlockSize = sizeof(OrvantaFixedFileInfo);
// A searched file is read in windows of this size, each overlapping the next by one block.
constexpr size_t kScanWindow = 64 * 1024;
// Version blocks sit near the start of the files that carry them (a language pack's header,
// a PE file's resources); a file larger than this is not searched past it.
constexpr uint64_t kScanLimit = 256ull * 1024 * 1024;
// More sections than any real binary has; a file claiming more is not believed.
constexpr uint64_t kMaxElfSections = 65536;

uint64_t LoadLittle(const uint8_t* p, size_t bytes) {
    uint64_t v = 0;
    for (size_t i = bytes; i > 0; --i) {
        v = (v << 8) | p[i - 1];
    }
    return v;
}

uint32_t Load32(const uint8_t* p) {
    return static_cast<uint32_t>(LoadLittle(p, 4));
}

std::optional<OrvantaFixedFileInfo> DecodeBlock(const uint8_t* p) {
    std::array<uint32_t, kBlockSize / 4> words{};
    for (size_t i = 0; i < words.size(); ++i) {
        words[i] = Load32(p + 4 * i);
    }
    if (words[0] != ORVANTA_FIXED_FILE_INFO_SIGNATURE ||
        words[1] != ORVANTA_FIXED_FILE_INFO_STRUC_VERSION) {
        return std::nullopt;
    }
    OrvantaFixedFileInfo info{};
    std::memcpy(&info, words.data(), kBlockSize);
    return info;
}

bool ReadExact(const ReadAtFunction& readAt, uint64_t offset, void* out, size_t size) {
    return readAt(offset, out, size) == size;
}

// The ELF file's version section, if it has one. Only little-endian files are understood;
// a big-endian ELF file has no block that we could have stamped.
std::optional<OrvantaFixedFileInfo> FindInElf(const ReadAtFunction& readAt, uint64_t fileSize) {
    std::array<uint8_t, 64> header{};
    if (!ReadExact(readAt, 0, header.data(), 52)) {
        return std::nullopt;
    }
    const bool is64 = header[4] == 2;
    if ((header[4] != 1 && !is64) || header[5] != 1) {
        return std::nullopt;
    }
    if (is64 && !ReadExact(readAt, 0, header.data(), 64)) {
        return std::nullopt;
    }
    const uint64_t shoff = is64 ? LoadLittle(&header[0x28], 8) : LoadLittle(&header[0x20], 4);
    const uint64_t shentsize = LoadLittle(&header[is64 ? 0x3A : 0x2E], 2);
    uint64_t shnum = LoadLittle(&header[is64 ? 0x3C : 0x30], 2);
    uint64_t shstrndx = LoadLittle(&header[is64 ? 0x3E : 0x32], 2);
    const uint64_t minEntry = is64 ? 64 : 40;
    if (shoff == 0 || shentsize < minEntry || shoff >= fileSize) {
        return std::nullopt;
    }

    struct Section {
        uint64_t name = 0, offset = 0, size = 0, link = 0;
    };
    auto readSection = [&](uint64_t index, Section* out) {
        std::array<uint8_t, 64> raw{};
        if (index > (fileSize - shoff) / shentsize ||
            !ReadExact(readAt, shoff + index * shentsize, raw.data(), minEntry)) {
            return false;
        }
        out->name = Load32(&raw[0]);
        if (is64) {
            out->offset = LoadLittle(&raw[0x18], 8);
            out->size = LoadLittle(&raw[0x20], 8);
            out->link = Load32(&raw[0x28]);
        } else {
            out->offset = Load32(&raw[0x10]);
            out->size = Load32(&raw[0x14]);
            out->link = Load32(&raw[0x18]);
        }
        return true;
    };

    // Files with very many sections keep the true counts in section 0.
    if (shnum == 0 || shstrndx == 0xFFFF) {
        Section first;
        if (!readSection(0, &first)) {
            return std::nullopt;
        }
        if (shnum == 0) {
            shnum = first.size;
        }
        if (shstrndx == 0xFFFF) {
            shstrndx = first.link;
        }
    }
    if (shnum == 0 || shnum > kMaxElfSections || shstrndx >= shnum) {
        return std::nullopt;
    }
    Section names;
    if (!readSection(shstrndx, &names)) {
        return std::nullopt;
    }

    static constexpr char kWanted[] = ORVANTA_VERSION_SECTION;
    for (uint64_t i = 0; i < shnum; ++i) {
        Section s;
        if (!readSection(i, &s)) {
            return std::nullopt;
        }
        if (s.name >= names.size || names.size - s.name < sizeof(kWanted)) {
            continue;
        }
        std::array<char, sizeof(kWanted)> name{};
        if (!ReadExact(readAt, names.offset + s.name, name.data(), name.size()) ||
            std::memcmp(name.data(), kWanted, sizeof(kWanted)) != 0) {
            continue;
        }
        if (s.size < kBlockSize) {
            return std::nullopt;
        }
        std::array<uint8_t, kBlockSize> block{};
        if (!ReadExact(readAt, s.offset, block.data(), block.size())) {
            return std::nullopt;
        }
        return DecodeBlock(block.data());
    }
    return std::nullopt;
}

std::optional<OrvantaFixedFileInfo> SearchFile(const ReadAtFunction& readAt, uint64_t fileSize) {
    const uint64_t end = std::min(fileSize, kScanLimit);
    std::vector<uint8_t> window(kScanWindow);
    for (uint64_t base = 0; base + kBlockSize <= end; base += kScanWindow - kBlockSize) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kScanWindow, end - base));
        const size_t got = readAt(base, window.data(), want);
        for (size_t pos = 0; pos + kBlockSize <= got; pos += 4) {
            if (auto info = DecodeBlock(window.data() + pos)) {
                return info;
            }
        }
        if (got < want || base + want >= end) {
            break;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<OrvantaFixedFileInfo> FindFixedFileInfo(const ReadAtFunction& readAt,
                                                      uint64_t fileSize) {
    std::array<uint8_t, 4> magic{};
    if (fileSize < kBlockSize || !ReadExact(readAt, 0, magic.data(), magic.size())) {
        return std::nullopt;
    }
    if (magic[0] == 0x7F && magic[1] == 'E' && magic[2] == 'L' && magic[3] == 'F') {
        return FindInElf(readAt, fileSize);
    }
    return SearchFile(readAt, fileSize);
}

std::optional<OrvantaFixedFileInfo> ReadFixedFileInfo(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat st {};
    std::optional<OrvantaFixedFileInfo> info;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        ReadAtFunction readAt = [fd](uint64_t offset, void* out, size_t size) -> size_t {
            size_t done = 0;
            while (done < size) {
                ssize_t n = ::pread(fd, static_cast<uint8_t*>(out) + done, size - done,
                                    static_cast<off_t>(offset + done));
                if (n < 0 && errno == EINTR) {
                    continue;
                }
                if (n <= 0) {
                    break;
                }
                done += static_cast<size_t>(n);
            }
            return done;
        };
        info = FindFixedFileInfo(readAt, static_cast<uint64_t>(st.st_size));
    }
    ::close(fd);
    return info;
}

}  // namespace orvanta::platform
