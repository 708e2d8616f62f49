// The two registry hives of the program: the per-user one (HKEY_CURRENT_USER) and the
// machine-wide one (HKEY_LOCAL_MACHINE). On Linux each is a text file in the format of a
// REGEDIT4 export, so an operator can read and edit it and a Windows export can be dropped in:
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\KELVO]
//   "UI_LanguageID"=dword:00000412
//   "LastOpen"="C:\\stations\\"
//   "Path"=hex(2):25,48,4f,4d,45,25,00
//
// Keys and value names compare without regard to ASCII case and keep the spelling they were
// created with. Every write re-reads the file under an advisory lock, applies one change and
// replaces the file atomically, so two running copies of the program never lose each other's
// writes and a reader never sees half a file.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta::platform {

enum class RegistryRoot { CurrentUser, LocalMachine };

// Value types, numbered as on Windows so that they keep their meaning in exported text.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;

struct RegistryValue {
    uint32_t type = kRegNone;
    std::vector<uint8_t> data;  // raw bytes; strings carry their terminating NUL

    bool operator==(const RegistryValue&) const = default;
};

// "HKEY_CURRENT_USER" or "HKEY_LOCAL_MACHINE".
std::string_view RootName(RegistryRoot root);

// The hive file of a root: $ORVANTA_USER_HIVE or $ORVANTA_MACHINE_HIVE when set, otherwise
// $XDG_CONFIG_HOME/KELVO/user.reg (falling back to ~/.config) and /etc/KELVO/machine.reg.
std::string HivePath(RegistryRoot root);

// The contents of one hive file in memory. Key paths are full paths that begin with the root's
// name ("HKEY_CURRENT_USER\Software\KELVO"); a key exists once it was created, with or without
// values, and creating a key creates its parents.
class RegistryHive {
public:
    struct ParseResult;

    // Reads REGEDIT4 / "Windows Registry Editor Version 5.00" text. Lines that cannot be
    // understood are skipped and described in ParseResult::errors ("line 7: ..."); everything
    // else is kept.
    static ParseResult Parse(std::string_view text);

    // REGEDIT4 text that Parse reads back to an equal hive. Keys are written in order of their
    // paths (case-insensitive), values in the order they were first set.
    std::string Serialize() const;

    bool HasKey(std::string_view keyPath) const;
    void CreateKey(std::string_view keyPath);
    // Removes the key, its values and all its subkeys; false when there was no such key.
    bool DeleteKey(std::string_view keyPath);

    // Null when the key or the value does not exist. The name "" is the key's default value
    // (written "@=" in the text).
    const RegistryValue* FindValue(std::string_view keyPath, std::string_view name) const;
    // Creates the key (and its parents) when needed.
    void SetValue(std::string_view keyPath, std::string_view name, RegistryValue value);
    bool DeleteValue(std::string_view keyPath, std::string_view name);
    std::vector<std::string> ValueNames(std::string_view keyPath) const;

    bool operator==(const RegistryHive&) const;

    // Why the hive would ignore this key path or value name (control characters, a leading
    // '-', empty parts, Windows-like length limits); nullptr when it is fine.
    static const char* KeyPathProblem(std::string_view path);
    static const char* ValueNameProblem(std::string_view name);

    // The largest hive file read; a larger one is taken as damaged, never as a hive.
    static constexpr int64_t kMaxFileSize = int64_t{16} << 20;

private:
    struct Key {
        std::string path;  // as first spelled
        std::vector<std::pair<std::string, RegistryValue>> values;
    };
    Key* FindKey(std::string_view keyPath);
    const Key* FindKey(std::string_view keyPath) const;
    Key& EnsureKey(std::string_view keyPath);

    std::map<std::string, Key> m_keys;  // by lower-cased path
};

struct RegistryHive::ParseResult {
    RegistryHive hive;
    std::vector<std::string> errors;
};

// Operations on the hive files. `key` is the path below the root ("Software\KELVO"); an empty
// key is the root itself. Reads never fail loudly: a missing or unreadable file reads as an
// empty hive. Writes return false when the hive cannot be written (folder cannot be created,
// file or folder not writable, a file marked read-only (no write permission bits, honoured
// even for root, as a protected machine key is on Windows), or a file with lines that could not
// be understood, which is left as it stands rather than rewritten without them).
bool RegistryKeyExists(RegistryRoot root, std::string_view key);
bool RegistryCreateKey(RegistryRoot root, std::string_view key);
bool RegistryDeleteKey(RegistryRoot root, std::string_view key);
std::optional<RegistryValue> RegistryQueryValue(RegistryRoot root, std::string_view key,
                                                std::string_view name);
bool RegistrySetValue(RegistryRoot root, std::string_view key, std::string_view name,
                      const RegistryValue& value);
bool RegistryDeleteValue(RegistryRoot root, std::string_view key, std::string_view name);
// Whether a write to this root's hive file could succeed now (the checks of the writes above,
// without changing anything). A key opened for reading and writing needs this.
bool RegistryHiveWritable(RegistryRoot root);

}  // namespace orvanta::platform
