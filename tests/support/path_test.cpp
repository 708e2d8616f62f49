#include "support/path.h"

#include "platform/program_path.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace orvanta {
namespace {

struct JoinCase {
    const char* destination;
    const char* tail;
    const char* joined;
};

class JoinPathTest : public ::testing::TestWithParam<JoinCase> {};

TEST_P(JoinPathTest, PutsExactlyOneSeparatorAtTheSeam) {
    const JoinCase& c = GetParam();
    std::string destination = c.destination;
    JoinPath(destination, c.tail);
    EXPECT_EQ(destination, c.joined);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, JoinPathTest,
    ::testing::Values(JoinCase{"C:\\a\\", "b.txt", "C:\\a\\b.txt"},
                      JoinCase{"C:\\a", "\\b.txt", "C:\\a\\b.txt"},
                      JoinCase{"C:\\a\\", "\\b.txt", "C:\\a\\b.txt"},
                      JoinCase{"C:\\a", "b.txt", "C:\\a\\b.txt"},
                      JoinCase{"scheme://h/x", "y", "scheme://h/x/y"}, JoinCase{"", "b", "b"},
                      JoinCase{"/opt/orvanta/", "Config.ini", "/opt/orvanta/Config.ini"},
                      JoinCase{"/opt/orvanta", "Config.ini", "/opt/orvanta/Config.ini"},
                      // No separator on either side: the tail's own, else the native one.
                      JoinCase{"dir", "sub\\file", "dir\\sub\\file"},
                      JoinCase{"dir", "file", "dir/file"}, JoinCase{"a/b\\c", "d", "a/b\\c\\d"}));

TEST(PathTest, LastSeparatorPrefersBackslashAndSkipsTheSchemeSlashes) {
    EXPECT_EQ(LastSeparatorIndex("scheme://host"), -1);
    EXPECT_EQ(LastSeparatorIndex("scheme://host/x"), 13);
    EXPECT_EQ(LastSeparatorIndex("a/b\\c"), 3);
    EXPECT_EQ(LastSeparatorIndex("a\\b/c"), 1);  // a backslash wins even over a later slash
    EXPECT_EQ(LastSeparatorIndex("plain"), -1);
    EXPECT_FALSE(HasSeparator("scheme://host"));
    EXPECT_EQ(SeparatorOf("scheme://host"), '/');
    EXPECT_EQ(SeparatorOf("a\\b"), '\\');
    EXPECT_EQ(SeparatorOf("plain"), kNativeSeparator);
}

TEST(PathTest, ExtensionMustFollowTheLastSeparator) {
    EXPECT_EQ(GetExtension("C:\\dir.d\\file"), "");
    EXPECT_EQ(GetExtension("OVSERVER.KOR"), ".KOR");
    EXPECT_EQ(GetExtension("/opt/a.b/c.tar.gz"), ".gz");
    EXPECT_EQ(ExtensionIndex("scheme://host.example"), -1);  // a URL's host has no extension
    EXPECT_EQ(ExtensionIndex("scheme://host/x.mp3"), 15);
    EXPECT_EQ(GetExtension("name."), ".");
    EXPECT_EQ(GetExtension("noext"), "");
}

TEST(PathTest, FolderOfKeepsTheSeparator) {
    EXPECT_EQ(GetFolderOf("/opt/orvanta/ovserver"), "/opt/orvanta/");
    EXPECT_EQ(GetFolderOf("C:\\st\\a.ini"), "C:\\st\\");
    EXPECT_EQ(GetFolderOf("a.ini"), "");
    EXPECT_EQ(GetFolderOf("scheme://host"), "");
}

TEST(PathTest, ModuleFolderIsTheExecutablesFolder) {
    const std::string folder = GetModuleFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_EQ(folder + "support_tests", platform::ProgramPath());
}

}  // namespace
}  // namespace orvanta
