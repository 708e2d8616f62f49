#include "engine/log.h"

#include "test_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <iomanip>
#include <poll.h>
#include <regex>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace orvanta::engine {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Runs `work` on a thread; false when it did not end within two seconds. `unblock` runs then
// either way, so that work stuck on a stalled file fails the test instead of hanging it.
template <typename Work, typename Unblock>
bool EndsPromptly(Work work, Unblock unblock) {
    std::atomic<bool> ended{false};
    std::thread thread([&] {
        work();
        ended = true;
    });
    const bool prompt = test::WaitUntil([&] { return ended.load(); }, 2000);
    unblock();
    thread.join();
    return prompt;
}

bool Contains(const std::string& path, const std::string& text) {
    return test::ReadFile(path).find(text) != std::string::npos;
}

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// A named pipe as the log file, with a reader that reads only when told: the writer stalls
// like on a hung disk once the pipe is full.
class StalledFile {
public:
    explicit StalledFile(const std::string& path) {
        if (::mkfifo(path.c_str(), 0600) == 0) {
            m_reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
        }
    }
    ~StalledFile() { ::close(m_reader); }
    bool Ok() const { return m_reader >= 0; }

    // Everything until the writer closes its end; false when it did not within two seconds.
    bool ReadToEnd(std::string& out) {
        const auto deadline = Clock::now() + 2s;
        char buffer[65536];
        while (Clock::now() < deadline) {
            pollfd ready{m_reader, POLLIN, 0};
            ::poll(&ready, 1, 50);
            const ssize_t n = ::read(m_reader, buffer, sizeof buffer);
            if (n == 0) {
                return true;
            }
            if (n > 0) {
                out.append(buffer, static_cast<size_t>(n));
            }
        }
        return false;
    }

private:
    int m_reader = -1;
};

TEST(LogSafeTest, BlanksControlCharactersAndCutsOnACharacterBoundary) {
    EXPECT_EQ(LogSafe("Song\r\nX-Fake: 1\t\x1b[31m\x7f"), "Song  X-Fake: 1  [31m ");
    EXPECT_EQ(LogSafe("Grüße – Ørsted"), "Grüße – Ørsted") << "bytes above 0x7F are text";
    const std::string straddling = std::string(1023, 'a') + "\xc3\xa9" + "tail";
    EXPECT_EQ(LogSafe(straddling), std::string(1023, 'a'));
    EXPECT_EQ(LogSafe(std::string(5000, 'x')).size(), kMaxLogTextBytes);
}

TEST(EventLogTest, WritesTimestampedLinesInOrderIntoACreatedFolderAndSwitchesFiles) {
    test::TempDir dir;
    const std::string folder = dir.File("logs/engine");
    EventLog log;
    log.Open(folder, "events.log");
    EXPECT_TRUE(log.IsOpen());
    for (int i = 0; i < 200; ++i) {
        log.Write("event " + std::to_string(i));
    }
    log.Write("agent\r\nInjected: yes\x01");
    log.Open(folder + "/", "other.log");
    log.Write("in the other file");
    log.Close();
    EXPECT_FALSE(log.IsOpen());

    const auto lines = test::ReadLines(folder + "/events.log");
    ASSERT_EQ(lines.size(), 201u);
    const std::regex stamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d (.*))");
    for (size_t i = 0; i < 200; ++i) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(lines[i], match, stamped)) << lines[i];
        EXPECT_EQ(match[1], "event " + std::to_string(i));
    }
    EXPECT_EQ(lines[200].substr(20), "agent  Injected: yes ");
    std::tm stamp{};
    std::istringstream(lines[0]) >> std::get_time(&stamp, "%Y-%m-%d %H:%M:%S");
    stamp.tm_isdst = -1;
    EXPECT_LE(std::abs(std::difftime(std::mktime(&stamp), std::time(nullptr))), 5.0)
        << "local time, now";

    const auto other = test::ReadLines(folder + "/other.log");
    ASSERT_EQ(other.size(), 1u);
    EXPECT_EQ(other[0].substr(20), "in the other file");
    EXPECT_EQ(log.DroppedLines(), 0u);
}

TEST(EventLogTest, WritesNothingWhileOff) {
    test::TempDir dir;
    EventLog log;
    log.Write("never opened");
    log.Open(dir.File("unnamed"), "");
    log.Open("", "orvanta-log-test-no-folder.log");
    log.Write("no name, no folder");
    EXPECT_FALSE(log.IsOpen());

    log.Open(dir.Path(), "events.log");
    log.Write("on");
    log.Open("", "");
    log.Write("turned off");
    log.Close();
    log.Write("closed");

    EXPECT_FALSE(std::filesystem::exists(dir.File("unnamed")));
    EXPECT_FALSE(std::filesystem::exists("orvanta-log-test-no-folder.log"));
    const auto lines = test::ReadLines(dir.File("events.log"));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(20), "on");
    EXPECT_EQ(log.DroppedLines(), 0u) << "lines while off are not losses";
}

