// Drives the real CServiceHost with the recording test module loaded through dlopen.
#include "service/service_host.h"

#include "full_station_config.h"
#include "support/recording_host_ui.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <stdlib.h>
#include <string>
#include <thread>
#include <vector>

namespace orvanta {
namespace {

using namespace std::chrono_literals;

using test::RecordingUi;

class ServiceHostTest : public ::testing::Test {
protected:
    void SetUp() override { m_config.SetDefaults(); }
    void TearDown() override {
        for (const char* name :
             {"ORV_FIXTURE_START_FAIL", "ORV_FIXTURE_SOURCE", "ORV_FIXTURE_LISTENERS"}) {
            ::unsetenv(name);
        }
    }

    // A program folder holding the test module under `name`; the cache scans it. The host
    // loads modules by bare name from the test executables' folder, where the module is built.
    void InstallModule(const std::string& name, const char* mask = "18") {
        std::filesystem::create_directories(m_programDir);
        std::filesystem::copy_file(std::string(ORV_FIXTURE_DIR) + "/fixture_service.so",
                                   m_programDir + "/" + name);
        test::ScopedEnv formats("ORV_FIXTURE_FORMAT_MASK", mask);
        ASSERT_TRUE(m_modules.Init(m_programDir + "/", true));
        std::filesystem::remove(m_log);
    }

    // The calls the module received, without the monitor's polling.
    std::vector<std::string> Calls() const {
        std::vector<std::string> calls = test::ReadLines(m_log);
        std::erase_if(calls, [](const std::string& line) {
            const std::string slot = " " + line.substr(0, line.find(' ') + 1);
            return std::string(" 7 11 12 34 14 ").find(slot) != std::string::npos;
        });
        return calls;
    }

