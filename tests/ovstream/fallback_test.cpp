// A station that never goes silent, end to end: ovserver headless with a fallback file, ffmpeg
// as the live source coming and going (killed, as a crashed encoder is), a listener that stays
// connected throughout, and ffmpeg decoding what that listener got.
#include "headless_server.h"
#include "ovstream/test_client.h"
#include "stream/ogg.h"
#include "test_process.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace orvanta {
namespace {

using namespace std::chrono_literals;
using test::Process;

// A listener on its own thread: what it received (audio only, ICY blocks taken out), the titles
// in the order they came, and the longest wait between two arrivals. The engine writes to a
// listener that keeps up once a second (or per 16 KiB), so at 128 kbit/s arrivals are about a
// second apart whatever the source does; a stall at a change of source shows as more.
class Recorder {
public:
    Recorder(int port, bool icy) : m_client(static_cast<uint16_t>(port)) {
        m_client.Send(std::string("GET /stream HTTP/1.0\r\n") + (icy ? "Icy-MetaData: 1\r\n" : "") +
                      "\r\n");
        m_head = m_client.ReadUntil("\r\n\r\n", 5000);
        const size_t at = m_head.find("icy-metaint:");
        m_metaInt =
            at == std::string::npos ? 0 : std::strtoul(m_head.c_str() + at + 12, nullptr, 10);
        m_thread = std::thread([this] { Run(); });
    }
    ~Recorder() { Stop(); }

    void Stop() {
        m_stop = true;
        if (m_thread.joinable()) {
            m_thread.join();
            m_elapsedMs = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                std::chrono::steady_clock::now() - m_since)
                                                .count());
        }
    }
    // From the request to Stop.
    long ElapsedMs() const { return m_elapsedMs; }
    const std::string& Head() const { return m_head; }
    const std::string& Audio() const { return m_audio; }
    const std::vector<std::string>& Titles() const { return m_titles; }
    long LongestGapMs() const { return m_longestGapMs; }
    bool Closed() const { return m_closed; }

private:
    void Run() {
        auto last = std::chrono::steady_clock::now();
        size_t untilMeta = m_metaInt;
        size_t metaLeft = 0;
        bool wantLength = false;
        std::string meta;
        // Bounded: the test stops it long before.
        const auto deadline = last + 120s;
        while (!m_stop && std::chrono::steady_clock::now() < deadline) {
            const std::string got = m_client.Read(1, 200);
            if (got.empty()) {
                if (m_client.WaitClosed(0)) {
                    m_closed = true;
                    return;
                }
                continue;
            }
            std::string more = got + m_client.Read(16384, 0);
            const auto now = std::chrono::steady_clock::now();
            m_longestGapMs = std::max<long>(
                m_longestGapMs,
                std::chrono::duration_cast<std::chrono::milliseconds>(now - last).count());
            last = now;
            for (const char c : more) {
                if (m_metaInt == 0) {
                    m_audio += c;
                } else if (wantLength) {
                    metaLeft = static_cast<unsigned char>(c) * 16u;
                    wantLength = false;
                    meta.clear();
                    if (metaLeft == 0) {
                        untilMeta = m_metaInt;
                    }
                } else if (metaLeft > 0) {
                    meta += c;
                    if (--metaLeft == 0) {
                        untilMeta = m_metaInt;
                        const size_t from = meta.find("StreamTitle='");
                        const size_t to = meta.find("';", from);
                        if (from != std::string::npos && to != std::string::npos) {
                            std::string title = meta.substr(from + 13, to - from - 13);
                            // A live source starts without one until its first update.
                            if (!title.empty() && (m_titles.empty() || m_titles.back() != title)) {
                                m_titles.push_back(std::move(title));
                            }
                        }
                    }
                } else {
                    m_audio += c;
                    if (--untilMeta == 0) {
                        wantLength = true;
                    }
                }
            }
        }
    }

    test::TestClient m_client;
    std::chrono::steady_clock::time_point m_since = std::chrono::steady_clock::now();
    long m_elapsedMs = 0;
    std::string m_head;
    size_t m_metaInt = 0;
    std::string m_audio;
    std::vector<std::string> m_titles;
    long m_longestGapMs = 0;
    bool m_closed = false;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// Whether every page of an Ogg listener's stream belongs to a logical stream whose first (BOS)
