// HLS from the live MP3 source: the segmenter and its ID3 tags on their own, then the engine on
// 127.0.0.1 with a real source, and ffmpeg playing the playlist.
#include "engine/engine.h"
#include "hls/hls_stream.h"
#include "hls/id3_tag.h"
#include "hls/playlist.h"
#include "hls/segmenter.h"
#include "ovstream/engine_ports.h"
#include "ovstream/test_client.h"
#include "test_process.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace orvanta::engine {
namespace {

using namespace std::chrono_literals;
using test::Mp3Frames;
using test::TestClient;

constexpr size_t kFrameBytes = 417;  // test::Mp3Frames: 128 kbit/s, 44.1 kHz, 1152 samples

uint32_t Syncsafe(std::string_view bytes) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        EXPECT_EQ(byte & 0x80, 0) << "not syncsafe";
        value = value << 7 | byte;
    }
    return value;
}

// A segment's ID3 tag as a player reads it: its frames by id, and where the audio begins.
struct ParsedTag {
    std::map<std::string, std::string> frames;
    size_t audioStart = 0;
};
ParsedTag ParseTag(const std::string& segment) {
    ParsedTag tag;
    EXPECT_EQ(segment.substr(0, 5), std::string("ID3\x04\x00", 5));
    const size_t end = 10 + Syncsafe(std::string_view(segment).substr(6));
    size_t pos = 10;
    while (pos + 10 <= end) {
        const std::string id = segment.substr(pos, 4);
        const size_t size = Syncsafe(std::string_view(segment).substr(pos + 4));
        EXPECT_LE(pos + 10 + size, end) << id << " runs past the tag";
        tag.frames[id] = segment.substr(pos + 10, size);
        pos += 10 + size;
    }
    EXPECT_EQ(pos, end) << "frame sizes do not add up to the tag's";
    tag.audioStart = end;
    return tag;
}

uint64_t Timestamp(const ParsedTag& tag) {
    const std::string& priv = tag.frames.at("PRIV");
    const std::string owner = "com.apple.streaming.transportStreamTimestamp";
    EXPECT_EQ(priv.substr(0, owner.size() + 1), owner + '\0');
    EXPECT_EQ(priv.size(), owner.size() + 1 + 8);
    uint64_t value = 0;
    for (size_t i = owner.size() + 1; i < priv.size(); ++i) {
        value = value << 8 | static_cast<unsigned char>(priv[i]);
    }
    return value;
}

