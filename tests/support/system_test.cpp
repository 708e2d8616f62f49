#include "support/system.h"

#include "platform/modifier_keys.h"
#include "support/file_version.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <regex>

namespace orvanta {
namespace {

TEST(ShellExecuteTest, WaitingPumpsAndReturnsTheExitCode) {
    int pumps = 0;
    int exitCode = -1;
    ASSERT_TRUE(ShellExecuteAndWait([&] { ++pumps; }, "/bin/sh", "-c \"sleep 0.1; exit 7\"", true,
                                    &exitCode));
    EXPECT_EQ(exitCode, 7);
    EXPECT_GT(pumps, 0) << "the user interface was not served while waiting";
}

TEST(ShellExecuteTest, ParametersArriveAsTheProgramWouldSplitThem) {
    test::TempDir dir;
    const std::string out = dir.File("args");
    // The script writes each argument on a line of its own.
    ASSERT_TRUE(ShellExecuteAndWait({}, "/bin/sh",
                                    "-c \"for a in \\\"$@\\\"; do echo \\\"[$a]\\\"; done > " +
                                        out + "\" x \"two words\" plain",
                                    true));
    EXPECT_EQ(test::ReadLines(out), (std::vector<std::string>{"[two words]", "[plain]"}));
}

TEST(ShellExecuteTest, AMissingProgramFails) {
    int exitCode = -1;
    EXPECT_FALSE(ShellExecuteAndWait({}, "/nonexistent/orvUpdate", "", true, &exitCode));
    EXPECT_EQ(exitCode, -1) << "the exit code is stored only for a program that ran";
    EXPECT_FALSE(ShellExecuteAndWait({}, "/nonexistent/orvUpdate", "", false));
}

TEST(SystemTest, ModifierKeysComeFromTheInstalledQuery) {
    EXPECT_EQ(GetModifierKeys(), 0u) << "headless: no key is down";
    platform::SetModifierKeysQuery([] { return kModifierKeyCtrl | kModifierKeyShift | 0x80u; });
    EXPECT_EQ(GetModifierKeys(), kModifierKeyCtrl | kModifierKeyShift);
    platform::SetModifierKeysQuery({});
    EXPECT_EQ(GetModifierKeys(), 0u);
}

TEST(SystemTest, LocalAddressesAreDottedQuads) {
    const std::regex quad(R"(\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3})");
    for (const std::string& address : GetLocalAddresses()) {
        EXPECT_TRUE(std::regex_match(address, quad)) << address;
    }
}

TEST(FileVersionTest, StampedModulesCarryTheProjectVersion) {
    const std::string module = std::string(ORV_FIXTURE_DIR) + "/fixture_service.so";
    const uint64_t expected = (uint64_t{ORV_VERSION_MAJOR} << 48) |
                              (uint64_t{ORV_VERSION_MINOR} << 32) |
                              (uint64_t{ORV_VERSION_PATCH} << 16) | uint64_t{ORV_VERSION_TWEAK};
    EXPECT_EQ(GetFileVersion(module), expected);
    EXPECT_EQ(GetFileVersionMajorMinor(module), expected & 0xFFFFFFFF00000000ull);
    EXPECT_EQ(FormatFileVersion(module),
              std::to_string(ORV_VERSION_MAJOR) + "." + std::to_string(ORV_VERSION_MINOR) + "." +
                  std::to_string(ORV_VERSION_PATCH) + "." + std::to_string(ORV_VERSION_TWEAK));
    uint16_t major = 9, minor = 9, build = 9, revision = 9;
    SplitFileVersion(module, &major, &minor, &build, &revision);
    EXPECT_EQ(major, ORV_VERSION_MAJOR);
    EXPECT_EQ(revision, ORV_VERSION_TWEAK);
}

TEST(FileVersionTest, FilesWithoutAStampAreVersionZero) {
    test::TempDir dir;
    test::WriteFile(dir.File("plain.txt"), "no version here");
    EXPECT_EQ(GetFileVersion(dir.File("plain.txt")), 0u);
    EXPECT_EQ(GetFileVersion(dir.File("missing")), 0u);
    EXPECT_EQ(GetFileVersion("/bin/true"), 0u) << "an ELF file without our section";
    EXPECT_EQ(FormatFileVersion(dir.File("missing")), "0.0.0.0");
}

}  // namespace
}  // namespace orvanta
