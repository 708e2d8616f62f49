// The statistics store on real SQLite files in a temporary folder: what reports read back,
// the file's shape over versions, and what the store does when the disk lets it down.
#include "stats/stats_store.h"

#include "stats/stats_reader.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <mutex>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orvanta::engine {
namespace {

using namespace std::chrono_literals;
using test::WaitUntil;

constexpr StatsTime kHour = 3600;
constexpr StatsTime kDay = 24 * kHour;

// The store's log lines, gathered from its writer thread.
class LogLines {
public:
    std::function<void(const std::string&)> Sink() {
        return [this](const std::string& line) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lines.push_back(line);
        };
    }
    // Lines holding `text`.
    size_t Count(const std::string& text) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<size_t>(std::count_if(
            m_lines.begin(), m_lines.end(),
            [&](const std::string& line) { return line.find(text) != std::string::npos; }));
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

ListenerSessionRecord Session(StatsTime start, StatsTime end, const std::string& address,
                              ListenerKind kind = ListenerKind::Stream) {
    ListenerSessionRecord record;
    record.start = start;
    record.end = end;
    record.bytes = static_cast<uint64_t>(end - start) * 16000;
    record.kind = kind;
    record.player = "vlc";
    record.address = address;
    return record;
}

// One value of the file, read with a connection of the test's own.
std::string Scalar(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    std::string value = "(error)";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK &&
            sqlite3_step(s) == SQLITE_ROW) {
            const unsigned char* text = sqlite3_column_text(s, 0);
            value = text != nullptr ? reinterpret_cast<const char*>(text) : "(null)";
        }
        sqlite3_finalize(s);
    }
    sqlite3_close_v2(db);
    return value;
}

class StatsStoreTest : public ::testing::Test {
protected:
    StatsStore::Options Options() {
        StatsStore::Options options;
        options.folder = m_dir.Path();
        options.log = m_log.Sink();
        options.retryInterval = 50ms;
        return options;
    }
    std::string Path() const { return StatsStore::FilePathIn(m_dir.Path()); }
    // Sessions that began in [from, to), once the writer has committed `count` of them.
    bool WaitForSessions(int64_t count, StatsTime from = 0, StatsTime to = INT64_MAX) {
        StatsReader reader(Path());
        return WaitUntil(
            [&] {
                const auto summary = reader.Listening(from, to);
                return summary && summary->sessions == count;
            },
            5000);
    }

    test::TempDir m_dir;
    LogLines m_log;
};

TEST_F(StatsStoreTest, KnownSessionsGiveExactHoursCountsAndLengths) {
    const StatsTime t = StatsNow() - 2 * kHour;
    {
        StatsStore store(Options());
        store.Record(Session(t, t + 600, "192.0.2.10"));
        store.Record(Session(t + 100, t + 400, "192.0.2.77"));  // the same /24
        store.Record(Session(t + 200, t + 1400, "2001:db8:1:2::5", ListenerKind::Hls));
        store.Record(Session(t + 300, t + 360, "::ffff:198.51.100.1", ListenerKind::Icy));
        // Began before the range: its hours inside count, the session does not.
        store.Record(Session(t - 300, t + 300, "203.0.113.9"));
        // Another server: not a listener.
        store.Record(Session(t, t + 3000, "203.0.113.50", ListenerKind::Relay));
        // After the range.
        store.Record(Session(t + kHour, t + kHour + 50, "192.0.2.10"));
    }
    StatsReader reader(Path());
    std::string problem;
    const auto summary = reader.Listening(t, t + kHour, &problem);
    ASSERT_TRUE(summary) << problem;
    EXPECT_EQ(summary->sessions, 4);
    EXPECT_EQ(summary->uniqueListeners, 3) << "addresses are kept as networks";
    EXPECT_DOUBLE_EQ(summary->hours, (600 + 300 + 1200 + 60 + 300) / 3600.0);
    EXPECT_DOUBLE_EQ(summary->averageSeconds, (600 + 300 + 1200 + 60) / 4.0);
    EXPECT_DOUBLE_EQ(summary->medianSeconds, (300 + 600) / 2.0);
    const auto odd = reader.Listening(t + 1, t + kHour);
    ASSERT_TRUE(odd);
    EXPECT_DOUBLE_EQ(odd->medianSeconds, 300) << "of 60, 300 and 1200";
    const auto none = reader.Listening(t + 5 * kHour, t + 6 * kHour);
    ASSERT_TRUE(none);
    EXPECT_EQ(none->sessions, 0);
    EXPECT_EQ(none->hours, 0);

    EXPECT_EQ(Scalar(Path(),
                     "SELECT group_concat(address, ' ') FROM (SELECT address FROM "
                     "listener_sessions ORDER BY id LIMIT 4)"),
              "192.0.2.0 192.0.2.0 2001:db8:1:: 198.51.100.0");
    EXPECT_EQ(Scalar(Path(),
                     "SELECT kind || ' ' || seconds || ' ' || bytes || ' ' || player "
                     "FROM listener_sessions WHERE id = 3"),
              "hls 1200 19200000 vlc");

    // Whole addresses when the operator asks for them.
    StatsStore::Options whole = Options();
    whole.fullAddresses = true;
    {
        StatsStore store(whole);
        store.Record(Session(t, t + 5, "192.0.2.10"));
    }
    EXPECT_EQ(Scalar(Path(), "SELECT address FROM listener_sessions ORDER BY id DESC LIMIT 1"),
              "192.0.2.10");
}

