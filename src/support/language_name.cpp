#include "support/language_name.h"

#include "platform/locale.h"

namespace orvanta {

std::string ShortenLanguageName(std::string_view name) {
    const size_t blank = name.find(" (", 1);
    if (blank != std::string_view::npos) {
        name = name.substr(0, blank);
    }
    if (name.size() > kLanguageNameMaxBytes) {
        size_t end = kLanguageNameMaxBytes;
        // Back off over continuation bytes so that the cut falls before a lead byte.
        while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0u) == 0x80u) {
            --end;
        }
        name = name.substr(0, end);
    }
    return std::string(name);
}

std::string ShortLanguageName(uint32_t languageId) {
    return ShortenLanguageName(platform::LanguageDisplayName(languageId));
}

}  // namespace orvanta
