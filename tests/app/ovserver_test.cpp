// Drives the real ovserver executable and the real crash-report test module.
#include "base/credentials.h"
#include "config/station_config_file.h"
#include "headless_server.h"
#include "ovstream/test_client.h"
#include "startup/server_context.h"
#include "support/path.h"
#include "test_process.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>
#ifdef ORV_TEST_X11
// Last: Xlib defines macros (None, Bool, Status) the headers above need not see.
#include <X11/Xlib.h>
#endif

namespace orvanta {
namespace {

using test::Holds;

const std::string kBuiltProgram = std::string(ORV_PROGRAM_DIR) + "/ovserver";

// Runs a copy of ovserver whose program folder (and current folder) is `dir`, so whatever it
// writes at exit lands there and not in the build's program folder; its output goes to the
// files "stdout" and "stderr" there.
std::unique_ptr<test::Process> Spawn(const test::TempDir& dir,
                                     const std::vector<std::string>& args) {
    std::filesystem::copy_file(kBuiltProgram, dir.File("ovserver"),
                               std::filesystem::copy_options::overwrite_existing);
    auto child = std::make_unique<test::Process>(dir.File("ovserver"), args, dir.File("stdout"),
                                                 dir.File("stderr"), dir.Path());
    EXPECT_TRUE(child->Started());
    return child;
}

// Waits up to ten seconds for `text` to appear in the file.
bool WaitForText(const std::string& path, const std::string& text) {
    return test::WaitForFileText(path, text, 10000);
}

const std::string kVersion =
    std::to_string(ORV_VERSION_MAJOR) + "." + std::to_string(ORV_VERSION_MINOR) + "." +
    std::to_string(ORV_VERSION_PATCH) + "." + std::to_string(ORV_VERSION_TWEAK);

TEST(OvserverTest, VersionIsReadFromItsOwnStampAndUnknownOptionsAreRefusedWithUsage) {
    test::TempDir dir;
    EXPECT_EQ(Spawn(dir, {"--version"})->Wait(10000), 0);
    EXPECT_EQ(test::ReadFile(dir.File("stdout")), "Orvanta Server " + kVersion + "\n");
    EXPECT_EQ(Spawn(dir, {"--headles"})->Wait(10000), 2);
    EXPECT_TRUE(Holds(dir.File("stderr"), "unknown option --headles")) << dir.File("stderr");
}

// Either stop signal ends the run cleanly, and the exit step writes the loaded record to the
// program folder's Config.ini, never to the file it was loaded from. Where it cannot (a folder
// in the way, which stops root too), the operator is told and the exit code says so.
TEST(OvserverTest, HeadlessRunsUntilTerminatedAndWritesTheLoadedConfigurationAtExit) {
    using Run = std::pair<int, bool>;  // the stop signal; whether a folder is in the way
    for (const auto& [stopSignal, blocked] :
         {Run(SIGTERM, false), Run(SIGINT, false), Run(SIGTERM, true)}) {
        test::TempDir dir;
        const std::string named = dir.File("station one.ini");
        test::WriteFile(named,
                        "[Broadcast]\nPassword=owl-secret\nGenre=700\n[Limits]\nMaxClient=42\n"
                        "[Paths]\nConfigfile=/srv/owl.ini\nContentDir=" +
                            dir.File("web/site") +
                            "\n[PrivateBr]\nCount=1\nPrivateUser1=ann\n"
                            "PrivatePass1=pw\n[Relay]\nHostname=up.example\nPort=8001\n");
        if (blocked) {
            std::filesystem::create_directory(dir.File("Config.ini"));
        }
        auto child = Spawn(dir, {"--headless", "/config:" + named});
        ASSERT_TRUE(WaitForText(dir.File("stdout"), "running"));
        EXPECT_TRUE(Holds(dir.File("stdout"), "configuration: " + named + ")"));
        child->Signal(stopSignal);
        EXPECT_EQ(child->Wait(10000), blocked ? 1 : 0);
        EXPECT_FALSE(Holds(named, "[Network]")) << "the named file is never written";
        if (blocked) {
            EXPECT_EQ(test::ReadFile(dir.File("stderr")),
                      "Orvanta Server: The station configuration could not be saved to " +
                          dir.File("Config.ini") +
                          ".\ncannot replace the file: Is a directory\nThe file was left as it "
                          "was.\n");
            EXPECT_TRUE(std::filesystem::is_empty(dir.File("Config.ini")));
            continue;
        }
        EXPECT_EQ(test::ReadFile(dir.File("stderr")), "") << "nothing went wrong";
        StationConfig expected;
        LoadStationConfig(named, expected, {dir.Folder(), false});
        expected.ContentDir = GetFolderOf(expected.ContentDir);
        StationConfig saved;
        LoadStationConfig(dir.File("Config.ini"), saved, {dir.Folder(), false});
        EXPECT_EQ(saved, expected);
        EXPECT_TRUE(std::filesystem::is_directory(dir.File("web/site"))) << "created at load";
    }
}

// A listener on 127.0.0.1:port logged in with `credentials` (user:password in base64); the
// head of its answer goes to `head`.
std::unique_ptr<test::TestClient> Listen(int port, const std::string& credentials,
                                         std::string* head) {
    auto listener = std::make_unique<test::TestClient>(static_cast<uint16_t>(port));
    listener->Send("GET /stream HTTP/1.0\r\nAuthorization: Basic " + credentials + "\r\n\r\n");
    *head = listener->ReadUntil("\r\n\r\n");
    return listener;
}

// The web console's Reload in a real headless run: it re-reads the file as SIGHUP does (a live
// setting changed on disk applies), the settings page then shows the new value and the
// console's own words about it, and no secret of the file ever reaches the page or the API.
// A Reload without the session's token does nothing; the signal cannot end the process,
// because every one of its threads blocks it.
class ConsoleReloadTest : public test::HeadlessServerTest {};

TEST_F(ConsoleReloadTest, ReReadsTheFileAsSighupDoesAndTheSettingsPageShowsTheOutcome) {
    MakeProgramFolder({"ovserver", "ovstream.so"});
    const std::string token = NewApiToken();
    StartServer(
        "[PrivateBr]\nCount=1\nPrivateUser1=ann\nPrivatePass1=ann-secret\n"
        "[Fallback]\nTitle=Back soon\n[Admin]\nPasswordHash=" +
            MakePasswordHash("owl pass") + "\nApiToken=" + ApiTokenHash(token) + "\n",
        10000);
    const auto ask = [this](const std::string& request) {
        test::TestClient client(static_cast<uint16_t>(m_port));
        client.Send(request);
        return client.ReadAll(3000);
    };
    const std::string credentials = "user=admin&password=owl+pass";
    const std::string login =
        ask("POST /admin/login HTTP/1.0\r\nContent-Length: " + std::to_string(credentials.size()) +
            "\r\n\r\n" + credentials);
    const size_t at = login.find("ovadmin=");
    ASSERT_NE(at, std::string::npos) << login;
    const std::string cookie = "Cookie: " + login.substr(at, 8 + 64) + "\r\n";
    const auto page = [&](const std::string& path) {
        return ask("GET " + path + " HTTP/1.0\r\n" + cookie + "\r\n");
    };
    const auto reload = [&](const std::string& form) {
        return ask("POST /admin/reload HTTP/1.0\r\n" + cookie +
                   "Content-Length: " + std::to_string(form.size()) + "\r\n\r\n" + form);
    };
    const std::string api =
        ask("GET /admin/api/settings HTTP/1.0\r\nAuthorization: Bearer " + token + "\r\n\r\n");
    const std::string before = page("/admin/settings");
    for (const std::string& shown : {before, api}) {
        EXPECT_NE(shown.find("Back soon"), std::string::npos) << shown;
        for (const std::string& secret : {std::string("hackme"), std::string("ann-secret"),
                                          std::string("pbkdf2"), std::string("sha256$"), token}) {
            EXPECT_EQ(shown.find(secret), std::string::npos) << secret << " shown: " << shown;
        }
    }
    EXPECT_NE(api.find("\"PrivatePass1\":\"set\""), std::string::npos) << api;
    EXPECT_NE(before.find("<th scope=\"row\">Password</th><td>set</td>"), std::string::npos);
    const std::string marker = "name=\"csrf\" value=\"";
    const size_t csrfAt = before.find(marker);
    ASSERT_NE(csrfAt, std::string::npos) << before;
    const std::string csrf = before.substr(csrfAt + marker.size(), 64);

    std::string config = test::ReadFile(m_dir.File("Config.ini"));
    config.replace(config.find("Back soon"), 9, "On in a minute");
    test::WriteFile(m_dir.File("Config.ini"), config);
    EXPECT_NE(reload("").find("403 Forbidden"), std::string::npos);
    const std::string asked = reload("csrf=" + csrf);
    EXPECT_NE(asked.find("Location: /admin/settings?done=reload"), std::string::npos) << asked;
    ASSERT_TRUE(WaitForText(m_dir.File("server.out"), "applied now: Fallback."));
    std::string after;
    ASSERT_TRUE(test::WaitUntil(
        [&] {
            after = page("/admin/settings?done=reload");
            return after.find("Reloaded") != std::string::npos;
        },
        5000))
        << after;
    EXPECT_NE(after.find("<td>On in a minute</td>"), std::string::npos) << after;
    EXPECT_NE(after.find("re-read; applied now: Fallback."), std::string::npos) << after;
    EXPECT_NE(after.find(" UTC</p>"), std::string::npos) << "when it happened";
    const std::string out = test::ReadFile(m_dir.File("server.out"));
    EXPECT_EQ(out.find("Reload asked"), out.rfind("Reload asked")) << "one reload: " << out;
    EXPECT_NE(page("/admin/log?q=asked+for").find("Web console: admin asked for a reload"),
              std::string::npos);

    // SIGHUP is bit 0 of each thread's blocked set (hexadecimal). The runner's own thread
    // shows it unblocked while it waits for it, which is how it takes it.
    size_t threads = 0;
    const std::string tasks = "/proc/" + std::to_string(m_server->Pid()) + "/task";
    for (const auto& task : std::filesystem::directory_iterator(tasks)) {
        if (task.path().filename() == std::to_string(m_server->Pid())) {
            continue;
        }
        const std::string status = test::ReadFile(task.path().string() + "/status");
        const size_t blocked = status.find("SigBlk:\t");
        ASSERT_NE(blocked, std::string::npos);
        EXPECT_EQ(std::stoull(status.substr(blocked + 8, 16), nullptr, 16) & 1u, 1u)
            << task.path() << " lets SIGHUP through";
        ++threads;
    }
    EXPECT_GT(threads, 2u) << "the engine's threads as well as the console's";
}

// A station on air in the real engine (ovstream.so beside ovserver, ffmpeg feeding it a tone):
// SIGHUP applies what can change live, keeps the listeners, and names what needs a restart; a
// broken file changes nothing; the exit step writes the record in effect.
TEST(LiveStationTest, SighupAppliesLiveSettingsKeepsListenersAndNamesWhatNeedsARestart) {
    test::TempDir dir;
    test::ScopedEnv userHive("ORVANTA_USER_HIVE", dir.File("user.reg").c_str());
    test::ScopedEnv machineHive("ORVANTA_MACHINE_HIVE", dir.File("machine.reg").c_str());
    std::filesystem::copy_file(std::string(ORV_PROGRAM_DIR) + "/ovstream.so",
                               dir.File("ovstream.so"));
    const std::string out = dir.File("stdout");
    const auto config = [&dir](int port, int maxClient, const std::string& users) {
        test::WriteFile(
            dir.File("Config.ini"),
            "[Broadcast]\nPassword=hackme\nPublicServer=False\nShoutcastRegister=False\n"
            "PrivateBr=True\n[Network]\nPort=" +
                std::to_string(port) + "\n[Limits]\nMaxClient=" + std::to_string(maxClient) +
                "\n[PrivateBr]\n" + users);
    };
    // On the first free port pair of five tries.
    std::unique_ptr<test::Process> child;
    int port = 0;
    std::mt19937 random(static_cast<unsigned>(::getpid()));
    for (int attempt = 0; attempt < 5 && port == 0; ++attempt) {
        const int tried = 20001 + static_cast<int>(random() % 20000) * 2;
        config(tried, 2,
               "Count=2\nPrivateUser1=ann\nPrivatePass1=pw1\nPrivateUser2=bob\nPrivatePass2=pw2\n");
        child.reset();
        child = Spawn(dir, {"--headless", "/start", "--status-interval=1"});
        port = WaitForText(out, "Service started") ? tried : 0;
    }
    ASSERT_NE(port, 0) << test::ReadFile(dir.File("stderr"));
    test::Tone tone;
    tone.seconds = 60;
    const auto source = test::ToneEncoder(port, dir.Path(), tone);
    ASSERT_TRUE(WaitForText(out, "| source connected")) << test::ReadFile(dir.File("encoder.err"));
    const std::string ann = "YW5uOnB3MQ==";  // ann:pw1
    std::string head;
    auto listener = Listen(port, ann, &head);
    ASSERT_EQ(head.rfind("HTTP/1.0 200 OK", 0), 0u) << head;
    ASSERT_EQ(listener->Read(2000).size(), 2000u);

    // Fewer listeners, bob out, another port.
    config(port + 2, 1, "Count=1\nPrivateUser1=ann\nPrivatePass1=pw1\n");
    child->Signal(SIGHUP);
    ASSERT_TRUE(WaitForText(out, "applied now: MaxClient, Private broadcast.")) << out;
    EXPECT_TRUE(
        WaitForText(out, "Reload: changed, in effect only after a restart of the service: Port."));
    EXPECT_EQ(listener->Read(16000).size(), 16000u) << "the listener kept its stream";
    Listen(port, ann, &head);
    EXPECT_EQ(head.rfind("HTTP/1.0 503", 0), 0u) << "over the new MaxClient: " << head;
    Listen(port, "Ym9iOnB3Mg==", &head);  // bob:pw2
    EXPECT_EQ(head.rfind("HTTP/1.0 401", 0), 0u) << "bob was taken out: " << head;
    EXPECT_TRUE(WaitForText(out, "listeners 1 / 1"));

    test::WriteFile(dir.File("Config.ini"), "\x01[Limits]\nMaxClient=50\n");
    child->Signal(SIGHUP);
    EXPECT_TRUE(WaitForText(dir.File("stderr"), "Config.ini not taken: not a configuration file"));
    EXPECT_EQ(listener->Read(16000).size(), 16000u);
    Listen(port, ann, &head);
    EXPECT_EQ(head.rfind("HTTP/1.0 503", 0), 0u) << "MaxClient is still 1: " << head;
    child->Signal(SIGTERM);
    ASSERT_EQ(child->Wait(10000), 0);
    EXPECT_TRUE(Holds(dir.File("Config.ini"), "Port=" + std::to_string(port + 2)));
}

#ifdef ORV_TEST_X11
// The top-level windows on the X server, bottom to top.
std::vector<Window> TopLevels(Display* display) {
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    std::vector<Window> windows;
    if (XQueryTree(display, XDefaultRootWindow(display), &root, &parent, &children, &count) != 0) {
        windows.assign(children, children + count);
        XFree(children);
    }
    return windows;
}

// The console's top-level window, found by its title; 0 while there is none.
Window ConsoleWindow(Display* display) {
    for (const Window window : TopLevels(display)) {
        char* name = nullptr;
        XWindowAttributes attributes{};
        const bool found = XFetchName(display, window, &name) != 0 && name != nullptr &&
                           std::string(name) == "Orvanta Server" &&
                           XGetWindowAttributes(display, window, &attributes) != 0 &&
                           attributes.map_state == IsViewable;
        XFree(name);
        if (found) {
            return window;
        }
    }
    return 0;
}

// Whether `window` is stacked above `other`. (Who has the keyboard is not asked: without a
// window manager the X server keeps it with whoever took it last, whatever the console asks.)
bool StackedAbove(Display* display, Window window, Window other) {
    const std::vector<Window> windows = TopLevels(display);
    const auto above = std::find(windows.begin(), windows.end(), window);
    return above != windows.end() && std::find(windows.begin(), above, other) != above;
}
#endif

TEST(OvserverTest, OneConsolePerUserAndACrashedOnesSocketDoesNotBlockTheNext) {
    test::TempDir run;
    test::ScopedEnv runtime("XDG_RUNTIME_DIR", run.Path().c_str());
    // Offscreen unless a real display was asked for (CTest runs it once more under Xvfb).
    const bool ownPlatform = ::getenv("QT_QPA_PLATFORM") == nullptr;
    test::ScopedEnv qpa("QT_QPA_PLATFORM", ownPlatform ? "offscreen" : ::getenv("QT_QPA_PLATFORM"));
    const std::string socket = run.File("orvanta-server.console");
    test::TempDir first;
    test::TempDir second;
    test::TempDir third;
    auto one = Spawn(first, {});
    test::WaitUntil([&] { return std::filesystem::exists(socket); }, 10000);
    ASSERT_TRUE(std::filesystem::exists(socket)) << test::ReadFile(first.File("stderr"));
#ifdef ORV_TEST_X11
    // On a real X server the second start also brings the running console forward: another
    // window covers it first.
    Display* display = ownPlatform ? nullptr : XOpenDisplay(nullptr);
    Window cover = 0;
    Window console = 0;
    if (display != nullptr) {
        test::WaitUntil([&] { return (console = ConsoleWindow(display)) != 0; }, 10000);
        ASSERT_NE(console, 0u) << "the console's window never showed";
        cover = XCreateSimpleWindow(display, XDefaultRootWindow(display), 0, 0, 1024, 768, 0, 0, 0);
        XMapRaised(display, cover);
        XSync(display, False);
        ASSERT_FALSE(StackedAbove(display, console, cover));
    }
#endif
    EXPECT_EQ(Spawn(second, {})->Wait(10000), 0);
    EXPECT_TRUE(Holds(second.File("stdout"), "already running"));
    EXPECT_FALSE(std::filesystem::exists(second.File("Config.ini"))) << "it wrote nothing";
#ifdef ORV_TEST_X11
    if (display != nullptr) {
        EXPECT_TRUE(test::WaitUntil([&] { return StackedAbove(display, console, cover); }, 5000))
            << "the running console was not brought forward";
        XDestroyWindow(display, cover);
        XCloseDisplay(display);
    }
#endif

    // A crash leaves the socket behind; nobody answers on it.
    one->Signal(SIGKILL);
    one->Wait(10000);
    ASSERT_TRUE(std::filesystem::exists(socket));
    auto three = Spawn(third, {});
    // It runs on (the child is not collected here).
    siginfo_t info{};
    EXPECT_FALSE(test::WaitUntil(
        [&] {
            return ::waitid(P_PID, static_cast<id_t>(three->Pid()), &info,
                            WEXITED | WNOHANG | WNOWAIT) == 0 &&
                   info.si_pid == three->Pid();
        },
        3000))
        << test::ReadFile(third.File("stdout"));
    EXPECT_EQ(Spawn(second, {})->Wait(10000), 0);
    EXPECT_TRUE(Holds(second.File("stdout"), "already running")) << "the third owns the socket";
    three->Signal(SIGTERM);
    EXPECT_EQ(three->Wait(10000), 0);
}

TEST(OvserverTest, AFailedAutoStartShowsTheHostsMessageThen2066) {
    test::TempDir dir;
    test::WriteFile(dir.File("Config.ini"), "[Network]\nPort=8765\n[Media]\nFormat=VORBIS\n");
    auto child = Spawn(dir, {"--headless", "/start"});
    ASSERT_TRUE(WaitForText(dir.File("stderr"), "8765"));
    child->Signal(SIGTERM);
    EXPECT_EQ(child->Wait(10000), 0);
    EXPECT_EQ(test::ReadFile(dir.File("stderr")),
              "Orvanta server: Failed finding \"OGG service module\".\nFailed to start streaming "
              "service.\nOrvanta Server: Critical error occurred - TCP 8765 port is already "
              "occupied by another application.\nPlease change your streaming port, and try "
              "again.\n");
}

class HeadlessServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* module : {"fixture_service.so", "fixture_plugin.so"}) {
            test::CopyFixture(module, m_dir.File(module));
        }
    }
    // Runs ovserver --headless /start until its first status line, then stops it.
    std::string RunOnce() {
        std::filesystem::remove(m_log);
        auto child = Spawn(m_dir, {"--headless", "/start", "--status-interval=1"});
        const bool status = WaitForText(m_dir.File("stdout"), "listeners 4 / ");
        child->Signal(SIGTERM);
        EXPECT_EQ(child->Wait(10000), 0);
        EXPECT_TRUE(status) << test::ReadFile(m_dir.File("stdout"))
                            << test::ReadFile(m_dir.File("stderr"));
        return test::ReadFile(m_dir.File("stdout"));
    }
    // How many modules and plug-ins the run created to describe them (a scan makes each twice),
    // and whether the service module was started and stopped.
    std::string Calls() const {
        int scans = 0;
        int runs = 0;
        for (const std::string& line : test::ReadLines(m_log)) {
            scans += line == "0 Create " || line.rfind("plugin OPluginCreate", 0) == 0 ? 1 : 0;
            runs += line == "2 Start 8000 0" || line == "3 Stop" ? 1 : 0;
        }
        return std::to_string(scans) + " scans, " + std::to_string(runs) + " start and stop";
    }

    test::TempDir m_dir;
    std::string m_log = m_dir.File("calls.log");
    test::ScopedEnv m_logEnv{"ORV_FIXTURE_LOG", m_log.c_str()};
    test::ScopedEnv m_source{"ORV_FIXTURE_SOURCE", "1"};
    test::ScopedEnv m_listeners{"ORV_FIXTURE_LISTENERS", "4"};
    test::ScopedEnv m_userHive{"ORVANTA_USER_HIVE", m_dir.File("user.reg").c_str()};
    test::ScopedEnv m_machineHive{"ORVANTA_MACHINE_HIVE", m_dir.File("machine.reg").c_str()};
    // The shipped language packs sit beside the program: its messages are checked in English
    // whatever the machine's language.
    test::ScopedEnv m_language{"ORVANTA_UI_LANGUAGE", "0x0409"};
    test::ScopedEnv m_locale{"LC_ALL", "C.UTF-8"};
};