// The country comes from the address as it came, before the store cuts it to its network.
TEST_F(StatsStoreTest, CountriesAreLookedUpInTheWholeAddressAndUnknownOnesAreNull) {
    const StatsTime t = StatsNow() - kHour;
    StatsStore::Options options = Options();
    options.countryOf = [](const std::string& address) {
        return address == "192.0.2.10" ? "NZ" : "";
    };
    {
        StatsStore store(options);
        store.Record(Session(t, t + 60, "192.0.2.10"));
        store.Record(Session(t, t + 60, "192.0.2.0"));
        store.Record(Session(t, t + 60, "198.51.100.1"));
    }
    EXPECT_EQ(Scalar(Path(),
                     "SELECT group_concat(address || '=' || ifnull(country, 'NULL'), ' ') FROM "
                     "(SELECT address, country FROM listener_sessions ORDER BY id)"),
              "192.0.2.0=NZ 192.0.2.0=NULL 198.51.100.0=NULL");
}

TEST_F(StatsStoreTest, TheFileIsPrivateVersionedAndKeepsItsRowsOverARestart) {
    const StatsTime now = StatsNow();
    {
        StatsStore store(Options());
        store.Record(Session(now - 60, now, "192.0.2.1"));
        TitleRecord title{now - 200, now - 10, "Blue in Green", 3, 5, 7};
        store.Record(title);
        SourceConnectionRecord source{now - 900,    now, "127.0.0.1", "butt 0.1.37",
                                      "audio/mpeg", 128, "left"};
        store.Record(source);
        MinuteSample sample{now / 60 * 60, 2, 1, 3, 0, 123456, true, "live"};
        store.RecordSample(sample);
        store.RecordSample(sample);  // the same minute again replaces it
    }
    struct stat info {};
    ASSERT_EQ(::stat(Path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "it holds listeners' addresses";
    StatsReader reader(Path());
    EXPECT_EQ(reader.SchemaVersion(), static_cast<int>(StatsSchema().size()));

    { StatsStore again(Options()); }
    EXPECT_TRUE(WaitForSessions(1));
    EXPECT_EQ(Scalar(Path(),
                     "SELECT title || ' ' || listeners_at_start || ' ' || "
                     "listeners_at_end || ' ' || peak_listeners FROM titles"),
              "Blue in Green 3 5 7");
    EXPECT_EQ(Scalar(Path(),
                     "SELECT user_agent || ' ' || format || ' ' || bitrate || ' ' || "
                     "end_reason FROM source_connections"),
              "butt 0.1.37 audio/mpeg 128 left");
    EXPECT_EQ(Scalar(Path(),
                     "SELECT count(*) || ' ' || hls || ' ' || bytes_out || ' ' || feed "
                     "FROM minute_samples"),
              "1 3 123456 live");
}

TEST_F(StatsStoreTest, AnOlderFileIsBroughtForwardStepByStepAndAFailedStepChangesNothing) {
    const StatsSchemaStep first[] = {{"CREATE TABLE a (x INTEGER); INSERT INTO a VALUES (7);"}};
    const StatsSchemaStep second[] = {first[0], {"ALTER TABLE a ADD COLUMN y TEXT DEFAULT 'b';"}};
    const StatsSchemaStep broken[] = {
        first[0], second[1], {"CREATE TABLE c (z); INSERT INTO nowhere VALUES (1);"}};
    StatsStore::Options options = Options();
    options.schema = first;
    { StatsStore store(options); }
    EXPECT_EQ(Scalar(Path(), "PRAGMA user_version"), "1");

    options.schema = second;
    { StatsStore store(options); }
    EXPECT_EQ(Scalar(Path(), "PRAGMA user_version"), "2");
    EXPECT_EQ(Scalar(Path(), "SELECT x || y FROM a"), "7b") << "the first step ran once";

    options.schema = broken;
    { StatsStore store(options); }
    EXPECT_EQ(Scalar(Path(), "PRAGMA user_version"), "2");
    EXPECT_EQ(Scalar(Path(), "SELECT count(*) FROM sqlite_master WHERE name = 'c'"), "0");
    EXPECT_EQ(m_log.Count("to schema 3 failed"), 1u);

    // A file of a later version is left alone.
    options.schema = first;
    { StatsStore store(options); }
    EXPECT_EQ(Scalar(Path(), "PRAGMA user_version"), "2");
    EXPECT_EQ(m_log.Count("later version"), 1u);
}

TEST_F(StatsStoreTest, ADamagedFileIsMovedAsideAndANewOneStarted) {
    const StatsTime now = StatsNow();
    { StatsStore store(Options()); }
    const std::string garbage(8192, 'x');
    test::WriteFile(Path(), garbage);
    {
        StatsStore store(Options());
        store.Record(Session(now - 30, now, "192.0.2.1"));
        EXPECT_TRUE(WaitForSessions(1));
    }
    EXPECT_EQ(m_log.Count("is damaged"), 1u);
    const std::vector<std::string> aside = test::FilesNamed(m_dir.Path(), "stats.sqlite.corrupt-");
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(test::ReadFile(aside[0]), garbage) << "kept as it was";
}

TEST_F(StatsStoreTest, AFolderThatCannotBeWrittenPausesTheStoreWithOneLineUntilItCan) {
    // A file where the folder should be stops anyone, root included, from creating the store.
    const std::string folder = m_dir.File("state");
    test::WriteFile(folder, "not a folder");
    StatsStore::Options options = Options();
    options.folder = folder;
    StatsStore store(options);
    const StatsTime now = StatsNow();
    for (int i = 0; i < 10; ++i) {
        store.Record(Session(now - 10, now, "192.0.2.1"));
    }
    ASSERT_TRUE(WaitUntil([&] { return m_log.Count("Statistics paused") == 1; }));
    std::this_thread::sleep_for(300ms);  // several retries
    EXPECT_EQ(m_log.Count("Statistics paused"), 1u) << "once, however often it retries";

    std::filesystem::remove(folder);
    std::filesystem::create_directory(folder);
    StatsReader reader(StatsStore::FilePathIn(folder));
    EXPECT_TRUE(WaitUntil(
        [&] {
            const auto summary = reader.Listening(0, INT64_MAX);
            return summary && summary->sessions == 10;
        },
        5000))
        << "what waited is written once the folder can be";
    EXPECT_EQ(m_log.Count("Statistics resumed"), 1u);
}

TEST_F(StatsStoreTest, AFullQueueDropsAndCountsInsteadOfWaitingForAStalledWriter) {
    StatsStore::Options options = Options();
    options.queueLimit = 4;
    auto store = std::make_unique<StatsStore>(options);
    StatsReader reader(Path());
    ASSERT_TRUE(WaitUntil([&] { return reader.SchemaVersion() > 0; }));

    // Another connection holds the file: the writer stalls in its first batch.
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(Path().c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    const StatsTime now = StatsNow();
    auto recording = std::async(std::launch::async, [&] {
        for (int i = 0; i < 100; ++i) {
            store->Record(Session(now - 10, now, "192.0.2.1"));
        }
    });
    if (recording.wait_for(5s) != std::future_status::ready) {
        // Still waiting for room that a stalled writer never makes: nothing can end it.
        std::fprintf(stderr, "Failure: recording waited for the disk\n");
        std::_Exit(1);
    }
    sqlite3_exec(holder, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    EXPECT_GE(store->Dropped(), 100u - 2 * options.queueLimit);
    store.reset();
    // The first drops are logged when the writer sees them, the rest at the close (the next
    // line would come a minute later): never a line per record.
    const size_t lines = m_log.Count("record(s) dropped");
    EXPECT_TRUE(lines == 1 || lines == 2) << lines;
}

TEST_F(StatsStoreTest, RetentionDeletesWhatIsPastKeepingButNeverToday) {
    const StatsTime now = StatsNow();
    const StatsTime old = now - 3 * kDay;
    {
        StatsStore store(Options());
        for (const StatsTime end : {old, now - 5}) {
            store.Record(Session(end - 60, end, "192.0.2.1"));
            store.Record(TitleRecord{end - 60, end, "t", 0, 0, 0});
            store.Record(SourceConnectionRecord{end - 60, end, "", "", "", 0, ""});
            store.RecordSample(MinuteSample{end / 60 * 60, 0, 0, 0, 0, 0, false, ""});
        }
    }
    StatsStore::Options options = Options();
    options.keepDays = 2;
    { StatsStore store(options); }
    for (const char* table :
         {"listener_sessions", "titles", "source_connections", "minute_samples"}) {
        EXPECT_EQ(Scalar(Path(), std::string("SELECT count(*) FROM ") + table), "1") << table;
    }
    EXPECT_EQ(Scalar(Path(), "SELECT ended FROM listener_sessions"), std::to_string(now - 5));
}

TEST_F(StatsStoreTest, WhatWasCommittedSurvivesAnAbruptEnd) {
    const StatsTime now = StatsNow();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // No Close, no destructor: the process just ends, as with kill -9, once the record is
        // in the file for another connection to see.
        auto* store = new StatsStore(Options());
        store->Record(Session(now - 30, now, "192.0.2.1"));
        StatsReader reader(Path());
        const bool seen = WaitUntil(
            [&] {
                const auto summary = reader.Listening(0, INT64_MAX);
                return summary && summary->sessions == 1;
            },
            5000);
        ::_exit(seen ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the record was not committed while the writer ran";
    { StatsStore store(Options()); }
    EXPECT_TRUE(WaitForSessions(1));
}

}  // namespace
}  // namespace orvanta::engine
