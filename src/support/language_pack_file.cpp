#include "support/language_pack_file.h"

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvanta {

namespace {

constexpr size_t kStampOffset = 8;
constexpr size_t kCountOffset = kStampOffset + sizeof(OrvantaFixedFileInfo);
constexpr size_t kDirectoryEntrySize = 8;
static_assert(kCountOffset + 4 == kLanguagePackHeaderSize);
// GetFileVersion searches a file for the stamp at 4-byte boundaries.
static_assert(kStampOffset % 4 == 0);

uint32_t Load32(std::string_view bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 4; i > 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i - 1]);
    }
    return value;
}

void Store32(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFFu);
    }
}

// The fields of the stamp in the order they are stored.
constexpr uint32_t OrvantaFixedFileInfo::*kStampFields[] = {
    &OrvantaFixedFileInfo::dwSignature,        &OrvantaFixedFileInfo::dwStrucVersion,
    &OrvantaFixedFileInfo::dwFileVersionMS,    &OrvantaFixedFileInfo::dwFileVersionLS,
    &OrvantaFixedFileInfo::dwProductVersionMS, &OrvantaFixedFileInfo::dwProductVersionLS,
    &OrvantaFixedFileInfo::dwFileFlagsMask,    &OrvantaFixedFileInfo::dwFileFlags,
    &OrvantaFixedFileInfo::dwFileOS,           &OrvantaFixedFileInfo::dwFileType,
    &OrvantaFixedFileInfo::dwFileSubtype,      &OrvantaFixedFileInfo::dwFileDateMS,
    &OrvantaFixedFileInfo::dwFileDateLS};
static_assert(sizeof kStampFields / sizeof kStampFields[0] * 4 == sizeof(OrvantaFixedFileInfo));

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 0 &&
              static_cast<uint64_t>(info.st_size) <= kLanguagePackMaxBytes;
    if (ok) {
        bytes.resize(static_cast<size_t>(info.st_size));
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            done += static_cast<size_t>(n);
        }
        // A file that shrank or grew while being read is not trusted.
        char extra = 0;
        ok = done == bytes.size() && ::read(fd, &extra, 1) == 0;
    }
    ::close(fd);
    return ok;
}

// One source line's text with its escapes resolved; false at an unknown escape.
bool Unescape(std::string_view text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) {
            return false;
        }
        switch (text[i]) {
            case 'r':
                out += '\r';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case '\\':
                out += '\\';
                break;
            default:
                return false;
        }
    }
    return true;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t length = 0;
        uint32_t min = 0;
        uint32_t value = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            min = 0x80;
            value = lead & 0x1Fu;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            min = 0x800;
            value = lead & 0x0Fu;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            min = 0x10000;
            value = lead & 0x07u;
        } else {
            return false;
        }
        if (text.size() - i < length) {
            return false;
        }
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            value = (value << 6) | (next & 0x3Fu);
        }
        if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

OrvantaFixedFileInfo LanguagePackVersionStamp(uint16_t major, uint16_t minor, uint16_t build,
                                              uint16_t revision) {
    OrvantaFixedFileInfo stamp{};
    stamp.dwSignature = ORVANTA_FIXED_FILE_INFO_SIGNATURE;
    stamp.dwStrucVersion = ORVANTA_FIXED_FILE_INFO_STRUC_VERSION;
    stamp.dwFileVersionMS = ORVANTA_VERSION_WORD(major, minor);
    stamp.dwFileVersionLS = ORVANTA_VERSION_WORD(build, revision);
    stamp.dwProductVersionMS = stamp.dwFileVersionMS;
    stamp.dwProductVersionLS = stamp.dwFileVersionLS;
    stamp.dwFileFlagsMask = 0x3Fu;
    stamp.dwFileType = ORVANTA_VFT_DLL;
    return stamp;
}

