// The program's own settings in the registry (the station's are in its configuration file):
// the user-interface language, the folders last used for configuration files, and the chosen
// WMA encoder plug-in.
#pragma once

#include <cstdint>
#include <string>

namespace orvanta {

// The root of every key the program keeps.
inline constexpr const char kRegistryRoot[] = "Software\\KELVO";
inline constexpr const char kValueLanguageId[] = "UI_LanguageID";
inline constexpr const char kValueLanguagePackDisable[] = "UI_LanguagePack_Disable";

inline constexpr const char kSectionFolders[] = "Folders";
inline constexpr const char kEntryLastOpen[] = "LastOpen";
inline constexpr const char kEntryLastSave[] = "LastSave";
inline constexpr const char kSectionEncoder[] = "Encoder";
inline constexpr const char kEntryWma[] = "WMA";

// The application key, below the user root: the registry root and the executable's file name
// without its extension ("Software\KELVO\ovserver").
std::string ApplicationKey(const std::string& programPath);
std::string ApplicationKey();

// A string value of a subkey of the application key; `fallback` when it is missing or no text.
std::string GetProfileString(const std::string& section, const std::string& entry,
                             const std::string& fallback = {});
// Writes a REG_SZ value, creating the subkey when needed.
bool WriteProfileString(const std::string& section, const std::string& entry,
                        const std::string& value);

// The language values below "Software\KELVO". The loader reads the user's key only; the
// Language page also falls back to the machine's.
uint32_t ReadLanguageId(bool includeMachine);
uint32_t ReadLanguagePackDisable(bool includeMachine);
bool WriteLanguageId(uint32_t languageId);
bool WriteLanguagePackDisable(uint32_t disable);

}  // namespace orvanta
