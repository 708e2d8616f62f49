#include "web/content.h"

#include "test_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace orvanta::engine {
namespace {

using test::WriteFile;

ContentFolder Folder(const std::string& root, const std::string& index = "index.html",
                     uint64_t maxBytes = kDefaultMaxContentBytes) {
    ContentFolder folder;
    folder.root = root;
    folder.indexPage = index;
    folder.maxBytes = maxBytes;
    return folder;
}

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

    ContentFile Get(std::string_view path, bool readBody = true) const {
        return ResolveContent(Folder(m_root, "index.html"), path, readBody);
    }
    void Link(const std::string& target, const std::string& name) const {
        ASSERT_EQ(::symlink(target.c_str(), (m_root + "/" + name).c_str()), 0) << name;
    }

    test::TempDir m_temp;
    std::string m_root;
    std::string m_secret;
};

TEST_F(ContentTest, FoldersServeTheirIndexAndHeadSkipsTheBody) {
    for (const char* path : {"/", "/index.html", "//./index.html"}) {
        const ContentFile home = Get(path);
        ASSERT_EQ(home.status, ContentStatus::Found) << path;
        EXPECT_EQ(home.body, "<h1>home</h1>");
        EXPECT_EQ(home.path, std::filesystem::canonical(m_root + "/index.html").string());
        EXPECT_EQ(home.contentType, std::string("text/html; charset=utf-8"));
    }
    for (const char* path : {"/sub/", "/sub", "/sub//"}) {
        EXPECT_EQ(Get(path).body, "<h1>sub</h1>") << path;
    }
    const ContentFile head = Get("/sub/", false);
    EXPECT_EQ(head.status, ContentStatus::Found);
    EXPECT_EQ(head.size, 12u);
    EXPECT_TRUE(head.body.empty());
    EXPECT_EQ(head.etag, Get("/sub/").etag) << "GET and HEAD must agree for caches";
    EXPECT_EQ(Get("/style.css").status, ContentStatus::NotFound) << "names are case-sensitive";
}

TEST_F(ContentTest, TraversalIsRefusedHoweverItIsSpelt) {
    // Climbing out, plain or encoded; even a ".." that would stay inside is not worth allowing.
    for (const char* path :
         {"/../secret.txt", "/../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd", "/%2E%2E/secret.txt",
          "/.%2e/secret.txt", "/..%2fsecret.txt", "/a/../../secret.txt", "/sub/../index.html",
          "\\..\\secret.txt", "/..\\secret.txt", "/%5c..%5csecret.txt"}) {
        EXPECT_EQ(Get(path).status, ContentStatus::Forbidden) << path;
    }
    // Bytes a file name cannot hold, broken escapes, and targets that are not a path.
    for (const char* path : {"/%00", "/index.html%00.txt", "/index.html%0a", "/%", "/%2", "/%g0",
                             "../secret.txt", "", "http://host/index.html"}) {
        EXPECT_EQ(Get(path).status, ContentStatus::Forbidden) << path;
    }
    // Decoded once only: these are odd literal names, which do not exist.
    for (const char* path :
         {"/%252e%252e/secret.txt", "/%252e%252e/", "/%c0%ae%c0%ae/secret.txt"}) {
        EXPECT_EQ(Get(path).status, ContentStatus::NotFound) << path;
    }
    WriteFile(m_root + "/%2e%2e.txt", "literal");
    EXPECT_EQ(Get("/%252e%252e.txt").body, "literal");
}

TEST_F(ContentTest, SymbolicLinksMustStayInside) {
    Link("/etc/passwd", "passwd");
    Link("../secret.txt", "secret.txt");
    Link(m_temp.Path(), "up");
    Link("../content-old/page.html", "old.html");  // shares the root's name as a prefix
    Link("sub/index.html", "inner.html");
    Link("sub", "inner");
    EXPECT_EQ(Get("/passwd").status, ContentStatus::Forbidden);
    EXPECT_EQ(Get("/secret.txt").status, ContentStatus::Forbidden);
    EXPECT_EQ(Get("/up/secret.txt").status, ContentStatus::Forbidden);
    EXPECT_EQ(Get("/up/").status, ContentStatus::Forbidden);
    std::filesystem::create_directory(m_root + "-old");
    WriteFile(m_root + "-old/page.html", "old");
    EXPECT_EQ(Get("/old.html").status, ContentStatus::Forbidden);
    EXPECT_EQ(Get("/inner.html").body, "<h1>sub</h1>");
    EXPECT_EQ(Get("/inner/").body, "<h1>sub</h1>");

    // The index is a link like any other.
    ASSERT_EQ(::symlink(m_secret.c_str(), (m_root + "/sub/empty/index.html").c_str()), 0);
    EXPECT_EQ(Get("/sub/empty/").status, ContentStatus::Forbidden);

    // A content folder that is itself a link is fine, and so is a relative one.
    const std::string alias = m_temp.File("alias");
    ASSERT_EQ(::symlink(m_root.c_str(), alias.c_str()), 0);
    EXPECT_EQ(ResolveContent(Folder(alias, "index.html"), "/", true).body, "<h1>home</h1>");
    const std::string relative = std::filesystem::relative(m_root).string();
    EXPECT_EQ(ResolveContent(Folder(relative, "index.html"), "/sub/", true).body, "<h1>sub</h1>");
}

