#include "platform/version_stamp.h"

#include "platform/program_path.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <string>

namespace orvanta::platform {
namespace {

TEST(VersionStampTest, OurOwnExecutableCarriesTheProjectVersion) {
    auto info = ReadFixedFileInfo(ProgramPath());
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->dwFileVersionMS, ORVANTA_VERSION_WORD(ORV_VERSION_MAJOR, ORV_VERSION_MINOR));
    EXPECT_EQ(info->dwFileVersionLS, ORVANTA_VERSION_WORD(ORV_VERSION_PATCH, ORV_VERSION_TWEAK));
    EXPECT_EQ(info->dwFileType, ORVANTA_VFT_APP);
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
