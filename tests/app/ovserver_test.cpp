// Drives the real ovserver executable and the real crash-report test module.
#include "config/station_config_file.h"
#include "ovstream/test_client.h"
#include "startup/headless_runner.h"
#include "startup/server_context.h"
#include "support/path.h"
#include "test_process.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>
#ifdef ORV_TEST_X11
// Last: Xlib defines macros (None, Bool, Status) the headers above need not see.
#include <X11/Xlib.h>
#endif

namespace orvanta {
namespace {

using namespace std::chrono_literals;

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

std::string ExpectedVersion() {
    return std::to_string(ORV_VERSION_MAJOR) + "." + std::to_string(ORV_VERSION_MINOR) + "." +
           std::to_string(ORV_VERSION_PATCH) + "." + std::to_string(ORV_VERSION_TWEAK);
}

TEST(OvserverTest, VersionIsReadFromItsOwnStampAndUnknownOptionsAreRefusedWithUsage) {
    test::TempDir dir;
    EXPECT_EQ(Spawn(dir, {"--version"})->Wait(10000), 0);
    EXPECT_EQ(test::ReadFile(dir.File("stdout")), "Orvanta Server " + ExpectedVersion() + "\n");
    EXPECT_EQ(Spawn(dir, {"--headles"})->Wait(10000), 2);
    const std::string err = test::ReadFile(dir.File("stderr"));
    EXPECT_NE(err.find("unknown option --headles"), std::string::npos) << err;
    EXPECT_NE(err.find("Usage:"), std::string::npos);
}

// Either stop signal ends the run cleanly, and the exit step writes the loaded record to the
// program folder's Config.ini, never to the file it was loaded from.
TEST(OvserverTest, HeadlessRunsUntilTerminatedAndWritesTheLoadedConfigurationAtExit) {
    for (int stopSignal : {SIGTERM, SIGINT}) {
        test::TempDir dir;
        const std::string named = dir.File("station one.ini");
        test::WriteFile(named,
                        "[Broadcast]\nPassword=owl-secret\nGenre=700\n[Limits]\nMaxClient=42\n"
                        "[Paths]\nConfigfile=/srv/owl.ini\nContentDir=" +
                            dir.File("web/site") +
                            "\n[PrivateBr]\nCount=1\nPrivateUser1=ann\n"
                            "PrivatePass1=pw\n[Relay]\nHostname=up.example\nPort=8001\n");
        auto child = Spawn(dir, {"--headless", "/config:" + named});
        ASSERT_TRUE(WaitForText(dir.File("stdout"), "running"));
        const std::string out = test::ReadFile(dir.File("stdout"));
        EXPECT_NE(out.find("Orvanta Server " + ExpectedVersion() + " running without a window"),
                  std::string::npos)
            << out;
        EXPECT_NE(out.find("configuration: " + named + ")"), std::string::npos) << out;
        child->Signal(stopSignal);
        EXPECT_EQ(child->Wait(10000), 0);
        EXPECT_NE(test::ReadFile(dir.File("stdout")).find("Stopping ("), std::string::npos);
        EXPECT_EQ(test::ReadFile(dir.File("stderr")), "") << "nothing went wrong";

        EXPECT_EQ(test::ReadFile(named).find("[Network]"), std::string::npos)
            << "the named file is never written";
        StationConfig expected;
        LoadStationConfig(named, expected, {dir.Folder(), false});
        expected.ContentDir = GetFolderOf(expected.ContentDir);
        StationConfig saved;
        LoadStationConfig(dir.File("Config.ini"), saved, {dir.Folder(), false});
        EXPECT_EQ(saved, expected);
        EXPECT_EQ(saved.MaxClient, 42);
        EXPECT_EQ(saved.PrivateUsers.at("ann"), "pw");
        EXPECT_EQ(saved.RelayPort, 8001);
        EXPECT_EQ(saved.ContentDir, dir.File("web/"));
        EXPECT_TRUE(std::filesystem::is_directory(dir.File("web/site"))) << "created at load";
    }
}

TEST(OvserverTest, SighupRereadsTheConfigurationNamesWhatNeedsARestartAndKeepsRunning) {
    test::TempDir dir;
    const std::string out = dir.File("stdout");
    test::WriteFile(dir.File("Config.ini"), "[Network]\nPort=8123\n[Limits]\nMaxClient=7\n");
    auto child = Spawn(dir, {"--headless", "--status-interval=1"});
    ASSERT_TRUE(WaitForText(out, "SIGHUP re-reads"));
    child->Signal(SIGHUP);
    ASSERT_TRUE(WaitForText(out, "nothing changed."));

    test::WriteFile(dir.File("Config.ini"),
                    "[Network]\nPort=8124\n[Limits]\nMaxClient=9\n[Broadcast]\nPassword=new\n");
    child->Signal(SIGHUP);
    EXPECT_TRUE(WaitForText(out,
                            "re-read; changed, in effect at the next start: Port, "
                            "Password, MaxClient."))
        << test::ReadFile(out);
    EXPECT_TRUE(WaitForText(out, "listeners 0 / 9")) << "the new record is the one shown";
    EXPECT_EQ(test::ReadFile(out).find("Stopping"), std::string::npos);
    child->Signal(SIGTERM);
    EXPECT_EQ(child->Wait(10000), 0);
    StationConfig saved;
    LoadStationConfig(dir.File("Config.ini"), saved, {dir.Folder(), false});
    EXPECT_EQ(saved.Port, 8124) << "the operator's edit survives the exit step";
    EXPECT_EQ(saved.Password, "new");
}

// One silent MPEG-1 Layer III frame, 128 kbit/s, 44.1 kHz: 417 bytes.
std::string Mp3Frame() {
    std::string frame(417, '\0');
    frame.replace(0, 4, "\xFF\xFB\x90\x64");
    return frame;
}

// A station on air in the real engine: ovserver --headless /start with ovstream.so beside it,
// a v1 source on port + 1 feeding frames from a thread, for the reload to happen under.
class LiveStationTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::copy_file(std::string(ORV_PROGRAM_DIR) + "/ovstream.so",
                                   m_dir.File("ovstream.so"));
    }
    void TearDown() override {
        m_feeding = false;
        if (m_feeder.joinable()) {
            m_feeder.join();
        }
        if (m_child) {
            m_child->Signal(SIGTERM);
            EXPECT_EQ(m_child->Wait(10000), 0);
        }
    }
    // The configuration for listen port `port`, with `rest` after [Network].
    static std::string Config(int port, const std::string& rest) {
        return "[Broadcast]\nPassword=hackme\nPublicServer=False\nShoutcastRegister=False\n"
               "PrivateBr=True\n[Network]\nPort=" +
               std::to_string(port) + "\n" + rest;
    }
    // Starts on a free port pair (five tries) and puts a source on air.
    void StartOnAir(const std::string& rest) {
        std::mt19937 random(static_cast<unsigned>(::getpid()));
        for (int attempt = 0; attempt < 5 && m_port == 0; ++attempt) {
            const int port = 20001 + static_cast<int>(random() % 20000) * 2;
            test::WriteFile(m_dir.File("Config.ini"), Config(port, rest));
            m_child = Spawn(m_dir, {"--headless", "/start", "--status-interval=1"});
            if (WaitForText(m_out, "Service started")) {
                m_port = port;
                break;
            }
            m_child->Signal(SIGTERM);
            m_child->Wait(10000);
            m_child.reset();
        }
        ASSERT_NE(m_port, 0) << test::ReadFile(m_err);
        m_source = std::make_unique<test::TestClient>(static_cast<uint16_t>(m_port + 1));
        m_source->Send("hackme\r\n");
        ASSERT_EQ(m_source->Read(20), "OK2\r\nicy-caps:11\r\n\r\n");
        m_source->Send("icy-name:Night Owl\r\nicy-br:128\r\n\r\n");
        m_feeding = true;
        // About the stream's own pace (38 frames a second), so a listener that reads late is
        // not one that falls behind.
        m_feeder = std::thread([this] {
            const std::string frame = Mp3Frame();
            for (int i = 0; i < 2400 && m_feeding && m_source->Send(frame); ++i) {
                std::this_thread::sleep_for(25ms);
            }
        });
        ASSERT_TRUE(WaitForText(m_out, "| source connected"));
    }
    // A listener logged in with `credentials` (user:password in base64); its answer's head.
    std::unique_ptr<test::TestClient> Listen(const std::string& credentials, std::string* head) {
        auto listener = std::make_unique<test::TestClient>(static_cast<uint16_t>(m_port));
        listener->Send("GET /stream HTTP/1.0\r\nAuthorization: Basic " + credentials + "\r\n\r\n");
        *head = listener->ReadUntil("\r\n\r\n");
        return listener;
    }

