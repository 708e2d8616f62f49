// The command line, the state-folder rule, the folder check that runs before anything is
// written, and what a reload reports.
#include "startup/command_line.h"
#include "startup/server_context.h"
#include "startup/state_folder.h"
#include "startup/watchdog_feed.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

namespace orvanta {
namespace {

using Kind = StateFolders::Kind;

TEST(StateFolderTest, TheFirstMatchingRuleDecides) {
    const std::string program = "/opt/ov/";
    // clang-format off
    const struct { StateEnvironment environment; bool portable; Kind kind; std::string folder;
                   std::string logFolder; std::string userHive; } cases[] = {
        // A portable build folder keeps everything beside the executable, as it always did.
        {{"", "", "", "/home/ann/.cfg", "/home/ann"}, true, Kind::Portable, program, "", ""},
        // Installed: the XDG config folder, else ~/.config; a relative XDG_CONFIG_HOME is void.
        {{"", "", "", "/home/ann/.cfg", "/home/ann"}, false, Kind::User,
         "/home/ann/.cfg/orvanta-server/", "/home/ann/.cfg/orvanta-server/log/", ""},
        {{"", "", "", "", "/home/ann"}, false, Kind::User,
         "/home/ann/.config/orvanta-server/", "/home/ann/.config/orvanta-server/log/", ""},
        {{"", "", "", "rel/cfg", "/home/ann"}, false, Kind::User,
         "/home/ann/.config/orvanta-server/", "/home/ann/.config/orvanta-server/log/", ""},
        // The service manager's folders (first entry of each list), even over a portable folder.
        {{"", "/var/lib/orvanta-server:/var/lib/other", "/var/log/orvanta-server", "", "/"}, true,
         Kind::Service, "/var/lib/orvanta-server/", "/var/log/orvanta-server/",
         "/var/lib/orvanta-server/user.reg"},
        {{"", "/var/lib/ov/", "", "", ""}, false, Kind::Service, "/var/lib/ov/",
         "/var/lib/ov/log/", "/var/lib/ov/user.reg"},
        // The variable beats everything: a folder, or the program folder even when installed.
        {{"/srv/st", "/var/lib/ov", "/var/log/ov", "", "/home/ann"}, true, Kind::Forced,
         "/srv/st/", "/srv/st/log/", "/srv/st/user.reg"},
        {{"portable", "/var/lib/ov", "", "", "/home/ann"}, false, Kind::Portable, program, "", ""},
    };
    // clang-format on
    for (const auto& c : cases) {
        const StateFolders got = DecideStateFolders(c.environment, program, c.portable);
        SCOPED_TRACE(c.folder);
        EXPECT_EQ(got.error, "");
        EXPECT_EQ(got.kind, c.kind);
        EXPECT_EQ(got.folder, c.folder);
        EXPECT_EQ(got.logFolder, c.logFolder);
        EXPECT_EQ(got.userHive, c.userHive);
    }
}

TEST(StateFolderTest, PreparingCreatesTheFolderOrNamesItInTheRefusal) {
    test::TempDir dir;
    const std::string nested = dir.File("a/b/state/");
    EXPECT_EQ(PrepareStateFolder(nested), "");
    EXPECT_TRUE(std::filesystem::is_empty(nested)) << "the probe file is gone again";
    EXPECT_EQ(std::filesystem::status(nested).permissions(), std::filesystem::perms::owner_all)
        << "Config.ini's passwords are for its user alone";

    // A file where the folder should be refuses even root.
    test::WriteFile(dir.File("file"), "x");
    EXPECT_EQ(PrepareStateFolder(dir.File("file")).find("cannot use the state folder"), 0u);
    EXPECT_TRUE(IsPortableProgramFolder(dir.Folder()));
    EXPECT_FALSE(IsPortableProgramFolder("/usr/lib/orvanta-server/"))
        << "the package manager's folders are never written, even by root";
}

// Caches kept in a state folder may predate an upgrade of the program folder. A package
// manager installs a library with its packaged (old) modification time, so only the change
// time tells that it came after the caches: the next start scans again. Caches in the program
// folder itself are trusted as they are.
TEST(StateFolderTest, ALibraryPutInAfterTheCachesMakesTheNextStartScanAgain) {
    namespace fs = std::filesystem;
    test::TempDir program;
    test::TempDir state;
    const std::string log = program.File("calls.log");
    test::ScopedEnv logEnv("ORV_FIXTURE_LOG", log.c_str());
    const auto packaged = fs::file_time_type::clock::now() - std::chrono::hours(24 * 365);
    // Installs (or replaces, as a package manager does: a new file) a library.
    const auto install = [&](const char* library) {
        fs::remove(program.File(library));
        test::CopyFixture(library, program.File(library));
        fs::last_write_time(program.File(library), packaged);
    };
    // How many times the start loaded a module or plug-in to describe it (a scan makes each
    // twice).
    const auto start = [&](const std::string& stateFolder) {
        fs::remove(log);
        CServerContext(program.Folder(), stateFolder).InitInstance();
        int scans = 0;
        for (const std::string& line : test::ReadLines(log)) {
            scans += line == "0 Create " || line.rfind("plugin OPluginCreate", 0) == 0 ? 1 : 0;
        }
        return scans;
    };
    // The upgrade: a library replaced after the caches were written. Setting the caches back
    // an hour keeps their time before the replacement's at any timestamp granularity, and
    // still after the packaged time.
    const auto upgrade = [&](const std::string& cacheFolder) {
        install("fixture_service.so");
        for (const char* cache : {"OVTService.cache", "OVTPlugins.cache"}) {
            const std::string path = cacheFolder + cache;
            fs::last_write_time(path, fs::last_write_time(path) - std::chrono::hours(1));
        }
    };
    install("fixture_service.so");
    install("fixture_plugin.so");

    EXPECT_EQ(start(state.Folder()), 4);
    EXPECT_EQ(start(state.Folder()), 0) << "the caches are read";
    upgrade(state.Folder());
    EXPECT_EQ(start(state.Folder()), 4) << "the replaced library is newer than the caches";
    EXPECT_EQ(start(state.Folder()), 0) << "the rewritten caches are read";

    EXPECT_EQ(start(""), 4);
    upgrade(program.Folder());
    EXPECT_EQ(start(""), 0) << "caches beside the libraries are trusted";
}

constexpr const char kOwn[] = "/opt/orvanta/ovserver";
constexpr const char kFolder[] = "/opt/orvanta/";

CommandLineResult Parse(const std::string& line) {
    return ParseCommandLine(line, kOwn, kFolder);
}

TEST(ParseCommandLineTest, OptionsPathsAndTheProgramPath) {
    const struct {
        const char* arguments;
        const char* configPath;
        bool autoStart;
        bool named;  // not the default file (the credential commands prepare no state folder)
    } cases[] = {
        {"", "/opt/orvanta/Config.ini", false, false},
        // Any case, quotes dropped.
        {" /START /Config:\"/srv/st/a.ini\"", "/srv/st/a.ini", true, true},
        {" some other words", "/opt/orvanta/Config.ini", false, false},
        {" /srv/x.ini /config:", "/srv/x.ini", false, true},
        {" /config: \"\"", "/opt/orvanta/Config.ini", false, false},
        // "start" inside the path is taken as the option.
        {" /config:/srv/start/a.ini", "/srv/a.ini", true, true},
        // Only the first occurrence of each option goes.
        {" /config:/config:x.ini /start", "/config:x.ini", true, true},
    };
    for (const auto& c : cases) {
        const auto r = Parse(std::string("\"/opt/orvanta/ovserver\"") + c.arguments);
        EXPECT_EQ(r.configPath, c.configPath) << c.arguments;
        EXPECT_EQ(r.autoStart, c.autoStart) << c.arguments;
        EXPECT_EQ(r.named, c.named) << c.arguments;
    }
    // A program path spelled differently fails the parse.
    EXPECT_FALSE(Parse("\"/OPT/orvanta/ovserver\" /start /config:a.ini").autoStart);

    // A spaced path survives the rebuilt line.
    test::TempDir dir;
    const std::string ini = dir.File("my station.ini");
    test::WriteFile(ini, "[Network]\n");
    const auto r = Parse(std::string("\"/opt/orvanta/ovserver\" \"/config:") + ini + "\"");
    EXPECT_EQ(r.configPath, ini);
    EXPECT_TRUE(r.exists);
    EXPECT_FALSE(Parse("\"/opt/orvanta/ovserver\" /config:/nonexistent.ini").exists);
}

// A reload names each changed setting once, under "applied now" or "after a restart", in the
// order the operator has always read them; what the service does not read is "other settings".
TEST(ReloadTest, ChangedSettingsAreSortedIntoLiveAndRestart) {
    test::TempDir dir;
    CServerContext context(dir.Folder());
    const std::string file = dir.File("Station.ini");
    test::WriteFile(
        file, "[Paths]\nLogDir=" + dir.File("log") + "\nContentDir=" + dir.File("web") + "\n");
    ASSERT_TRUE(context.ReloadConfiguration(file).read);

    CServerContext::ReloadResult result = context.ReloadConfiguration(file);
    EXPECT_TRUE(result.live.empty() && result.restart.empty()) << "nothing changed";

    test::WriteFile(file, "[Paths]\nLogDir=" + dir.File("log") + "\nContentDir=" + dir.File("web") +
                              "\n[Broadcast]\nDJName=Ann\nDJSex=1\n");
    result = context.ReloadConfiguration(file);
    EXPECT_EQ(result.live, std::vector<std::string>{"other settings"});
    EXPECT_TRUE(result.restart.empty());

    // Every stored setting changed at once.
    test::WriteFile(
        file,
        "[Broadcast]\nMaster=False\nPublicServer=False\nShoutcastRegister=False\nPrivateBr=True\n"
        "CreateLog=false\nPassword=new\nLangCode=7\nGenre=5\nGeneration=1\nMent=1\n"
        "[BroadcastTime]\nDay1=1\nDay2=2\nDay3=3\nETime1=4\nETime2=5\nETime3=6\nSTime1=1\n"
        "STime2=2\nSTime3=3\nType=2\n"
        "[Limits]\nMaxClient=5\nTimeout=5\nSongHistoryMax=5\n[Media]\nFormat=WMA\n"
        "[Metadata]\nTitleFormat=%t\nURLFormat=%u\n"
        "[Network]\nPort=9000\nBindAddress=127.0.0.2\nPortforward=False\nOverrideIP=192.0.2.1\n"
        "OverridePort=9100\n"
        "[Paths]\nLogDir=" +
            dir.File("log2") + "\nLogFile=x.log\nContentDir=" + dir.File("web2") +
            "\nIndexPage=i.html\n"
            "[PrivateBr]\nCount=1\nPrivateUser1=ann\nPrivatePass1=pw\n"
            "[Relay]\nHostname=up.example\nPort=9200\nStreamUrl=/live\n"
            "[HLS]\nEnabled=False\nSegmentSeconds=4\nWindow=3\nOriginFolder=/srv/hls\n"
            "[TLS]\nCertificate=c.pem\nPrivateKey=k.pem\nPort=8443\nTrustedCertificates=t.pem\n"
            "[Admin]\nUser=ann\nPasswordHash=pbkdf2-sha256$1000$a$b\nAllowPlainHttp=True\n"
            "AllowFrom=::1\nApiToken=sha256$00\n"
            "MetricsAllowFrom=10.0.0.0/8\n"
            "[Fallback]\nFile=gap.mp3\nTitle=Soon\nUrl=http://127.0.0.2/\nIntroFile=i.mp3\n");
    result = context.ReloadConfiguration(file);
    EXPECT_EQ(result.restart,
              (std::vector<std::string>{"Port", "BindAddress", "Format", "Relay", "TLS Port", "HLS",
                                        "Directory registration"}));
    EXPECT_EQ(result.live,
              (std::vector<std::string>{"Password", "MaxClient", "Timeout", "SongHistoryMax",
                                        "Private broadcast", "Logging", "ContentDir", "TitleFormat",
                                        "URLFormat", "Station details", "Address override",
                                        "TLS certificate", "Fallback", "Admin login",
                                        "Admin access", "Admin API token", "MetricsAllowFrom"}));
    EXPECT_EQ(context.config.Port, 9000) << "the new file is the configuration";
}

// The watchdog is fed only while both signs of life move: a monitor that stopped polling, or an
// engine whose loop hangs while it should run, starves it; a stopped engine does not.
TEST(WatchdogFeedTest, BothSignsMustMoveWhileTheEngineRuns) {
    using namespace std::chrono_literals;
    WatchdogFeed feed(2s);
    const auto t0 = WatchdogFeed::Clock::now();
    EXPECT_TRUE(feed.Alive(1, 1, true, t0));
    EXPECT_TRUE(feed.Alive(2, 1, true, t0 + 2s));      // the beat stood still within the stall
    EXPECT_FALSE(feed.Alive(3, 1, true, t0 + 3s));     // and then too long: the engine hangs
    EXPECT_TRUE(feed.Alive(4, 2, true, t0 + 3500ms));  // it moved again
    EXPECT_FALSE(feed.Alive(4, 9, true, t0 + 6s));     // the monitor hangs
    // Stopped, the engine's beat does not count; started again, it gets a fresh look.
    EXPECT_TRUE(feed.Alive(5, 9, false, t0 + 7s));
    EXPECT_TRUE(feed.Alive(6, 9, false, t0 + 30s));
    EXPECT_TRUE(feed.Alive(7, 9, true, t0 + 31s));
    EXPECT_FALSE(feed.Alive(8, 9, true, t0 + 34s));
}

}  // namespace
}  // namespace orvanta
