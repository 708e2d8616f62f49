#include "support/language_name.h"

#include "test_util.h"

#include <gtest/gtest.h>

#include <string>

namespace orvanta {
namespace {

// ORVANTA_UI_LANGUAGE for one scope.
struct UiLanguage : test::ScopedEnv {
    explicit UiLanguage(const char* value) : ScopedEnv("ORVANTA_UI_LANGUAGE", value) {}
};

TEST(ShortenLanguageNameTest, CutsOnlyAtABlankBeforeAParenthesis) {
    EXPECT_EQ(ShortenLanguageName("English (United States)"), "English");
    EXPECT_EQ(ShortenLanguageName("Norwegian Bokm\xC3\xA5l (Norway)"), "Norwegian Bokm\xC3\xA5l");
    EXPECT_EQ(ShortenLanguageName("Chinese (Traditional) (Taiwan)"), "Chinese");
    // Shown whole: no parenthesised part, a blank only at the end, a parenthesis without a
    // blank before it, a blank at the very start.
    EXPECT_EQ(ShortenLanguageName("Korean"), "Korean");
    EXPECT_EQ(ShortenLanguageName("Norwegian Nynorsk"), "Norwegian Nynorsk");
    EXPECT_EQ(ShortenLanguageName("English "), "English ");
    EXPECT_EQ(ShortenLanguageName("\xEC\x98\x81\xEC\x96\xB4(\xEB\xAF\xB8\xEA\xB5\xAD)"),
              "\xEC\x98\x81\xEC\x96\xB4(\xEB\xAF\xB8\xEA\xB5\xAD)");
    EXPECT_EQ(ShortenLanguageName(" (x)"), " (x)");
    EXPECT_EQ(ShortenLanguageName(""), "");
}

TEST(ShortenLanguageNameTest, KeepsTheBufferLimitWithoutSplittingACharacter) {
    EXPECT_EQ(ShortenLanguageName(std::string(300, 'a')), std::string(259, 'a'));
    std::string twoByte;
    for (int i = 0; i < 130; ++i) {
        twoByte += "\xC3\xA9";
    }
    // 260 bytes: byte 259 would be the first half of the last character.
    const std::string cut = ShortenLanguageName(twoByte);
    EXPECT_EQ(cut.size(), 258u);
    EXPECT_EQ(cut, twoByte.substr(0, 258));
    EXPECT_EQ(ShortenLanguageName("x" + twoByte.substr(0, 258)).size(), 259u);
}

TEST(ShortLanguageNameTest, NamesComeInTheUserInterfaceLanguage) {
    {
        UiLanguage english("0x0409");
        EXPECT_EQ(ShortLanguageName(9), "English");
        EXPECT_EQ(ShortLanguageName(0x0809), "English");
        EXPECT_EQ(ShortLanguageName(0x0412), "Korean");
        EXPECT_EQ(ShortLanguageName(0), "");       // neutral: ICU's root locale
        EXPECT_EQ(ShortLanguageName(0x2000), "");  // custom-locale placeholder
    }
    {
        UiLanguage korean("0x412");
        EXPECT_EQ(ShortLanguageName(9), "\xEC\x98\x81\xEC\x96\xB4");  // 영어
    }
    {
        UiLanguage german("1031");
        EXPECT_EQ(ShortLanguageName(0x0409), "Englisch");
    }
    // Text that is no LANGID leaves the interface in English.
    for (const char* junk : {"", "korean", "0x", "-9", "0x1FFFF", "0412x"}) {
        UiLanguage bad(junk);
        EXPECT_EQ(ShortLanguageName(18), "Korean") << junk;
    }
}

}  // namespace
}  // namespace orvanta
