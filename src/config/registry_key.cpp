#include "config/registry_key.h"

#include "config/ini_file.h"

#include <cstdlib>
#include <cstring>

namespace orvanta {

using platform::RegistryValue;

std::string ExpandEnvironmentStrings(const std::string& text) {
    std::string out;
    size_t at = 0;
    while (at < text.size()) {
        const size_t open = text.find('%', at);
        if (open == std::string::npos) {
            break;
        }
        const size_t close = text.find('%', open + 1);
        if (close == std::string::npos) {
            break;
        }
        out.append(text, at, open - at);
        const std::string name = text.substr(open + 1, close - open - 1);
        const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
        if (value != nullptr) {
            out += value;
            at = close + 1;
        } else {
            // Left as written; the closing % may open the next reference.
            out.append(text, open, close - open);
            at = close;
        }
    }
    out.append(text, at, std::string::npos);
    return out;
}

bool CRegistryKey::Open(const std::string& subkey, RegistryRoot root) {
    Close();
    if (platform::RegistryKeyExists(root, subkey) && platform::RegistryHiveWritable(root)) {
        m_primary = Handle{root, subkey};
    }
    return m_primary.has_value();
}

bool CRegistryKey::OpenUserAndMachine(const std::string& subkey) {
    Close();
    if (platform::RegistryKeyExists(RegistryRoot::CurrentUser, subkey) &&
        platform::RegistryHiveWritable(RegistryRoot::CurrentUser)) {
        m_primary = Handle{RegistryRoot::CurrentUser, subkey};
    }
    if (platform::RegistryKeyExists(RegistryRoot::LocalMachine, subkey) &&
        platform::RegistryHiveWritable(RegistryRoot::LocalMachine)) {
        m_secondary = Handle{RegistryRoot::LocalMachine, subkey};
    }
    return m_primary.has_value() || m_secondary.has_value();
}

bool CRegistryKey::Create(const std::string& subkey, RegistryRoot root) {
    Close();
    if (platform::RegistryCreateKey(root, subkey)) {
        m_primary = Handle{root, subkey};
    }
    return m_primary.has_value();
}

void CRegistryKey::Close() {
    m_primary.reset();
    m_secondary.reset();
}

std::optional<RegistryValue> CRegistryKey::Find(const std::string& name) const {
    for (const std::optional<Handle>* handle : {&m_primary, &m_secondary}) {
        if (*handle) {
            if (auto value = platform::RegistryQueryValue((*handle)->root, (*handle)->key, name)) {
                return value;
            }
        }
    }
    return std::nullopt;
}

uint32_t CRegistryKey::QueryValue(const std::string& name, void* buffer, uint32_t size,
                                  uint32_t* type) const {
    const auto value = Find(name);
    if (!value) {
        return 0;
    }
    if (type != nullptr) {
        *type = value->type;
    }
    const auto bytes = static_cast<uint32_t>(value->data.size());
    if (buffer == nullptr && size == 0) {
        return bytes;
    }
    if (buffer == nullptr || bytes > size) {
        return 0;
    }
    if (bytes > 0) {
        std::memcpy(buffer, value->data.data(), bytes);
    }
    return bytes;
}

uint32_t CRegistryKey::ReadDword(const std::string& name, uint32_t fallback) const {
    const auto value = Find(name);
    if (!value || value->type != kRegDword || value->data.size() != 4) {
        return fallback;
    }
    return static_cast<uint32_t>(value->data[0]) | (static_cast<uint32_t>(value->data[1]) << 8) |
           (static_cast<uint32_t>(value->data[2]) << 16) |
           (static_cast<uint32_t>(value->data[3]) << 24);
}

bool CRegistryKey::ReadString(const std::string& name, std::string& text, bool expand,
                              uint32_t* type, uint32_t bufferSize) const {
    text.clear();
    const auto value = Find(name);
    if (!value || (value->type != kRegSz && value->type != kRegExpandSz) ||
        value->data.size() > bufferSize) {
        return false;
    }
    if (type != nullptr) {
        *type = value->type;
    }
    const auto* bytes = reinterpret_cast<const char*>(value->data.data());
    std::string stored(bytes, strnlen(bytes, value->data.size()));
    if (expand && value->type == kRegExpandSz) {
        stored = ExpandEnvironmentStrings(stored);
        if (stored.size() + 1 > bufferSize) {
            return false;
        }
    }
    text = std::move(stored);
    return true;
}

bool CRegistryKey::WriteValue(const std::string& name, const void* data, uint32_t size,
                              uint32_t type) {
    if (!m_primary) {
        return false;
    }
    RegistryValue value;
    value.type = type;
    const auto* bytes = static_cast<const uint8_t*>(data);
    value.data.assign(bytes, bytes + size);
    return platform::RegistrySetValue(m_primary->root, m_primary->key, name, value);
}

bool CRegistryKey::WriteDword(const std::string& name, uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    return WriteValue(name, bytes, 4, kRegDword);
}

bool CRegistryKey::WriteString(const std::string& name, const std::string& text, uint32_t type) {
    return WriteValue(name, text.c_str(), static_cast<uint32_t>(text.size() + 1), type);
}

bool CRegistryKey::ReadIntList(const std::string& name, int32_t* values, int count) const {
    std::string text;
    if (!ReadString(name, text, false)) {
        return false;
    }
    int stored = 0;
    size_t at = 0;
    while (stored < count) {
        at = text.find_first_not_of(",:; ", at);
        if (at == std::string::npos) {
            break;
        }
        size_t end = text.find_first_of(",:; ", at);
        if (end == std::string::npos) {
            end = text.size();
        }
        values[stored++] = AtoI(std::string_view(text).substr(at, end - at));
        at = end;
    }
    return stored >= count;
}

bool CRegistryKey::WriteIntList(const std::string& name, const int32_t* values, int count) {
    if (count < 1) {
        return false;
    }
    std::string text = std::to_string(values[0]);
    for (int i = 1; i < count; ++i) {
        text += ',' + std::to_string(values[i]);
    }
    return WriteString(name, text, kRegSz);
}

}  // namespace orvanta
