// The language packs the build puts in the program folder: each translates exactly the ids of
// the built-in string table, keeps every text's printf conversions in order, keeps the sheet's
// tree paths in step with their parents' titles, and carries the program's version.
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

    std::vector<uint32_t> translated;
    for (const auto& [id, text] : pack->texts) {
        translated.push_back(id);
    }
    const std::vector<uint32_t> ids = res::AllStringIds();
    for (const uint32_t id : ids) {
        EXPECT_TRUE(pack->texts.count(id)) << "untranslated: " << id << " " << res::LoadString(id);
    }
    for (const uint32_t id : translated) {
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

}  // namespace
}  // namespace orvanta
