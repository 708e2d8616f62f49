#include "support/thread.h"

#include "support/exception.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <semaphore.h>
#include <string>
#include <thread>

namespace orvanta {
namespace {

using namespace std::chrono_literals;

// Loops until stopped, counting its turns, and clears the running flag on its way out.
class CountingThread : public LThread {
public:
    ~CountingThread() override { Stop(); }
    std::atomic<int> turns{0};

protected:
    unsigned Run() override {
        while (IsRunning()) {
            ++turns;
            std::this_thread::sleep_for(1ms);
        }
        ClearRunning();
        return 7;
    }
};

// Ends by itself after a few turns.
class ShortThread : public LThread {
public:
    ~ShortThread() override { Stop(); }

protected:
    unsigned Run() override {
        std::this_thread::sleep_for(5ms);
        ClearRunning();
        return 3;
    }
};

using test::WaitUntil;

TEST(ThreadTest, StopEndsALoopingRunAndKeepsItsResult) {
    CountingThread thread;
    thread.Start();
    EXPECT_TRUE(thread.IsRunning()) << "running at once, even before the thread ran";
    ASSERT_TRUE(WaitUntil([&] { return thread.turns.load() > 2; }, 5000));
    thread.Stop();
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_FALSE(thread.HasThread());
    EXPECT_EQ(thread.ExitCode(), 7u);
    const int turns = thread.turns.load();
    std::this_thread::sleep_for(10ms);
    EXPECT_EQ(thread.turns.load(), turns) << "the loop went on after Stop";
}

TEST(ThreadTest, ARunThatEndsByItselfReadsAsNotRunningAndCanBeStartedAgain) {
    ShortThread thread;
    thread.Start();
    ASSERT_TRUE(WaitUntil([&] { return !thread.IsRunning(); }, 5000));
    EXPECT_TRUE(thread.HasThread()) << "the handle is kept until Stop";
    EXPECT_EQ(thread.ExitCode(), 3u);
    thread.Stop();
    EXPECT_FALSE(thread.HasThread());

    thread.Start();
    EXPECT_TRUE(thread.IsRunning());
    thread.Stop();
}

TEST(MonitorTest, NamedMonitorsOfOneNameShareTheirMutex) {
    const std::string name = "orvanta-test-" + std::to_string(::getpid());
    {
        LMonitor first(name.c_str());
        LMonitor second(name.c_str());
        first.Lock();
        std::atomic<bool> acquired{false};
        std::thread other([&] {
            second.Lock();
            acquired = true;
            second.Unlock();
        });
        std::this_thread::sleep_for(20ms);
        EXPECT_FALSE(acquired.load()) << "the second holder got in while the first held it";
        first.Unlock();
        other.join();
        EXPECT_TRUE(acquired.load());
    }
    ::sem_unlink(("/" + name).c_str());
}

}  // namespace
}  // namespace orvanta