// page it got before: a page of any other stream has no headers to be decoded with.
::testing::AssertionResult EveryPageAnnounced(std::string_view stream) {
    std::vector<uint32_t> announced;
    size_t pages = 0;
    while (!stream.empty()) {
        engine::OggPage page;
        if (engine::ParseOggPage(stream, page) != engine::OggParse::kPage) {
            break;  // the last page may be cut short by the end of the recording
        }
        if ((page.flags & engine::kOggBos) != 0) {
            announced.push_back(page.serial);
        } else if (std::find(announced.begin(), announced.end(), page.serial) == announced.end()) {
            return ::testing::AssertionFailure()
                   << "page " << pages << " is of stream " << page.serial
                   << ", which no page before it began";
        }
        stream.remove_prefix(page.size);
        ++pages;
    }
    if (pages == 0) {
        return ::testing::AssertionFailure() << "no Ogg page";
    }
    return ::testing::AssertionSuccess();
}

class FallbackTest : public test::HeadlessServerTest {
protected:
    void SetUp() override {
        if (!test::HaveTool("ffmpeg")) {
            GTEST_SKIP() << "ffmpeg is installed by scripts/deps.sh";
        }
        MakeProgramFolder({"ovserver", "ovstream.so"});
    }

    // A tone of `hz` for `seconds`, encoded with `codec` into `name` in the program folder, in
    // `channels`.
    void MakeTone(const std::string& name, int hz, int seconds, const std::string& codec,
                  int channels = 1) {
        Process encode(
            "ffmpeg",
            {"-nostdin", "-v", "error", "-f", "lavfi", "-i",
             "sine=frequency=" + std::to_string(hz) + ":duration=" + std::to_string(seconds), "-ac",
             std::to_string(channels), "-c:a", codec, "-b:a", "128k", "-y", m_dir.File(name)},
            m_dir.File("tone.out"), m_dir.File("tone.err"));
        ASSERT_EQ(encode.Wait(30000), 0) << test::ReadFile(m_dir.File("tone.err"));
    }
    std::string Log() const { return test::ReadFile(m_dir.File("log/ovserver.log")); }
    bool LogHas(const std::string& text, int times = 1, int timeoutMs = 10000) {
        return test::WaitUntil(
            [&] {
                const std::string log = Log();
                int seen = 0;
                for (size_t at = log.find(text); at != std::string::npos;
                     at = log.find(text, at + 1)) {
                    ++seen;
                }
                return seen >= times;
            },
            timeoutMs);
    }
    std::string Get(const std::string& path) {
        test::TestClient client(static_cast<uint16_t>(m_port));
        client.Send("GET " + path + " HTTP/1.0\r\n\r\n");
        return client.ReadAll(3000);
    }
    void SetTitle(const std::string& title) {
        test::TestClient client(static_cast<uint16_t>(m_port));
        client.Send("GET /admin.cgi?pass=hackme&mode=updinfo&song=" + title + " HTTP/1.0\r\n\r\n");
        client.ReadAll(3000);
    }
    // ffmpeg decoding `audio` (saved as `name`): its exit code, errors counted as failures.
    int Decode(const std::string& audio, const std::string& name) {
        test::WriteFile(m_dir.File(name), audio);
        Process decode(
            "ffmpeg",
            {"-nostdin", "-v", "error", "-xerror", "-i", m_dir.File(name), "-f", "null", "-"},
            m_dir.File("decode.out"), m_dir.File("decode.err"));
        return decode.Wait(60000);
    }
    // A live source that comes, says `title`, plays a few seconds and is killed.
    void LiveSpell(const test::Tone& tone, const std::string& title, int connections) {
        auto encoder = Encoder(tone);
        ASSERT_TRUE(LogHas("Source connected from", connections))
            << test::ReadFile(m_dir.File("encoder.err"));
        if (!title.empty()) {
            SetTitle(title);
        }
        std::this_thread::sleep_for(3s);
        encoder->Signal(SIGKILL);
        encoder->Wait(5000);
    }
};

