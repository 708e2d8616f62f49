// ovstream.so loaded the way the console loads it: through its exports, and by the real
// service host with a station configuration.
#include "headless_server.h"
#include "ovstream/fake_directory.h"
#include "ovstream/test_client.h"
#include "service/service_host.h"
#include "support/file_version.h"
#include "support/recording_host_ui.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

namespace orvanta {
namespace {

using namespace std::chrono_literals;

const std::string kModule = std::string(ORV_PROGRAM_DIR) + "/ovstream.so";

TEST(OvstreamModuleTest, ExportsOnlyItsEntriesAndCarriesTheVersion) {
    // Nothing of the engine, nor of the C++ library it carries, leaks out for other modules
    // to clash with: the dynamic symbol table defines the factory and the four optional
    // entries.
    FILE* nm = ::popen(("nm -D --defined-only '" + kModule + "' | awk '{print $NF}'").c_str(), "r");
    ASSERT_NE(nm, nullptr);
    std::string exported(4096, '\0');
    exported.resize(std::fread(exported.data(), 1, exported.size(), nm));
    ::pclose(nm);
    EXPECT_EQ(exported,
              "OrvantaServiceController2\nOrvantaServiceFallback\nOrvantaServiceHeartbeat\n"
              "OrvantaServiceOption\nOrvantaServiceStartError\n");

    EXPECT_NE(GetFileVersion(kModule), 0u) << "stamped with the project's version";

    // The console finds it for an MP3 or Ogg Vorbis station and never for a WMA one.
    test::TempDir program;
    std::filesystem::copy_file(kModule, program.File("ovstream.so"));
    CServiceModuleCache modules;
    ASSERT_TRUE(modules.Init(program.Folder(), true));
    for (const uint32_t format : {ORVANTA_FORMAT_MP3, ORVANTA_FORMAT_OGG_VORBIS}) {
        const ServiceModuleInfo* found = modules.FindByFormat(format);
        ASSERT_NE(found, nullptr) << format;
        EXPECT_STREQ(found->fileName, "ovstream.so");
    }
    EXPECT_EQ(modules.FindByFormat(ORVANTA_FORMAT_WMA), nullptr);
}

// The console hands the address override over twice, the second time inverted; whatever the
// operator chose must be what the directory lists.
TEST(OvstreamModuleTest, TheDirectoryListsTheAddressTheOperatorChose) {
    test::TempDir program;
    std::filesystem::copy_file(kModule, program.File("ovstream.so"));
    CServiceModuleCache modules;
    ASSERT_TRUE(modules.Init(program.Folder(), true));
    for (const int overrideOn : {1, 0}) {
        engine::FakeDirectory directory;
        directory.Answer([](const engine::YpRequest&) { return engine::kAdded; });
        StationConfig config;
        config.SetDefaults();
        config.Password = "hackme";
        config.CreateLog = 0;
        config.ContentDir = program.File("content");
        config.DirectoryServer = "127.0.0.1";
        config.DirectoryPort = directory.Port();
        config.PublicServer = 1;
        config.Master = 1;
        config.Portforward = overrideOn;
        config.OverrideIP = "203.0.113.7";
        config.OverridePort = 9000;
        ServiceStatus status;
        test::RecordingUi ui;
        CServiceHost host(modules, config, status, ui, program.Folder());
        ASSERT_NE(test::StartOnFreePortPair([&](int port) {
                      config.Port = port;
                      host.Start();
                      return host.IsRunning();
                  }),
                  0);

        test::TestClient source(static_cast<uint16_t>(config.Port + 1));
        source.Send("hackme\r\nicy-name:Owl\r\nicy-genre:Jazz\r\n\r\n" + test::Mp3Frames(20));
        const auto requests = directory.WaitFor(1, 5s);
        host.Stop();
        EXPECT_TRUE(ui.messages.empty()) << ui.messages.front();
        ASSERT_FALSE(requests.empty()) << "no add reached the directory";
        const std::string listed = requests.front().form.at("listenurl");
        if (overrideOn != 0) {
            EXPECT_EQ(listed, "http://203.0.113.7:9000/stream");
        } else {
            test::ExpectHas(listed, {"203.0.113.7"}, false);
            test::ExpectHas(listed, {":" + std::to_string(config.Port) + "/stream"});
        }
    }
}

// [Admin] MetricsAllowFrom goes from Config.ini through the host to the engine, and a reload
// replaces it for the next request.
class OvstreamServerTest : public test::HeadlessServerTest {};

TEST_F(OvstreamServerTest, MetricsAllowFromComesFromConfigIniAndFollowsAReload) {
    MakeProgramFolder({"ovserver", "ovstream.so"});
    StartServer("[Admin]\nMetricsAllowFrom=127.0.0.2\n", 5000);
    const auto scrape = [this](const char* from) {
        test::TestClient client(static_cast<uint16_t>(m_port), 0, from);
        client.Send("GET /metrics HTTP/1.0\r\n\r\n");
        return client.ReadAll(3000);
    };
    EXPECT_PRED2(test::StartsWith, scrape("127.0.0.2"), "HTTP/1.0 200 OK");
    EXPECT_PRED2(test::StartsWith, scrape("127.0.0.3"), "HTTP/1.0 403");

    test::WriteFile(
        m_dir.File("Config.ini"),
        "[Broadcast]\nPassword=hackme\n[Network]\nPort=" + std::to_string(m_port) +
            "\n[Limits]\nMaxClient=5\nTimeout=3\n[Admin]\nMetricsAllowFrom=127.0.0.3\n");
    m_server->Signal(SIGHUP);
    EXPECT_TRUE(
        test::WaitForFileText(m_dir.File("server.out"), "applied now: MetricsAllowFrom", 5000))
        << test::ReadFile(m_dir.File("server.out"));
    EXPECT_TRUE(
        test::WaitUntil([&] { return test::StartsWith(scrape("127.0.0.3"), "HTTP/1.0 200 OK"); }));
    EXPECT_PRED2(test::StartsWith, scrape("127.0.0.2"), "HTTP/1.0 403");
}

// A service manager's end of the notification protocol: a datagram socket whose path goes into
// NOTIFY_SOCKET for the server started next.
class NotifySocket {
public:
    explicit NotifySocket(const std::string& path) {
        m_socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        EXPECT_EQ(::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::setenv("NOTIFY_SOCKET", path.c_str(), 1);
    }
    ~NotifySocket() {
        ::unsetenv("NOTIFY_SOCKET");
        ::unsetenv("WATCHDOG_USEC");
        ::close(m_socket);
    }
    // The next message within `ms`, or "" when none came.
    std::string Next(int ms = 5000) {
        pollfd ready{m_socket, POLLIN, 0};
        if (::poll(&ready, 1, ms) != 1) {
            return {};
        }
        std::string message(4096, '\0');
        const ssize_t got = ::recv(m_socket, message.data(), message.size(), 0);
        message.resize(got > 0 ? static_cast<size_t>(got) : 0);
        return message;
    }
    // Messages until one starts with `state`, which is returned ("" when none came in `ms`);
    // the watchdog's pings on the way are counted.
    std::string Await(const std::string& state, int ms = 5000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            std::string message = Next(100);
            pings += message.starts_with("WATCHDOG=1\nSTATUS=running") ? 1 : 0;
            if (message.starts_with(state)) {
                return message;
            }
        }
        return {};
    }

