// The content folder served to browsers: what a request path may reach, and what it never may.
// What the path normaliser lets through for arbitrary bytes is the content_path fuzzer's part.
#include "web/content.h"

#include "test_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace orvanta::engine {
namespace {

using test::WriteFile;

// A content folder inside a temporary folder, with a secret file next to it that every
// traversal attempt would reach if it worked.
class ContentTest : public ::testing::Test {
protected:
    ContentTest() : m_root(m_temp.File("content")), m_secret(m_temp.File("secret.txt")) {
        std::filesystem::create_directories(m_root + "/sub/empty");
        WriteFile(m_secret, "top secret");
        WriteFile(m_root + "/index.html", "<h1>home</h1>");
        WriteFile(m_root + "/sub/index.html", "<h1>sub</h1>");
        WriteFile(m_root + "/style.CSS", "body{}");
    }

    ContentFile Get(std::string_view path, bool readBody = true, std::string index = "index.html",
                    uint64_t maxBytes = kDefaultMaxContentBytes) const {
        return ResolveContent({m_root, std::move(index), {m_root + "/log"}, maxBytes, {}, {}}, path,
                              readBody);
    }
    void Link(const std::string& target, const std::string& name) const {
        ASSERT_EQ(::symlink(target.c_str(), (m_root + "/" + name).c_str()), 0) << name;
    }