    test::TempDir m_dir;
    std::string m_log = m_dir.File("calls.log");
    test::ScopedEnv m_logEnv{"ORV_FIXTURE_LOG", m_log.c_str()};
    test::ScopedEnv m_userHive{"ORVANTA_USER_HIVE", m_dir.File("user.reg").c_str()};
    test::ScopedEnv m_machineHive{"ORVANTA_MACHINE_HIVE", m_dir.File("machine.reg").c_str()};
    test::ScopedEnv m_systemDir{"ORVANTA_SYSTEM_DIR", m_dir.File("system").c_str()};
    std::string m_programDir = m_dir.File("program");
    StationConfig m_config;
    ServiceStatus m_status;
    RecordingUi m_ui;
    CServiceModuleCache m_modules;
};

TEST_F(ServiceHostTest, HandsTheConfigurationOverInItsFixedOrder) {
    InstallModule("fixture_service.so");
    m_config.PrivateBr = 1;
    m_config.PrivateUsers = {{"bob", "b-pw"}, {"Alice", "a-pw"}};
    m_config.LogDir.clear();
    m_config.LogFile.clear();
    m_config.CreateLog = 1;
    m_config.BindAddress = "127.0.0.1";
    m_config.Portforward = 1;  // with neither address nor port: cleared before anything goes
    m_config.RelayHostname = "up.example";
    m_config.RelayStreamUrl = "/live";
    m_config.RelayPort = 0;  // no relay without a port
    m_config.TitleFormat = "%t - Owl FM";
    m_config.EncoderModule = "enc.so";
    m_config.TlsPrivateKey = "keys/privkey.pem";  // relative paths are the program folder's
    test::ScopedEnv option("ORV_FIXTURE_OPTION", "TLS.PrivateKey");
    m_config.Port = 8123;
    m_config.Genre = 900;
    m_config.BroadcastTime = {2, 1, 3, 0, 9, 13, 0, 11, 18, 0};

    CServiceHost host(m_modules, m_config, m_status, m_ui, "/opt/orvanta/");
    ASSERT_TRUE(host.Start());
    EXPECT_TRUE(host.IsRunning());
    EXPECT_EQ(m_config.Portforward, 0) << "the cleared switch lasts";
    host.Stop();

    const std::string dir = kDefaultDirectoryServer;
    // clang-format off
    EXPECT_EQ(Calls(), (std::vector<std::string>{
        "0 Create Software\\KELVO\\OVServer\\Plugins", "37 Initialize 1", "4 SetMaxClients 10",
        "31 SetTimeout 10", "30 SetSongHistoryMax 10", "5 SetDirectoryServer " + dir + " 8080",
        "4 SetMaxClients 10", "6 SetSourcePassword mustedit", "13 SetPublicServer 1",
        "20 SetShoutcastRegister 0", "9 SetGenre 900", "17 SetMent 0", "16 SetGeneration 0",
        "23 SetPrivateBroadcast 1", "24 AddPrivateUser Alice a-pw", "24 AddPrivateUser bob b-pw",
        "22 SetBindAddress 127.0.0.1", "19 SetAddressOverride 0  0",
        "26 SetLogDirectory /opt/orvanta/logs", "27 SetLogFileName ovserver.log",
        "28 SetContentDirectory ./content", "29 SetIndexPage index.html", "10 SetLanguageCode 9",
        "32 SetTitleFormat %t - Owl FM", "36 SetEncoderPlugin enc.so",
        "option TLS.PrivateKey /opt/orvanta/keys/privkey.pem", "2 Start 8123 0",
        "15 SetMaster 1", "6 SetSourcePassword mustedit", "13 SetPublicServer 1", "9 SetGenre 900",
        "16 SetGeneration 0", "17 SetMent 0", "18 SetSchedule 2 1 3 0 9 13 0 11 18 0",
        "10 SetLanguageCode 9", "19 SetAddressOverride 1  0", "3 Stop"}));
    // clang-format on
}

// The options a module receives beside the controller: all of them before Start, each under its
// own name and in its own form, and at a reload only those a running service applies at once.
TEST_F(ServiceHostTest, OptionsGoOverByNameAndAReloadSendsOnlyTheLiveOnes) {
    InstallModule("fixture_service.so");
    m_config = test::FullStationConfig("");
    m_config.PrivateUsers.emplace("Al\nice", "x");
    test::ScopedEnv option("ORV_FIXTURE_OPTION", "*");
    CServiceHost host(m_modules, m_config, m_status, m_ui, "/opt/orvanta/");
    host.SetPrivateFiles({"/etc/orvanta/Config.ini"});
    host.SetBansFile("/etc/orvanta/bans.txt");
    const auto options = [this] {
        // A value's further lines (after the user name) are not calls and are left out.
        std::vector<std::string> calls = Calls();
        std::erase_if(calls, [](const std::string& line) { return !line.starts_with("option "); });
        return calls;
    };
    ASSERT_TRUE(host.Start());
    // The stored hashes go over as they are: the module checks against them, never the host.
    const std::string passwordHash = m_config.AdminPasswordHash;
    const std::string tokenHash = m_config.AdminApiToken;
    ASSERT_TRUE(passwordHash.starts_with("pbkdf2-sha256$") && tokenHash.starts_with("sha256$"));
    // clang-format off
    const std::vector<std::string> all = {
        "option PrivateBr.Users Bob",
        "option HLS.Enabled 0",
        "option HLS.SegmentSeconds 4",
        "option HLS.Window 12",
        "option HLS.OriginFolder /opt/orvanta/hls",
        "option TLS.Certificate /opt/orvanta/certs/fullchain.pem",
        "option TLS.PrivateKey /etc/orvanta/privkey.pem",
        "option TLS.Port 8443",
        "option TLS.TrustedCertificates /opt/orvanta/upstream.pem",
        "option Fallback.File /opt/orvanta/gap.mp3",
        "option Fallback.Title  Back soon ",
        "option Fallback.Url https://auto.example:8443/live",
        "option Fallback.IntroFile /srv/jingle.mp3",
        "option Admin.User operator",
        "option Admin.PasswordHash " + passwordHash,
        "option Admin.AllowPlainHttp 1",
        "option Admin.AllowFrom 127.0.0.1, 192.0.2.0/24 2001:db8::/32",
        "option Admin.ApiToken " + tokenHash,
        "option Admin.MetricsAllowFrom 192.0.2.0/24, 2001:db8::7",
        "option Stats.Enabled 0",
        "option Stats.KeepDays 30",
        "option Stats.FullAddresses 1",
        "option Stats.GeoIPDatabase /opt/orvanta/geo/countries.mmdb",
        "option Paths.PrivateFiles /etc/orvanta/Config.ini",
        "option Paths.BansFile /etc/orvanta/bans.txt",
        // The settings for the web console, one call (its further lines left out above).
        "option Admin.Settings Broadcast.Master=False",
        "option Admin.ReloadBySignal 0",
        "option Admin.LastReload "};
    // clang-format on
    EXPECT_EQ(options(), all);
    // A reload: all but those that wait for the next Start.
    std::vector<std::string> live = all;
    std::erase_if(live, [](const std::string& call) {
        return call.starts_with("option HLS.") || call.starts_with("option TLS.Port ") ||
               call.starts_with("option Stats.");
    });
    std::filesystem::remove(m_log);
    ASSERT_TRUE(host.HandOverLiveSettings());
    EXPECT_EQ(options(), live);
    host.Stop();
}

// What the module's web console is shown of the configuration: every stored key as the file
// has it, secrets only as set or not set; and after each reload, at once, its outcome.
TEST_F(ServiceHostTest, TheWebConsoleIsShownTheSettingsWithoutSecretsAndEachReload) {
    InstallModule("fixture_service.so");
    m_config = test::FullStationConfig("");
    m_config.PrivateUsers = {{"Bob", "bob-secret"}, {"alice", ""}};
    test::ScopedEnv option("ORV_FIXTURE_OPTION", "*");
    CServiceHost host(m_modules, m_config, m_status, m_ui, "/opt/orvanta/");
    host.SetReloadBySignal(true);
    ASSERT_TRUE(host.Start());
    const std::string calls = test::ReadFile(m_log);
    const size_t from = calls.find("option Admin.Settings ");
    const size_t to = calls.find("option Admin.ReloadBySignal 1\n");
    ASSERT_TRUE(from != std::string::npos && to > from) << calls;
    const std::string shown = calls.substr(from, to - from);
    for (const char* line :
         {"Broadcast.Password=set\n", "PrivateBr.Count=2\n",
          "PrivateBr.PrivateUser1=Bob\nPrivateBr.PrivatePass1=set\n",
          "PrivateBr.PrivatePass2=not set\n", "Admin.PasswordHash=set\n", "Admin.ApiToken=set\n",
          "Admin.User=operator\n", "Fallback.Title= Back soon \n",
          "TLS.PrivateKey=/etc/orvanta/privkey.pem\n", "Media.Format=", "Network.Port="}) {
        EXPECT_NE(shown.find(line), std::string::npos) << line << " not in " << shown;
    }
    for (const char* secret : {"spaced secret", "bob-secret", "pbkdf2", "sha256$"}) {
        EXPECT_EQ(shown.find(secret), std::string::npos) << secret << " shown: " << shown;
    }
    EXPECT_NE(calls.find("option Admin.LastReload \n"), std::string::npos) << "none yet";

    std::filesystem::remove(m_log);
    host.SetLastReload(
        "Reload asked (SIGHUP): /etc/orvanta/Config.ini re-read; nothing changed.\n");
    const std::string reloaded = test::ReadFile(m_log);
    EXPECT_TRUE(std::regex_search(reloaded, std::regex("option Admin.Settings Broadcast[\\s\\S]*"
                                                       "option Admin.LastReload 1[0-9]{12}\n"
                                                       "Reload asked \\(SIGHUP\\)")))
        << reloaded;
    host.Stop();
}

TEST_F(ServiceHostTest, FailuresShowTheHostsMessagesAndLeaveTheServiceStopped) {
    InstallModule("fixture_service.so", "2");
    CServiceHost host(m_modules, m_config, m_status, m_ui, m_programDir + "/");

    m_config.Format = kFormatOggVorbis;
    EXPECT_FALSE(host.Start());
    EXPECT_EQ(m_ui.messages, std::vector<std::string>{"Failed finding \"OGG service module\"."
                                                      "\r\nFailed to start streaming service."});
    EXPECT_TRUE(Calls().empty()) << "nothing is loaded";

    m_config.Format = kFormatMp3;
    ::setenv("ORV_FIXTURE_START_FAIL", "1", 1);
    EXPECT_FALSE(host.Start());
    EXPECT_EQ(m_ui.messages.size(), 1u) << "a failed Start shows nothing of the host's own";
    EXPECT_NE(host.Controller(), nullptr) << "the module stays loaded";
    EXPECT_FALSE(host.IsMonitorRunning());
    ::unsetenv("ORV_FIXTURE_START_FAIL");

    ASSERT_TRUE(host.Start());
    EXPECT_FALSE(host.Start()) << "already running";
    host.Stop();
    const auto calls = Calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "1 Destroy 1"), 1)
        << "the second Start reloaded the module";