    test::TempDir m_dir;
    test::ScopedEnv m_userHive{"ORVANTA_USER_HIVE", m_dir.File("user.reg").c_str()};
    test::ScopedEnv m_machineHive{"ORVANTA_MACHINE_HIVE", m_dir.File("machine.reg").c_str()};
    const std::string m_out = m_dir.File("stdout");
    const std::string m_err = m_dir.File("stderr");
    std::unique_ptr<test::Process> m_child;
    int m_port = 0;
    std::unique_ptr<test::TestClient> m_source;
    std::atomic<bool> m_feeding{false};
    std::thread m_feeder;
};

constexpr const char kAnn[] = "YW5uOnB3MQ==";  // ann:pw1
constexpr const char kBob[] = "Ym9iOnB3Mg==";  // bob:pw2

TEST_F(LiveStationTest, SighupAppliesLiveSettingsKeepsListenersAndNamesWhatNeedsARestart) {
    StartOnAir(
        "[Limits]\nMaxClient=2\n[PrivateBr]\nCount=2\nPrivateUser1=ann\nPrivatePass1=pw1\n"
        "PrivateUser2=bob\nPrivatePass2=pw2\n");
    std::string head;
    auto listener = Listen(kAnn, &head);
    ASSERT_EQ(head.rfind("HTTP/1.0 200 OK", 0), 0u) << head;
    ASSERT_EQ(listener->Read(417 * 4).size(), 417u * 4);

    // Fewer listeners, bob out, another port.
    test::WriteFile(m_dir.File("Config.ini"), Config(m_port + 2,
                                                     "[Limits]\nMaxClient=1\n[PrivateBr]\nCount=1\n"
                                                     "PrivateUser1=ann\nPrivatePass1=pw1\n"));
    m_child->Signal(SIGHUP);
    ASSERT_TRUE(WaitForText(m_out, "applied now: MaxClient, Private broadcast."))
        << test::ReadFile(m_out);
    EXPECT_TRUE(WaitForText(
        m_out, "Reload: changed, in effect only after a restart of the service: Port."));
    EXPECT_EQ(listener->Read(417 * 40).size(), 417u * 40) << "the listener kept its stream";
    Listen(kAnn, &head);
    EXPECT_EQ(head.rfind("HTTP/1.0 503", 0), 0u) << "over the new MaxClient: " << head;
    Listen(kBob, &head);
    EXPECT_EQ(head.rfind("HTTP/1.0 401", 0), 0u) << "bob was taken out: " << head;
    EXPECT_TRUE(WaitForText(m_out, "listeners 1 / 1"));

    // A broken file changes nothing; the station goes on.
    test::WriteFile(m_dir.File("Config.ini"), "\x01[Limits]\nMaxClient=50\n");
    m_child->Signal(SIGHUP);
    EXPECT_TRUE(WaitForText(m_err, "Config.ini not taken: not a configuration file"))
        << test::ReadFile(m_err);
    ::unlink(m_dir.File("Config.ini").c_str());
    m_child->Signal(SIGHUP);
    EXPECT_TRUE(WaitForText(m_err, "Config.ini not taken: No such file or directory"));
    EXPECT_EQ(listener->Read(417 * 40).size(), 417u * 40);
    Listen(kAnn, &head);
    EXPECT_EQ(head.rfind("HTTP/1.0 503", 0), 0u) << "MaxClient is still 1: " << head;
    EXPECT_EQ(test::ReadFile(m_out).find("Stopping"), std::string::npos);
}

