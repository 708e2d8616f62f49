#include "platform/locale.h"

#include <cstdlib>
#include <cstring>
#include <unicode/uloc.h>
#include <unicode/ustring.h>
#include <unicode/utypes.h>

namespace orvanta::platform {

namespace {

constexpr char kUiLanguageVariable[] = "ORVANTA_UI_LANGUAGE";

// ICU maps the neutral LANGID and the custom-locale placeholders to its root locale, which names
// no language.
constexpr char kRootLocale[] = "root";

// A LANGID is 16 bits; the environment text is decimal or 0x-prefixed hex, nothing else.
bool ParseLanguageId(const char* text, uint32_t& languageId) {
    if (text == nullptr || *text == '\0') {
        return false;
    }
    int base = 10;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text += 2;
    }
    if (*text == '\0' || *text == '-' || *text == '+') {
        return false;
    }
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, base);
    if (*end != '\0' || value == 0 || value > 0xFFFF) {
        return false;
    }
    languageId = static_cast<uint32_t>(value);
    return true;
}

}  // namespace

std::string LocaleForLanguageId(uint32_t languageId) {
    char locale[ULOC_FULLNAME_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = uloc_getLocaleForLCID(languageId, locale, sizeof locale, &status);
    if (U_FAILURE(status) || status == U_STRING_NOT_TERMINATED_WARNING || length <= 0 ||
        std::strcmp(locale, kRootLocale) == 0) {
        return {};
    }
    return locale;
}

uint32_t UserInterfaceLanguageId() {
    uint32_t languageId = kLanguageIdEnglishUs;
    if (ParseLanguageId(std::getenv(kUiLanguageVariable), languageId) &&
        !LocaleForLanguageId(languageId).empty()) {
        return languageId;
    }
    return kLanguageIdEnglishUs;
}

std::string LanguageDisplayName(uint32_t languageId) {
    const std::string locale = LocaleForLanguageId(languageId);
    if (locale.empty()) {
        return {};
    }
    const std::string uiLocale = LocaleForLanguageId(UserInterfaceLanguageId());

    // ICU falls back to the bare language code when it has no name for the language; that is
    // no name to show.
    UChar language[ULOC_FULLNAME_CAPACITY];
    UErrorCode status = U_ZERO_ERROR;
    uloc_getDisplayLanguage(locale.c_str(), uiLocale.c_str(), language, ULOC_FULLNAME_CAPACITY,
                            &status);
    if (U_FAILURE(status) || status == U_USING_DEFAULT_WARNING) {
        return {};
    }

    UChar name[256];
    status = U_ZERO_ERROR;
    const int32_t nameLength =
        uloc_getDisplayName(locale.c_str(), uiLocale.c_str(), name, 256, &status);
    if (U_FAILURE(status) || nameLength <= 0) {
        return {};
    }

    int32_t utf8Length = 0;
    status = U_ZERO_ERROR;
    u_strToUTF8(nullptr, 0, &utf8Length, name, nameLength, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) {
        return {};
    }
    std::string text(static_cast<size_t>(utf8Length), '\0');
    status = U_ZERO_ERROR;
    u_strToUTF8(text.data(), utf8Length, nullptr, name, nameLength, &status);
    if (U_FAILURE(status)) {
        return {};
    }
    return text;
}

}  // namespace orvanta::platform
