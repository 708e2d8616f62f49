// hls.js in headless Chromium plays the engine's /live.m3u8 while ffmpeg feeds it MP3. The page
// comes from the engine's content folder (files there may run scripts; the pages the engine
// makes may not) and posts to the test how far its <audio> element played and which titles
// arrived as ID3 cues.
#include "engine/engine.h"
#include "ovstream/engine_ports.h"
#include "ovstream/fake_directory.h"
#include "ovstream/test_client.h"
#include "test_process.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <iterator>
#include <regex>

namespace orvanta::engine {
namespace {

using namespace std::chrono_literals;

class HlsBrowserTest : public test::EngineFixture {};

TEST_F(HlsBrowserTest, HlsJsInChromiumPlaysTheLivePlaylistAndShowsTheTitle) {
    const std::string hlsJs = ORV_BROWSER_DIR "/node_modules/hls.js/dist/hls.min.js";
    if (std::system("command -v chromium >/dev/null && command -v ffmpeg >/dev/null") != 0 ||
        !std::filesystem::exists(hlsJs)) {
        GTEST_SKIP() << "chromium, ffmpeg and hls.js (npm ci) are installed by scripts/deps.sh";
    }
    test::TempDir dir;
    std::filesystem::create_directory(dir.File("content"));
    std::filesystem::copy_file(hlsJs, dir.File("content/hls.min.js"));
    std::filesystem::copy_file(ORV_BROWSER_DIR "/hls_player.html", dir.File("content/hls.html"));
    m_settings.contentDirectory = dir.File("content");
    m_settings.hlsSegmentSeconds = 1;
    m_settings.hlsWindow = 6;
    Start();
    auto encoder = test::ToneEncoder(m_port, dir.Path(), {.seconds = 60});
    ASSERT_TRUE(WaitForSource()) << test::ReadFile(dir.File("encoder.err"));
    ASSERT_NE(
        Get("GET /admin.cgi?pass=hackme&mode=updinfo&song=Night%20Owl%20Jazz HTTP/1.0\r\n\r\n")
            .find("200 OK"),
        std::string::npos);

    // A player opened before the first segments finds no playlist yet (404) and stops there;
    // hls.js starts three segments from the live edge.
    const std::regex segment("\nlive/");
    EXPECT_TRUE(test::WaitUntil(
        [&] {
            const std::string playlist = Get("GET /live.m3u8 HTTP/1.0\r\n\r\n");
            return std::distance(std::sregex_iterator(playlist.begin(), playlist.end(), segment),
                                 std::sregex_iterator()) >= 3;
        },
        10000));

    // The page posts its report as a form, which the fake directory records like any other.
    FakeDirectory report;
    const std::string page = "http://127.0.0.1:" + std::to_string(m_port) +
                             "/hls.html?report=" + std::to_string(report.Port());
    std::vector<std::string> args = {page};
    args.insert(args.begin(),
                {"--headless", "--disable-gpu", "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--disable-breakpad",
                 "--disable-audio-output", "--autoplay-policy=no-user-gesture-required",
                 "--user-data-dir=" + dir.File("browser")});
    if (::geteuid() == 0) {
        args.insert(args.begin(), "--no-sandbox");  // Chromium's sandbox refuses root
    }
    test::Process browser("chromium", args, dir.File("browser.out"), dir.File("browser.err"));
    const auto reports = report.WaitFor(1, 45s);
    browser.Signal(SIGTERM);
    browser.Wait(10000);

    ASSERT_FALSE(reports.empty()) << "no report from the page\n"
                                  << test::ReadFile(dir.File("browser.err"));
    auto result = reports[0].form;
    EXPECT_EQ(result["errors"], "");
    // Reported past two seconds, to two decimals: 2.004 arrives as "2.00".
    EXPECT_GE(std::stod(result["played"]), 2.0);
    EXPECT_EQ(result["titles"], "Night Owl Jazz");
}

}  // namespace
}  // namespace orvanta::engine