    // In the cache, but not where the host loads from.
    std::filesystem::rename(m_programDir + "/fixture_service.so", m_programDir + "/gone.so");
    ASSERT_TRUE(m_modules.Init(m_programDir + "/", true));
    EXPECT_FALSE(host.Start());
    EXPECT_EQ(m_ui.messages.back(),
              "Failed loading \"gone.so service module\".\r\nCannot continue streaming service.");
}

TEST_F(ServiceHostTest, TheMonitorPublishesWhatTheModuleReportsAndClearsItWithoutASource) {
    InstallModule("fixture_service.so");
    ::setenv("ORV_FIXTURE_LISTENERS", "3", 1);
    ::setenv("ORV_FIXTURE_SOURCE", "1", 1);
    CServiceHost host(m_modules, m_config, m_status, m_ui, m_programDir + "/");
    ASSERT_TRUE(host.Start());
    EXPECT_TRUE(test::WaitUntil([&] { return m_status.listenerCount.load() == 3; }));
    EXPECT_EQ(m_status.sourceConnected.load(), 1);
    EXPECT_EQ(m_status.totalReceivedBytes.load(), 123456);
    EXPECT_EQ(m_status.totalSentBytes.load(), 5000000000) << "beyond 32 bits, whole";

    ::unsetenv("ORV_FIXTURE_SOURCE");
    // The totals are stored last.
    EXPECT_TRUE(test::WaitUntil([&] { return m_status.totalSentBytes.load() == 0; }));
    EXPECT_EQ(m_status.sourceConnected.load(), 0);
    EXPECT_EQ(m_status.listenerCount.load(), 0) << "no source: the counts read zero";
    EXPECT_EQ(m_status.totalReceivedBytes.load(), 0);

    ::setenv("ORV_FIXTURE_SOURCE", "1", 1);
    EXPECT_TRUE(test::WaitUntil([&] { return m_status.listenerCount.load() == 3; }));
    host.Stop();
    EXPECT_FALSE(host.IsMonitorRunning());
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(m_status.listenerCount.load(), 3) << "after Stop the last values stay";
}

}  // namespace
}  // namespace orvanta