TEST_F(FallbackTest, Mp3ListenersStayThroughDropsAndHearTheFallbackBetween) {
    MakeTone("gap.mp3", 880, 2, "libmp3lame");
    StartServer("[Fallback]\nFile=gap.mp3\nTitle=Back soon\n", 5000);
    ASSERT_TRUE(LogHas("Fallback file on air")) << Log();
    test::ExpectHas(Get("/status-json.xsl"), {"\"playing\":\"fallback file\"", "Back soon"});

    Recorder listener(m_port, true);
    test::ExpectHas(listener.Head(), {"200 OK", "icy-metaint:"});
    std::this_thread::sleep_for(2s);
    LiveSpell({.seconds = 30}, "Live%20One", 1);
    ASSERT_TRUE(LogHas("Fallback file on air", 2, 3000)) << Log();
    std::this_thread::sleep_for(2s);
    LiveSpell({.seconds = 30}, "Live%20Two", 2);
    ASSERT_TRUE(LogHas("Fallback file on air", 3, 3000)) << Log();
    std::this_thread::sleep_for(1500ms);
    listener.Stop();

    EXPECT_FALSE(listener.Closed());
    EXPECT_EQ(listener.Titles(), (std::vector<std::string>{"Back soon", "Live One", "Back soon",
                                                           "Live Two", "Back soon"}));
    // A write tick, with room for a loaded machine: a fallback that took a second to come
    // back would add that second.
    EXPECT_LE(listener.LongestGapMs(), 2000);
    // Full rate: every source here is 128 kbit/s, 16000 bytes a second; at most the last write
    // tick is still on its way. And every frame of it decodes.
    EXPECT_GE(listener.Audio().size(), static_cast<size_t>(listener.ElapsedMs() - 1000) * 16u);
    EXPECT_EQ(Decode(listener.Audio(), "heard.mp3"), 0) << test::ReadFile(m_dir.File("decode.err"));
    // HLS players were told of each change of stream.
    test::ExpectHas(Get("/live.m3u8"), {"#EXT-X-DISCONTINUITY"});
    // The source is connected only while a live one is: the headless line tells the fallback.
    EXPECT_TRUE(test::WaitForFileText(m_dir.File("server.out"),
                                      "source not connected | fallback file", 3000));
}

TEST_F(FallbackTest, OggListenersGetANewChainedStreamAtEachSwitch) {
    // In stereo, where the live source is mono: allowed, and said once. Longer than the test's
    // wait after the drop, so the joiner below joins the fallback's first playing.
    MakeTone("gap.ogg", 880, 6, "libvorbis", 2);
    // Every listener starts with a jingle of its own stream, ended before the station's.
    MakeTone("intro.ogg", 2000, 1, "libvorbis");
    StartServer("[Fallback]\nFile=gap.ogg\nIntroFile=intro.ogg\n", 5000);
    ASSERT_TRUE(LogHas("Fallback file on air")) << Log();
    Recorder listener(m_port, false);
    std::this_thread::sleep_for(2s);
    const test::Tone vorbis{"libvorbis", "application/ogg", "ogg", 30};
    LiveSpell(vorbis, "", 1);
    ASSERT_TRUE(LogHas("Fallback file on air", 2, 3000)) << Log();
    // A listener joining now gets the fallback's own headers first, though the live stream's
    // pages are still within the burst a joiner is given.
    Recorder joiner(m_port, false);
    std::this_thread::sleep_for(2s);
    joiner.Stop();
    listener.Stop();

    EXPECT_FALSE(listener.Closed());
    // A sine makes a few kilobytes of Vorbis a second: one page a second from ffmpeg, and a
    // write tick after it.
    EXPECT_LE(listener.LongestGapMs(), 3000);
    EXPECT_EQ(Decode(listener.Audio(), "heard.ogg"), 0) << test::ReadFile(m_dir.File("decode.err"));
    EXPECT_TRUE(EveryPageAnnounced(listener.Audio()));
    EXPECT_EQ(Decode(joiner.Audio(), "joined.ogg"), 0) << test::ReadFile(m_dir.File("decode.err"));
    EXPECT_TRUE(EveryPageAnnounced(joiner.Audio()));
    EXPECT_TRUE(
        LogHas("the fallback file's audio (44100 Hz, 2 channels) differs from the live "
               "source's (44100 Hz, 1 channel)"))
        << Log();
}

