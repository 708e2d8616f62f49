// The language packs the build puts in the program folder: each translates exactly the ids of
// the built-in string table, keeps every text's printf conversions in order, keeps the sheet's
// tree paths in step with their parents' titles, and carries the program's version. And the
// formatting that fills those texts, which must not trust them.
#include "res/string_table.h"
#include "support/file_version.h"
#include "support/language_pack_file.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <vector>

namespace orvanta {
namespace {

std::vector<std::string> Conversions(const std::string& text) {
    static const std::regex conversion("%%|%[-+ #0]*[0-9]*(\\.[0-9]+)?[a-zA-Z]");
    std::vector<std::string> found;
    for (std::sregex_iterator it(text.begin(), text.end(), conversion), end; it != end; ++it) {
        found.push_back(it->str());
    }
    return found;
}

class ShippedPackTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ShippedPackTest, TranslatesEveryTextOfTheTableAndNothingElse) {
    const std::string path = std::string(ORV_PROGRAM_DIR) + "/ovserver." + GetParam();
    const auto pack = ReadLanguagePackFile(path);
    ASSERT_TRUE(pack) << path << " is missing or no pack";
    EXPECT_EQ(GetFileVersion(path), GetFileVersion(std::string(ORV_PROGRAM_DIR) + "/ovserver"));

    const std::vector<uint32_t> ids = res::AllStringIds();
    for (const uint32_t id : ids) {
        EXPECT_TRUE(pack->texts.count(id)) << "untranslated: " << id << " " << res::LoadString(id);
    }
    for (const auto& [id, text] : pack->texts) {
        EXPECT_FALSE(res::LoadString(id).empty()) << "not in the table: " << id;
    }

    // English texts by value, to find the parent of a tree path ("Station" of
    // "Station::Metadata"); a text may stand under several ids ("General").
    std::multimap<std::string, uint32_t> idsOfEnglish;
    for (const uint32_t id : ids) {
        idsOfEnglish.emplace(res::LoadString(id), id);
    }
    for (const uint32_t id : ids) {
        const auto found = pack->texts.find(id);
        if (found == pack->texts.end()) {
            continue;
        }
        const std::string english = res::LoadString(id);
        const std::string& text = found->second;
        EXPECT_EQ(Conversions(text), Conversions(english)) << id << ": " << text;

        const size_t cut = english.find("::");
        if (cut == std::string::npos) {
            continue;
        }
        const size_t translatedCut = text.find("::");
        ASSERT_NE(translatedCut, std::string::npos) << id << ": " << text;
        bool parentMatches = false;
        const auto [first, last] = idsOfEnglish.equal_range(english.substr(0, cut));
        for (auto it = first; it != last; ++it) {
            const auto parent = pack->texts.find(it->second);
            parentMatches = parentMatches || (parent != pack->texts.end() &&
                                              parent->second == text.substr(0, translatedCut));
        }
        EXPECT_TRUE(parentMatches) << id << ": \"" << text << "\" hangs under no translated title";
    }
}

INSTANTIATE_TEST_SUITE_P(Shipped, ShippedPackTest, ::testing::Values("KOR", "DEU"));

TEST(FormatStringTest, ConversionsTakeTheArgumentsInOrderPaddedToTheirWidth) {
    EXPECT_EQ(res::FormatString("[%-4s|%05d|%03d]", {"ab", "-12", "7"}), "[ab  |-0012|007]");
    EXPECT_EQ(res::FormatString("%3.3f Mbytes", {"1.000"}), "1.000 Mbytes");
    EXPECT_EQ(res::FormatString("100%% %s", {"done"}), "100% done");
}

TEST(FormatStringTest, TextsFromOutsideCannotReachPastTheArguments) {
    // A language pack's text may hold more conversions than the program passes.
    EXPECT_EQ(res::FormatString("%s and %s and %n", {"one"}), "one and  and ");
    // A huge width is capped rather than honoured.
    EXPECT_EQ(res::FormatString("%999999999999d", {"1"}).size(), 64u);
    EXPECT_EQ(res::FormatString("ends in %", {}), "ends in %");
    EXPECT_EQ(res::FormatString("ends in %-12", {"x"}), "ends in %-12");
}

}  // namespace
}  // namespace orvanta
