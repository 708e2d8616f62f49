// The station's own page in Chromium the size of a phone, against the real ovserver started
// headless. station_page_test.mjs drives the browser through puppeteer-core, runs ffmpeg as the
// source (it kills and restarts it) and checks the page with axe-core; this test starts the
// station, runs the script and reads its report.
#include "headless_server.h"
#include "test_process.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace orvanta {
namespace {

namespace fs = std::filesystem;

const std::string kBrowserDir = ORV_BROWSER_DIR;

class StationPageBrowserTest : public test::HeadlessServerTest {};

TEST_F(StationPageBrowserTest, AListenerPlaysFollowsTitlesAndIsReconnectedAfterTheSourceReturns) {
    if (!fs::exists("/usr/bin/chromium") || !test::HaveTool("node") || !test::HaveTool("ffmpeg") ||
        !fs::exists(kBrowserDir + "/node_modules/puppeteer-core/package.json") ||
        !fs::exists(kBrowserDir + "/node_modules/axe-core/axe.min.js")) {
        GTEST_SKIP() << "needs /usr/bin/chromium, node, ffmpeg and the npm packages in "
                        "tests/browser/node_modules: bash scripts/deps.sh --tests installs them";
    }
    MakeProgramFolder({"ovserver", "ovstream.so"});
    // hls.js beside the engine, as the build and the package put it.
    const std::string library = std::string(ORV_PROGRAM_DIR) + "/web/hls.light.min.js";
    if (!fs::exists(library)) {
        GTEST_SKIP() << "needs hls.js in web/node_modules: bash scripts/deps.sh installs it";
    }
    fs::create_directories(m_dir.File("web"));
    fs::copy_file(library, m_dir.File("web/hls.light.min.js"));
    // Short segments: hls.js starts a few segments from the live edge.
    StartServer("[HLS]\nSegmentSeconds=2\n", 8000);
    ASSERT_TRUE(m_server);

    fs::create_directories(ORV_SCREENSHOT_DIR);
    const std::vector<std::pair<const char*, std::string>> environment = {
        {"ORV_STATION_URL", "http://127.0.0.1:" + std::to_string(m_port)},
        {"ORV_SCREENSHOT_DIR", ORV_SCREENSHOT_DIR},
        {"ORV_BROWSER_PROFILE", m_dir.File("browser")},
    };
    for (const auto& [name, value] : environment) {
        ::setenv(name, value.c_str(), 1);
    }
    test::Process script("node", {kBrowserDir + "/station_page_test.mjs"}, m_dir.File("script.out"),
                         m_dir.File("script.err"), kBrowserDir);
    for (const auto& [name, value] : environment) {
        ::unsetenv(name);
    }
    // The script bounds itself at 110 s and ends the browser and its source; this is the
    // backstop.
    const int code = script.Wait(130000);
    const std::string report = test::ReadFile(m_dir.File("script.out"));
    EXPECT_EQ(code, 0) << report << test::ReadFile(m_dir.File("script.err"));
    EXPECT_NE(report.find("ok the station page did all it should"), std::string::npos) << report;
}

}  // namespace
}  // namespace orvanta
