// CRegistryKey: a user key and a machine key with typed reads that prefer the user's value.
#pragma once

#include "platform/registry_hive.h"

#include <cstdint>
#include <optional>
#include <string>

namespace orvanta {

using platform::kRegBinary;
using platform::kRegDword;
using platform::kRegExpandSz;
using platform::kRegNone;
using platform::kRegSz;
using platform::RegistryRoot;

class CRegistryKey {
public:
    // The scratch size of string reads: longer values do not fit.
    static constexpr uint32_t kStringBufferSize = 1024;

    CRegistryKey() = default;
    ~CRegistryKey() = default;
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    // Keys are opened for reading and writing, as the program always did: a key in a hive the
    // user cannot write does not open (its values then come from the other key or the
    // default), exactly as a protected machine key behaves on Windows.
    bool Open(const std::string& subkey, RegistryRoot root);
    // The subkey below the user root as primary and below the machine root as secondary;
    // true when at least one opened.
    bool OpenUserAndMachine(const std::string& subkey);
    // Creates the subkey (and its parents) when needed and opens it as primary.
    bool Create(const std::string& subkey, RegistryRoot root);
    void Close();

    bool HasPrimary() const { return m_primary.has_value(); }
    bool HasSecondary() const { return m_secondary.has_value(); }

    // The value from the primary key, else the secondary one. With no buffer and size 0: the
    // value's size in bytes. Otherwise its bytes are copied when they fit (the count copied is
    // returned) and 0 when they do not. 0 when neither key has the value.
    uint32_t QueryValue(const std::string& name, void* buffer, uint32_t size, uint32_t* type) const;

    // The value when it is a REG_DWORD of exactly four bytes, else `fallback`.
    uint32_t ReadDword(const std::string& name, uint32_t fallback) const;
    // REG_SZ or REG_EXPAND_SZ only (anything else: "" and false), up to its first NUL, at most
    // bufferSize bytes with the NUL. With `expand`, %NAME% references of a REG_EXPAND_SZ
    // value are replaced from the environment (unknown ones stay as written); a result that
    // does not fit gives "" and false.
    bool ReadString(const std::string& name, std::string& text, bool expand,
                    uint32_t* type = nullptr, uint32_t bufferSize = kStringBufferSize) const;

    // Writes go to the primary key only; false without one or when the hive cannot be written.
    bool WriteValue(const std::string& name, const void* data, uint32_t size, uint32_t type);
    bool WriteDword(const std::string& name, uint32_t value);
    // The text and its terminating NUL.
    bool WriteString(const std::string& name, const std::string& text, uint32_t type = kRegSz);

    // A text value split at every run of ",:; " into numbers read as atoi reads them, stored
    // into values[0..count); entries past the numbers found keep their contents. True when
    // `count` numbers were stored (always for count <= 0); false when the value is missing or
    // no text.
    bool ReadIntList(const std::string& name, int32_t* values, int count) const;
    // "120,80,200"; false when count < 1.
    bool WriteIntList(const std::string& name, const int32_t* values, int count);

private:
    struct Handle {
        RegistryRoot root;
        std::string key;
    };
    std::optional<platform::RegistryValue> Find(const std::string& name) const;

    std::optional<Handle> m_primary;
    std::optional<Handle> m_secondary;
};

// Replaces %NAME% with the environment's NAME; references to unset names stay as written.
std::string ExpandEnvironmentStrings(const std::string& text);

}  // namespace orvanta
