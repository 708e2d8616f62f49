// The listening statistics as a running engine records them: listeners that hang up and
// listeners the server closes, HLS clients (ffmpeg among them), the source and its titles, read
// back from the file; and what a full disk, a read-only folder or a file damaged while the
// station runs do to them (and not to the stream).
#include "base/credentials.h"
#include "engine/engine.h"
#include "ovstream/engine_ports.h"
#include "ovstream/test_client.h"
#include "stats/mmdb_file.h"
#include "stats/stats_reader.h"
#include "stats/stats_store.h"
#include "test_process.h"
#include "test_util.h"
#include "web/listening_report.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <regex>
#include <sched.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <unistd.h>

namespace orvanta::engine {
namespace {

using namespace std::chrono_literals;
using test::Mp3Frames;
using test::TestClient;
using test::WaitUntil;

// The rows of a query, one line each, columns separated by spaces.
std::string Rows(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    std::string out;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK) {
            while (sqlite3_step(s) == SQLITE_ROW) {
                for (int i = 0; i < sqlite3_column_count(s); ++i) {
                    const unsigned char* text = sqlite3_column_text(s, i);
                    out += (i > 0 ? " " : "") +
                           std::string(text != nullptr ? reinterpret_cast<const char*>(text) : "");
                }
                out += "\n";
            }
        }
        sqlite3_finalize(s);
    }
    sqlite3_close_v2(db);
    return out;
}

size_t Occurrences(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

// A small tmpfs of the test's own at `folder`, in a mount namespace of the test process's own so
// nothing outside sees it (root only: Mounted() is false otherwise, with the reason in Why()).
class Tmpfs {
public:
    Tmpfs(const std::string& folder, const std::string& options, unsigned long flags = 0)
        : m_folder(folder) {
        std::filesystem::create_directories(folder);
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            m_why = std::string("a mount namespace of its own needs root: ") + std::strerror(errno);
        } else if (::mount("tmpfs", folder.c_str(), "tmpfs", flags, options.c_str()) != 0) {
            m_why = std::string("mounting a tmpfs: ") + std::strerror(errno);
        } else {
            m_mounted = true;
        }
    }
    ~Tmpfs() {
        if (m_mounted) {
            ::umount2(m_folder.c_str(), MNT_DETACH);
        }
    }
    Tmpfs(const Tmpfs&) = delete;
    Tmpfs& operator=(const Tmpfs&) = delete;

    bool Mounted() const { return m_mounted; }
    const std::string& Why() const { return m_why; }
    // Fills it with `file` until the disk says it is full; whether it did.
    bool Fill(const std::string& file) const {
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const std::string block(64 * 1024, 'f');
        bool full = false;
        for (int i = 0; fd >= 0 && i < 100000 && !full; ++i) {
            full = ::write(fd, block.data(), block.size()) < 0 && errno == ENOSPC;
        }
        // What is left is smaller than a block: the last pages too.
        for (int i = 0; fd >= 0 && i < 100000 && ::write(fd, block.data(), 512) > 0; ++i) {
        }
        ::close(fd);
        return full;
    }

private:
    std::string m_folder;
    std::string m_why;
    bool m_mounted = false;
};

