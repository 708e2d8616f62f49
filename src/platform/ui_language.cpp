#include "platform/ui_language.h"

#include "platform/locale.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <unicode/uloc.h>
#include <unicode/utypes.h>

namespace orvanta::platform {

namespace {

struct Abbreviation {
    uint16_t languageId;
    char text[4];
};

// Windows' LOCALE_SABBREVLANGNAME by LANGID, for the languages Windows has always shipped with.
// Sublanguages are listed without gaps from 1 on, as the abbreviation search walks them and
// stops at the first one Windows does not know.
constexpr Abbreviation kWindowsAbbreviations[] = {
    {0x0401, "ARA"}, {0x0402, "BGR"}, {0x0403, "CAT"}, {0x0404, "CHT"}, {0x0405, "CSY"},
    {0x0406, "DAN"}, {0x0407, "DEU"}, {0x0408, "ELL"}, {0x0409, "ENU"}, {0x040A, "ESP"},
    {0x040B, "FIN"}, {0x040C, "FRA"}, {0x040D, "HEB"}, {0x040E, "HUN"}, {0x040F, "ISL"},
    {0x0410, "ITA"}, {0x0411, "JPN"}, {0x0412, "KOR"}, {0x0413, "NLD"}, {0x0414, "NOR"},
    {0x0415, "PLK"}, {0x0416, "PTB"}, {0x0417, "RMC"}, {0x0418, "ROM"}, {0x0419, "RUS"},
    {0x041A, "HRV"}, {0x041B, "SKY"}, {0x041C, "SQI"}, {0x041D, "SVE"}, {0x041E, "THA"},
    {0x041F, "TRK"}, {0x0420, "URD"}, {0x0421, "IND"}, {0x0422, "UKR"}, {0x0423, "BEL"},
    {0x0424, "SLV"}, {0x0425, "ETI"}, {0x0426, "LVI"}, {0x0427, "LTH"}, {0x0428, "TAJ"},
    {0x0429, "FAR"}, {0x042A, "VIT"}, {0x042B, "HYE"}, {0x042C, "AZE"}, {0x042D, "EUQ"},
    {0x042E, "HSB"}, {0x042F, "MKI"}, {0x0432, "TSN"}, {0x0434, "XHO"}, {0x0435, "ZUL"},
    {0x0436, "AFK"}, {0x0437, "KAT"}, {0x0438, "FOS"}, {0x0439, "HIN"}, {0x043A, "MLT"},
    {0x043B, "SME"}, {0x043E, "MSL"}, {0x043F, "KKZ"}, {0x0440, "KYR"}, {0x0441, "SWK"},
    {0x0442, "TUK"}, {0x0443, "UZB"}, {0x0444, "TTT"}, {0x0445, "BNG"}, {0x0446, "PAN"},
    {0x0447, "GUJ"}, {0x0448, "ORI"}, {0x0449, "TAM"}, {0x044A, "TEL"}, {0x044B, "KDI"},
    {0x044C, "MYM"}, {0x044D, "ASM"}, {0x044E, "MAR"}, {0x044F, "SAN"}, {0x0450, "MON"},
    {0x0451, "BOB"}, {0x0452, "CYM"}, {0x0453, "KHM"}, {0x0454, "LAO"}, {0x0456, "GLC"},
    {0x0457, "KNK"}, {0x045A, "SYR"}, {0x045B, "SIN"}, {0x045D, "IUS"}, {0x045E, "AMH"},
    {0x0461, "NEP"}, {0x0462, "FYN"}, {0x0463, "PAS"}, {0x0464, "FPO"}, {0x0465, "DIV"},
    {0x0468, "HAU"}, {0x046A, "YOR"}, {0x046C, "NSO"}, {0x046D, "BAS"}, {0x046E, "LBX"},
    {0x046F, "KAL"}, {0x0470, "IBO"}, {0x0478, "III"}, {0x047A, "MPD"}, {0x047C, "MWK"},
    {0x047E, "BRE"}, {0x0480, "UIG"}, {0x0481, "MRI"}, {0x0482, "OCI"}, {0x0483, "COS"},
    {0x0484, "GSW"}, {0x0485, "SAH"}, {0x0486, "QUT"}, {0x0487, "KIN"}, {0x0488, "WOL"},
    {0x048C, "PRS"}, {0x0801, "ARI"}, {0x0804, "CHS"}, {0x0807, "DES"}, {0x0809, "ENG"},
    {0x080A, "ESM"}, {0x080C, "FRB"}, {0x0810, "ITS"}, {0x0813, "NLB"}, {0x0814, "NON"},
    {0x0816, "PTG"}, {0x081A, "SRL"}, {0x081D, "SVF"}, {0x082C, "AZC"}, {0x083E, "MSB"},
    {0x0843, "UZC"}, {0x0845, "BNB"}, {0x085D, "IUK"}, {0x0C01, "ARE"}, {0x0C04, "ZHH"},
    {0x0C07, "DEA"}, {0x0C09, "ENA"}, {0x0C0A, "ESN"}, {0x0C0C, "FRC"}, {0x0C1A, "SRB"},
    {0x1001, "ARL"}, {0x1004, "ZHI"}, {0x1007, "DEL"}, {0x1009, "ENC"}, {0x100A, "ESG"},
    {0x100C, "FRS"}, {0x101A, "HRB"}, {0x1401, "ARG"}, {0x1404, "ZHM"}, {0x1407, "DEC"},
    {0x1409, "ENZ"}, {0x140A, "ESC"}, {0x140C, "FRL"}, {0x141A, "BSB"}, {0x1801, "ARM"},
    {0x1809, "ENI"}, {0x180A, "ESA"}, {0x180C, "FRM"}, {0x181A, "SRS"}, {0x1C01, "ART"},
    {0x1C09, "ENS"}, {0x1C0A, "ESD"}, {0x1C1A, "SRN"}, {0x2001, "ARO"}, {0x2009, "ENJ"},
    {0x200A, "ESV"}, {0x201A, "BSC"}, {0x2401, "ARY"}, {0x2409, "ENB"}, {0x240A, "ESO"},
    {0x2801, "ARS"}, {0x2809, "ENL"}, {0x280A, "ESR"}, {0x2C01, "ARJ"}, {0x2C09, "ENT"},
    {0x2C0A, "ESS"}, {0x3001, "ARB"}, {0x3009, "ENW"}, {0x300A, "ESF"}, {0x3401, "ARK"},
    {0x3409, "ENP"}, {0x340A, "ESL"}, {0x3801, "ARU"}, {0x380A, "ESY"}, {0x3C01, "ARH"},
    {0x3C0A, "ESZ"}, {0x4001, "ARQ"}, {0x400A, "ESB"}, {0x440A, "ESE"}, {0x480A, "ESH"},
    {0x4C0A, "ESI"}, {0x500A, "ESU"},
};

constexpr auto kAbbreviations = [] {
    auto table = std::to_array(kWindowsAbbreviations);
    std::sort(table.begin(), table.end(), [](const Abbreviation& a, const Abbreviation& b) {
        return a.languageId < b.languageId;
    });
    return table;
}();

static_assert(std::adjacent_find(kAbbreviations.begin(), kAbbreviations.end(),
                                 [](const Abbreviation& a, const Abbreviation& b) {
                                     return a.languageId == b.languageId;
                                 }) == kAbbreviations.end(),
              "every language has one abbreviation");

constexpr char kUiLanguageVariable[] = "ORVANTA_UI_LANGUAGE";

// The LANGID of an ICU locale, from its language and country only: ICU's LCID table knows
// "zh_CN" but not "zh_Hans_CN". 0 when it has none.
uint32_t LanguageIdOfLocale(const char* locale) {
    char language[ULOC_LANG_CAPACITY] = {};
    char country[ULOC_COUNTRY_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    uloc_getLanguage(locale, language, sizeof language, &status);
    uloc_getCountry(locale, country, sizeof country, &status);
    if (U_FAILURE(status) || language[0] == '\0') {
        return 0;
    }
    std::string name = language;
    if (country[0] != '\0') {
        name += '_';
        name += country;
    }
    return uloc_getLCID(name.c_str()) & 0xFFFFu;
}

// The environment's message locale, as the C library would choose it.
std::string MessageLocaleName() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    return {};
}

}  // namespace

std::string LanguageAbbreviation(uint32_t languageId) {
    if (languageId > 0xFFFF) {
        return {};
    }
    auto it = std::lower_bound(
        kAbbreviations.begin(), kAbbreviations.end(), languageId,
        [](const Abbreviation& entry, uint32_t id) { return entry.languageId < id; });
    return it != kAbbreviations.end() && it->languageId == languageId ? it->text : "";
}

uint32_t ConvertDefaultLocale(uint32_t languageId) {
    languageId &= 0xFFFFu;
    if (languageId == 0 || SubLanguageOf(languageId) != 0) {
        return languageId;
    }
    // The country ICU thinks most likely for the language: Korean is Korean (Korea), Chinese is
    // Chinese (China).
    const std::string locale = LocaleForLanguageId(languageId);
    char likely[ULOC_FULLNAME_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    if (!locale.empty()) {
        uloc_addLikelySubtags(locale.c_str(), likely, sizeof likely, &status);
        if (U_SUCCESS(status) && status != U_STRING_NOT_TERMINATED_WARNING) {
            const uint32_t likelyId = LanguageIdOfLocale(likely);
            if (likelyId != 0 && PrimaryLanguageOf(likelyId) == PrimaryLanguageOf(languageId)) {
                return likelyId;
            }
        }
    }
    return MakeLanguageId(PrimaryLanguageOf(languageId), kSubLanguageDefault);
}

uint32_t UserDefaultUiLanguage() {
    const char* chosen = std::getenv(kUiLanguageVariable);
    if (chosen != nullptr && *chosen != '\0') {
        // Holds a LANGID ICU knows, or the user-interface language falls back to US English.
        return UserInterfaceLanguageId();
    }
    return SystemDefaultUiLanguage();
}

uint32_t SystemDefaultUiLanguage() {
    std::string name = MessageLocaleName();
    // "ko_KR.UTF-8", "de_DE@euro": the codeset and the modifier say nothing of the language.
    name = name.substr(0, name.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX") {
        return kLanguageIdEnglishUs;
    }
    const uint32_t languageId = ConvertDefaultLocale(LanguageIdOfLocale(name.c_str()));
    return languageId != 0 ? languageId : kLanguageIdEnglishUs;
}

}  // namespace orvanta::platform
