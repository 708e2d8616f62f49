// hls.js in headless Chromium plays the engine's /live.m3u8 while ffmpeg feeds it MP3. The page
// comes from the engine's content folder (files there may run scripts; the pages the engine
// makes may not) and reports to a listener of the test's how far its <audio> element played
// and which titles arrived as ID3 cues.
#include "engine/engine.h"
#include "ovstream/engine_ports.h"
#include "ovstream/test_client.h"
#include "test_process.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <poll.h>
#include <thread>

namespace orvanta::engine {
namespace {

using namespace std::chrono_literals;

// One HTTP request on a loopback port of its own: its request line, "" when none came in time.
class ReportListener {
public:
    ReportListener() { m_fd = test::LoopbackSocket(m_port, 4); }
    ~ReportListener() { ::close(m_fd); }
    uint16_t Port() const { return m_port; }

    std::string Await(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        const auto left = [&] {
            return static_cast<int>(
                std::max<int64_t>(0, std::chrono::duration_cast<std::chrono::milliseconds>(
                                         deadline - std::chrono::steady_clock::now())
                                         .count()));
        };
        pollfd waiting{m_fd, POLLIN, 0};
        if (::poll(&waiting, 1, left()) != 1) {
            return {};
        }
        const int client = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
        std::string request;
        char buffer[4096];
        for (pollfd reading{client, POLLIN, 0};
             request.find("\r\n") == std::string::npos && ::poll(&reading, 1, left()) == 1;) {
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0) {
                break;
            }
            request.append(buffer, static_cast<size_t>(n));
        }
        const std::string answer = "HTTP/1.0 204 No Content\r\n\r\n";
        ::send(client, answer.data(), answer.size(), MSG_NOSIGNAL);
        ::close(client);
        return request.substr(0, request.find("\r\n"));
    }

private:
    int m_fd = -1;
    uint16_t m_port = 0;
};

// The value of `name` in the request line's query, decoded.
std::string QueryValue(const std::string& line, const std::string& name) {
    size_t at = line.find(name + "=");
    if (at == std::string::npos) {
        return {};
    }
    std::string value;
    for (at += name.size() + 1; at < line.size() && line[at] != '&' && line[at] != ' '; ++at) {
        if (line[at] == '%' && at + 2 < line.size()) {
            value += static_cast<char>(std::stoi(line.substr(at + 1, 2), nullptr, 16));
            at += 2;
        } else {
            value += line[at] == '+' ? ' ' : line[at];
        }
    }
    return value;
}

TEST(HlsBrowserTest, HlsJsInChromiumPlaysTheLivePlaylistAndShowsTheTitle) {
    const std::string hlsJs = ORV_BROWSER_DIR "/node_modules/hls.js/dist/hls.min.js";
    if (std::system("command -v chromium >/dev/null && command -v ffmpeg >/dev/null") != 0 ||
        !std::filesystem::exists(hlsJs)) {
        GTEST_SKIP() << "chromium, ffmpeg and hls.js (npm ci) are installed by scripts/deps.sh";
    }
    test::TempDir dir;
    std::filesystem::create_directory(dir.File("content"));
    std::filesystem::copy_file(hlsJs, dir.File("content/hls.min.js"));
    std::filesystem::copy_file(ORV_BROWSER_DIR "/hls_player.html", dir.File("content/hls.html"));
    EngineSettings settings;
    settings.sourcePassword = "hackme";
    settings.contentDirectory = dir.File("content");
    settings.hlsSegmentSeconds = 1;
    settings.hlsWindow = 6;
    Engine engine;
    const uint16_t port = test::StartOnFreePorts(engine, settings);
    ASSERT_NE(port, 0) << "no free port pair";

    auto encoder = test::ToneEncoder(port, dir.Path(), {.seconds = 60});
    ASSERT_TRUE(test::WaitUntil([&] { return engine.SourceConnected(); }, 5000))
        << test::ReadFile(dir.File("encoder.err"));
    test::TestClient admin(port);
    admin.Send("GET /admin.cgi?pass=hackme&mode=updinfo&song=Night%20Owl%20Jazz HTTP/1.0\r\n\r\n");
    ASSERT_NE(admin.ReadAll(3000).find("200 OK"), std::string::npos);

    // A player opened before the first segments finds no playlist yet (404) and stops there;
    // hls.js starts three segments from the live edge.
    const auto segments = [port] {
        test::TestClient client(port);
        client.Send("GET /live.m3u8 HTTP/1.0\r\n\r\n");
        const std::string playlist = client.ReadAll(3000);
        size_t count = 0;
        for (size_t at = playlist.find("#EXTINF"); at != std::string::npos;
             at = playlist.find("#EXTINF", at + 1)) {
            ++count;
        }
        return count;
    };
    for (int i = 0; i < 100 && segments() < 3; ++i) {
        std::this_thread::sleep_for(100ms);
    }

    ReportListener report;
    const std::string page = "http://127.0.0.1:" + std::to_string(port) +
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
    const std::string line = report.Await(45s);
    browser.Signal(SIGTERM);
    browser.Wait(10000);
    encoder.reset();
    engine.Stop();

    std::printf("hls.js reported: %s\n", line.c_str());
    ASSERT_NE(line, "") << "no report from the page\n" << test::ReadFile(dir.File("browser.err"));
    EXPECT_EQ(QueryValue(line, "errors"), "") << line;
    EXPECT_GT(std::stod(QueryValue(line, "played")), 2.0) << line;
    EXPECT_EQ(QueryValue(line, "titles"), "Night Owl Jazz") << line;
}

}  // namespace
}  // namespace orvanta::engine
