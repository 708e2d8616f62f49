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

TEST(CommandLineTest, ProgramPathIsQuotedAndArgumentsWithSpacesToo) {
    EXPECT_EQ(BuildCommandLine("/opt/o v/ovserver", {}), "\"/opt/o v/ovserver\"");
    EXPECT_EQ(BuildCommandLine("/opt/ovserver", {"/start", "/config:/srv/my station.ini", ""}),
              "\"/opt/ovserver\" /start \"/config:/srv/my station.ini\" \"\"");
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

TEST(DynamicLibraryTest, BareNamesResolveInTheProgramFolderFirst) {
    const std::string program = ProgramPath();
    const std::string folder = program.substr(0, program.rfind('/') + 1);
    EXPECT_EQ(ResolveLibraryPath("fixture_plugin.so"), folder + "fixture_plugin.so");
    EXPECT_EQ(ResolveLibraryPath("libc.so.6"), "libc.so.6") << "not here: the system looks";
    EXPECT_EQ(ResolveLibraryPath("/abs/x.so"), "/abs/x.so");

    DynamicLibrary library;
    ASSERT_TRUE(library.Open("fixture_plugin.so")) << library.Error();
    EXPECT_NE(library.Symbol("OPluginCreate"), nullptr);
    EXPECT_EQ(library.Symbol("FixtureNotExported"), nullptr);
    DynamicLibrary moved = std::move(library);
    EXPECT_FALSE(library.IsOpen());
    EXPECT_TRUE(moved.IsOpen());
    EXPECT_FALSE(moved.Open("no-such-library.so"));
    EXPECT_FALSE(moved.IsOpen());
    EXPECT_FALSE(moved.Error().empty());
}

TEST(HostAddressesTest, NamesResolveToIPv4InResolverOrder) {
    EXPECT_EQ(ResolveIPv4("127.0.0.2"), std::vector<std::string>{"127.0.0.2"});
    const auto local = ResolveIPv4("localhost");
    EXPECT_NE(std::find(local.begin(), local.end(), "127.0.0.1"), local.end());
}

}  // namespace
}  // namespace orvanta::platform
