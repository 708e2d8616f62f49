// The language pack file and its editable source: what survives a round trip, where the
// version reader finds the stamp, and which damaged files are refused.
#include "support/language_pack_file.h"

#include "support/file_version.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <string>

namespace orvanta {
namespace {

LanguagePackFile SamplePack() {
    LanguagePackFile pack;
    pack.version = LanguagePackVersionStamp(3, 4, 5, 6);
    pack.texts = {{1, "Orvanta 서버"}, {2066, "TCP %d\r\nPort"}, {37000, ""}};
    return pack;
}

void Put32(std::string& bytes, size_t at, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

TEST(LanguagePackFileTest, CarriesTheVersionWhereGetFileVersionFindsIt) {
    test::TempDir dir;
    test::WriteFile(dir.File("ovserver.KOR"), SerializeLanguagePack(SamplePack()));
    EXPECT_EQ(GetFileVersion(dir.File("ovserver.KOR")), 0x0003000400050006ull);
    const auto read = ReadLanguagePackFile(dir.File("ovserver.KOR"));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->texts, SamplePack().texts);
    EXPECT_FALSE(ReadLanguagePackFile(dir.File("missing")));
    EXPECT_FALSE(ReadLanguagePackFile(dir.Path())) << "a folder";
}

TEST(LanguagePackFileTest, DamagedFilesAreNoPacks) {
    const std::string good = SerializeLanguagePack(SamplePack());
    ASSERT_TRUE(ParseLanguagePack(good));
    const size_t directory = kLanguagePackHeaderSize;
    auto broken = [&good](auto change) {
        std::string bytes = good;
        change(bytes);
        return !ParseLanguagePack(bytes).has_value();
    };
    EXPECT_TRUE(broken([](std::string& b) { b[0] = 'X'; })) << "magic";
    EXPECT_TRUE(broken([](std::string& b) { Put32(b, 4, 2); })) << "format";
    EXPECT_TRUE(broken([](std::string& b) { Put32(b, 8, 0); })) << "stamp signature";
    EXPECT_TRUE(broken([](std::string& b) { b.pop_back(); })) << "cut short";
    EXPECT_TRUE(broken([](std::string& b) { b += '\0'; })) << "bytes after the last text";
    EXPECT_TRUE(broken([](std::string& b) { Put32(b, 60, 0xFFFFFFFF); })) << "count";
    EXPECT_TRUE(broken([&](std::string& b) { Put32(b, directory + 8, 1); })) << "ids in order";
    EXPECT_TRUE(broken([&](std::string& b) { Put32(b, directory + 4, 0xFFFFFFF0); }))
        << "length past the end";
    EXPECT_TRUE(broken([&](std::string& b) { Put32(b, directory + 4, 3); }))
        << "a text's NUL missing where its length ends";
    EXPECT_TRUE(broken([](std::string& b) { b[b.find("TCP")] = '\xC0'; })) << "not UTF-8";
    EXPECT_FALSE(ParseLanguagePack(good.substr(0, kLanguagePackHeaderSize - 1)));
}

TEST(LanguagePackFileTest, SourceLinesHoldAnIdATabAndAnEscapedText) {
    LanguagePackTexts texts;
    std::string error;
    ASSERT_TRUE(ParseLanguagePackSource(
        "# comment\r\n\n1\tOrvanta 서버\r\n2066\tTCP %d\\r\\nPort\\t\\\\ \n37000\t", texts, error))
        << error;
    EXPECT_EQ(texts,
              (LanguagePackTexts{{1, "Orvanta 서버"}, {2066, "TCP %d\r\nPort\t\\ "}, {37000, ""}}));
}

}  // namespace
}  // namespace orvanta