// Started from the folder, the second run reads both caches. A state folder takes everything
// written and the program folder stays clean; one that cannot be made stops the program before
// it writes anything.
TEST_F(HeadlessServiceTest, StartsFromTheFolderOrAStateFolderAndReadsTheCachesTheSecondTime) {
    std::string out = RunOnce();
    EXPECT_NE(out.find("running | source connected | listeners 4 / 20 | received 0.118 Mbytes"),
              std::string::npos)
        << out;
    EXPECT_EQ(Calls(), "4 scans, 2 start and stop");
    RunOnce();
    EXPECT_EQ(Calls(), "0 scans, 2 start and stop") << "the second run reads both caches";
    const char* const written[] = {"Config.ini", "OVTService.cache", "OVTPlugins.cache", "log",
                                   "Contents"};
    for (const char* name : written) {
        std::filesystem::remove_all(m_dir.File(name));
    }

    test::WriteFile(m_dir.File("in-the-way"), "a file, not a folder");
    {
        test::ScopedEnv blocked("ORVANTA_STATE_DIR", m_dir.File("in-the-way/state").c_str());
        EXPECT_EQ(Spawn(m_dir, {"--headless", "/start"})->Wait(10000), 3);
        EXPECT_TRUE(Holds(m_dir.File("stderr"),
                          "cannot use the state folder " + m_dir.File("in-the-way/state/")));
        EXPECT_EQ(test::ReadFile(m_dir.File("stdout")), "");
    }
    const std::string state = m_dir.File("state/");
    test::ScopedEnv stateDir("ORVANTA_STATE_DIR", state.c_str());
    test::ScopedEnv noUserHive("ORVANTA_USER_HIVE", nullptr);  // the state folder's own is used
    out = RunOnce();
    RunOnce();
    EXPECT_NE(out.find("configuration: " + state + "Config.ini)"), std::string::npos) << out;
    for (const char* name : written) {
        EXPECT_TRUE(std::filesystem::exists(state + name)) << name;
        EXPECT_FALSE(std::filesystem::exists(m_dir.File(name))) << name;
    }
    EXPECT_EQ(Calls(), "0 scans, 2 start and stop") << "the caches are read from the state folder";
}