TEST(HlsSegmenterTest, CutsWholeFramesTagsThemAndKeepsNumbersRisingAcrossSources) {
    HlsSegmenter segmenter(1000, 2, 3);
    segmenter.SourceStarted(std::chrono::system_clock::now());
    // 2 s is 76.6 frames: the first segment closes once it holds 77.
    EXPECT_EQ(segmenter.Feed(Mp3Frames(100), "Night \"Owl\""), 1u);
    const std::string hostile =
        std::string("Quote \" and NUL \0 here", 22) + std::string(10240, 'x');
    EXPECT_EQ(segmenter.Feed(Mp3Frames(100), hostile), 1u);
    segmenter.SourceStopped();  // the 46 frames under way are published as they are
    ASSERT_EQ(segmenter.Segments().size(), 3u);

    const auto& first = segmenter.Segments()[0];
    EXPECT_EQ(first.sequence, 1000u);
    EXPECT_NEAR(first.seconds, 77 * 1152 / 44100.0, 1e-9);
    ParsedTag tag = ParseTag(*first.bytes);
    EXPECT_EQ(tag.frames.at("TIT2"), "\x03Night \"Owl\"");
    EXPECT_EQ(Timestamp(tag), 0u);
    EXPECT_EQ(first.bytes->size() - tag.audioStart, 77 * kFrameBytes) << "whole frames only";
    EXPECT_EQ(first.bytes->substr(tag.audioStart, 2), "\xFF\xFB");

    // The second began before the hostile title arrived; the third carries it, made safe.
    const auto& third = segmenter.Segments()[2];
    EXPECT_EQ(ParseTag(*segmenter.Segments()[1].bytes).frames.at("TIT2"), "\x03Night \"Owl\"");
    tag = ParseTag(*third.bytes);
    EXPECT_EQ(Timestamp(tag), uint64_t{154} * 1152 * 90000 / 44100);
    const std::string title = tag.frames.at("TIT2");
    EXPECT_LE(title.size(), 1 + kMaxTagTitleBytes);
    EXPECT_EQ(title.substr(0, 22), "\x03Quote \" and NUL  here");
    EXPECT_EQ(title.find('\0'), std::string::npos);
    EXPECT_EQ(third.bytes->size() - tag.audioStart, 46 * kFrameBytes);

    // The source comes back: numbers go on, a discontinuity marks the seam, the window slides.
    segmenter.SourceStarted(std::chrono::system_clock::now());
    EXPECT_EQ(segmenter.Feed(Mp3Frames(78), "Back"), 1u);
    ASSERT_EQ(segmenter.Segments().size(), 3u);
    EXPECT_EQ(segmenter.Segments().front().sequence, 1001u);
    EXPECT_TRUE(segmenter.Segments().back().discontinuity);
    EXPECT_EQ(segmenter.Segments().back().sequence, 1003u);
    EXPECT_EQ(segmenter.Find(1000), nullptr) << "left the window";
    EXPECT_GT(Timestamp(ParseTag(*segmenter.Segments().back().bytes)), Timestamp(tag));

    const std::string playlist = RenderPlaylist(segmenter);
    EXPECT_EQ(playlist.rfind("#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:2\n"
                             "#EXT-X-MEDIA-SEQUENCE:1001\n",
                             0),
              0u)
        << playlist;
    EXPECT_NE(playlist.find("#EXT-X-DISCONTINUITY\n#EXT-X-PROGRAM-DATE-TIME:"), std::string::npos);
    EXPECT_EQ(playlist.find("DISCONTINUITY-SEQUENCE"), std::string::npos);
    EXPECT_NE(playlist.find("live/1003.mp3\n"), std::string::npos);
    for (size_t at = playlist.find("#EXTINF:"); at != std::string::npos;
         at = playlist.find("#EXTINF:", at + 1)) {
        EXPECT_LE(std::lround(std::stod(playlist.substr(at + 8))), 2) << "over the target";
    }
    // Three more segments push the discontinuity out of the window: it is counted instead.
    EXPECT_EQ(segmenter.Feed(Mp3Frames(240), "Back"), 3u);
    EXPECT_NE(RenderPlaylist(segmenter).find("#EXT-X-DISCONTINUITY-SEQUENCE:1\n"),
              std::string::npos);
}

TEST(HlsSegmenterTest, SegmentNamesAreParsedStrictly) {
    EXPECT_EQ(ParseSegmentPath("/live/0.mp3"), 0u);
    EXPECT_EQ(ParseSegmentPath("/live/1765045800.mp3"), 1765045800u);
    EXPECT_EQ(ParseSegmentPath("/live/18446744073709551615.mp3"), UINT64_MAX);
    for (const char* bad :
         {"/live/18446744073709551616.mp3", "/live/-1.mp3", "/live/+1.mp3", "/live/01.mp3",
          "/live/.mp3", "/live/1.mp3x", "/live/1.MP3", "/live/../1.mp3", "/live/1/2.mp3",
          "/live/%31.mp3", "/live/1 .mp3", "/live/99999999999999999999999.mp3", "/live/"}) {
        EXPECT_FALSE(ParseSegmentPath(bad).has_value()) << bad;
    }
}