class StatsEngineTest : public test::EngineFixture {
protected:
    std::unique_ptr<TestClient> Listener(const std::string& request, const char* from) {
        auto listener = std::make_unique<TestClient>(m_port, 0, from);
        listener->Send(request);
        listener->ReadUntil("\r\n\r\n");
        return listener;
    }
    std::string Path() const { return StatsStore::FilePathIn(m_dir.Path()); }
    std::string LogText() const { return test::ReadFile(m_dir.File("station.log")); }
    // The engine's log in the test's folder, and a store that retries the disk quickly.
    void LogAndRetryQuickly() {
        m_settings.logEnabled = 1;
        m_settings.logDirectory = m_dir.Path();
        m_settings.logFileName = "station.log";
        m_settings.statsRetryInterval = 100ms;
    }
    // A source on air, a listener from 127.0.0.2 that stays throughout, and Visit() for one
    // from 127.0.0.3 that listens a little and hangs up (a session for the store to write).
    void OnAir() {
        m_source = V1Source("icy-name:Night Owl\r\n\r\n");
        m_source->Send(Mp3Frames(40));
        ASSERT_TRUE(WaitForSource());
        m_stays = Listener("GET /stream HTTP/1.0\r\n\r\n", "127.0.0.2");
    }
    void Visit() {
        auto visitor = Listener("GET /stream HTTP/1.0\r\n\r\n", "127.0.0.3");
        m_source->Send(Mp3Frames(40));
        EXPECT_FALSE(visitor->Read(4096).empty());
    }
    // Whether the listener who stays still gets audio.
    bool StreamFlows() {
        m_source->Send(Mp3Frames(40));
        return m_stays->Read(4096, 3000).size() == 4096;
    }
    // The sessions of the file at `path` once they are `count`.
    bool WaitForSessions(int64_t count, const std::string& path, int timeoutMs = 5000) {
        StatsReader reader(path);
        return WaitUntil(
            [&] {
                const auto summary = reader.Listening(0, INT64_MAX);
                return summary && summary->sessions == count;
            },
            timeoutMs);
    }
    // Listeners from each address in turn, each listening a little and hanging up; true once
    // the store holds a session for every one.
    bool ListenAndLeave(std::initializer_list<const char*> addresses) {
        auto source = V1Source("icy-name:Night Owl\r\n\r\n");
        source->Send(Mp3Frames(40));
        EXPECT_TRUE(WaitForSource());
        for (const char* address : addresses) {
            auto listener = Listener("GET /stream HTTP/1.0\r\n\r\n", address);
            source->Send(Mp3Frames(40));
            EXPECT_FALSE(listener->Read(4096).empty()) << address;
        }
        StatsReader reader(Path());
        return WaitUntil(
            [&] {
                const auto summary = reader.Listening(0, INT64_MAX);
                return summary && summary->sessions == static_cast<int64_t>(addresses.size());
            },
            5000);
    }

    test::TempDir m_dir;
    std::unique_ptr<TestClient> m_source;
    std::unique_ptr<TestClient> m_stays;
};

TEST_F(StatsEngineTest, SessionsEndedByEitherSideHlsClientsSourcesAndTitlesAreRecorded) {
    const std::string token = NewApiToken();
    m_settings.statsFolder = m_dir.Path();
    m_settings.adminApiTokenHash = ApiTokenHash(token);
    m_settings.hlsListenerWindow = 300ms;
    Start();
    auto source = V1Source("icy-name:Night Owl\r\nicy-br:128\r\n\r\n");
    source->Send(Mp3Frames(40));
    ASSERT_TRUE(WaitForSource());
    Get("GET /admin.cgi?pass=hackme&mode=updinfo&song=First%20Song HTTP/1.0\r\n\r\n");

    auto hangsUp =
        Listener("GET /stream HTTP/1.0\r\nUser-Agent: mpg123/1.31.2\r\n\r\n", "127.0.0.2");
    auto kicked = Listener(
        "GET /; HTTP/1.0\r\nIcy-MetaData: 1\r\nUser-Agent: VLC/3.0.18 LibVLC/3.0.18\r\n\r\n",
        "127.0.0.3");
    ASSERT_TRUE(WaitUntil([this] { return m_engine.ListenerCount() == 2; }));
    source->Send(Mp3Frames(500));  // some 13 s of audio: HLS segments too
    EXPECT_FALSE(hangsUp->Read(4096).empty());
    EXPECT_FALSE(kicked->Read(4096).empty());

    // An HLS player: the playlist, one segment.
    std::string playlist;
    ASSERT_TRUE(WaitUntil([&] {
        playlist =
            Get("GET /live.m3u8 HTTP/1.0\r\nUser-Agent: AppleCoreMedia/1.0\r\n\r\n", "127.0.0.4");
        return playlist.find("200 OK") != std::string::npos;
    }));
    const size_t uri = playlist.find("\n", playlist.find("#EXTINF")) + 1;
    const std::string segment = playlist.substr(uri, playlist.find('\n', uri) - uri);
    EXPECT_NE(Get("GET /" + segment + " HTTP/1.0\r\n\r\n", "127.0.0.4").find("200 OK"),
              std::string::npos)
        << segment;

    hangsUp.reset();
    ASSERT_TRUE(WaitUntil([this] { return m_engine.ListenerCount() == 1; }));
    const std::string kick = Get("POST /admin/api/kick HTTP/1.1\r\nAuthorization: Bearer " + token +
                                 "\r\nContent-Length: 4\r\n\r\nid=2");
    EXPECT_NE(kick.find("200 OK"), std::string::npos) << kick;
    EXPECT_TRUE(kicked->WaitClosed(2000));

    // Both listeners and the HLS client while the engine still runs: at their departure, not
    // at the stop.
    StatsReader reader(Path());
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto summary = reader.Listening(0, INT64_MAX);
            return summary && summary->sessions == 3;
        },
        5000));
    EXPECT_EQ(Rows(Path(),
                   "SELECT kind, player, address, tls, bytes > 0 FROM listener_sessions "
                   "ORDER BY kind"),
              "hls ios 127.0.0.0 0 1\n"
              "icy vlc 127.0.0.0 0 1\n"
              "stream mpg123 127.0.0.0 0 1\n");

    source.reset();
    ASSERT_TRUE(WaitForSource(false));
    m_engine.Stop();
    EXPECT_EQ(Rows(Path(), "SELECT address, format, bitrate, end_reason FROM source_connections"),
              "127.0.0.1 audio/mpeg 128 left\n");
    EXPECT_EQ(Rows(Path(),
                   "SELECT title, listeners_at_start, peak_listeners, ended >= started "
                   "FROM titles"),
              "First Song 0 2 1\n");
}

