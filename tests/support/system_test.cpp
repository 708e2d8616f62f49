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

}  // namespace
}  // namespace orvanta
