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

namespace orvanta {
namespace {

using namespace std::chrono_literals;

const std::string kModule = std::string(ORV_PROGRAM_DIR) + "/ovstream.so";

TEST(OvstreamModuleTest, ExportsOnlyItsEntriesAndCarriesTheVersion) {
    // Nothing of the engine, nor of the C++ library it carries, leaks out for other modules
    // to clash with: the dynamic symbol table defines the factory and the three optional
    // entries.
    FILE* nm = ::popen(("nm -D --defined-only '" + kModule + "' | awk '{print $NF}'").c_str(), "r");
    ASSERT_NE(nm, nullptr);
    std::string exported(4096, '\0');
    exported.resize(std::fread(exported.data(), 1, exported.size(), nm));
    ::pclose(nm);
    EXPECT_EQ(exported,
              "OrvantaServiceController2\nOrvantaServiceFallback\nOrvantaServiceOption\n"
              "OrvantaServiceStartError\n");

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

}  // namespace
}  // namespace orvanta
