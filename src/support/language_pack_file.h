// The language pack file: a translated string table with a version stamp, in the program's
// folder as "ovserver.KOR", "ovserver.DEU", ... Packs are compiled from editable sources at
// build time and read at start-up, where they are outside input.
//
// Binary layout, every number a little-endian uint32:
//
//   offset  size  field
//        0     4  magic "OVLP"
//        4     4  format version, 1
//        8    52  the version stamp: OrvantaFixedFileInfo (signature 0xFEEF04BD, structure
//                 version 1.0, file type ORVANTA_VFT_DLL), where GetFileVersion finds it
//       60     4  count: the number of texts, at most kLanguagePackMaxTexts
//       64  8 * count  directory: per text its string id, then its length in bytes; ids in
//                 strictly increasing order
//        …        texts: each text's UTF-8 bytes followed by one NUL, in directory order, up to
//                 the end of the file (no bytes after the last NUL)
//
// Texts hold no NUL of their own and are valid UTF-8; a file that breaks any rule is no pack.
//
// The editable source ("ovserver.KOR.txt") is UTF-8 text, one text per line:
//
//   # a comment; blank lines are ignored
//   <id><TAB><text>
//
// where the text spells a carriage return "\r", a line feed "\n", a tab "\t" and a backslash
// "\\"; no other escape exists. A line's end (LF or CRLF) is not part of its text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <orvanta/version_stamp.h>
#include <string>
#include <string_view>

namespace orvanta {

inline constexpr char kLanguagePackMagic[] = "OVLP";
inline constexpr uint32_t kLanguagePackFormat = 1;
inline constexpr size_t kLanguagePackHeaderSize = 64;
// Far above the program's few hundred texts; a file claiming more is not believed.
inline constexpr uint32_t kLanguagePackMaxTexts = 65536;
inline constexpr size_t kLanguagePackMaxBytes = 16 * 1024 * 1024;

using LanguagePackTexts = std::map<uint32_t, std::string>;

struct LanguagePackFile {
    OrvantaFixedFileInfo version{};
    LanguagePackTexts texts;
};

// The pack in `bytes`, or nothing when they break the layout above.
std::optional<LanguagePackFile> ParseLanguagePack(std::string_view bytes);
// The pack file at `path` (at most kLanguagePackMaxBytes), or nothing.
std::optional<LanguagePackFile> ReadLanguagePackFile(const std::string& path);
// The bytes of a pack; texts must hold no NUL.
std::string SerializeLanguagePack(const LanguagePackFile& pack);

// The stamp a pack carries for version major.minor.build.revision.
OrvantaFixedFileInfo LanguagePackVersionStamp(uint16_t major, uint16_t minor, uint16_t build,
                                              uint16_t revision);

// The texts of an editable source. False with `error` naming the line ("line 12: ...") for a
// line without an id and a tab, an id given twice, an unknown escape, or text that is not
// UTF-8 or holds a NUL.
bool ParseLanguagePackSource(std::string_view source, LanguagePackTexts& texts, std::string& error);

// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF).
bool IsValidUtf8(std::string_view text);

}  // namespace orvanta
