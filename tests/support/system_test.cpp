#include "support/system.h"

#include "platform/process.h"
#include "platform/program_path.h"
#include "test_util.h"

#include <gtest/gtest.h>

namespace orvanta {
namespace {

TEST(ShellExecuteTest, WaitingGivesTheExitCodeOfAProgramThatRan) {
    test::TempDir dir;
    int exitCode = -1;
    // The script writes each argument on a line of its own, as the program would split them.
    // (The window served while waiting is checked with the console's updater run.)
    ASSERT_TRUE(ShellExecuteAndWait({}, "/bin/sh",
                                    "-c \"sleep 0.1; for a in \\\"$@\\\"; do echo \\\"[$a]\\\"; "
                                    "done > " +
                                        dir.File("args") + "; exit 7\" x \"two words\" plain",
                                    true, &exitCode));
    EXPECT_EQ(exitCode, 7);
    EXPECT_EQ(test::ReadLines(dir.File("args")),
              (std::vector<std::string>{"[two words]", "[plain]"}));

    ASSERT_TRUE(ShellExecuteAndWait({}, "/bin/sh", "-c \"kill -TERM $$\"", true, &exitCode));
    EXPECT_EQ(exitCode, 128 + 15) << "a signal";
    exitCode = -1;
    EXPECT_FALSE(ShellExecuteAndWait({}, "/nonexistent/orvUpdate", "", true, &exitCode));
    EXPECT_EQ(exitCode, -1) << "the exit code is stored only for a program that ran";
    EXPECT_FALSE(ShellExecuteAndWait({}, "/nonexistent/orvUpdate", "", false));
}

// The console's own command line, read back by the same rules.
TEST(ShellExecuteTest, ACommandLineSplitsBackIntoItsArguments) {
    const std::vector<std::string> args = {"/start", "/config:/srv/my station.ini", ""};
    const std::string line = platform::BuildCommandLine("/opt/o v/ovserver", args);
    EXPECT_EQ(line, "\"/opt/o v/ovserver\" /start \"/config:/srv/my station.ini\" \"\"");
    std::vector<std::string> split = platform::SplitParameters(line);
    EXPECT_EQ(split.front(), "/opt/o v/ovserver");
    EXPECT_EQ(std::vector<std::string>(split.begin() + 1, split.end()), args);
}

}  // namespace
}  // namespace orvanta