// A flood of distinct addresses fills the count of HLS listeners up to its cap and no further;
// a client already known stays counted, and once the flood goes quiet newcomers count again.
TEST(HlsStreamTest, TheClientsCountedForTheStatusAreCapped) {
    HlsStream hls;
    const auto start = HlsStream::SteadyClock::now();
    hls.PlaylistFetched("192.0.2.1", start);
    for (size_t i = 0; i < kMaxHlsClients + 1000; ++i) {
        hls.PlaylistFetched("10." + std::to_string(i >> 16) + "." + std::to_string(i >> 8 & 255) +
                                "." + std::to_string(i & 255),
                            start + 1s);
    }
    EXPECT_EQ(hls.Listeners(start + 1s), kMaxHlsClients);
    hls.PlaylistFetched("192.0.2.1", start + 2s);
    const auto later = start + 2s + kHlsListenerWindow;
    hls.PlaylistFetched("198.51.100.7", later);
    EXPECT_EQ(hls.Listeners(later), 2u);
}

class HlsEngineTest : public test::EngineFixture {
protected:
    void SetUp() override {
        m_settings.timeout = 5;
        m_settings.hlsSegmentSeconds = 2;
        m_settings.hlsWindow = 3;
    }

    std::unique_ptr<TestClient> V1Source() {
        return EngineFixture::V1Source("icy-name:Night Owl\r\nicy-br:128\r\n\r\n");
    }

    // The playlist once it names `segment`.
    std::string WaitForPlaylist(const std::string& segment) {
        std::string answer;
        for (int i = 0; i < 100; ++i) {
            answer = Get("GET /live.m3u8 HTTP/1.0\r\n\r\n");
            if (answer.find(segment) != std::string::npos) {
                break;
            }
            std::this_thread::sleep_for(50ms);
        }
        return answer;
    }

    static std::vector<uint64_t> Sequences(const std::string& playlist) {
        std::vector<uint64_t> out;
        for (size_t at = playlist.find("live/"); at != std::string::npos;
             at = playlist.find("live/", at + 1)) {
            out.push_back(std::stoull(playlist.substr(at + 5)));
        }
        return out;
    }

    test::TempDir m_dir;
};

