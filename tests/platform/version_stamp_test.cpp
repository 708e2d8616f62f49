#include "platform/version_stamp.h"

#include "platform/program_path.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace orvanta::platform {
namespace {

std::string Block(uint32_t ms, uint32_t ls, uint32_t strucVersion) {
    OrvantaFixedFileInfo info{};
    info.dwSignature = ORVANTA_FIXED_FILE_INFO_SIGNATURE;
    info.dwStrucVersion = strucVersion;
    info.dwFileVersionMS = ms;
    info.dwFileVersionLS = ls;
    std::string bytes(sizeof info, '\0');
    std::memcpy(bytes.data(), &info, sizeof info);
    return bytes;
}

TEST(VersionStampTest, OurOwnExecutableCarriesTheProjectVersion) {
    auto info = ReadFixedFileInfo(ProgramPath());
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->dwFileVersionMS, ORVANTA_VERSION_WORD(ORV_VERSION_MAJOR, ORV_VERSION_MINOR));
    EXPECT_EQ(info->dwFileVersionLS, ORVANTA_VERSION_WORD(ORV_VERSION_PATCH, ORV_VERSION_TWEAK));
    EXPECT_EQ(info->dwFileType, ORVANTA_VFT_APP);
}

// Other files (the language packs) are searched on four-byte boundaries, across the 64 KiB
// search windows, for a block of the structure version we know.
TEST(VersionStampTest, OtherFilesAreSearchedForTheBlock) {
    test::TempDir dir;
    const std::string stamp = Block(0x00020003, 0x00040005, 0x10000);
    const std::pair<std::string, uint32_t> cases[] = {
        {"OVLP" + std::string(8, 'x') + stamp + "strings follow", 0x00020003},
        {"OVLPx" + stamp + "xxx", 0},
        {Block(0x00090000, 0, 0x20000) + Block(0x00010000, 0x00040005, 0x10000), 0x00010000},
        {std::string(65536 - 24, '\0') + stamp, 0x00020003},
    };
    for (const auto& [bytes, ms] : cases) {
        test::WriteFile(dir.File("ovserver.KOR"), bytes);
        const auto info = ReadFixedFileInfo(dir.File("ovserver.KOR"));
        EXPECT_EQ(info ? info->dwFileVersionMS : 0, ms) << bytes.size();
        EXPECT_EQ(info ? info->dwFileVersionLS : 0x00040005, 0x00040005u);
    }
}

TEST(VersionStampTest, DamagedElfFilesHaveNoVersion) {
    test::TempDir dir;
    const std::string own = test::ReadFile(ProgramPath());
    ASSERT_GT(own.size(), 4096u);
    test::WriteFile(dir.File("head"), own.substr(0, 4096));
    EXPECT_FALSE(ReadFixedFileInfo(dir.File("head")).has_value()) << "section table cut off";

    std::string wrongSection = own;
    // Point the section-name table index past the end.
    wrongSection[0x3E] = '\xFE';
    wrongSection[0x3F] = '\xFF';
    test::WriteFile(dir.File("bad-index"), wrongSection);
    EXPECT_FALSE(ReadFixedFileInfo(dir.File("bad-index")).has_value());
    EXPECT_FALSE(ReadFixedFileInfo(dir.Path()).has_value()) << "a folder";
}

}  // namespace
}  // namespace orvanta::platform
