// HLS from the live MP3 source: the segmenter and its ID3 tags on their own, then the engine on
// 127.0.0.1 with a real source, and ffmpeg playing the playlist.
#include "engine/engine.h"
#include "hls/hls_stream.h"
#include "hls/playlist.h"
#include "hls/segmenter.h"
#include "ovstream/engine_ports.h"
#include "ovstream/test_client.h"
#include "stream/format_table.h"
#include "test_process.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <mutex>
#include <regex>
#include <set>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace orvanta::engine {
namespace {

using namespace std::chrono_literals;
using test::AdtsFrames;
using test::Mp3Frames;

constexpr const char* kIcy = "icy-name:Night Owl\r\nicy-br:128\r\n\r\n";

uint32_t Syncsafe(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = at; i < at + 4; ++i) {
        EXPECT_EQ(bytes[i] & 0x80, 0) << "not syncsafe";
        value = value << 7 | static_cast<unsigned char>(bytes[i]);
    }
    return value;
}

// The content of the tag's frame `id`.
std::string Frame(const std::string& segment, const std::string& id) {
    EXPECT_EQ(segment.substr(0, 5), std::string("ID3\x04\x00", 5));
    const size_t at = segment.find(id, 10);
    EXPECT_LT(at, 10 + Syncsafe(segment, 6)) << id << " not in the tag";
    return at < segment.size() ? segment.substr(at + 10, Syncsafe(segment, at + 4)) : "";
}

// The 90 kHz timestamp of the segment's first frame, as players read it.
uint64_t Timestamp(const std::string& segment) {
    const std::string priv = Frame(segment, "PRIV");
    const std::string owner("com.apple.streaming.transportStreamTimestamp\0", 45);
    EXPECT_EQ(priv.substr(0, owner.size()), owner);
    EXPECT_EQ(priv.size(), owner.size() + 8);
    uint64_t value = 0;
    for (size_t i = owner.size(); i < priv.size(); ++i) {
        value = value << 8 | static_cast<unsigned char>(priv[i]);
    }
    return value;
}