TEST_F(HlsEngineTest, ServesTheWindowToCachesAndKeepsItInTheOriginFolder) {
    m_settings.hlsOriginFolder = m_dir.File("origin");
    Start();
    EXPECT_NE(Get("GET /live.m3u8 HTTP/1.0\r\n\r\n").find("404"), std::string::npos);
    auto source = V1Source();
    source->Send(Mp3Frames(2));
    ASSERT_TRUE(WaitForSource(true));
    EXPECT_NE(Get("GET /admin.cgi?pass=hackme&mode=updinfo&song=Night%20Song HTTP/1.0\r\n\r\n")
                  .find("200 OK"),
              std::string::npos);
    source->Send(Mp3Frames(400));  // five segments of 77 frames and some
    std::string playlist = WaitForPlaylist(".mp3");
    ASSERT_NE(playlist.find("HTTP/1.0 200 OK\r\n"), std::string::npos) << playlist;
    EXPECT_NE(playlist.find("Content-Type: application/vnd.apple.mpegurl\r\n"), std::string::npos);
    EXPECT_NE(playlist.find("Cache-Control: public, max-age=1\r\n"), std::string::npos);
    EXPECT_NE(playlist.find("Access-Control-Allow-Origin: *\r\n"), std::string::npos);
    playlist = WaitForPlaylist("#EXTINF");
    std::this_thread::sleep_for(300ms);
    playlist = Get("GET /live.m3u8 HTTP/1.0\r\n\r\n");
    const std::vector<uint64_t> window = Sequences(playlist);
    ASSERT_EQ(window.size(), 3u) << playlist;

    const std::string name = "/live/" + std::to_string(window.back()) + ".mp3";
    const std::string answer = Get("GET " + name + " HTTP/1.0\r\n\r\n");
    const size_t bodyAt = answer.find("\r\n\r\n") + 4;
    const std::string head = answer.substr(0, bodyAt);
    const std::string body = answer.substr(bodyAt);
    EXPECT_NE(head.find("Content-Type: audio/mpeg\r\n"), std::string::npos) << head;
    EXPECT_NE(head.find("Cache-Control: public, max-age=86400, immutable\r\n"), std::string::npos);
    EXPECT_NE(head.find("Content-Length: " + std::to_string(body.size()) + "\r\n"),
              std::string::npos);
    EXPECT_NE(head.find("Access-Control-Allow-Origin: *\r\n"), std::string::npos);
    EXPECT_NE(head.find("X-Content-Type-Options: nosniff\r\n"), std::string::npos);
    EXPECT_EQ(ParseTag(body).frames.at("TIT2"), "\x03Night Song") << "the title set before it";
    const size_t etagAt = head.find("ETag: \"");
    ASSERT_NE(etagAt, std::string::npos);
    const std::string etag = head.substr(etagAt + 6, head.find("\r\n", etagAt) - etagAt - 6);
    EXPECT_EQ(Get("GET " + name + " HTTP/1.0\r\nIf-None-Match: " + etag + "\r\n\r\n")
                  .rfind("HTTP/1.0 304 Not Modified\r\n", 0),
              0u);
    const std::string headOnly = Get("HEAD " + name + " HTTP/1.0\r\n\r\n");
    EXPECT_EQ(headOnly.size(), head.size()) << "HEAD has no body";
    EXPECT_NE(headOnly.find("Content-Length: " + std::to_string(body.size())), std::string::npos);
    EXPECT_EQ(test::ReadFile(m_dir.File("origin") + name), body);

    for (const std::string& bad :
         {"/live/" + std::to_string(window.front() - 1) + ".mp3", std::string("/live/-1.mp3"),
          std::string("/live/99999999999999999999999999.mp3"), std::string("/live/../live.m3u8"),
          std::string("/live/1.mp3%00"), std::string("/live/")}) {
        EXPECT_EQ(Get("GET " + bad + " HTTP/1.0\r\n\r\n").rfind("HTTP/1.0 404", 0), 0u) << bad;
    }
    // The folder holds the window and its playlist, nothing else.
    std::set<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.File("origin/live"))) {
        files.insert(entry.path().filename().string());
    }
    std::set<std::string> expected;
    for (const uint64_t sequence : window) {
        expected.insert(std::to_string(sequence) + ".mp3");
    }
    EXPECT_EQ(files, expected);
    const std::string originPlaylist = test::ReadFile(m_dir.File("origin/live.m3u8"));
    EXPECT_EQ(Sequences(originPlaylist), window);
    const std::string status = Get("GET /status-json.xsl HTTP/1.0\r\n\r\n");
    EXPECT_NE(status.find("\"hls_listeners\":1"), std::string::npos) << status;

    // The source drops and returns: numbers only rise, and the seam is marked.
    source.reset();
    ASSERT_TRUE(WaitForSource(false));
    source = V1Source();
    source->Send(Mp3Frames(200));
    ASSERT_TRUE(WaitForSource(true));
    std::this_thread::sleep_for(200ms);
    playlist = WaitForPlaylist("#EXT-X-DISCONTINUITY\n");
    ASSERT_NE(playlist.find("#EXT-X-DISCONTINUITY\n"), std::string::npos) << playlist;
    const std::vector<uint64_t> after = Sequences(playlist);
    ASSERT_FALSE(after.empty());
    EXPECT_GE(after.front(), window.front());
    // The first segment of the returned source has a number never given out before.
    const std::vector<uint64_t> resumed =
        Sequences(playlist.substr(playlist.find("#EXT-X-DISCONTINUITY\n")));
    ASSERT_FALSE(resumed.empty());
    EXPECT_GT(resumed.front(), window.back());
    EXPECT_EQ(playlist.substr(playlist.find("#EXT-X-MEDIA-SEQUENCE:") + 22,
                              std::to_string(after.front()).size()),
              std::to_string(after.front()));
    EXPECT_GE(m_engine.HlsSegmentsServed(), 1u);
}

