#include "support/language_name.h"

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
        {"\xEC\x98\x81\xEC\x96\xB4(\xEB\xAF\xB8)", "\xEC\x98\x81\xEC\x96\xB4(\xEB\xAF\xB8)"},
        {std::string(300, 'a'), std::string(259, 'a')},
        // 260 bytes: byte 259 would be the first half of the last character.
        {twoByte, twoByte.substr(0, 258)},
    };
    // clang-format on
    for (const auto& [name, shortened] : cases) {
        EXPECT_EQ(ShortenLanguageName(name), shortened) << name;
    }
}

}  // namespace
}  // namespace orvanta
