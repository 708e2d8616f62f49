// ezstream playing a playlist of tagged MP3 files into ovserver on 127.0.0.1: it sends each
// song's title as an update of its own, the first one before its first audio.
#include "headless_server.h"
#include "ovstream/test_client.h"
#include "test_process.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace orvanta {
namespace {

using test::Process;

class EzstreamTest : public test::HeadlessServerTest {
protected:
    void SetUp() override {
        if (!test::HaveTool("ezstream") || !test::HaveTool("ffmpeg")) {
            GTEST_SKIP() << "ezstream and ffmpeg are installed by scripts/deps.sh";
        }
        MakeProgramFolder({"ovserver", "ovstream.so"});
        StartServer("", 5000);
    }

    // A tone of `seconds` as an MP3 file tagged with artist "Band" and `title`.
    std::string Song(const std::string& title, int seconds) {
        const std::string file = m_dir.File(title + ".mp3");
        Process encode(
            "ffmpeg",
            {"-nostdin", "-v", "error", "-f", "lavfi", "-i",
             "sine=frequency=440:duration=" + std::to_string(seconds), "-c:a", "libmp3lame", "-b:a",
             "128k", "-metadata", "artist=Band", "-metadata", "title=" + title, "-y", file},
            m_dir.File("ffmpeg.out"), m_dir.File("ffmpeg.err"));
        EXPECT_EQ(encode.Wait(30000), 0) << test::ReadFile(m_dir.File("ffmpeg.err"));
        return file;
    }

    std::string Status() {
        test::TestClient client(static_cast<uint16_t>(m_port));
        client.Send("GET /status-json.xsl HTTP/1.0\r\n\r\n");
        return client.ReadAll(3000);
    }
};

TEST_F(EzstreamTest, TheFirstSongsTitleShowsFromTheStart) {
    // The first song outlasts the test: whatever title the station shows is the first one's.
    test::WriteFile(m_dir.File("playlist.m3u"),
                    Song("First Light", 60) + "\n" + Song("Second", 5) + "\n");
    const std::string config = m_dir.File("ezstream.xml");
    test::WriteFile(config,
                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ezstream>\n"
                    "<servers><server><hostname>127.0.0.1</hostname><port>" +
                        std::to_string(m_port) +
                        "</port><password>hackme</password></server></servers>\n"
                        "<streams><stream><mountpoint>/stream</mountpoint><format>MP3</format>"
                        "</stream></streams>\n<intakes><intake><filename>" +
                        m_dir.File("playlist.m3u") +
                        "</filename></intake></intakes>\n</ezstream>\n");
    // ezstream refuses a configuration others may read: it holds the password.
    std::filesystem::permissions(
        config, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    Process ezstream("ezstream", {"-c", config}, m_dir.File("ezstream.out"),
                     m_dir.File("ezstream.err"));
    std::string status;
    ASSERT_TRUE(test::WaitUntil(
        [&] {
            status = Status();
            return status.find("\"source\":") != std::string::npos;
        },
        10000))
        << test::ReadFile(m_dir.File("ezstream.err")) << test::ReadFile(m_dir.File("server.err"));
    EXPECT_NE(status.find("\"title\":\"Band - First Light\""), std::string::npos) << status;
    // And the same in the line directory scrapers read, which ends with the title.
    test::TestClient scraper(static_cast<uint16_t>(m_port));
    scraper.Send("GET /7.html HTTP/1.0\r\n\r\n");
    EXPECT_NE(scraper.ReadAll(3000).find(",Band - First Light</body>"), std::string::npos);
    ezstream.Signal(SIGTERM);
    ezstream.Wait(5000);
}

}  // namespace
}  // namespace orvanta
