#include "config/config_commands.h"

#include "config/program_settings.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <stdlib.h>

namespace orvanta {
namespace {

class ConfigCommandsTest : public ::testing::Test {
protected:
    // A chooser that records the folder it was opened in and answers with `path`, or cancels
    // when `path` is empty.
    FileChooser Answer(std::string path) {
        return [this, path](const std::string& folder, std::string& chosen) {
            m_openedIn.push_back(folder);
            chosen = path;
            return !path.empty();
        };
    }
    test::TempDir m_dir;
    test::ScopedEnv m_userHive{"ORVANTA_USER_HIVE", m_dir.File("user.reg").c_str()};
    test::ScopedEnv m_machineHive{"ORVANTA_MACHINE_HIVE", m_dir.File("machine.reg").c_str()};
    std::vector<std::string> m_openedIn;
};

// The Config General page's test drives these commands through the real file dialogs; what
// those cannot show: a file that does not load still moves the remembered folder, the load
// dialog opens there, and each command remembers its own folder.
TEST_F(ConfigCommandsTest, EachCommandRemembersItsOwnFolderWhateverTheFileDoes) {
    StationConfig config;
    config.SetDefaults();
    EXPECT_FALSE(LoadConfigCommand(config, Answer("")));
    ASSERT_TRUE(LoadConfigCommand(config, Answer("/nonexistent/dir/x.ini")));
    EXPECT_EQ(GetProfileString(kSectionFolders, kEntryLastOpen), "/nonexistent/dir/");
    ASSERT_TRUE(LoadConfigCommand(config, Answer("/nonexistent/x.ini")));
    EXPECT_EQ(m_openedIn, (std::vector<std::string>{"", "", "/nonexistent/dir/"}));

    ASSERT_TRUE(SaveConfigCommand(config, Answer(m_dir.File("copy"))));
    EXPECT_NE(test::ReadFile(m_dir.File("copy")).find("MaxClient="), std::string::npos);
    EXPECT_EQ(GetProfileString(kSectionFolders, kEntryLastSave), m_dir.Folder());
    EXPECT_EQ(GetProfileString(kSectionFolders, kEntryLastOpen), "/nonexistent/");
}

}  // namespace
}  // namespace orvanta