TEST(OvserverTest, AConfigurationThatCannotBeSavedIsReportedAndLeavesNoTemporaryFile) {
    test::TempDir dir;
    // A folder where the file should be: the rename over it fails for root too.
    std::filesystem::create_directory(dir.File("Config.ini"));
    test::WriteFile(dir.File("station.ini"), "[Limits]\nMaxClient=42\n");
    auto child = Spawn(dir, {"--headless", "/config:" + dir.File("station.ini")});
    ASSERT_TRUE(WaitForText(dir.File("stdout"), "running without a window"));
    child->Signal(SIGTERM);
    EXPECT_EQ(child->Wait(10000), 1) << "unsaved settings are a failed exit";
    EXPECT_EQ(test::ReadFile(dir.File("stderr")),
              "Orvanta Server: The station configuration could not be saved to " +
                  dir.File("Config.ini") +
                  ".\ncannot replace the file: Is a directory\nThe file was left as it was.\n");
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        EXPECT_EQ(entry.path().filename().string().find(".Config.ini."), std::string::npos)
            << entry.path();
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.File("Config.ini")));
}

// Whether the child has ended, without collecting it.
bool Ended(pid_t pid) {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid;
}

#ifdef ORV_TEST_X11
// The console's top-level window on the X server, found by its title; 0 while there is none.
Window ConsoleWindow(Display* display) {
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (XQueryTree(display, XDefaultRootWindow(display), &root, &parent, &children, &count) != 0) {
        for (unsigned i = 0; i < count && found == 0; ++i) {
            char* name = nullptr;
            XWindowAttributes attributes{};
            if (XFetchName(display, children[i], &name) != 0 && name != nullptr &&
                std::string(name) == "Orvanta Server" &&
                XGetWindowAttributes(display, children[i], &attributes) != 0 &&
                attributes.map_state == IsViewable) {
                found = children[i];
            }
            XFree(name);
        }
        XFree(children);
    }
    return found;
}