size_t Occurrences(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

// What players take from the tags and the playlist; that segments are whole frames under a
// sound tag with a safe title, whatever the source sends and titles it, the fuzzer checks.
TEST(HlsSegmenterTest, TagsTitlesAndTimestampsAndMarksASourcesReturn) {
    HlsSegmenter segmenter(1000, 2, 3);
    segmenter.SourceStarted(std::chrono::system_clock::now());
    // 2 s is 76.6 frames: the first segment closes once it holds 77.
    EXPECT_EQ(segmenter.Feed(Mp3Frames(100), "Night \"Owl\""), 1u);
    EXPECT_EQ(segmenter.Feed(Mp3Frames(100), "Later"), 1u);
    segmenter.SourceStopped();  // the 46 frames under way are published as they are
    ASSERT_EQ(segmenter.Segments().size(), 3u);
    EXPECT_EQ(Timestamp(*segmenter.Segments()[0].bytes), 0u);

    // The second began before the new title arrived; the third carries it.
    const std::string third = *segmenter.Segments()[2].bytes;
    EXPECT_EQ(Timestamp(third), uint64_t{154} * 1152 * 90000 / 44100);
    EXPECT_EQ(Frame(third, "TIT2"), "\x03Later");

    // The source comes back: numbers go on, a discontinuity marks the seam, the window slides.
    segmenter.SourceStarted(std::chrono::system_clock::now());
    EXPECT_EQ(segmenter.Feed(Mp3Frames(78), "Back"), 1u);
    EXPECT_TRUE(segmenter.Segments().back().discontinuity);
    EXPECT_GT(Timestamp(*segmenter.Segments().back().bytes), Timestamp(third));
    const std::string playlist = RenderPlaylist(segmenter);
    EXPECT_NE(playlist.find("#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:1001\n"),
              std::string::npos);
    EXPECT_NE(playlist.find("#EXT-X-DISCONTINUITY\n#EXT-X-PROGRAM-DATE-TIME:"), std::string::npos);
    EXPECT_EQ(playlist.find("DISCONTINUITY-SEQUENCE"), std::string::npos);
    // Each entry names the title its segment began under, for players that read no ID3.
    EXPECT_NE(playlist.find(",Later\nlive/1002.mp3\n"), std::string::npos) << playlist;
    EXPECT_NE(playlist.find(",Back\nlive/1003.mp3\n"), std::string::npos) << playlist;
    // A title cannot add lines to the playlist nor bytes a parser stops at.
    EXPECT_EQ(segmenter.Feed(Mp3Frames(160), std::string("Bad\r\n#EXT-X-ENDLIST\0\x1f!", 22)), 2u);
    const std::string hostile = RenderPlaylist(segmenter);
    EXPECT_EQ(hostile.find("\n#EXT-X-ENDLIST"), std::string::npos) << hostile;
    EXPECT_NE(hostile.find(",Bad#EXT-X-ENDLIST!\nlive/"), std::string::npos) << hostile;
    // Three more segments push the discontinuity out of the window: it is counted instead.
    EXPECT_EQ(segmenter.Feed(Mp3Frames(240), "Back"), 3u);  // the hostile title's went out too
    EXPECT_NE(RenderPlaylist(segmenter).find("#EXT-X-DISCONTINUITY-SEQUENCE:1\n"),
              std::string::npos);
}

// AAC is packed as MP3 is, ADTS frames behind the same timestamp tag, but named .aac and served
// as audio/aac; the master playlist names the codec, HE-AAC (an LC header at a core rate of
// 24 kHz or less) as such.
TEST(HlsSegmenterTest, AacSegmentsAreNamedPackedAndTheirCodecTold) {
    HlsSegmenter segmenter(1, 2, 5);
    segmenter.SourceStarted(std::chrono::system_clock::now(), InfoOf(StreamFormat::Aac).hls);
    // 44.1 kHz: 2 s is 86.1 frames, so the first segment closes at 87.
    ASSERT_EQ(segmenter.Feed(AdtsFrames(100, 4), "Night"), 1u);
    const HlsSegment& lc = segmenter.Segments().front();
    EXPECT_EQ(SegmentUri(lc), "live/1.aac");
    EXPECT_STREQ(lc.packing->contentType, "audio/aac");
    EXPECT_EQ(Timestamp(*lc.bytes), 0u);
    EXPECT_EQ(lc.bytes->substr(lc.bytes->size() - 87 * 200, 2), "\xFF\xF1");
    EXPECT_NEAR(lc.seconds, 87 * 1024 / 44100.0, 1e-9);
    EXPECT_NE(RenderMasterPlaylist(segmenter).find(",CODECS=\"mp4a.40.2\"\n../live.m3u8\n"),
              std::string::npos)
        << RenderMasterPlaylist(segmenter);

    // HE-AAC after LC: the decoder is set up anew, so the LC rest closes and a seam is marked.
    EXPECT_EQ(segmenter.Feed(AdtsFrames(60, 6), "Night"), 2u);
    ASSERT_EQ(segmenter.Segments().size(), 3u);
    const HlsSegment& he = segmenter.Segments().back();
    EXPECT_TRUE(he.discontinuity);
    EXPECT_EQ(Timestamp(*he.bytes), uint64_t{100} * 1024 * 90000 / 44100);
    EXPECT_STREQ(he.codecs, "mp4a.40.5");
    EXPECT_NE(RenderMasterPlaylist(segmenter).find("CODECS=\"mp4a.40.5\""), std::string::npos);
    EXPECT_NE(RenderPlaylist(segmenter).find("#EXT-X-DISCONTINUITY\n"), std::string::npos);
    EXPECT_NE(RenderPlaylist(segmenter).find("\nlive/3.aac\n"), std::string::npos);
    std::string_view extension;
    EXPECT_EQ(ParseSegmentPath("/live/3.aac", &extension), 3u);
    EXPECT_EQ(extension, "aac");
    EXPECT_FALSE(ParseSegmentPath("/live/3.ogg"));
    EXPECT_FALSE(ParseSegmentPath("/live/.aac"));
}

// A flood of distinct addresses fills the count of HLS listeners up to its cap and no further,
// and the log hears only of those kept, each arriving and leaving once; a client already known
// stays counted, and once the flood goes quiet newcomers count again.
TEST(HlsStreamTest, TheClientsCountedForTheStatusAreCapped) {
    HlsStream hls;
    size_t departures = 0;
    uint64_t segments = 0;
    hls.OnDeparture([&](const HlsVisit& visit) {
        ++departures;
        segments += visit.segments;
    });
    const auto start = HlsStream::SteadyClock::now();
    EXPECT_TRUE(hls.PlaylistFetched("192.0.2.1", start));
    size_t arrivals = 0;
    for (size_t i = 0; i < kMaxHlsClients + 1000; ++i) {
        const std::string address = "10." + std::to_string(i >> 16) + "." +
                                    std::to_string(i >> 8 & 255) + "." + std::to_string(i & 255);
        arrivals += hls.PlaylistFetched(address, start + 1s) ? 1u : 0u;
        hls.SegmentServed(address, start + 1s);
    }
    EXPECT_EQ(arrivals, kMaxHlsClients - 1);
    EXPECT_EQ(hls.Listeners(start + 1s), kMaxHlsClients);
    EXPECT_FALSE(hls.PlaylistFetched("192.0.2.1", start + 2s));
    const auto later = start + 2s + kHlsListenerWindow;
    EXPECT_TRUE(hls.PlaylistFetched("198.51.100.7", later));
    EXPECT_EQ(hls.Listeners(later), 2u);
    EXPECT_EQ(departures, kMaxHlsClients - 1);
    EXPECT_EQ(segments, kMaxHlsClients - 1) << "one each, for those kept only";
    hls.Forget();
    EXPECT_EQ(departures, kMaxHlsClients + 1);
    EXPECT_EQ(hls.Listeners(later), 0u);
}

// Every status request counts the HLS listeners: a full table must not make that dearer, or a
// flood of playlist fetches turns every status request into a walk of 50,000 entries. Compared
// in one run, best of several rounds, with a bound far above noise and far below a walk.
TEST(HlsStreamTest, CountingCostsTheSameWithAFullTableAsWithAnEmptyOne) {
    const auto start = HlsStream::SteadyClock::now();
    const auto cost = [start](HlsStream& hls) {
        auto best = std::chrono::nanoseconds::max();
        for (int round = 0; round < 5; ++round) {
            timespec before{}, after{};
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &before);
            size_t sum = 0;
            for (int i = 0; i < 2000; ++i) {
                sum += hls.Listeners(start + 1s + std::chrono::microseconds(i));
            }
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &after);
            EXPECT_GT(sum + 1, 0u);
            best = std::min(best, std::chrono::seconds(after.tv_sec - before.tv_sec) +
                                      std::chrono::nanoseconds(after.tv_nsec - before.tv_nsec));
        }
        return std::max<int64_t>(best.count(), 1);
    };
    HlsStream empty;
    empty.PlaylistFetched("192.0.2.1", start);
    HlsStream full;
    for (size_t i = 0; i < kMaxHlsClients; ++i) {
        full.PlaylistFetched("10." + std::to_string(i >> 16) + "." + std::to_string(i >> 8 & 255) +
                                 "." + std::to_string(i & 255),
                             start);
    }
    ASSERT_EQ(full.Listeners(start + 1s), kMaxHlsClients);
    const int64_t emptyCost = cost(empty);
    const int64_t fullCost = cost(full);
    EXPECT_LT(fullCost, 20 * emptyCost + 2'000'000)
        << "ns for 2000 counts: " << fullCost << " full, " << emptyCost << " empty";
}