    int pings = 0;

private:
    int m_socket = -1;
};

// Started by a service manager that waits for readiness: ready once the port is open, with the
// status line; the watchdog fed while the engine's loop and the status monitor turn; a reload
// announced and its end; the stop announced. A start that fails ends the process at once.
TEST_F(OvstreamServerTest, AServiceManagerHearsReadinessTheWatchdogReloadsAndTheStop) {
    MakeProgramFolder({"ovserver", "ovstream.so"});
    NotifySocket manager(m_dir.File("notify"));
    ::setenv("WATCHDOG_USEC", "800000", 1);
    StartServer("", 5000);
    const std::string ready = manager.Await("READY=1");
    test::ExpectHas(ready, {"READY=1\nSTATUS=running | source not connected | listeners 0 / 5"});
    // Fed about every 200 ms.
    manager.pings = 0;
    manager.Await("never", 2000);
    EXPECT_GE(manager.pings, 6);

    m_server->Signal(SIGHUP);
    EXPECT_EQ(manager.Await("RELOADING=1"), "RELOADING=1");
    test::ExpectHas(manager.Await("READY=1"), {"STATUS=running"});
    StopServer();
    EXPECT_EQ(manager.Await("STOPPING=1"), "STOPPING=1");
    m_server.reset();

    // The port taken: no readiness, exit status 1, the reason on standard error.
    const int taken = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(static_cast<uint16_t>(m_port));
    ASSERT_EQ(::bind(taken, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
    ASSERT_EQ(::listen(taken, 1), 0);
    test::Process failing(m_dir.File("ovserver"), {"--headless", "/start"},
                          m_dir.File("failed.out"), m_dir.File("failed.err"), m_dir.Path());
    EXPECT_EQ(failing.Wait(10000), 1) << test::ReadFile(m_dir.File("failed.err"));
    EXPECT_EQ(manager.Await("READY=1", 500), "");
    test::ExpectHas(test::ReadFile(m_dir.File("failed.out")),
                    {"Stopping: the service did not start."});
    ::close(taken);
}

}  // namespace
}  // namespace orvanta
