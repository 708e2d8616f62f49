// The listening statistics as a running engine records them: listeners that hang up and
// listeners the server closes, HLS clients, the source and its titles, read back from the file.
#include "base/credentials.h"
#include "engine/engine.h"
#include "ovstream/engine_ports.h"
#include "ovstream/test_client.h"
#include "stats/mmdb_file.h"
#include "stats/stats_reader.h"
#include "stats/stats_store.h"
#include "test_util.h"
#include "web/listening_report.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

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

class StatsEngineTest : public test::EngineFixture {
protected:
    std::unique_ptr<TestClient> Listener(const std::string& request, const char* from) {
        auto listener = std::make_unique<TestClient>(m_port, 0, from);
        listener->Send(request);
        listener->ReadUntil("\r\n\r\n");
        return listener;
    }
    std::string Path() const { return StatsStore::FilePathIn(m_dir.Path()); }
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

}  // namespace
}  // namespace orvanta::engine
