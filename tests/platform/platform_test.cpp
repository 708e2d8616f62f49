#include "platform/dynamic_library.h"
#include "platform/host_addresses.h"
#include "platform/process.h"
#include "platform/program_path.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace orvanta::platform {
namespace {

using Args = std::vector<std::string>;

TEST(SplitParametersTest, QuotesAndBackslashesFollowTheWindowsRules) {
    EXPECT_EQ(SplitParameters(""), Args{});
    EXPECT_EQ(SplitParameters("  a  b\tc "), (Args{"a", "b", "c"}));
    EXPECT_EQ(SplitParameters("/S \"C:\\Program Files\\x\" /v"),
              (Args{"/S", "C:\\Program Files\\x", "/v"}));
    EXPECT_EQ(SplitParameters("a\\\\\"b c\""), (Args{"a\\b c"})) << "2n backslashes, quote groups";
    EXPECT_EQ(SplitParameters("a\\\"b"), (Args{"a\"b"})) << "2n+1 backslashes, literal quote";
    EXPECT_EQ(SplitParameters("a\\b \"\""), (Args{"a\\b", ""})) << "an empty quoted argument";
    EXPECT_EQ(SplitParameters("\"unterminated arg"), (Args{"unterminated arg"}));
}

TEST(ProcessTest, ExitCodesAndSignalsAreReported) {
    pid_t pid = LaunchProcess("/bin/sh", {"-c", "exit 3"});
    ASSERT_GT(pid, 0);
    int code = -1;
    ProcessState state = ProcessState::Running;
    for (int i = 0; i < 5000 && state == ProcessState::Running; ++i) {
        state = PollProcess(pid, &code);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(state, ProcessState::Exited);
    EXPECT_EQ(code, 3);

    pid = LaunchProcess("/bin/sh", {"-c", "kill -TERM $$"});
    ASSERT_GT(pid, 0);
    state = ProcessState::Running;
    for (int i = 0; i < 5000 && state == ProcessState::Running; ++i) {
        state = PollProcess(pid, &code);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(state, ProcessState::Exited);
    EXPECT_EQ(code, 128 + 15);

    EXPECT_EQ(LaunchProcess("/nonexistent/program", {}), -1);
    EXPECT_EQ(LaunchProcess("", {}), -1);
}

TEST(CommandLineTest, ProgramPathIsQuotedAndArgumentsWithSpacesToo) {
    EXPECT_EQ(BuildCommandLine("/opt/o v/ovserver", {}), "\"/opt/o v/ovserver\"");
    EXPECT_EQ(BuildCommandLine("/opt/ovserver", {"/start", "/config:/srv/my station.ini", ""}),
              "\"/opt/ovserver\" /start \"/config:/srv/my station.ini\" \"\"");
}

}  // namespace
}  // namespace orvanta::platform