std::optional<LanguagePackFile> ParseLanguagePack(std::string_view bytes) {
    if (bytes.size() < kLanguagePackHeaderSize || bytes.size() > kLanguagePackMaxBytes ||
        bytes.substr(0, 4) != kLanguagePackMagic || Load32(bytes, 4) != kLanguagePackFormat) {
        return std::nullopt;
    }
    LanguagePackFile pack;
    for (size_t i = 0; i < std::size(kStampFields); ++i) {
        pack.version.*kStampFields[i] = Load32(bytes, kStampOffset + 4 * i);
    }
    if (pack.version.dwSignature != ORVANTA_FIXED_FILE_INFO_SIGNATURE ||
        pack.version.dwStrucVersion != ORVANTA_FIXED_FILE_INFO_STRUC_VERSION) {
        return std::nullopt;
    }
    const uint32_t count = Load32(bytes, kCountOffset);
    if (count > kLanguagePackMaxTexts ||
        (bytes.size() - kLanguagePackHeaderSize) / kDirectoryEntrySize < count) {
        return std::nullopt;
    }
    size_t textAt = kLanguagePackHeaderSize + size_t{count} * kDirectoryEntrySize;
    for (uint32_t n = 0; n < count; ++n) {
        const size_t entry = kLanguagePackHeaderSize + size_t{n} * kDirectoryEntrySize;
        const uint32_t id = Load32(bytes, entry);
        const uint32_t length = Load32(bytes, entry + 4);
        if ((n > 0 && id <= pack.texts.rbegin()->first) || length >= bytes.size() - textAt ||
            bytes[textAt + length] != '\0') {
            return std::nullopt;
        }
        const std::string_view text = bytes.substr(textAt, length);
        if (text.find('\0') != std::string_view::npos || !IsValidUtf8(text)) {
            return std::nullopt;
        }
        pack.texts.emplace_hint(pack.texts.end(), id, text);
        textAt += size_t{length} + 1;
    }
    if (textAt != bytes.size()) {
        return std::nullopt;
    }
    return pack;
}

std::optional<LanguagePackFile> ReadLanguagePackFile(const std::string& path) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) {
        return std::nullopt;
    }
    return ParseLanguagePack(bytes);
}

std::string SerializeLanguagePack(const LanguagePackFile& pack) {
    std::string out(kLanguagePackMagic, 4);
    Store32(out, kLanguagePackFormat);
    for (const auto field : kStampFields) {
        Store32(out, pack.version.*field);
    }
    Store32(out, static_cast<uint32_t>(pack.texts.size()));
    for (const auto& [id, text] : pack.texts) {
        Store32(out, id);
        Store32(out, static_cast<uint32_t>(text.size()));
    }
    for (const auto& [id, text] : pack.texts) {
        out += text;
        out += '\0';
    }
    return out;
}

bool ParseLanguagePackSource(std::string_view source, LanguagePackTexts& texts,
                             std::string& error) {
    texts.clear();
    int lineNumber = 0;
    const auto fail = [&](const char* what) {
        error = "line " + std::to_string(lineNumber) + ": " + what;
        texts.clear();
        return false;
    };
    std::string text;
    while (!source.empty()) {
        ++lineNumber;
        const size_t feed = source.find('\n');
        std::string_view line = source.substr(0, feed);
        source = feed == std::string_view::npos ? std::string_view() : source.substr(feed + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const size_t tab = line.find('\t');
        uint32_t id = 0;
        const char* idEnd = line.data() + (tab == std::string_view::npos ? 0 : tab);
        const auto [end, status] = std::from_chars(line.data(), idEnd, id);
        if (tab == std::string_view::npos || tab == 0 || status != std::errc() || end != idEnd) {
            return fail("expected a string id, a tab and the text");
        }
        if (!Unescape(line.substr(tab + 1), text)) {
            return fail("unknown escape (only \\r, \\n, \\t and \\\\ exist)");
        }
        if (!IsValidUtf8(text) || text.find('\0') != std::string::npos) {
            return fail("the text is not UTF-8 without NUL");
        }
        if (!texts.emplace(id, text).second) {
            return fail("the id was given before");
        }
    }
    error.clear();
    return true;
}

}  // namespace orvanta