TEST_F(HlsEngineTest, OggStationsAndStationsWithHlsOffAnswer404) {
    m_settings.hlsEnabled = false;
    Start();
    auto source = V1Source();
    source->Send(Mp3Frames(200));
    ASSERT_TRUE(WaitForSource(true));
    std::this_thread::sleep_for(300ms);
    EXPECT_NE(Get("GET /live.m3u8 HTTP/1.0\r\n\r\n").find("404 HLS is turned off"),
              std::string::npos);
    source.reset();
    ASSERT_TRUE(WaitForSource(false));
    m_settings.hlsEnabled = true;
    m_engine.UpdateSettings(m_settings);
    if (!test::HaveTool("ffmpeg")) {
        GTEST_SKIP() << "ffmpeg is installed by scripts/deps.sh";
    }
    auto encoder =
        test::ToneEncoder(m_port, m_dir.Path(), {"libvorbis", "application/ogg", "ogg", 5});
    ASSERT_TRUE(WaitForSource(true));
    const std::string answer = Get("GET /live.m3u8 HTTP/1.0\r\n\r\n");
    EXPECT_EQ(answer.rfind("HTTP/1.0 404", 0), 0u) << answer;
    EXPECT_NE(answer.find("Ogg Vorbis"), std::string::npos) << answer;
}

TEST_F(HlsEngineTest, FfmpegPlaysThirtySecondsWithoutADecodeError) {
    if (!test::HaveTool("ffmpeg")) {
        GTEST_SKIP() << "ffmpeg is installed by scripts/deps.sh";
    }
    m_settings.hlsWindow = 30;
    Start();
    // An encoder faster than real time fills the window in a few seconds.
    auto encoder = test::ToneEncoder(m_port, m_dir.Path(), {.seconds = 40, .realTime = false});
    ASSERT_EQ(encoder->Wait(60000), 0) << test::ReadFile(m_dir.File("encoder.err"));
    ASSERT_TRUE(WaitForSource(false));
    test::Process player(
        "ffmpeg",
        {"-nostdin", "-hide_banner", "-loglevel", "error", "-xerror", "-live_start_index", "0",
         "-i", "http://127.0.0.1:" + std::to_string(m_port) + "/live.m3u8", "-t", "30", "-f",
         "s16le", "-ac", "1", "-ar", "44100", m_dir.File("out.raw")},
        m_dir.File("player.out"), m_dir.File("player.err"));
    EXPECT_EQ(player.Wait(60000), 0);
    // -xerror ends ffmpeg at the first decode error. Its muxer's complaints about timestamps
    // one frame apart at some segment seams are left out here: they are not decode errors,
    // and the audio's length below shows nothing went missing. They are ffmpeg's own: its HLS
    // reader takes a segment's ID3 timestamp when its raw 1 KiB reads reach the tag, while the
    // previous segment's last frames still wait in its MP3 parser and come out stamped from the
    // new tag. The tags' timestamps themselves are the frames' summed durations (checked above).
    std::string errors;
    std::istringstream lines(test::ReadFile(m_dir.File("player.err")));
    for (std::string line; std::getline(lines, line);) {
        if (line.find("non monotonically increasing dts to muxer") == std::string::npos) {
            errors += line + "\n";
        }
    }
    EXPECT_EQ(errors, "");
    EXPECT_GE(std::filesystem::file_size(m_dir.File("out.raw")), 30u * 44100 * 2 - 4096);
}

