// What Windows answers about user-interface languages, for the language-pack loader: the
// three-letter abbreviation of a language (the extension of its pack), the default locale of a
// language, and the user's and the system's user-interface language.
#pragma once

#include <cstdint>
#include <string>

namespace orvanta::platform {

// A LANGID: the primary language in the low 10 bits, the sublanguage in the upper 6.
inline constexpr uint32_t PrimaryLanguageOf(uint32_t languageId) {
    return languageId & 0x3FFu;
}
inline constexpr uint32_t SubLanguageOf(uint32_t languageId) {
    return (languageId >> 10) & 0x3Fu;
}
inline constexpr uint32_t MakeLanguageId(uint32_t primary, uint32_t sublanguage) {
    return ((sublanguage & 0x3Fu) << 10) | (primary & 0x3FFu);
}
inline constexpr uint32_t kSubLanguageDefault = 1;

// The language's Windows abbreviation ("ENU" for 0x0409, "KOR" for 0x0412, "DEU" for 0x0407);
// "" for an id Windows has none for (0 and the neutral ids among them).
std::string LanguageAbbreviation(uint32_t languageId);

// The language with a country that a neutral id (sublanguage 0) stands for, by ICU's likely
// countries (0x0012 gives 0x0412, 0x0004 gives 0x0804); any other id unchanged, less its sort bits.
uint32_t ConvertDefaultLocale(uint32_t languageId);

// The user's user-interface language: ORVANTA_UI_LANGUAGE when it holds a LANGID, else the
// system's.
uint32_t UserDefaultUiLanguage();

// The system's user-interface language: the language of the message locale the environment
// names (LC_ALL, else LC_MESSAGES, else LANG; "ko_KR.UTF-8" gives 0x0412), US English for the
// C and POSIX locales and for a locale ICU cannot place.
uint32_t SystemDefaultUiLanguage();

}  // namespace orvanta::platform