// Countries from the operator's database, looked up in the whole address although the file
// keeps only the network: both listeners share 127.0.0.0/24 but not a country.
TEST_F(StatsEngineTest, ListenersCountriesComeFromTheDatabase) {
    test::MmdbFile countries(4);
    countries.Add("127.0.0.0/8", "country", "NZ");
    countries.Add("127.0.0.2/32", "country", "CA");
    test::WriteFile(m_dir.File("countries.mmdb"), countries.Bytes());
    m_settings.statsFolder = m_dir.Path();
    m_settings.statsGeoIpDatabase = m_dir.File("countries.mmdb");
    Start();
    ASSERT_TRUE(ListenAndLeave({"127.0.0.2", "127.0.0.1"}));
    EXPECT_EQ(Rows(Path(), "SELECT address, country FROM listener_sessions ORDER BY id"),
              "127.0.0.0 CA\n127.0.0.0 NZ\n");
    // The reports count them by country.
    const auto report = StatsReader(Path()).Report(0, INT64_MAX / 2, 3600);
    ASSERT_TRUE(report);
    ASSERT_EQ(report->countries.size(), 2u);
    EXPECT_EQ(report->countries[0].family + report->countries[1].family, "CANZ");
    EXPECT_EQ(report->countries[0].sessions + report->countries[1].sessions, 2);
    test::ExpectHas(ListeningReportHtml(*report, ReportRange{}, false),
                    {"<h2>Countries</h2>", "<th scope=\"row\">CA</th><td>1</td>"});
}

// A database that is not there costs the station one line at the start, not its statistics.
TEST_F(StatsEngineTest, WithoutItsDatabaseTheStationRecordsSessionsWithoutCountries) {
    const std::string absent = m_dir.File("absent.mmdb");
    m_settings.statsFolder = m_dir.Path();
    m_settings.statsGeoIpDatabase = absent;
    m_settings.logEnabled = 1;
    m_settings.logDirectory = m_dir.Path();
    m_settings.logFileName = "station.log";
    Start();
    ASSERT_TRUE(ListenAndLeave({"127.0.0.2", "127.0.0.1"}));
    m_engine.Stop();
    EXPECT_EQ(Rows(Path(), "SELECT address, country IS NULL FROM listener_sessions"),
              "127.0.0.0 1\n127.0.0.0 1\n");
    const std::string log = test::ReadFile(m_dir.File("station.log"));
    const std::string line = "Countries not recorded: " + absent + ": No such file or directory\n";
    const size_t at = log.find(line);
    EXPECT_NE(at, std::string::npos) << log;
    EXPECT_EQ(log.find("Countries not recorded", at + 1), std::string::npos) << "once: " << log;
}

