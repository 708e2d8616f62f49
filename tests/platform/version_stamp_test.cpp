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

TEST(VersionStampTest, OtherFilesAreSearchedOnFourByteBoundaries) {
    test::TempDir dir;
    const std::string pack = dir.File("ovserver.KOR");
    test::WriteFile(pack, "OVLP" + std::string(8, 'x') + Block(0x00020003, 0x00040005, 0x10000) +
                              "strings follow");
    auto info = ReadFixedFileInfo(pack);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->dwFileVersionMS, 0x00020003u);
    EXPECT_EQ(info->dwFileVersionLS, 0x00040005u);

    test::WriteFile(pack, "OVLPx" + Block(0x00020003, 0, 0x10000) + "xxx");
    EXPECT_FALSE(ReadFixedFileInfo(pack).has_value()) << "a block off the 4-byte grid";

    test::WriteFile(pack, Block(0x00090000, 0, 0x20000) + Block(0x00010000, 0, 0x10000));
    info = ReadFixedFileInfo(pack);
    ASSERT_TRUE(info.has_value()) << "a signature with another structure version is skipped";
    EXPECT_EQ(info->dwFileVersionMS, 0x00010000u);
}

TEST(VersionStampTest, ABlockAcrossTheSearchWindowsIsFound) {
    test::TempDir dir;
    const std::string path = dir.File("big.bin");
    // The block straddles the first 64 KiB read.
    test::WriteFile(path, std::string(65536 - 24, '\0') + Block(0x00070008, 9, 0x10000));
    auto info = ReadFixedFileInfo(path);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->dwFileVersionMS, 0x00070008u);
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
