#include "support/language_name.h"

#include "test_util.h"

#include <gtest/gtest.h>

#include <string>

namespace orvanta {
namespace {

TEST(LanguageNameTest, CutsOnlyAtABlankBeforeAParenthesisAndNeverSplitsACharacter) {
    std::string twoByte;
    for (int i = 0; i < 130; ++i) {
        twoByte += "\xC3\xA9";
    }
    // clang-format off
    const std::pair<std::string, std::string> cases[] = {
        {"English (United States)", "English"},
        {"Chinese (Traditional) (Taiwan)", "Chinese"},
        {"Norwegian Nynorsk", "Norwegian Nynorsk"},
        {"\xEC\x98\x81\xEC\x96\xB4(\xEB\xAF\xB8)", "\xEC\x98\x81\xEC\x96\xB4(\xEB\xAF\xB8)"},
        {" (x)", " (x)"},
        {std::string(300, 'a'), std::string(259, 'a')},
        // 260 bytes: byte 259 would be the first half of the last character.
        {twoByte, twoByte.substr(0, 258)},
    };
    // clang-format on
    for (const auto& [name, shortened] : cases) {
        EXPECT_EQ(ShortenLanguageName(name), shortened) << name;
    }
}

TEST(LanguageNameTest, NamesComeInTheUserInterfaceLanguage) {
    // clang-format off
    const struct { const char* ui; uint32_t id; const char* name; } cases[] = {
        {"0x0409", 9, "English"}, {"0x0409", 0x0809, "English"}, {"0x0409", 0x0412, "Korean"},
        {"0x0409", 0x2000, ""},
        {"0x412", 9, "\xEC\x98\x81\xEC\x96\xB4"}, {"1031", 0x0409, "Englisch"},
        // Text that is no LANGID leaves the interface in English.
        {"korean", 18, "Korean"}, {"0x1FFFF", 18, "Korean"}, {"0412x", 18, "Korean"},
    };
    // clang-format on
    for (const auto& c : cases) {
        test::ScopedEnv ui("ORVANTA_UI_LANGUAGE", c.ui);
        EXPECT_EQ(ShortLanguageName(c.id), c.name) << c.ui << " " << c.id;
    }
}

}  // namespace
}  // namespace orvanta