// ffmpeg playing the playlist in real time polls it every target duration and fetches each new
// segment: one HLS session of about the time it played, however many polls.
TEST_F(StatsEngineTest, FfmpegPlayingThePlaylistIsOneHlsSessionOfTheTimeItPlayed) {
    if (!test::HaveTool("ffmpeg")) {
        GTEST_SKIP() << "ffmpeg is installed by scripts/deps.sh";
    }
    m_settings.statsFolder = m_dir.Path();
    m_settings.hlsSegmentSeconds = 1;
    m_settings.hlsWindow = 3;
    m_settings.hlsListenerWindow = 2500ms;  // more than a poll's interval, less than the test
    Start();
    auto encoder = test::ToneEncoder(m_port, m_dir.Path(), {.seconds = 30});
    ASSERT_TRUE(WaitUntil(
        [&] {
            const std::string playlist = Get("GET /live.m3u8 HTTP/1.0\r\n\r\n", "127.0.0.5");
            return Occurrences(playlist, "#EXTINF") >= 3;
        },
        15000));
    const auto played = std::chrono::steady_clock::now();
    test::Process player(
        "ffmpeg",
        {"-nostdin", "-hide_banner", "-loglevel", "error", "-re", "-i",
         "http://127.0.0.1:" + std::to_string(m_port) + "/live.m3u8", "-t", "6", "-f", "null", "-"},
        m_dir.File("player.out"), m_dir.File("player.err"));
    ASSERT_EQ(player.Wait(30000), 0) << test::ReadFile(m_dir.File("player.err"));
    const auto wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - played).count();
    // The test's own fetches above fetched no segment: a check, not a listener.
    ASSERT_TRUE(WaitForSessions(1, Path(), 10000)) << test::ReadFile(m_dir.File("player.err"));
    std::this_thread::sleep_for(3s);  // another window: nothing more comes of its polls
    EXPECT_TRUE(WaitForSessions(1, Path(), 0)) << Rows(Path(), "SELECT * FROM listener_sessions");
    const std::string session = Rows(Path(),
                                     "SELECT kind, player, seconds, bytes > 60000 FROM "
                                     "listener_sessions WHERE player = 'ffmpeg'");
    ASSERT_EQ(Occurrences(session, "\n"), 1u) << session;
    EXPECT_EQ(session.rfind("hls ffmpeg ", 0), 0u) << session;
    const int seconds = std::stoi(session.substr(11));
    EXPECT_GE(seconds, 3) << "ffmpeg played 6 s in real time";
    EXPECT_LE(seconds, wallSeconds + 1) << session;
    EXPECT_EQ(session.substr(session.size() - 2), "1\n") << "its segments' bytes: " << session;
    // The reports' listening hours are that session's, nothing more for the polls.
    const auto summary = StatsReader(Path()).Listening(0, INT64_MAX);
    ASSERT_TRUE(summary);
    EXPECT_DOUBLE_EQ(summary->hours, seconds / 3600.0);
}

// A full disk stops the statistics, not the stream; once the operator frees space what waited
// is written and recording goes on.
TEST_F(StatsEngineTest, AFullDiskPausesTheStatisticsWithOneLineUntilSpaceIsFreed) {
    const Tmpfs state(m_dir.File("state"), "size=1m,mode=700");
    if (!state.Mounted()) {
        GTEST_SKIP() << state.Why();
    }
    const std::string file = StatsStore::FilePathIn(m_dir.File("state"));
    m_settings.statsFolder = m_dir.File("state");
    LogAndRetryQuickly();
    Start();
    OnAir();
    Visit();
    ASSERT_TRUE(WaitForSessions(1, file));

    ASSERT_TRUE(state.Fill(m_dir.File("state/filler")));
    Visit();
    ASSERT_TRUE(test::WaitForFileText(m_dir.File("station.log"), "Statistics paused", 5000));
    Visit();
    std::this_thread::sleep_for(1s);  // some ten tries of the disk
    EXPECT_TRUE(StreamFlows());
    EXPECT_EQ(Occurrences(LogText(), "Statistics paused"), 1u) << LogText();
    EXPECT_EQ(Occurrences(LogText(), "Statistics resumed"), 0u) << LogText();

    std::filesystem::remove(m_dir.File("state/filler"));
    EXPECT_TRUE(WaitForSessions(3, file)) << "what waited, once there is room: " << LogText();
    EXPECT_TRUE(test::WaitForFileText(m_dir.File("station.log"), "Statistics resumed", 3000));
    Visit();
    EXPECT_TRUE(WaitForSessions(4, file)) << "and what came after";
    EXPECT_TRUE(StreamFlows());
    m_engine.Stop();
    EXPECT_EQ(Occurrences(LogText(), "Statistics paused"), 1u) << LogText();
    EXPECT_EQ(Occurrences(LogText(), "Statistics resumed"), 1u) << LogText();
    EXPECT_EQ(Occurrences(LogText(), "dropped"), 0u) << LogText();
}

