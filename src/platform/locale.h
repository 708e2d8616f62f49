// Language names, which Windows takes from its locale data by language identifier (LANGID).
// Here ICU carries them: the LANGID is mapped to an ICU locale and named in the language of the
// user interface.
#pragma once

#include <cstdint>
#include <string>

namespace orvanta::platform {

// The language the user interface is shown in unless the environment says otherwise.
inline constexpr uint32_t kLanguageIdEnglishUs = 0x0409;

// The ICU locale of a LANGID ("en_US" for 0x0409, "ko" for the primary-only 18); "" when ICU has
// none.
std::string LocaleForLanguageId(uint32_t languageId);

// The LANGID of the user interface: ORVANTA_UI_LANGUAGE when it holds one (decimal, or hex after
// "0x"), else US English.
uint32_t UserInterfaceLanguageId();

// The name of the language, with its script or country when the LANGID names one ("English
// (United States)"), in the user-interface language, as UTF-8; "" when ICU has no name for it.
std::string LanguageDisplayName(uint32_t languageId);

}  // namespace orvanta::platform