class HlsEngineTest : public test::EngineFixture {
protected:
    void SetUp() override {
        m_settings.timeout = 5;
        m_settings.hlsSegmentSeconds = 2;
        m_settings.hlsWindow = 3;
    }

    // The playlist once it names `segment`.
    std::string WaitForPlaylist(const std::string& segment) {
        std::string answer;
        test::WaitUntil([&] {
            answer = Get("GET /live.m3u8 HTTP/1.0\r\n\r\n");
            return answer.find(segment) != std::string::npos;
        });
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
    auto source = V1Source(kIcy);
    source->Send(Mp3Frames(2));
    ASSERT_TRUE(WaitForSource(true));
    EXPECT_NE(Get("GET /admin.cgi?pass=hackme&mode=updinfo&song=Night%20Song HTTP/1.0\r\n\r\n")
                  .find("200 OK"),
              std::string::npos);
    source->Send(Mp3Frames(400));  // five segments of 77 frames and some
    std::string playlist = WaitForPlaylist("#EXTINF");
    for (const char* header : {"HTTP/1.0 200 OK\r\n", "Access-Control-Allow-Origin: *\r\n",
                               "Content-Type: application/vnd.apple.mpegurl\r\n",
                               "Cache-Control: public, max-age=1\r\n"}) {
        EXPECT_NE(playlist.find(header), std::string::npos) << playlist;
    }
    std::this_thread::sleep_for(300ms);  // all five cut
    const std::vector<uint64_t> window = Sequences(Get("GET /live.m3u8 HTTP/1.0\r\n\r\n"));
    ASSERT_EQ(window.size(), 3u);

    const std::string name = "/live/" + std::to_string(window.back()) + ".mp3";
    const std::string answer = Get("GET " + name + " HTTP/1.0\r\n\r\n");
    const size_t bodyAt = answer.find("\r\n\r\n") + 4;
    const std::string head = answer.substr(0, bodyAt);
    const std::string body = answer.substr(bodyAt);
    for (const std::string& header :
         {std::string("Content-Type: audio/mpeg\r\n"), std::string("ETag: \""),
          std::string("Cache-Control: public, max-age=86400, immutable\r\n"),
          "Content-Length: " + std::to_string(body.size()) + "\r\n",
          std::string("Access-Control-Allow-Origin: *\r\n"),
          std::string("X-Content-Type-Options: nosniff\r\n")}) {
        EXPECT_NE(head.find(header), std::string::npos) << head;
    }
    EXPECT_EQ(Frame(body, "TIT2"), "\x03Night Song") << "the title set before it";
    const size_t etagAt = head.find("ETag: \"");
    const std::string etag = head.substr(etagAt + 6, head.find("\r\n", etagAt) - etagAt - 6);
    EXPECT_EQ(Get("GET " + name + " HTTP/1.0\r\nIf-None-Match: " + etag + "\r\n\r\n")
                  .rfind("HTTP/1.0 304 Not Modified\r\n", 0),
              0u);
    EXPECT_EQ(Get("HEAD " + name + " HTTP/1.0\r\n\r\n").size(), head.size()) << "HEAD: no body";
    EXPECT_EQ(test::ReadFile(m_dir.File("origin") + name), body);

    // Only the window's own names: no other spelling of them, no number past 64 bits.
    for (const std::string& bad :
         {"/live/" + std::to_string(window.front() - 1) + ".mp3", std::string("/live/../live.m3u8"),
          std::string("/live/1.mp3%00"), "/live/0" + std::to_string(window.back()) + ".mp3",
          "/live/+" + std::to_string(window.back()) + ".mp3", name + "x",
          name.substr(0, 6) + ".mp3", "/live/" + std::to_string(window.back()) + ".MP3",
          "/live/" + std::to_string(window.back()) + "/" + std::to_string(window.back()) + ".mp3",
          std::string("/live/18446744073709551616.mp3")}) {
        EXPECT_EQ(Get("GET " + bad + " HTTP/1.0\r\n\r\n").rfind("HTTP/1.0 404", 0), 0u) << bad;
    }
    // The folder holds the window and its playlist, nothing else.
    const auto files = std::filesystem::directory_iterator(m_dir.File("origin/live"));
    EXPECT_EQ(std::distance(begin(files), end(files)), 3);
    EXPECT_EQ(Sequences(test::ReadFile(m_dir.File("origin/live.m3u8"))), window);
    const std::string status = Get("GET /status-json.xsl HTTP/1.0\r\n\r\n");
    EXPECT_NE(status.find("\"hls_listeners\":1"), std::string::npos) << status;

    // The source drops and returns: numbers only rise, and the seam is marked.
    source.reset();
    ASSERT_TRUE(WaitForSource(false));
    source = V1Source(kIcy);
    source->Send(Mp3Frames(200));
    ASSERT_TRUE(WaitForSource(true));
    std::this_thread::sleep_for(200ms);
    playlist = WaitForPlaylist("#EXT-X-DISCONTINUITY\n");
    ASSERT_NE(playlist.find("#EXT-X-DISCONTINUITY\n"), std::string::npos) << playlist;
    // The first segment of the returned source has a number never given out before.
    const std::vector<uint64_t> resumed =
        Sequences(playlist.substr(playlist.find("#EXT-X-DISCONTINUITY\n")));
    ASSERT_FALSE(resumed.empty());
    EXPECT_GT(resumed.front(), window.back());
    EXPECT_GE(m_engine.HlsSegmentsServed(), 1u);

    m_settings.hlsEnabled = false;
    m_engine.UpdateSettings(m_settings);
    EXPECT_NE(Get("GET /live.m3u8 HTTP/1.0\r\n\r\n").find("404 HLS is turned off"),
              std::string::npos);
}

// A player keeps one connection for its playlist polls and segments, as browsers and hls.js do:
// requests answered one after the other (also when sent together), the connection left open for
// the idle time it was told, then closed; a refusal or a client asking to close ends it at once.
TEST_F(HlsEngineTest, APlayerKeepsOneConnectionUntilItFallsIdle) {
    m_settings.headerTimeout = 1s;
    Start();
    auto source = V1Source(kIcy);
    source->Send(Mp3Frames(400));
    ASSERT_TRUE(WaitForSource(true));
    WaitForPlaylist("#EXTINF");

    test::TestClient player(m_port);
    // One answer: its head, and as many bytes of body as it says (none for HEAD).
    const auto answer = [&player](bool head = false) {
        std::string text = player.ReadUntil("\r\n\r\n");
        const size_t at = text.find("Content-Length: ");
        if (!head && at != std::string::npos) {
            text += player.Read(std::stoul(text.substr(at + 16)));
        }
        return text;
    };
    player.Send("GET /live.m3u8 HTTP/1.1\r\nHost: x\r\n\r\n");
    const std::string playlist = answer();
    test::ExpectHas(playlist, {"HTTP/1.1 200 OK\r\n", "Connection: keep-alive\r\n",
                               "Keep-Alive: timeout=1\r\n", "#EXTINF"});
    const std::vector<uint64_t> window = Sequences(playlist);
    ASSERT_FALSE(window.empty());
    const std::string segment = "/live/" + std::to_string(window.back()) + ".mp3";
    test::ExpectHas(playlist, {"Connection: close"}, false);
    player.Send("GET " + segment + " HTTP/1.1\r\nHost: x\r\n\r\nHEAD /live.m3u8 HTTP/1.1\r\n\r\n");
    const std::string audio = answer();
    EXPECT_PRED2(test::StartsWith, audio, "HTTP/1.1 200 OK\r\n");
    EXPECT_NE(audio.find("\xFF\xFB", audio.find("\r\n\r\n")), std::string::npos) << audio;
    EXPECT_PRED2(test::StartsWith, answer(true), "HTTP/1.1 200 OK\r\n");
    EXPECT_FALSE(player.WaitClosed(300)) << "kept open while the client may still ask";
    EXPECT_TRUE(player.WaitClosed(3000)) << "closed once idle";

    // Asking to close, or being refused, ends the connection after the answer.
    for (const char* request :
         {"GET /live.m3u8 HTTP/1.1\r\nConnection: close\r\n\r\n", "GET /live.m3u8 HTTP/1.0\r\n\r\n",
          "GET /admin/stats HTTP/1.1\r\n\r\n"}) {
        test::TestClient once(m_port);
        once.Send(request);
        EXPECT_TRUE(once.WaitClosed(800)) << request;
    }
    test::TestClient old(m_port);
    old.Send("GET /live.m3u8 HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n");
    EXPECT_FALSE(old.WaitClosed(300)) << "an HTTP/1.0 client that asks keeps it too";
}

// A player polls the playlist every few seconds: the log hears of it once when it starts and
// once when it stops (noticed without any further request too), with how long it stayed and the
// segments it was served. A client still polling gets no line until it stops or the engine
// does.
TEST_F(HlsEngineTest, APlayerGetsOneLineWhenItStartsAndOneWhenItStops) {
    m_settings.logDirectory = m_dir.File("logs");
    m_settings.logFileName = "station.log";
    m_settings.hlsListenerWindow = 1s;
    Start();
    const std::string log = m_settings.logDirectory + "/" + m_settings.logFileName;
    auto source = V1Source(kIcy);
    // Two segments and some: a window of three never moves past the two the player fetches,
    // however slowly this machine runs the test.
    source->Send(Mp3Frames(200));
    ASSERT_TRUE(WaitForSource(true));
    // The source's audio is read in pieces: the playlist may show its first segment before
    // the second is cut.
    std::string playlist;
    ASSERT_TRUE(test::WaitUntil([&] {
        playlist = WaitForPlaylist("#EXTINF");
        return Sequences(playlist).size() >= 2;
    })) << playlist;
    const std::vector<uint64_t> window = Sequences(playlist);
    for (int poll = 0; poll < 4; ++poll) {
        EXPECT_NE(Get("GET /live.m3u8 HTTP/1.0\r\nUser-Agent: Night Player\r\n\r\n").find("200 OK"),
                  std::string::npos);
    }
    for (const uint64_t sequence : {window[0], window[1]}) {
        const std::string name = "/live/" + std::to_string(sequence) + ".mp3";
        EXPECT_NE(Get("GET " + name + " HTTP/1.0\r\n\r\n").find("200 OK"), std::string::npos);
        EXPECT_NE(Get("HEAD " + name + " HTTP/1.0\r\n\r\n").find("200 OK"), std::string::npos);
    }
    // Another player keeps polling from its own address while the first one has gone quiet.
    const auto stillPolling = [this] {
        return Get("GET /live.m3u8 HTTP/1.0\r\nUser-Agent: Owl\r\n\r\n", "127.0.0.2")
                   .find("200 OK") != std::string::npos;
    };
    ASSERT_TRUE(stillPolling());
    EXPECT_TRUE(test::WaitUntil(
        [&] {
            stillPolling();
            return test::ReadFile(log).find("HLS listener from 127.0.0.1 left") !=
                   std::string::npos;
        },
        8000));
    std::string text = test::ReadFile(log);
    EXPECT_EQ(Occurrences(text, "HLS listener from 127.0.0.1 ("), 1) << text;
    EXPECT_EQ(Occurrences(text, "HLS listener from 127.0.0.2 (Owl)"), 1) << text;
    EXPECT_EQ(Occurrences(text, "HLS listener from 127.0.0.1 left"), 1) << text;
    EXPECT_TRUE(std::regex_search(text, std::regex("HLS listener from 127\\.0\\.0\\.1 left after "
                                                   "\\d+ s, 2 segments \\(no playlist fetch for "
                                                   "1 s\\)\n")))
        << text;
    EXPECT_EQ(text.find("127.0.0.2 left"), std::string::npos) << "still polling: " << text;

    // Back after the window: a new arrival. Then no request at all: both departures are noticed
    // all the same.
    ASSERT_NE(Get("GET /live.m3u8 HTTP/1.0\r\n\r\n").find("200 OK"), std::string::npos);
    EXPECT_TRUE(test::WaitUntil(
        [&] {
            text = test::ReadFile(log);
            return Occurrences(text, "HLS listener from 127.0.0.1 left") == 2 &&
                   Occurrences(text, "HLS listener from 127.0.0.2 left") == 1;
        },
        8000))
        << text;
    EXPECT_EQ(Occurrences(text, "HLS listener from 127.0.0.1 ("), 2) << text;

    // Those still fetching when the engine stops leave with it.
    ASSERT_NE(Get("GET /live.m3u8 HTTP/1.0\r\n\r\n").find("200 OK"), std::string::npos);
    m_engine.Stop();
    text = test::ReadFile(log);
    EXPECT_TRUE(std::regex_search(
        text, std::regex("HLS listener from 127\\.0\\.0\\.1 left after \\d+ s, 0 segments "
                         "\\(server stopping\\)\n")))
        << text;
    EXPECT_LT(text.find("(server stopping)"), text.find("Stopped")) << text;
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
    const std::string errors =
        std::regex_replace(test::ReadFile(m_dir.File("player.err")),
                           std::regex(".*non monotonically increasing dts to muxer.*\n"), "");
    EXPECT_EQ(errors, "");
    EXPECT_GE(std::filesystem::file_size(m_dir.File("out.raw")), 30u * 44100 * 2 - 4096);

    // An Ogg Vorbis source: no HLS, and the player is told why.
    auto ogg = test::ToneEncoder(m_port, m_dir.Path(), {"libvorbis", "application/ogg", "ogg", 5});
    ASSERT_TRUE(WaitForSource(true));
    const std::string answer = Get("GET /live.m3u8 HTTP/1.0\r\n\r\n");
    EXPECT_EQ(answer.rfind("HTTP/1.0 404", 0), 0u) << answer;
    EXPECT_NE(answer.find("Ogg Vorbis"), std::string::npos) << answer;
}

// VLC as a listener runs it, on a station that keeps three segments and on one that keeps ten
// (there it starts three target durations from the end, mid-window), both at once for 16 s, its
// decoded audio written to a file. Not with --run-time: VLC counts that on the playlist's own
// timeline, whose zero is the window's first segment, so starting mid-window it stops at once.
TEST_F(HlsEngineTest, VlcPlaysFromTheLiveEdgeOfAShortAndALongWindow) {
    if (!test::HaveTool("cvlc")) {
        GTEST_SKIP() << "VLC is installed by scripts/deps.sh";
    }
    Start();  // three segments
    EngineSettings longWindow = m_settings;
    longWindow.hlsWindow = 10;
    Engine other;
    const uint16_t otherPort = test::StartOnFreePorts(other, longWindow);
    ASSERT_NE(otherPort, 0);
    test::TempDir otherDir;

    // Both windows full at once, then the live edge moving in real time.
    for (const bool realTime : {false, true}) {
        auto a = test::ToneEncoder(m_port, m_dir.Path(),
                                   {.seconds = realTime ? 40 : 22, .realTime = realTime});
        auto b = test::ToneEncoder(otherPort, otherDir.Path(),
                                   {.seconds = realTime ? 40 : 22, .realTime = realTime});
        if (realTime) {
            ASSERT_TRUE(WaitForSource(true));
            ASSERT_TRUE(test::WaitUntil([&] { return other.SourceConnected(); }));
            // VLC refuses to run as root: as root the test hands it to nobody, who must be able
            // to write its audio.
            const bool root = ::geteuid() == 0;
            std::vector<std::unique_ptr<test::Process>> players;
            std::vector<std::string> outputs;
            for (const auto& [port, dir] : {std::pair<int, test::TempDir*>{m_port, &m_dir},
                                            std::pair<int, test::TempDir*>{otherPort, &otherDir}}) {
                namespace fs = std::filesystem;
                fs::permissions(dir->Path(), fs::perms::others_exec, fs::perm_options::add);
                fs::create_directory(dir->File("vlc"));
                fs::permissions(dir->File("vlc"), fs::perms::all);
                outputs.push_back(dir->File("vlc/audio.raw"));
                std::vector<std::string> args = {
                    "cvlc",
                    "--play-and-exit",
                    "--aout=afile",
                    "--audiofile-file=" + outputs.back(),
                    "--audiofile-format=s16",
                    "--audiofile-channels=1",
                    "--no-audiofile-wav",
                    "http://127.0.0.1:" + std::to_string(port) + "/live.m3u8"};
                if (root) {
                    args.insert(args.begin(),
                                {"--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"});
                }
                const std::string program = root ? "setpriv" : args.front();
                if (!root) {
                    args.erase(args.begin());
                }
                players.push_back(std::make_unique<test::Process>(
                    program, args, dir->File("vlc.out"), dir->File("vlc.err")));
            }
            // Still playing when its time is up (it ends itself only at the end of the stream).
            EXPECT_EQ(players[0]->Wait(16000), -1) << test::ReadFile(m_dir.File("vlc.err"));
            EXPECT_EQ(players[1]->Wait(0), -1) << test::ReadFile(otherDir.File("vlc.err"));
            // And it played: at least 10 s of 44.1 kHz mono in 16 s, past the window it began
            // with (a short one holds 6 s, a long one's live edge is 6 to 8 s ahead of it).
            for (const std::string& output : outputs) {
                std::error_code ec;
                EXPECT_GE(std::filesystem::file_size(output, ec), 10u * 44100 * 2) << output;
            }
        } else {
            ASSERT_EQ(a->Wait(60000), 0) << test::ReadFile(m_dir.File("encoder.err"));
            ASSERT_EQ(b->Wait(60000), 0) << test::ReadFile(otherDir.File("encoder.err"));
            ASSERT_TRUE(WaitForSource(false));
        }
    }
    other.Stop();
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
    std::string conf =
        "daemon off;\npid @/nginx.pid;\nerror_log @/error.log;\nevents {}\nhttp {\n"
        " access_log off;\n client_body_temp_path @/body;\n proxy_temp_path @/proxy;\n"
        " fastcgi_temp_path @/fcgi;\n uwsgi_temp_path @/uwsgi;\n scgi_temp_path @/scgi;\n"
        " proxy_cache_path @/cache levels=1:2 keys_zone=hls:10m max_size=1g inactive=1h;\n"
        " server {\n  listen 127.0.0.1:PORT;\n"
        "  location ~ ^/(live\\.m3u8|live/[0-9]+\\.mp3)$ {\n   proxy_pass ORIGIN;\n"
        "   proxy_cache hls;\n   proxy_cache_lock on;\n   proxy_cache_lock_timeout 10s;\n"
        "   proxy_cache_use_stale updating;\n   proxy_cache_background_update on;\n  }\n"
        "  location / {\n   proxy_pass ORIGIN;\n   proxy_buffering off;\n  }\n }\n}\n";
    conf = std::regex_replace(conf, std::regex("@"), root);
    conf = std::regex_replace(conf, std::regex("PORT"), std::to_string(cachePort));
    conf = std::regex_replace(conf, std::regex("ORIGIN"),
                              "http://127.0.0.1:" + std::to_string(m_port));
    test::WriteFile(root + "/nginx.conf", conf);
    test::Process nginx("/usr/sbin/nginx", {"-c", root + "/nginx.conf", "-p", root},
                        m_dir.File("nginx.out"), m_dir.File("nginx.err"));

    // A source in real time: one 2 s segment's worth of frames every 2 s, for the players' 20 s.
    auto source = V1Source(kIcy);
    source->Send(Mp3Frames(77 * 2));
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
                test::TestClient playlistClient(static_cast<uint16_t>(cachePort));
                playlistClient.Send("GET /live.m3u8 HTTP/1.0\r\n\r\n");
                for (const uint64_t sequence : Sequences(playlistClient.ReadAll(3000))) {
                    if (!seen.insert(sequence).second) {
                        continue;
                    }
                    test::TestClient segmentClient(static_cast<uint16_t>(cachePort));
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
    for (int i = 0; i < 11; ++i) {
        source->Send(Mp3Frames(77));
        std::this_thread::sleep_for(2s);
    }
    for (std::thread& player : players) {
        player.join();
    }
    nginx.Signal(SIGTERM);
    nginx.Wait(5000);
    EXPECT_GE(segments.size(), 8u)
        << test::ReadFile(m_dir.File("nginx.err")) << test::ReadFile(root + "/error.log");
    EXPECT_GE(fetched, segments.size() * 40) << test::ReadFile(m_dir.File("nginx.err"));
    // "At most a few" per segment: one, and a second for the rare race of a segment the cache
    // lock timed out on.
    EXPECT_LE(m_engine.HlsSegmentsServed(), segments.size() * 2);
}

}  // namespace
}  // namespace orvanta::engine