TEST_F(StatsEngineTest, AReadOnlyStateFolderLeavesStreamingAloneAndIsLoggedOnce) {
    const Tmpfs state(m_dir.File("state"), "size=64k", MS_RDONLY);
    if (!state.Mounted()) {
        GTEST_SKIP() << state.Why();
    }
    m_settings.statsFolder = m_dir.File("state");
    LogAndRetryQuickly();
    Start();
    OnAir();
    Visit();
    Visit();
    std::this_thread::sleep_for(500ms);
    EXPECT_TRUE(StreamFlows());
    EXPECT_EQ(m_engine.ListenerCount(), 1u);
    m_engine.Stop();
    const std::string log = LogText();
    EXPECT_EQ(Occurrences(log, "Statistics paused: cannot open " +
                                   m_dir.File("state/stats.sqlite") + ": Read-only file system"),
              1u)
        << log;
    // The three listeners' sessions and the source's connection it could not keep (and a
    // minute's sample, when a minute began), counted at the stop.
    EXPECT_TRUE(std::regex_search(log, std::regex("Statistics: [45] record\\(s\\) dropped")))
        << log;
}

// Damage found while the station runs: the store's next write reads the damaged pages, moves the
// file aside and goes on in a new one, with the session it was writing.
TEST_F(StatsEngineTest, AFileDamagedWhileTheStationRunsIsMovedAsideAtTheNextWrite) {
    m_settings.statsFolder = m_dir.Path();
    LogAndRetryQuickly();
    Start();
    OnAir();
    Visit();
    ASSERT_TRUE(WaitForSessions(1, Path()));
    // Everything into the file itself, so the writer reads its pages from there next: another
    // connection's checkpoint also makes it drop the pages it has in memory.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(Path().c_str(), &db), SQLITE_OK);
    sqlite3_busy_timeout(db, 2000);  // the writer may be committing
    EXPECT_EQ(sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    const std::string garbage(std::filesystem::file_size(Path()), 'x');
    {
        // In place, as a failing disk or a stray program would.
        std::FILE* file = std::fopen(Path().c_str(), "r+b");
        ASSERT_NE(file, nullptr);
        std::fwrite(garbage.data(), 1, garbage.size(), file);
        std::fclose(file);
    }
    Visit();
    ASSERT_TRUE(test::WaitForFileText(m_dir.File("station.log"), "is damaged", 5000)) << LogText();
    EXPECT_TRUE(WaitForSessions(1, Path())) << "the new file, with the session being written";
    EXPECT_TRUE(StreamFlows());
    const std::vector<std::string> aside = test::FilesNamed(m_dir.Path(), "stats.sqlite.corrupt-");
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(test::ReadFile(aside[0]), garbage) << "kept as it was";
    Visit();
    EXPECT_TRUE(WaitForSessions(2, Path()));
    EXPECT_EQ(Occurrences(LogText(), "is damaged"), 1u) << LogText();
    // Found by the write itself, not by a later attempt to open the file of a store that took
    // the damage for a disk to wait for.
    EXPECT_EQ(Occurrences(LogText(), ", writing): moved to " + aside[0]), 1u) << LogText();
    EXPECT_EQ(Occurrences(LogText(), "Statistics paused"), 0u) << LogText();
}

}  // namespace
}  // namespace orvanta::engine