TEST(EventLogTest, FollowsTheFileWhenItIsMovedOrDeleted) {
    test::TempDir dir;
    const std::string path = dir.File("events.log");
    EventLog log;
    log.Open(dir.Path(), "events.log");
    log.Write("first");
    ASSERT_TRUE(test::WaitUntil([&] { return Contains(path, "first"); }));
    // Rotation: moved away, and a fresh file created in its place.
    std::filesystem::rename(path, dir.File("events.log.1"));
    test::WriteFile(path, "");
    log.Write("second");
    ASSERT_TRUE(test::WaitUntil([&] { return Contains(path, "second"); }));
    std::filesystem::remove(path);
    log.Write("third");
    ASSERT_TRUE(test::WaitUntil([&] { return Contains(path, "third"); }));
    log.Close();

    const auto moved = test::ReadLines(dir.File("events.log.1"));
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(moved[0].substr(20), "first");
    const auto current = test::ReadLines(path);
    ASSERT_EQ(current.size(), 1u);
    EXPECT_EQ(current[0].substr(20), "third");
}

TEST(EventLogTest, DropsLinesWhenTheQueueIsFullAndTheNextLineSaysHowMany) {
    test::TempDir dir;
    StalledFile file(dir.File("events.log"));
    ASSERT_TRUE(file.Ok());
    EventLog log(100);
    log.Open(dir.Path(), "events.log");
    const int kLines = 100000;
    std::string received;
    std::thread reader;
    EXPECT_TRUE(EndsPromptly(
        [&] {
            for (int i = 0; i < kLines; ++i) {
                log.Write("line " + std::to_string(i));
            }
        },
        [&] { reader = std::thread([&] { EXPECT_TRUE(file.ReadToEnd(received)); }); }))
        << "Write waited for the stalled file";
    EXPECT_GT(log.DroppedLines(), 0u);

    // Once the writer caught up, a line is queued again.
    int afterWrites = 0;
    EXPECT_TRUE(test::WaitUntil([&] {
        const uint64_t before = log.DroppedLines();
        log.Write("after");
        ++afterWrites;
        return log.DroppedLines() == before;
    }));
    log.Close();
    reader.join();

    const std::regex notice(R"(log: (\d+) lines dropped)");
    uint64_t told = 0;
    int delivered = 0;
    int previous = -1;
    const auto lines = Split(received);
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string text = lines[i].substr(20);
        std::smatch match;
        if (std::regex_match(text, match, notice)) {
            told += std::stoull(match[1]);
        } else if (text == "after") {
            ++delivered;
            ASSERT_GT(i, 0u);
            EXPECT_TRUE(std::regex_match(lines[i - 1].substr(20), notice)) << "told before it";
        } else {
            const int number = std::stoi(text.substr(5));
            EXPECT_GT(number, previous) << "in order";
            previous = number;
            ++delivered;
        }
    }
    EXPECT_EQ(told, log.DroppedLines());
    EXPECT_EQ(static_cast<uint64_t>(delivered) + told, static_cast<uint64_t>(kLines + afterWrites));
}

TEST(EventLogTest, CountsLinesItCannotWriteAndRetriesOpening) {
    test::TempDir dir;
    const std::string folder = dir.File("taken");
    test::WriteFile(folder, "a file where the folder should be");
    EventLog log;
    log.Open(folder, "events.log");
    EXPECT_TRUE(log.IsOpen());
    for (int i = 0; i < 100; ++i) {
        log.Write("lost");
    }
    EXPECT_TRUE(test::WaitUntil([&] { return log.DroppedLines() == 100; }));

    std::filesystem::remove(folder);
    EXPECT_TRUE(test::WaitUntil([&] {
        log.Write("back");
        return Contains(folder + "/events.log", "back");
    }));
    log.Close();
    const auto lines = test::ReadLines(folder + "/events.log");
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(20), "log: " + std::to_string(log.DroppedLines()) + " lines dropped");
    EXPECT_EQ(lines[1].substr(20), "back");
}

TEST(EventLogTest, CloseReturnsPromptlyWhenTheWriterIsStuck) {
    test::TempDir dir;
    StalledFile file(dir.File("events.log"));
    ASSERT_TRUE(file.Ok());
    EventLog log(1000);
    log.Open(dir.Path(), "events.log");
    std::string received;
    bool readToEnd = false;
    EXPECT_TRUE(EndsPromptly(
        [&] {
            for (int i = 0; i < 5000; ++i) {
                log.Write(std::string(200, 'x'));
            }
            log.Close();
        },
        // The left-behind writer ends once its write returns, closing its end of the pipe.
        [&] { readToEnd = file.ReadToEnd(received); }));
    EXPECT_TRUE(readToEnd);
    EXPECT_GT(log.DroppedLines(), 0u);

    log.Open(dir.Path(), "next.log");
    log.Write("again");
    log.Close();
    EXPECT_TRUE(Contains(dir.File("next.log"), "again"));
}

}  // namespace
}  // namespace orvanta::engine
