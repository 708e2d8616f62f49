#include "config/language_pack.h"

#include "config/program_settings.h"
#include "config/registry_key.h"
#include "platform/locale.h"
#include "platform/program_path.h"
#include "platform/ui_language.h"
#include "support/file_version.h"
#include "support/language_pack_file.h"
#include "support/path.h"

#include <filesystem>
#include <system_error>

namespace orvanta {

namespace {

// LANGIDs as the abbreviation search walks them.
constexpr uint32_t kFirstPrimaryLanguage = 1;
constexpr uint32_t kLastPrimaryLanguage = 127;
constexpr uint32_t kLastSubLanguage = 63;

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

CLanguagePack::~CLanguagePack() {
    Unload();
}

bool CLanguagePack::Load(const std::string& registryPath) {
    return Load(registryPath, platform::ProgramPath());
}

bool CLanguagePack::Load(const std::string& registryPath, const std::string& programPath) {
    Unload();
    // The user's own switch only: a machine-wide value does not stop the user's packs.
    CRegistryKey key;
    const bool userKey = key.Open(registryPath, RegistryRoot::CurrentUser);
    if (userKey && key.ReadDword(kValueLanguagePackDisable, 0) != 0) {
        return false;
    }
    if (programPath.empty()) {
        return false;
    }
    const std::string basePath = BasePath(programPath);
    std::string abbreviation;
    LanguagePackModule module;
    if (!registryPath.empty()) {
        // No chosen language (0) finds no pack, and the candidates decide.
        const uint32_t chosen = userKey ? key.ReadDword(kValueLanguageId, 0) : 0;
        module = TryLoadPack(chosen, programPath, basePath, abbreviation);
    }
    if (module == nullptr) {
        module = LoadPackForUiLanguage(programPath, basePath, abbreviation);
    }
    if (module == nullptr) {
        return false;
    }
    m_module = std::move(module);
    m_abbreviation = abbreviation;
    res::SetStringOverride(m_module);
    return true;
}

void CLanguagePack::Unload() {
    if (m_module != nullptr) {
        res::SetStringOverride(nullptr);
        m_module.reset();
    }
    m_abbreviation.clear();
}

std::string CLanguagePack::BasePath(const std::string& programPath) {
    const int dot = ExtensionIndex(programPath);
    return (dot >= 0 ? programPath.substr(0, static_cast<size_t>(dot)) : programPath) + ".";
}

LanguagePackModule CLanguagePack::TryLoadPack(uint32_t languageId, const std::string& programPath,
                                              const std::string& basePath,
                                              std::string& abbreviation) {
    const uint64_t programVersion = GetFileVersionMajorMinor(programPath);
    const std::string found = platform::LanguageAbbreviation(languageId);
    if (found.empty()) {
        return nullptr;
    }
    const std::string packPath = basePath + found;
    // A missing pack reads as 0.0 and so never matches a stamped executable.
    if (GetFileVersionMajorMinor(packPath) != programVersion) {
        return nullptr;
    }
    abbreviation = found;
    std::optional<LanguagePackFile> pack = ReadLanguagePackFile(packPath);
    if (!pack) {
        return nullptr;
    }
    return std::make_shared<const res::StringTable>(std::move(pack->texts));
}

size_t CLanguagePack::GetUiLanguageCandidates(UiLanguageCandidates& candidates) {
    size_t count = 0;
    for (const uint32_t languageId :
         {platform::UserDefaultUiLanguage(), platform::SystemDefaultUiLanguage()}) {
        if (languageId == 0 || count + 2 > candidates.size()) {
            continue;
        }
        candidates[count++] = platform::ConvertDefaultLocale(languageId);
        candidates[count++] = platform::ConvertDefaultLocale(platform::MakeLanguageId(
            platform::PrimaryLanguageOf(languageId), platform::kSubLanguageDefault));
    }
    return count;
}

LanguagePackModule CLanguagePack::LoadPackForUiLanguage(const std::string& programPath,
                                                        const std::string& basePath,
                                                        std::string& abbreviation) {
    UiLanguageCandidates candidates{};
    const size_t count = GetUiLanguageCandidates(candidates);
    for (size_t i = 0; i < count; ++i) {
        if (LanguagePackModule module =
                TryLoadPack(candidates[i], programPath, basePath, abbreviation)) {
            return module;
        }
    }
    return nullptr;
}

uint32_t LangIdFromAbbrev(std::string_view abbreviation) {
    for (uint32_t primary = kFirstPrimaryLanguage; primary <= kLastPrimaryLanguage; ++primary) {
        for (uint32_t sub = platform::kSubLanguageDefault; sub <= kLastSubLanguage; ++sub) {
            const uint32_t languageId = platform::MakeLanguageId(primary, sub);
            const std::string known = platform::LanguageAbbreviation(languageId);
            if (known.empty()) {
                break;
            }
            if (EqualsIgnoringAsciiCase(known, abbreviation)) {
                return languageId;
            }
        }
    }
    return 0;
}

std::string LanguageDisplayName(uint32_t languageId) {
    // ICU answers a sublanguage it does not know with the bare language, where Windows has no
    // entry: such an id is named like its primary language's default.
    const bool known = platform::SubLanguageOf(languageId) == 0 ||
                       platform::LocaleForLanguageId(languageId).find('_') != std::string::npos;
    std::string name = known ? platform::LanguageDisplayName(languageId) : std::string();
    if (name.empty()) {
        name = platform::LanguageDisplayName(platform::MakeLanguageId(
            platform::PrimaryLanguageOf(languageId), platform::kSubLanguageDefault));
    }
    return name;
}

std::vector<LanguagePackItem> EnumLanguagePacks(const std::string& programFolder) {
    std::vector<LanguagePackItem> items;
    const uint64_t programVersion =
        GetFileVersionMajorMinor(JoinedPath(programFolder, kProgramFileName));
    items.push_back({0, res::LoadString(res::kStrDefaultLanguage)});

    const std::string prefix = std::string(kProgramFileName) + ".";
    std::error_code error;
    for (std::filesystem::directory_iterator it(programFolder, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        std::error_code kindError;
        if (name.compare(0, prefix.size(), prefix) != 0 || it->is_directory(kindError)) {
            continue;
        }
        // Only the extension of the program's own name: "ovserver.KOR.txt" or
        // "ovserver.old.KOR" is no file the loader would open.
        const std::string abbreviation = name.substr(prefix.size());
        if (abbreviation.empty() || abbreviation.find('.') != std::string::npos) {
            continue;
        }
        const uint32_t languageId = LangIdFromAbbrev(abbreviation);
        // The loader opens a pack by its exact name, and the file system tells letter cases
        // apart: a pack spelled otherwise would be listed but never loaded.
        if (languageId == 0 || platform::LanguageAbbreviation(languageId) != abbreviation) {
            continue;
        }
        if (GetFileVersionMajorMinor(it->path().string()) != programVersion) {
            continue;
        }
        items.push_back({languageId, LanguageDisplayName(languageId)});
    }
    return items;
}

}  // namespace orvanta