TEST_F(ContentTest, OnlyExistingRegularFilesAreServed) {
    EXPECT_EQ(Get("/sub/empty/").status, ContentStatus::NotFound) << "no index";
    EXPECT_EQ(Get("/missing.html").status, ContentStatus::NotFound);
    EXPECT_EQ(Get("/index.html/").status, ContentStatus::NotFound) << "a file is no folder";
    // Opening a pipe for reading would wait for a writer forever.
    ASSERT_EQ(::mkfifo((m_root + "/pipe.mp3").c_str(), 0600), 0);
    EXPECT_EQ(Get("/pipe.mp3").status, ContentStatus::NotFound);

    for (const std::string& root : {m_temp.File("nowhere"), std::string(), m_secret}) {
        EXPECT_EQ(ResolveContent(Folder(root, "index.html"), "/", true).status,
                  ContentStatus::NotFound)
            << root;
    }
    // A misconfigured index page must not become a way out.
    for (const char* index : {"../secret.txt", "", "..", "sub/index.html"}) {
        EXPECT_EQ(ResolveContent(Folder(m_root, index), "/", true).status, ContentStatus::NotFound)
            << index;
    }
}

TEST_F(ContentTest, FilesOverTheCapAreTooLarge) {
    WriteFile(m_root + "/big.mp3", std::string(1000, 'x'));
    const ContentFile atCap = ResolveContent(Folder(m_root, "index.html", 1000), "/big.mp3", true);
    EXPECT_EQ(atCap.status, ContentStatus::Found);
    EXPECT_EQ(atCap.body.size(), 1000u);
    const ContentFile over = ResolveContent(Folder(m_root, "index.html", 999), "/big.mp3", true);
    EXPECT_EQ(over.status, ContentStatus::TooLarge);
    EXPECT_EQ(over.size, 1000u);
    EXPECT_TRUE(over.body.empty());
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
          "/OVTService.cache", "/ovserver.KOR", "/ovstream.so", "/ovserver", "/user.reg", "/.env",
          "/.Config.ini.AbC123", "/%2eenv", "/notes.txt~", "/x.log", "/settings.txt",
          "/log/ovserver.txt", "/log/"}) {
        const ContentFolder folder{
            m_root, "index.html", {m_root + "/log"}, kDefaultMaxContentBytes};
        const ContentFile file = ResolveContent(folder, path, true);
        EXPECT_NE(file.status, ContentStatus::Found) << path;
        EXPECT_EQ(file.body, "") << path;
    }
    // Web files beside them still are.
    EXPECT_EQ(Get("/style.CSS").status, ContentStatus::Found);
}

TEST(ContentPathTest, NormalisesToARelativePath) {
    EXPECT_EQ(NormaliseRequestPath("/"), "");
    EXPECT_EQ(NormaliseRequestPath("//a///b/./c/"), "a/b/c");
    EXPECT_EQ(NormaliseRequestPath("/My%20Show/%C3%A9t%c3%a9.mp3"),
              "My Show/\xC3\xA9t\xC3\xA9.mp3");
    EXPECT_EQ(NormaliseRequestPath("/%25/a+b?c"), "%/a+b?c");
    EXPECT_EQ(NormaliseRequestPath("/" + std::string(4095, 'a')), std::string(4095, 'a'));
    EXPECT_EQ(NormaliseRequestPath("/" + std::string(4096, 'a')), std::nullopt);
    EXPECT_EQ(NormaliseRequestPath("/a%2Fb"), std::nullopt);
    EXPECT_EQ(NormaliseRequestPath("/a%7f"), std::nullopt);
    for (const char* hidden : {"/.env", "/a/.git/config", "/.../x", "/%2Ehtaccess"}) {
        EXPECT_EQ(NormaliseRequestPath(hidden), std::nullopt) << hidden;
    }
}

TEST(ContentPathTest, MimeTypesFollowTheExtension) {
    EXPECT_STREQ(MimeTypeForPath("a/INDEX.HTM"), "text/html; charset=utf-8");
    EXPECT_STREQ(MimeTypeForPath("live.M3U"), "audio/x-mpegurl");
    // Only the last extension of the last name counts.
    for (const char* path : {"dir.html/readme", "archive.tar.gz", "trailing.", "f.woff2x"}) {
        EXPECT_STREQ(MimeTypeForPath(path), "application/octet-stream") << path;
    }
}

}  // namespace
}  // namespace orvanta::engine