// Whether `window` is stacked above `other`. (Who has the keyboard is not asked: without a
// window manager the X server keeps it with whoever took it last, whatever the console asks.)
bool StackedAbove(Display* display, Window window, Window other) {
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, XDefaultRootWindow(display), &root, &parent, &children, &count) == 0) {
        return false;
    }
    // Bottom to top: the window must come after the other one.
    bool seenOther = false;
    bool above = false;
    for (unsigned i = 0; i < count; ++i) {
        seenOther = seenOther || children[i] == other;
        above = above || (seenOther && children[i] == window);
    }
    XFree(children);
    return above;
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
    EXPECT_NE(test::ReadFile(second.File("stdout")).find("already running"), std::string::npos);
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
    EXPECT_FALSE(test::WaitUntil([&] { return Ended(three->Pid()); }, 3000))
        << test::ReadFile(third.File("stdout"));
    EXPECT_EQ(Spawn(second, {})->Wait(10000), 0);
    EXPECT_NE(test::ReadFile(second.File("stdout")).find("already running"), std::string::npos)
        << "the third start owns the socket now";
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
    std::vector<std::string> Creations() const {
        std::vector<std::string> lines;
        for (const std::string& line : test::ReadLines(m_log)) {
            if (line.rfind("0 Create", 0) == 0 || line.rfind("plugin OPluginCreate", 0) == 0 ||
                line == "2 Start 8000 0" || line == "3 Stop" || line == "1 Destroy 1") {
                lines.push_back(line);
            }
        }
        return lines;
    }
    // What a run that finds both caches loads: nothing but the service module.
    const std::vector<std::string> kCachedRun = {"0 Create Software\\KELVO\\OVServer\\Plugins",
                                                 "2 Start 8000 0", "3 Stop", "1 Destroy 1"};

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