    test::TempDir m_temp;
    std::string m_root;
    std::string m_secret;
};

TEST_F(ContentTest, FilesAndFolderIndexesAreServedAndHeadSkipsTheBody) {
    for (const char* path : {"/", "/index.html", "//./index.html", "/sub/", "/sub", "/sub//"}) {
        const ContentFile page = Get(path);
        ASSERT_EQ(page.status, ContentStatus::Found) << path;
        EXPECT_EQ(page.body, path[1] == 's' ? "<h1>sub</h1>" : "<h1>home</h1>") << path;
        EXPECT_EQ(page.contentType, std::string("text/html; charset=utf-8"));
    }
    const ContentFile head = Get("/sub/", false);
    EXPECT_EQ(head.size, 12u);
    EXPECT_TRUE(head.body.empty());
    EXPECT_EQ(head.etag, Get("/sub/").etag) << "GET and HEAD must agree for caches";
    // Names are case-sensitive; a file is no folder; a folder without an index is nothing;
    // opening a pipe for reading would wait for a writer forever.
    ASSERT_EQ(::mkfifo((m_root + "/pipe.mp3").c_str(), 0600), 0);
    for (const char* path : {"/style.css", "/index.html/", "/sub/empty/", "/pipe.mp3"}) {
        EXPECT_EQ(Get(path).status, ContentStatus::NotFound) << path;
    }
    // Types follow the last extension of the last name only.
    EXPECT_STREQ(MimeTypeForPath("live.M3U"), "audio/x-mpegurl");
    for (const char* path : {"dir.html/readme", "archive.tar.gz", "trailing.", "f.woff2x"}) {
        EXPECT_STREQ(MimeTypeForPath(path), "application/octet-stream") << path;
    }
    // Over the size cap.
    WriteFile(m_root + "/big.mp3", std::string(1000, 'x'));
    EXPECT_EQ(Get("/big.mp3", true, "index.html", 1000).body.size(), 1000u);
    const ContentFile over = Get("/big.mp3", true, "index.html", 999);
    EXPECT_EQ(over.status, ContentStatus::TooLarge);
    EXPECT_TRUE(over.body.empty());
}

TEST_F(ContentTest, TraversalIsRefusedHoweverItIsSpelt) {
    // Climbing out, plain or encoded; even a ".." that would stay inside; bytes a file name
    // cannot hold, broken escapes, targets that are not a path, hidden names.
    // clang-format off
    for (const char* path :
         {"/../secret.txt", "/../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd", "/%2E%2E/secret.txt",
          "/.%2e/secret.txt", "/..%2fsecret.txt", "/a/../../secret.txt", "/sub/../index.html",
          "\\..\\secret.txt", "/..\\secret.txt", "/%5c..%5csecret.txt", "/%00",
          "/index.html%00.txt", "/index.html%0a", "/%", "/%2", "/%g0", "../secret.txt", "",
          "http://host/index.html", "/a%2Fb", "/a%7f", "/.env", "/%2Ehtaccess"}) {
        EXPECT_EQ(Get(path).status, ContentStatus::Forbidden) << path;
    }
    // clang-format on
    EXPECT_EQ(Get("/" + std::string(4096, 'a')).status, ContentStatus::Forbidden);
    // Decoded once only: these are odd literal names, which do not exist.
    for (const char* path :
         {"/%252e%252e/secret.txt", "/%252e%252e/", "/%c0%ae%c0%ae/secret.txt"}) {
        EXPECT_EQ(Get(path).status, ContentStatus::NotFound) << path;
    }
    WriteFile(m_root + "/%2e%2e.txt", "literal");
    EXPECT_EQ(Get("/%252e%252e.txt").body, "literal");
    // A misconfigured index page or content folder must not become a way out.
    for (const char* index : {"../secret.txt", "", "..", "sub/index.html"}) {
        EXPECT_EQ(Get("/", true, index).status, ContentStatus::NotFound) << index;
    }
    for (const std::string& root : {m_temp.File("nowhere"), std::string(), m_secret}) {
        EXPECT_EQ(
            ResolveContent({root, "index.html", {}, kDefaultMaxContentBytes, {}, {}}, "/", true)
                .status,
            ContentStatus::NotFound)
            << root;
    }
}

TEST_F(ContentTest, SymbolicLinksMustStayInside) {
    Link("/etc/passwd", "passwd");
    Link("../secret.txt", "secret.txt");
    Link(m_temp.Path(), "up");
    Link("../content-old/page.html", "old.html");  // shares the root's name as a prefix
    Link("sub/index.html", "inner.html");
    Link("sub", "inner");
    std::filesystem::create_directory(m_root + "-old");
    WriteFile(m_root + "-old/page.html", "old");
    // The index is a link like any other.
    ASSERT_EQ(::symlink(m_secret.c_str(), (m_root + "/sub/empty/index.html").c_str()), 0);
    for (const char* path :
         {"/passwd", "/secret.txt", "/up/secret.txt", "/up/", "/old.html", "/sub/empty/"}) {
        EXPECT_EQ(Get(path).status, ContentStatus::Forbidden) << path;
    }
    EXPECT_EQ(Get("/inner.html").body, "<h1>sub</h1>");
    EXPECT_EQ(Get("/inner/").body, "<h1>sub</h1>");

    // A content folder that is itself a link is fine, and so is a relative one.
    const std::string alias = m_temp.File("alias");
    ASSERT_EQ(::symlink(m_root.c_str(), alias.c_str()), 0);
    EXPECT_EQ(
        ResolveContent({alias, "index.html", {}, kDefaultMaxContentBytes, {}, {}}, "/", true).body,
        "<h1>home</h1>");
    const std::string relative = std::filesystem::relative(m_root).string();
    EXPECT_EQ(
        ResolveContent({relative, "index.html", {}, kDefaultMaxContentBytes, {}, {}}, "/sub/", true)
            .body,
        "<h1>sub</h1>");
}

// The content folder may be the program's own folder (the configuration's save rule cuts the
// default content folder back to it): nothing but web files may come out of it, however asked.
TEST_F(ContentTest, TheProgramsOwnFilesAreNeverServed) {
    for (const char* name :
         {"Config.ini", "OVTService.cache", "OVTPlugin.cache", "ovserver.KOR", "ovstream.so",
          "ovserver", "user.reg", ".env", ".Config.ini.AbC123", "notes.txt~", "x.log"}) {
        WriteFile(m_root + "/" + name, "Password=mustedit");
    }
    std::filesystem::create_directories(m_root + "/log");
    WriteFile(m_root + "/log/ovserver.txt", "secret log");
    Link("Config.ini", "settings.txt");
    for (const char* path :
         {"/Config.ini", "/./Config.ini", "/%43onfig.ini", "/%2e/Config.ini", "/CONFIG.INI",
          "/OVTService.cache", "/OVTPlugin.cache", "/ovserver.KOR", "/ovstream.so", "/ovserver",
          "/user.reg", "/.env", "/.Config.ini.AbC123", "/%2eenv", "/notes.txt~", "/x.log",
          "/settings.txt", "/log/ovserver.txt", "/log/"}) {
        const ContentFile file = Get(path);
        EXPECT_NE(file.status, ContentStatus::Found) << path;
        EXPECT_EQ(file.body, "") << path;
    }
    // Web files beside them still are.
    EXPECT_EQ(Get("/style.CSS").status, ContentStatus::Found);
}

}  // namespace
}  // namespace orvanta::engine
