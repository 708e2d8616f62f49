// Drives the real ovserver executable and the real crash-report test module.
#include "app/server_context.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace orvanta {
namespace {

using namespace std::chrono_literals;

const std::string kProgram = std::string(ORV_PROGRAM_DIR) + "/ovserver";

struct Child {
    pid_t pid = -1;
    std::string out;  // files receiving standard output and error
    std::string err;
};

Child Spawn(const test::TempDir& dir, const std::vector<std::string>& args) {
    Child child;
    child.out = dir.File("stdout");
    child.err = dir.File("stderr");
    std::vector<char*> argv{const_cast<char*>(kProgram.c_str())};
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, child.out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, child.err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawn(&child.pid, kProgram.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        child.pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return child;
}

// Waits at most ten seconds for the child to end; kills it (by its pid) if it does not.
int WaitExit(pid_t pid) {
    for (int i = 0; i < 1000; ++i) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(10ms);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return -1;
}

std::string ExpectedVersion() {
    return std::to_string(ORV_VERSION_MAJOR) + "." + std::to_string(ORV_VERSION_MINOR) + "." +
           std::to_string(ORV_VERSION_PATCH) + "." + std::to_string(ORV_VERSION_TWEAK);
}

TEST(OvserverTest, VersionIsReadFromItsOwnStamp) {
    test::TempDir dir;
    Child child = Spawn(dir, {"--version"});
    ASSERT_GT(child.pid, 0);
    EXPECT_EQ(WaitExit(child.pid), 0);
    EXPECT_EQ(test::ReadFile(child.out), "Orvanta Server " + ExpectedVersion() + "\n");
}

TEST(OvserverTest, UnknownOptionsAreRefusedWithUsage) {
    test::TempDir dir;
    Child child = Spawn(dir, {"--headles"});
    ASSERT_GT(child.pid, 0);
    EXPECT_EQ(WaitExit(child.pid), 2);
    const std::string err = test::ReadFile(child.err);
    EXPECT_NE(err.find("unknown option --headles"), std::string::npos) << err;
    EXPECT_NE(err.find("Usage:"), std::string::npos);
}

TEST(OvserverTest, HeadlessRunsUntilTerminatedAndExitsCleanly) {
    for (int stopSignal : {SIGTERM, SIGINT}) {
        test::TempDir dir;
        const std::string ini = dir.File("station one.ini");
        Child child = Spawn(dir, {"--headless", "/start", "/config:" + ini});
        ASSERT_GT(child.pid, 0);
        std::string out;
        for (int i = 0; i < 1000 && out.find("running") == std::string::npos; ++i) {
            std::this_thread::sleep_for(10ms);
            out = test::ReadFile(child.out);
        }
        EXPECT_NE(out.find("Orvanta Server " + ExpectedVersion() + " running without a window"),
                  std::string::npos)
            << out;
        EXPECT_NE(out.find("configuration: " + ini + ", start requested"), std::string::npos)
            << out;
        ASSERT_EQ(::kill(child.pid, stopSignal), 0);
        EXPECT_EQ(WaitExit(child.pid), 0);
        EXPECT_NE(test::ReadFile(child.out).find("Stopping ("), std::string::npos);
        EXPECT_EQ(test::ReadFile(child.err), "") << "nothing went wrong, nothing to report";
    }
}

class CrashReporterTest : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("ORV_FIXTURE_LOG", m_log.c_str(), 1); }
    void TearDown() override { ::unsetenv("ORV_FIXTURE_LOG"); }
    test::TempDir m_dir;
    std::string m_log = m_dir.File("calls.log");
};

TEST_F(CrashReporterTest, IsSetUpOnceAtConstructionAndDestroyedLast) {
    {
        CServerContext context(std::string(ORV_FIXTURE_DIR) + "/crash/");
        EXPECT_TRUE(context.HasCrashReporter());
        context.InitInstance();
        EXPECT_EQ(context.config.Password, "mustedit");
    }
    EXPECT_EQ(
        test::ReadLines(m_log),
        (std::vector<std::string>{
            "crash OXCreate",
            std::string("crash SetReportTarget 0 ") + kCrashReportAddress + " Orvanta Error Report",
            "crash AddRegistrySource HKCU\\Software\\KELVO Registry", "crash Destroy 1"}));
}

TEST_F(CrashReporterTest, AMissingOrRefusingModuleMeansNoCrashReporting) {
    CServerContext without(m_dir.Folder());
    EXPECT_FALSE(without.HasCrashReporter());

    ::setenv("ORV_FIXTURE_FACTORY_NULL", "1", 1);
    CServerContext refused(std::string(ORV_FIXTURE_DIR) + "/crash/");
    ::unsetenv("ORV_FIXTURE_FACTORY_NULL");
    EXPECT_FALSE(refused.HasCrashReporter());
    EXPECT_EQ(test::ReadLines(m_log), std::vector<std::string>{"crash OXCreate null"});
}

}  // namespace
}  // namespace orvanta
