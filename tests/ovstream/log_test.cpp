#include "engine/log.h"

#include "test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace orvanta::engine {
namespace {

using namespace std::chrono_literals;

// The lines of a log file without their "YYYY-MM-DD hh:mm:ss " stamps.
std::vector<std::string> Texts(const std::string& path) {
    std::vector<std::string> texts;
    for (const std::string& line : test::ReadLines(path)) {
        texts.push_back(line.substr(20));
    }
    return texts;
}

// The dropped lines that the notices in `text` tell of.
uint64_t Told(const std::string& text) {
    static const std::regex notice(R"(log: (\d+) lines dropped\n)");
    uint64_t told = 0;
    for (std::sregex_iterator it(text.begin(), text.end(), notice), end; it != end; ++it) {
        told += std::stoull((*it)[1]);
    }
    return told;
}

TEST(LogSafeTest, BlanksControlCharactersAndCutsOnACharacterBoundary) {
    EXPECT_EQ(LogSafe("Song\r\nX-Fake: 1\t\x1b[31m\x7f"), "Song  X-Fake: 1  [31m ");
    EXPECT_EQ(LogSafe("Grüße – Ørsted"), "Grüße – Ørsted") << "bytes above 0x7F are text";
    EXPECT_EQ(LogSafe(std::string(5000, 'x')).size(), kMaxLogTextBytes);
}

// One log through its life: off, on in a folder it creates, rotated away and deleted by the
// operator, switched to another file, off again, then on where it cannot write.
TEST(EventLogTest, StampsLinesFollowsTheFileWritesNothingWhileOffAndCountsWhatItLost) {
    test::TempDir dir;
    EventLog log;
    log.Write("never opened");
    const std::string folder = dir.File("logs/engine");
    const std::string path = folder + "/events.log";
    log.Open(folder, "events.log");
    EXPECT_TRUE(log.IsOpen());
    for (int i = 0; i < 200; ++i) {
        log.Write("event " + std::to_string(i));
    }
    log.Write("agent\r\nInjected: yes\x01");
    ASSERT_TRUE(test::WaitForFileText(path, "Injected", 3000));
    std::filesystem::rename(path, path + ".1");
    test::WriteFile(path, "");
    log.Write("second");
    ASSERT_TRUE(test::WaitForFileText(path, "second", 3000));
    std::filesystem::remove(path);
    log.Write("third");
    ASSERT_TRUE(test::WaitForFileText(path, "third", 3000));
    log.Open(folder + "/", "other.log");
    log.Write("in the other file");
    log.Open("", "");
    log.Write("turned off");
    log.Close();
    log.Write("closed");
    EXPECT_FALSE(log.IsOpen());

    const auto lines = test::ReadLines(path + ".1");
    ASSERT_EQ(lines.size(), 201u);
    EXPECT_TRUE(
        std::regex_match(lines[0], std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d event 0)")));
    EXPECT_EQ(lines[199].substr(20), "event 199") << "in order";
    EXPECT_EQ(lines[200].substr(20), "agent  Injected: yes ");
    EXPECT_EQ(Texts(path), std::vector<std::string>{"third"});
    EXPECT_EQ(Texts(folder + "/other.log"), std::vector<std::string>{"in the other file"});
    EXPECT_EQ(log.DroppedLines(), 0u) << "lines while off are not losses";

    // A file where its folder should be: the lines are counted as lost, and once the folder
    // can be made the log comes back and says how many it lost.
    const std::string taken = dir.File("taken");
    test::WriteFile(taken, "a file where the folder should be");
    log.Open(taken, "events.log");
    for (int i = 0; i < 100; ++i) {
        log.Write("lost");
    }
    EXPECT_TRUE(test::WaitUntil([&] { return log.DroppedLines() == 100; }));
    std::filesystem::remove(taken);
    EXPECT_TRUE(test::WaitUntil([&] {
        log.Write("back");
        return test::ReadFile(taken + "/events.log").find("back") != std::string::npos;
    }));
    log.Close();
    const auto texts = Texts(taken + "/events.log");
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[0], "log: " + std::to_string(log.DroppedLines()) + " lines dropped");
    EXPECT_EQ(texts[1], "back");
}

// The log file is a named pipe read only when the test says: a hung disk. Writes and Close
// still return at once, and the drops are told before a line: one that got through, or, for
// the drops after the last of those, the next file's first. (A writer left behind mid-write
// may count part of its batch as lost, so the counts themselves are not compared.)
TEST(EventLogTest, AStalledFileCostsLinesButNeverTime) {
    test::TempDir dir;
    ASSERT_EQ(::mkfifo(dir.File("events.log").c_str(), 0600), 0);
    const int reader = ::open(dir.File("events.log").c_str(), O_RDONLY | O_NONBLOCK);
    EventLog log(100);
    log.Open(dir.Path(), "events.log");
    std::atomic<bool> ended{false};
    std::thread writer([&] {
        for (int i = 0; i < 100000; ++i) {
            log.Write("line " + std::to_string(i));
        }
        log.Close();
        ended = true;
    });
    EXPECT_TRUE(test::WaitUntil([&] { return ended.load(); }, 3000)) << "waited for the file";

    // Read until the writer, left behind by Close, gets its write done and closes the pipe.
    std::string received;
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    ssize_t n = 1;
    while (n != 0 && std::chrono::steady_clock::now() < deadline) {
        pollfd ready{reader, POLLIN, 0};
        ::poll(&ready, 1, 50);
        char buffer[65536];
        n = ::read(reader, buffer, sizeof buffer);
        received.append(buffer, static_cast<size_t>(std::max<ssize_t>(n, 0)));
    }
    ::close(reader);
    writer.join();
    ASSERT_EQ(n, 0) << "the stalled writer never finished";
    EXPECT_NE(received.find(" line 0\n"), std::string::npos);

    log.Open(dir.Path(), "next.log");
    log.Write("again");
    log.Close();
    const std::string next = test::ReadFile(dir.File("next.log"));
    const size_t again = next.find(" again\n");
    ASSERT_NE(again, std::string::npos);
    EXPECT_GT(log.DroppedLines(), 0u);
    EXPECT_GT(Told(received) + Told(next.substr(0, again)), 0u) << next;
}

// What the web console shows: the last lines in memory, oldest first, bounded, also when the file
// cannot be written; nothing from while the log was off.
TEST(EventLogTest, KeepsTheLastLinesInMemoryWhateverTheFile) {
    test::TempDir dir;
    test::WriteFile(dir.File("not-a-folder"), "");
    EventLog log;
    log.Write("while off");
    log.Open(dir.File("not-a-folder"), "events.log");
    const size_t written = kRecentLogLines * 2 + 34;
    for (size_t i = 0; i < written; ++i) {
        log.Write("line " + std::to_string(i) + (i == written - 1 ? "\r\nForged: 1" : ""));
    }
    log.Close();
    log.Write("after close");
    const std::vector<std::string> lines = log.RecentLines();
    ASSERT_EQ(lines.size(), kRecentLogLines);
    EXPECT_EQ(lines.front().substr(20), "line " + std::to_string(written - kRecentLogLines));
    EXPECT_EQ(lines.back().substr(20), "line " + std::to_string(written - 1) + "  Forged: 1");
    EXPECT_TRUE(std::regex_match(lines.back().substr(0, 20),
                                 std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d )")));
    EXPECT_TRUE(std::is_sorted(lines.begin(), lines.end(), [](const auto& a, const auto& b) {
        return std::stoul(a.substr(25)) < std::stoul(b.substr(25));
    })) << "oldest first";
}

}  // namespace
}  // namespace orvanta::engine