// The crash reporter is set up once at construction and destroyed last; a missing module or a
// factory that refuses means no crash reporting.
TEST(CrashReporterTest, IsSetUpOnceAtConstructionAndDestroyedLastIfTheModuleGivesOne) {
    test::TempDir dir;
    const std::string log = dir.File("calls.log");
    test::ScopedEnv logEnv("ORV_FIXTURE_LOG", log.c_str());
    {
        CServerContext context(std::string(ORV_FIXTURE_DIR) + "/crash/");
        EXPECT_TRUE(context.HasCrashReporter());
        context.InitInstance();
        EXPECT_EQ(context.config.Password, "mustedit");
    }
    EXPECT_EQ(
        test::ReadLines(log),
        (std::vector<std::string>{
            "crash OXCreate",
            std::string("crash SetReportTarget 0 ") + kCrashReportAddress + " Orvanta Error Report",
            "crash AddRegistrySource HKCU\\Software\\KELVO Registry", "crash Destroy 1"}));

    EXPECT_FALSE(CServerContext(dir.Folder()).HasCrashReporter());
    test::ScopedEnv refuse("ORV_FIXTURE_FACTORY_NULL", "1");
    EXPECT_FALSE(CServerContext(std::string(ORV_FIXTURE_DIR) + "/crash/").HasCrashReporter());
}

}  // namespace
}  // namespace orvanta
