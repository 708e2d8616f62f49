// The state-folder rule, and the folder check that runs before anything is written.
#include "startup/state_folder.h"

#include "test_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace orvanta {
namespace {

using Kind = StateFolders::Kind;

TEST(StateFolderTest, TheFirstMatchingRuleDecides) {
    const std::string program = "/opt/ov/";
    struct Case {
        StateEnvironment environment;
        bool portable;
        Kind kind;
        std::string folder;
        std::string logFolder;
        std::string userHive;
    };
    // clang-format off
    const Case cases[] = {
        // A portable build folder keeps everything beside the executable, as it always did.
        {{"", "", "", "/home/ann/.cfg", "/home/ann"}, true, Kind::Portable, program, "", ""},
        // Installed: the XDG config folder, else ~/.config; a relative XDG_CONFIG_HOME is void.
        {{"", "", "", "/home/ann/.cfg", "/home/ann"}, false, Kind::User,
         "/home/ann/.cfg/orvanta-server/", "/home/ann/.cfg/orvanta-server/log/", ""},
        {{"", "", "", "", "/home/ann"}, false, Kind::User,
         "/home/ann/.config/orvanta-server/", "/home/ann/.config/orvanta-server/log/", ""},
        {{"", "", "", "rel/cfg", "/home/ann"}, false, Kind::User,
         "/home/ann/.config/orvanta-server/", "/home/ann/.config/orvanta-server/log/", ""},
        // The service manager's folders (first entry of each list), even over a portable folder.
        {{"", "/var/lib/orvanta-server:/var/lib/other", "/var/log/orvanta-server", "", "/"}, true,
         Kind::Service, "/var/lib/orvanta-server/", "/var/log/orvanta-server/",
         "/var/lib/orvanta-server/user.reg"},
        {{"", "/var/lib/ov/", "", "", ""}, false, Kind::Service, "/var/lib/ov/",
         "/var/lib/ov/log/", "/var/lib/ov/user.reg"},
        // The variable beats everything: a folder, or the program folder even when installed.
        {{"/srv/st", "/var/lib/ov", "/var/log/ov", "", "/home/ann"}, true, Kind::Forced,
         "/srv/st/", "/srv/st/log/", "/srv/st/user.reg"},
        {{"portable", "/var/lib/ov", "", "", "/home/ann"}, false, Kind::Portable, program, "", ""},
    };
    // clang-format on
    for (const Case& c : cases) {
        const StateFolders got = DecideStateFolders(c.environment, program, c.portable);
        SCOPED_TRACE(c.folder);
        EXPECT_EQ(got.error, "");
        EXPECT_EQ(got.kind, c.kind);
        EXPECT_EQ(got.folder, c.folder);
        EXPECT_EQ(got.logFolder, c.logFolder);
        EXPECT_EQ(got.userHive, c.userHive);
    }
}

TEST(StateFolderTest, NoFolderToBeHadIsAnErrorThatSaysWhy) {
    const StateFolders relative = DecideStateFolders({"st", "", "", "", "/home/ann"}, "/p/", true);
    EXPECT_NE(relative.error.find("ORVANTA_STATE_DIR must be an absolute folder"),
              std::string::npos);
    const StateFolders homeless = DecideStateFolders({"", "", "", "", ""}, "/usr/lib/ov/", false);
    EXPECT_NE(homeless.error.find("/usr/lib/ov/ is not writable"), std::string::npos)
        << homeless.error;
}

TEST(StateFolderTest, PreparingCreatesTheFolderOrNamesItInTheRefusal) {
    test::TempDir dir;
    const std::string nested = dir.File("a/b/state/");
    EXPECT_EQ(PrepareStateFolder(nested), "");
    EXPECT_TRUE(std::filesystem::is_directory(nested));
    EXPECT_TRUE(std::filesystem::is_empty(nested)) << "the probe file is gone again";
    EXPECT_EQ(std::filesystem::status(nested).permissions(), std::filesystem::perms::owner_all)
        << "Config.ini's passwords are for its user alone";

    // A file where a folder should be refuses even root.
    test::WriteFile(dir.File("file"), "x");
    const std::string blocked = dir.File("file/state/");
    const std::string error = PrepareStateFolder(blocked);
    EXPECT_NE(error.find("cannot use the state folder " + blocked), std::string::npos) << error;
    EXPECT_EQ(PrepareStateFolder(dir.File("file")).find("cannot use the state folder"), 0u);

    EXPECT_TRUE(IsPortableProgramFolder(dir.Folder()));
    EXPECT_FALSE(IsPortableProgramFolder("/usr/lib/orvanta-server/"))
        << "the package manager's folders are never written, even by root";
    EXPECT_FALSE(IsPortableProgramFolder(dir.File("missing/")));
}

}  // namespace
}  // namespace orvanta