TEST_F(HlsEngineTest, AnNginxCacheInFrontAsksAboutOncePerSegment) {
    if (std::system("test -x /usr/sbin/nginx") != 0) {
        GTEST_SKIP() << "nginx is installed by scripts/deps.sh";
    }
    m_settings.maxClients = 0;  // the cache serves the players, the engine no listener
    Start();
    const int cachePort = test::UnusedLoopbackPort();
    const std::string root = m_dir.File("nginx");
    std::filesystem::create_directories(root + "/cache");
    // Started by root (CI in a container), nginx's workers run as an unprivileged user, which
    // must reach its cache in the test's private folder.
    namespace fs = std::filesystem;
    fs::permissions(m_dir.Path(), fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(root, fs::perms::all);
    fs::permissions(root + "/cache", fs::perms::all);
    // The configuration the README gives, on loopback ports and in a temporary folder.
    const std::string origin = "http://127.0.0.1:" + std::to_string(m_port);
    test::WriteFile(
        root + "/nginx.conf",
        "daemon off;\npid " + root + "/nginx.pid;\nerror_log " + root + "/error.log;\n" +
            "events {}\nhttp {\n access_log off;\n client_body_temp_path " + root +
            "/body;\n proxy_temp_path " + root + "/proxy;\n fastcgi_temp_path " + root +
            "/fcgi;\n uwsgi_temp_path " + root + "/uwsgi;\n scgi_temp_path " + root +
            "/scgi;\n proxy_cache_path " + root +
            "/cache levels=1:2 keys_zone=hls:10m max_size=1g inactive=1h;\n"
            " server {\n  listen 127.0.0.1:" +
            std::to_string(cachePort) +
            ";\n  location ~ ^/(live\\.m3u8|live/[0-9]+\\.mp3)$ {\n   proxy_pass " + origin +
            ";\n   proxy_cache hls;\n   proxy_cache_lock on;\n   proxy_cache_lock_timeout 10s;\n"
            "   proxy_cache_use_stale updating;\n   proxy_cache_background_update on;\n  }\n"
            "  location / {\n   proxy_pass " +
            origin + ";\n   proxy_buffering off;\n  }\n }\n}\n");
    test::Process nginx("/usr/sbin/nginx", {"-c", root + "/nginx.conf", "-p", root},
                        m_dir.File("nginx.out"), m_dir.File("nginx.err"));

    // A source in real time: one 2 s segment's worth of frames every 2 s.
    auto source = V1Source();
    std::atomic<bool> stop{false};
    std::thread feeder([&] {
        for (int i = 0; i < 20 && !stop; ++i) {
            source->Send(Mp3Frames(77));
            for (int wait = 0; wait < 20 && !stop; ++wait) {
                std::this_thread::sleep_for(100ms);
            }
        }
    });
    WaitForPlaylist("#EXTINF");

    // 50 players for ~20 s: the playlist every second, each new segment once.
    std::mutex lock;
    std::set<uint64_t> segments;
    size_t fetched = 0;
    std::vector<std::thread> players;
    for (int p = 0; p < 50; ++p) {
        players.emplace_back([&] {
            std::set<uint64_t> seen;
            for (int round = 0; round < 20; ++round) {
                TestClient playlistClient(static_cast<uint16_t>(cachePort));
                playlistClient.Send("GET /live.m3u8 HTTP/1.0\r\n\r\n");
                for (const uint64_t sequence : Sequences(playlistClient.ReadAll(3000))) {
                    if (!seen.insert(sequence).second) {
                        continue;
                    }
                    TestClient segmentClient(static_cast<uint16_t>(cachePort));
                    segmentClient.Send("GET /live/" + std::to_string(sequence) +
                                       ".mp3 HTTP/1.0\r\n\r\n");
                    const bool ok = segmentClient.ReadAll(5000).rfind("HTTP/1.1 200", 0) == 0;
                    std::lock_guard<std::mutex> guard(lock);
                    fetched += ok ? 1 : 0;
                    segments.insert(sequence);
                }
                std::this_thread::sleep_for(1s);
            }
        });
    }
    for (std::thread& player : players) {
        player.join();
    }
    stop = true;
    feeder.join();
    nginx.Signal(SIGTERM);
    nginx.Wait(5000);
    EXPECT_GE(segments.size(), 8u)
        << test::ReadFile(m_dir.File("nginx.err")) << test::ReadFile(root + "/error.log");
    EXPECT_GE(fetched, segments.size() * 40) << test::ReadFile(m_dir.File("nginx.err"));
    // "At most a few" per segment: one, and a second for the rare race of a segment the cache
    // lock timed out on.
    EXPECT_LE(m_engine.HlsSegmentsServed(), segments.size() * 2);
    std::printf(
        "HLS through nginx: %zu segment fetches by players, %llu reached the engine for "
        "%zu segments\n",
        fetched, static_cast<unsigned long long>(m_engine.HlsSegmentsServed()), segments.size());
}

}  // namespace
}  // namespace orvanta::engine
