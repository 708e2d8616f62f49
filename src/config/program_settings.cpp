#include "config/program_settings.h"

#include "config/registry_key.h"
#include "platform/program_path.h"
#include "support/path.h"

namespace orvanta {

namespace {

uint32_t ReadRootDword(const char* name, bool includeMachine) {
    CRegistryKey key;
    if (includeMachine) {
        key.OpenUserAndMachine(kRegistryRoot);
    } else {
        key.Open(kRegistryRoot, RegistryRoot::CurrentUser);
    }
    return key.ReadDword(name, 0);
}

bool WriteRootDword(const char* name, uint32_t value) {
    CRegistryKey key;
    return key.Create(kRegistryRoot, RegistryRoot::CurrentUser) && key.WriteDword(name, value);
}

}  // namespace

std::string ApplicationKey(const std::string& programPath) {
    std::string name = programPath.substr(static_cast<size_t>(LastSeparatorIndex(programPath) + 1));
    const int dot = ExtensionIndex(name);
    if (dot >= 0) {
        name.resize(static_cast<size_t>(dot));
    }
    return std::string(kRegistryRoot) + "\\" + name;
}

std::string ApplicationKey() {
    return ApplicationKey(platform::ProgramPath());
}

std::string GetProfileString(const std::string& section, const std::string& entry,
                             const std::string& fallback) {
    CRegistryKey key;
    std::string value;
    if (!key.Open(ApplicationKey() + "\\" + section, RegistryRoot::CurrentUser) ||
        !key.ReadString(entry, value, false, nullptr, UINT32_MAX)) {
        return fallback;
    }
    return value;
}

bool WriteProfileString(const std::string& section, const std::string& entry,
                        const std::string& value) {
    CRegistryKey key;
    return key.Create(ApplicationKey() + "\\" + section, RegistryRoot::CurrentUser) &&
           key.WriteString(entry, value, kRegSz);
}

uint32_t ReadLanguageId(bool includeMachine) {
    return ReadRootDword(kValueLanguageId, includeMachine);
}

uint32_t ReadLanguagePackDisable(bool includeMachine) {
    return ReadRootDword(kValueLanguagePackDisable, includeMachine);
}

bool WriteLanguageId(uint32_t languageId) {
    return WriteRootDword(kValueLanguageId, languageId);
}

bool WriteLanguagePackDisable(uint32_t disable) {
    return WriteRootDword(kValueLanguagePackDisable, disable);
}

}  // namespace orvanta
