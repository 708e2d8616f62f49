// LIniFile: an in-memory model of an INI text file. It reads a whole file, answers lookups,
// takes changes and writes the whole model back.
//
// The grammar is deliberately plain: no trimming of names or values, no inline comments, no
// escapes, no quoting. A line's first ";#[=" decides what it is; spaces around "=" belong to
// the key and the value. Section and key names compare case-insensitively (ASCII) by default
// and keep the form they were first given. Names need not be unique: a repeated section header
// adds a second, empty section of that name, and every lookup finds the first.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace orvanta {

struct LIniSection {
    std::vector<std::string> keyNames;  // in insertion order, as first given
    std::vector<std::string> values;    // parallel to keyNames
    std::vector<std::string> comments;  // in the order added

    // Folded key name -> index of its first occurrence; lookups stay fast for sections with
    // very many keys (long private-user lists).
    std::unordered_map<std::string, size_t> keyIndex;
};

class LIniFile {
public:
    static constexpr size_t kNone = static_cast<size_t>(-1);

    explicit LIniFile(std::string path = {});
    virtual ~LIniFile();

    // Parses the file at `path` into the model, adding to what is already there: later values
    // replace earlier ones for keys that exist, new keys and sections are appended. False when
    // the file cannot be opened (model unchanged), when a line starts with an unprintable byte
    // (the message "Failing on char %d\n" goes to standard output, reading stops, what came
    // before stays), or when the model has no section at the end.
    bool Load();

    // Writes the whole model to `path`. The file is replaced atomically: the text goes to a
    // temporary file in the same folder, which is flushed to disk and then renamed over the
    // target, so a crash or a full disk never leaves a half-written file. False when that
    // cannot be done; the old file is then untouched, no temporary file is left, and
    // `reason` (when given) says which step failed and why, in the system's words.
    bool Save(std::string* reason = nullptr) const;

    size_t FindSection(std::string_view name) const;
    size_t FindKey(size_t section, std::string_view key) const;
    size_t AddSection(std::string_view name);

    // Replaces the value of the first key of that name in the first section of that name.
    // With `create` false a missing section or key gives false; with `create` true they are
    // appended (the key last in its section).
    bool SetString(std::string_view section, std::string_view key, std::string_view value,
                   bool create);
    // "%d" of the value, always creating what is missing.
    bool SetInt(std::string_view section, std::string_view key, int32_t value, bool create);

    // The stored value (an empty value is returned as it is); `fallback` when the section or
    // key is missing.
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view fallback) const;
    // GetString with "%d" of `fallback`, read the way C's atoi reads (leading white space,
    // optional sign, digits up to the first non-digit; no digits gives 0). Values beyond the
    // 32-bit range saturate.
    int32_t GetInt(std::string_view section, std::string_view key, int32_t fallback) const;

    void AddHeaderComment(std::string_view text);
    bool AddSectionComment(size_t section, std::string_view text);
    bool AddSectionComment(std::string_view section, std::string_view text);

    // Lower-cases A to Z when caseInsensitive is set; other bytes stay.
    std::string FoldCase(std::string_view text) const;

    // The model is open for reading; change the lists only through the operations above, which
    // keep the name indexes in step, and set caseInsensitive before the first name goes in.
    std::string path;
    bool caseInsensitive = true;
    std::vector<LIniSection> sections;
    std::vector<std::string> sectionNames;  // parallel to sections, as first given
    std::vector<std::string> headerComments;

private:
    bool SaveText(std::string& reason) const;

    // Folded section name -> index of the first section of that name.
    std::unordered_map<std::string, size_t> m_sectionIndex;
};

// `text`, an INI file's bytes, with `key` of `section` set to `value` and every other byte as
// it was: a change made for the operator (a new password hash) must not disturb the
// comments, order, spacing and line ends of a file edited by hand. Every line Load would take
// as that key (in any section of that name, names compared as Load compares them) gets the
// new value and keeps its line end; without one, a line is added after the last line of the
// first such section, or the section is added at the end. nullopt when the text holds a line
// Load stops at (a line starting with an unprintable byte), or `value` a line break.
std::optional<std::string> WithIniValue(std::string_view text, std::string_view section,
                                        std::string_view key, std::string_view value);

// The bytes of the file Save would replace (a link followed to its end); "" for a file that
// does not exist. False when it exists but cannot be read, with the system's reason.
bool ReadIniText(const std::string& path, std::string& text, std::string* reason = nullptr);

// Replaces the file at `path` by `text` exactly as Save replaces it: the same target (links
// followed), the same permissions, nothing half written.
bool SaveIniText(const std::string& path, std::string_view text, std::string* reason = nullptr);

// The C library's atoi over a text, saturating at the 32-bit limits instead of overflowing.
int32_t AtoI(std::string_view text);

// Removes the temporary files that saves of `path` interrupted by a crash or a power cut left
// beside it (their own naming pattern only, regular files of this user at least `minimumAge`
// old, so a save under way in another copy of the program is left alone). Such a file may hold
// a whole configuration, passwords included.
void RemoveLeftoverSaves(const std::string& path,
                         std::chrono::seconds minimumAge = std::chrono::seconds(60));

}  // namespace orvanta
