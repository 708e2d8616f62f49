// CLanguagePack: the user interface in another language. A pack is a file beside the
// executable named after it with the Windows abbreviation of its language as extension
// ("ovserver.KOR" beside "ovserver"), stamped with the executable's major.minor version and
// holding a translation of the string table (support/language_pack_file.h). Start-up loads at
// most one, chosen from the user's setting or else from the user-interface languages, and puts
// its texts in front of the built-in ones for the rest of the run; every window, menu and
// message takes its texts from that table. The Language page lists the installed packs.
#pragma once

#include "res/string_table.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta {

// The executable's name when the program is installed: the Language page compares the packs'
// versions with this file's, whatever the running executable is called.
inline constexpr char kProgramFileName[] = "ovserver";

inline constexpr size_t kMaxUiLanguageCandidates = 4;
using UiLanguageCandidates = std::array<uint32_t, kMaxUiLanguageCandidates>;

// A loaded pack's texts; null for none.
using LanguagePackModule = std::shared_ptr<const res::StringTable>;

class CLanguagePack {
public:
    CLanguagePack() = default;
    // Unloads.
    ~CLanguagePack();
    CLanguagePack(const CLanguagePack&) = delete;
    CLanguagePack& operator=(const CLanguagePack&) = delete;

    // Start-up's choice, made once before any window exists: nothing when the user's key below
    // `registryPath` sets UI_LanguagePack_Disable; else the pack of the user's UI_LanguageID,
    // else the first pack of the user-interface language candidates. A pack found is
    // installed as the source of every text (res::LoadString). True when one was loaded.
    // `programPath` is the running executable's full path.
    bool Load(const std::string& registryPath);
    bool Load(const std::string& registryPath, const std::string& programPath);
    // Takes the pack's texts away again, if a pack is loaded.
    void Unload();

    bool IsLoaded() const { return m_module != nullptr; }
    // The loaded pack's abbreviation ("KOR"); "" when none is loaded.
    const std::string& Abbreviation() const { return m_abbreviation; }

    // The pack path less its abbreviation: the program path without its extension, with the
    // dot ("/opt/orvanta/ovserver.").
    static std::string BasePath(const std::string& programPath);

    // The pack of `languageId` at basePath + its abbreviation, when the language has an
    // abbreviation, the pack's major.minor version is the executable's and the pack reads;
    // null otherwise. `abbreviation` receives the abbreviation once the version matched.
    static LanguagePackModule TryLoadPack(uint32_t languageId, const std::string& programPath,
                                          const std::string& basePath, std::string& abbreviation);

    // The user's user-interface language, its primary language, the system's user-interface
    // language and its primary language (platform/ui_language.h); returns the count.
    static size_t GetUiLanguageCandidates(UiLanguageCandidates& candidates);

    // The first candidate whose pack loads.
    static LanguagePackModule LoadPackForUiLanguage(const std::string& programPath,
                                                    const std::string& basePath,
                                                    std::string& abbreviation);

private:
    LanguagePackModule m_module;
    std::string m_abbreviation;
};

// The language whose abbreviation is `abbreviation` in any letter case: the first found among
// primary languages 1 to 127, each with its sublanguages from 1 up to the first one without an
// abbreviation; 0 for none.
uint32_t LangIdFromAbbrev(std::string_view abbreviation);

// The language's name ("Korean (South Korea)"); for an id without one, the name of its primary
// language with the default sublanguage; "" when neither has a name.
std::string LanguageDisplayName(uint32_t languageId);

// An item of the Language page's list.
struct LanguagePackItem {
    uint32_t languageId = 0;
    std::string name;
};

// The Language page's list before sorting: "[Default Language]" with id 0, then each pack in
// `programFolder` (a folder ending in its separator) named kProgramFileName + "." + a language
// abbreviation, with the major.minor version of kProgramFileName there. Folders, files with no
// language abbreviation as extension, and packs of another version are left out.
std::vector<LanguagePackItem> EnumLanguagePacks(const std::string& programFolder);

}  // namespace orvanta