TEST_F(HeadlessServiceTest, StartsFromTheFolderAndReadsTheCachesTheSecondTime) {
    const std::string out = RunOnce();
    EXPECT_NE(out.find("Service started on port 8000."), std::string::npos) << out;
    EXPECT_NE(out.find("running | source connected | listeners 4 / 20 | received 0.118 Mbytes"),
              std::string::npos)
        << out;
    // The first run scans: every module twice with an empty root, every plug-in twice.
    EXPECT_EQ(Creations(),
              (std::vector<std::string>{"plugin OPluginCreate Software\\KELVO",
                                        "plugin OPluginCreate Software\\KELVO", "0 Create ",
                                        "1 Destroy 1", "0 Create ", "1 Destroy 1",
                                        "0 Create Software\\KELVO\\OVServer\\Plugins",
                                        "2 Start 8000 0", "3 Stop", "1 Destroy 1"}));
    EXPECT_TRUE(std::filesystem::exists(m_dir.File("OVTService.cache")));
    EXPECT_TRUE(std::filesystem::exists(m_dir.File("OVTPlugins.cache")));
    RunOnce();
    EXPECT_EQ(Creations(), kCachedRun) << "the second run reads both caches";
}

TEST_F(HeadlessServiceTest, AStateFolderTakesEverythingWrittenAndTheProgramFolderStaysClean) {
    const std::string state = m_dir.File("state/");
    test::ScopedEnv stateDir("ORVANTA_STATE_DIR", state.c_str());
    test::ScopedEnv noUserHive("ORVANTA_USER_HIVE", nullptr);  // the state folder's own is used
    const std::string out = RunOnce();
    RunOnce();
    EXPECT_NE(out.find("configuration: " + state + "Config.ini)"), std::string::npos) << out;
    for (const char* written :
         {"Config.ini", "OVTService.cache", "OVTPlugins.cache", "log", "Contents"}) {
        EXPECT_TRUE(std::filesystem::exists(state + written)) << written;
        EXPECT_FALSE(std::filesystem::exists(m_dir.File(written))) << written;
    }
    StationConfig saved;
    LoadStationConfig(state + "Config.ini", saved, {state, false});
    EXPECT_EQ(saved.LogDir, state + "log/") << "not the folder it was started from";
    EXPECT_EQ(Creations(), kCachedRun) << "the second run reads the caches from the state folder";
}

TEST(OvserverTest, AStateFolderThatCannotBeMadeStopsTheProgramBeforeItWritesAnything) {
    test::TempDir dir;
    test::WriteFile(dir.File("in-the-way"), "a file, not a folder");
    const std::string state = dir.File("in-the-way/state");
    test::ScopedEnv stateDir("ORVANTA_STATE_DIR", state.c_str());
    EXPECT_EQ(Spawn(dir, {"--headless", "/start"})->Wait(10000), 3);
    const std::string err = test::ReadFile(dir.File("stderr"));
    EXPECT_NE(err.find("cannot use the state folder " + state + "/"), std::string::npos) << err;
    EXPECT_EQ(test::ReadFile(dir.File("stdout")), "");
    for (const char* written : {"Config.ini", "OVTService.cache", "OVTPlugins.cache", "logs"}) {
        EXPECT_FALSE(std::filesystem::exists(dir.File(written))) << written;
    }
}

TEST(HeadlessRunnerTest, ACommandLineWithoutTheProgramPathShowsMessage10070AndKeepsDefaults) {
    test::TempDir dir;
    CServerContext context(dir.Folder());
    std::ostringstream out;
    std::ostringstream err;
    const ProgramOptions options;
    CHeadlessRunner runner(context, options, out, err);
    BlockStopSignals();
    ::raise(SIGTERM);  // pending, so the run ends at once
    EXPECT_EQ(runner.Run("/other/path/ovserver /start", dir.File("ovserver")), 0);
    EXPECT_EQ(err.str(),
              "Orvanta Server: Failed to parse command line arguments.\ncommand line string : "
              "/other/path/ovserver /start\n");
    EXPECT_EQ(context.config.Port, 8080) << "the defaults stay";
    EXPECT_TRUE(std::filesystem::exists(dir.File("Config.ini"))) << "the exit step still saves";
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

    std::filesystem::remove(log);
    EXPECT_FALSE(CServerContext(dir.Folder()).HasCrashReporter());
    test::ScopedEnv refuse("ORV_FIXTURE_FACTORY_NULL", "1");
    EXPECT_FALSE(CServerContext(std::string(ORV_FIXTURE_DIR) + "/crash/").HasCrashReporter());
    EXPECT_EQ(test::ReadLines(log), std::vector<std::string>{"crash OXCreate null"});
}

}  // namespace
}  // namespace orvanta