TEST_F(FallbackTest, ANewListenerHearsTheIntroFirst) {
    MakeTone("intro.mp3", 2000, 1, "libmp3lame");
    StartServer("[Fallback]\nIntroFile=intro.mp3\n", 5000);
    auto encoder = Encoder({.seconds = 30});
    ASSERT_TRUE(LogHas("Source connected from")) << Log();
    Recorder listener(m_port, true);
    std::this_thread::sleep_for(2500ms);
    listener.Stop();
    ASSERT_EQ(Decode(listener.Audio(), "heard.mp3"), 0) << test::ReadFile(m_dir.File("decode.err"));
    // The first second is the intro's 2 kHz, what follows the source's 440 Hz: ffmpeg's
    // spectral statistics give the mean frequency of each part.
    const auto centroid = [this](const std::string& range) {
        Process stats("ffmpeg",
                      {"-nostdin", "-v", "error", "-i", m_dir.File("heard.mp3"), "-af",
                       range + ",aspectralstats,ametadata=print:file=-", "-f", "null", "-"},
                      m_dir.File("stats.out"), m_dir.File("stats.err"));
        EXPECT_EQ(stats.Wait(30000), 0) << test::ReadFile(m_dir.File("stats.err"));
        const std::string out = test::ReadFile(m_dir.File("stats.out"));
        double sum = 0;
        int count = 0;
        for (size_t at = out.find("centroid="); at != std::string::npos;
             at = out.find("centroid=", at + 1)) {
            sum += std::strtod(out.c_str() + at + 9, nullptr);
            ++count;
        }
        return count > 0 ? sum / count : 0.0;
    };
    EXPECT_NEAR(centroid("atrim=0.2:0.8"), 2000, 300);
    EXPECT_NEAR(centroid("atrim=1.3:2.0"), 440, 300);
    encoder->Signal(SIGTERM);
    encoder->Wait(5000);
}

TEST_F(FallbackTest, AReloadChangesTheFallbackWithoutDroppingAnyone) {
    MakeTone("first.mp3", 880, 2, "libmp3lame");
    MakeTone("second.mp3", 660, 2, "libmp3lame");
    StartServer("[Fallback]\nFile=first.mp3\nTitle=First\n", 5000);
    ASSERT_TRUE(LogHas("Fallback file on air")) << Log();
    Recorder listener(m_port, true);
    std::this_thread::sleep_for(1500ms);
    test::WriteFile(m_dir.File("Config.ini"),
                    "[Broadcast]\nPassword=hackme\n[Network]\nPort=" + std::to_string(m_port) +
                        "\n[Limits]\nMaxClient=5\nTimeout=3\n[Fallback]\nFile=second.mp3\n"
                        "Title=Second\n");
    m_server->Signal(SIGHUP);
    ASSERT_TRUE(LogHas("Fallback file on air: " + m_dir.File("second.mp3"))) << Log();
    std::this_thread::sleep_for(1500ms);
    listener.Stop();
    EXPECT_FALSE(listener.Closed());
    EXPECT_EQ(listener.Titles(), (std::vector<std::string>{"First", "Second"}));
    EXPECT_EQ(Decode(listener.Audio(), "heard.mp3"), 0) << test::ReadFile(m_dir.File("decode.err"));
}

TEST_F(FallbackTest, FilesThatCannotPlayAreRefusedWithTheReason) {
    test::WriteFile(m_dir.File("notes.txt"), std::string(100000, 'x'));
    StartServer("[Fallback]\nFile=missing.mp3\nIntroFile=notes.txt\nUrl=ftp://example/\n", 5000);
    EXPECT_TRUE(LogHas("missing.mp3 not used: No such file or directory")) << Log();
    EXPECT_TRUE(LogHas("notes.txt not used: it holds no audio this station takes")) << Log();
    EXPECT_TRUE(LogHas("Fallback stream ftp://example/ not used")) << Log();
    // Without a fallback the station has nothing to play.
    EXPECT_NE(Get("/stream").find("404"), std::string::npos);
}

}  // namespace
}  // namespace orvanta
