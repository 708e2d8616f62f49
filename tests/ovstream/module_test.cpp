// ovstream.so loaded the way the console loads it: through its exports, and by the real
// service host with a station configuration.
#include "ovstream/fake_directory.h"
#include "ovstream/test_client.h"
#include "service/service_host.h"
#include "support/file_version.h"
#include "support/module_holder.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>
#include <vector>

namespace orvanta {
namespace {

using namespace std::chrono_literals;

const std::string kModule = std::string(ORV_PROGRAM_DIR) + "/ovstream.so";

TEST(OvstreamModuleTest, ExportsOnlyItsEntriesAndDescribesItself) {
    // Nothing of the engine, nor of the C++ library it carries, leaks out for other modules
    // to clash with: the dynamic symbol table defines the factory and the options entry.
    FILE* nm = ::popen(("nm -D --defined-only '" + kModule + "'").c_str(), "r");
    ASSERT_NE(nm, nullptr);
    std::vector<std::string> exported;
    char line[1024];
    while (std::fgets(line, sizeof line, nm) != nullptr) {
        std::string text(line);
        const size_t space = text.rfind(' ');
        exported.push_back(text.substr(space + 1, text.find_last_not_of("\n") - space));
    }
    ::pclose(nm);
    EXPECT_EQ(exported,
              (std::vector<std::string>{"OrvantaServiceController2", "OrvantaServiceOption",
                                        "OrvantaServiceStartError"}));

    CModuleHolder holder;
    IServiceController* controller = holder.LoadServiceModule(kModule, "");
    ASSERT_NE(controller, nullptr) << holder.Error();
    ServiceModuleInfo info;
    std::memset(&info, 0xAB, sizeof info);
    controller->Describe(&info);
    EXPECT_EQ(info.formatMask, 18u);
    EXPECT_STREQ(info.fileName, "ovstream.so");
    EXPECT_NE(GetFileVersion(kModule), 0u) << "stamped with the project's version";
}

TEST(OvstreamModuleTest, SettingsGivenBeforeStartApplyAndTheCountersAnswer) {
    CModuleHolder holder;
    IServiceController* c = holder.LoadServiceModule(kModule, "Software\\KELVO\\OVServer\\Plugins");
    ASSERT_NE(c, nullptr);
    c->Initialize(1);
    c->SetMaxClients(4);
    c->SetSourcePassword("hackme");
    c->SetTimeout(2);
    EXPECT_EQ(c->IsRunning(), 0);

    std::mt19937 random(static_cast<unsigned>(::getpid()) + 7u);
    int port = 0;
    for (int attempt = 0; attempt < 50 && port == 0; ++attempt) {
        const int candidate = 20000 + static_cast<int>(random() % 20000) * 2;
        if (c->Start(candidate, 0) != 0) {
            port = candidate;
        }
    }
    ASSERT_NE(port, 0);
    EXPECT_EQ(c->IsRunning(), 1);
    EXPECT_EQ(c->IsSourceConnected(), 0);

    test::TestClient source(static_cast<uint16_t>(port + 1));
    source.Send("hackme\r\n\r\n");
    EXPECT_EQ(source.Read(20), "OK2\r\nicy-caps:11\r\n\r\n");
    source.Send(test::Mp3Frames(20));
    for (int i = 0; i < 300 && c->IsSourceConnected() == 0; ++i) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(c->IsSourceConnected(), 1);
    EXPECT_GE(c->GetTotalReceivedBytes(), 417.0 * 20);

    // A setting changed while running takes effect at once: a second listener is refused.
    c->SetMaxClients(0);
    std::this_thread::sleep_for(50ms);
    test::TestClient listener(static_cast<uint16_t>(port));
    listener.Send("GET /stream HTTP/1.0\r\n\r\n");
    EXPECT_EQ(listener.ReadAll(3000).rfind("HTTP/1.0 503", 0), 0u);

    c->Stop();
    EXPECT_EQ(c->IsRunning(), 0);
    EXPECT_EQ(c->IsSourceConnected(), 0);
}

// The service host, as a headless console answers it.
class QuietUi : public IServiceHostUi {
public:
    void ShowHostMessage(const std::string& text) override { ADD_FAILURE() << text; }
    bool HasMainWindow() override { return false; }
    Answer AskYesNoCancel(const std::string&) override { return kAnswerNo; }
    void EnableWindows(bool) override {}
    void PumpMessages() override {}
};

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
        config.Format = kFormatMp3;
        config.Password = "hackme";
        config.CreateLog = 0;
        config.LogFile.clear();
        config.ContentDir = program.File("content");
        config.DirectoryServer = "127.0.0.1";
        config.DirectoryPort = directory.Port();
        config.PublicServer = 1;
        config.Master = 1;
        config.Portforward = overrideOn;
        config.OverrideIP = "203.0.113.7";
        config.OverridePort = 9000;
        ServiceStatus status;
        QuietUi ui;
        CServiceHost host(modules, config, status, ui, program.Folder());
        std::mt19937 random(static_cast<unsigned>(::getpid()) + 11u);
        for (int attempt = 0; attempt < 50 && !host.IsRunning(); ++attempt) {
            config.Port = 20000 + static_cast<int>(random() % 20000) * 2;
            host.Start();
        }
        ASSERT_TRUE(host.IsRunning());

        test::TestClient source(static_cast<uint16_t>(config.Port + 1));
        source.Send("hackme\r\nicy-name:Owl\r\nicy-genre:Jazz\r\n\r\n" + test::Mp3Frames(20));
        const auto requests = directory.WaitFor(1, 5s);
        host.Stop();
        ASSERT_FALSE(requests.empty()) << "no add reached the directory";
        const std::string listed = requests.front().form.at("listenurl");
        if (overrideOn != 0) {
            EXPECT_EQ(listed, "http://203.0.113.7:9000/stream");
        } else {
            EXPECT_EQ(listed.find("203.0.113.7"), std::string::npos) << listed;
            EXPECT_NE(listed.find(":" + std::to_string(config.Port) + "/stream"), std::string::npos)
                << listed;
        }
    }
}

}  // namespace
}  // namespace orvanta
