#include "config/config_commands.h"

#include "config/program_settings.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <stdlib.h>

namespace orvanta {
namespace {

class ConfigCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("ORVANTA_USER_HIVE", m_dir.File("user.reg").c_str(), 1);
        ::setenv("ORVANTA_MACHINE_HIVE", m_dir.File("machine.reg").c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("ORVANTA_USER_HIVE");
        ::unsetenv("ORVANTA_MACHINE_HIVE");
    }
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
    std::vector<std::string> m_openedIn;
};

TEST_F(ConfigCommandsTest, LoadRemembersTheFolderAndOpensThereNextTime) {
    test::WriteFile(m_dir.File("station.ini"), "[Limits]\nMaxClient=64\n");
    StationConfig config;
    ASSERT_TRUE(LoadConfigCommand(config, Answer(m_dir.File("station.ini"))));
    EXPECT_EQ(config.MaxClient, 64);
    EXPECT_EQ(GetProfileString(kSectionFolders, kEntryLastOpen), m_dir.Folder());

    // Cancelling changes nothing, and the dialog opened in the remembered folder.
    EXPECT_FALSE(LoadConfigCommand(config, Answer("")));
    EXPECT_EQ(m_openedIn, (std::vector<std::string>{"", m_dir.Folder()}));
    EXPECT_EQ(config.MaxClient, 64);

    // A file that does not load still moves the remembered folder.
    ASSERT_TRUE(LoadConfigCommand(config, Answer("/nonexistent/dir/x.ini")));
    EXPECT_EQ(GetProfileString(kSectionFolders, kEntryLastOpen), "/nonexistent/dir/");
}

TEST_F(ConfigCommandsTest, SaveWritesTheFileUnderItsOwnFolderValue) {
    StationConfig config;
    config.SetDefaults();
    config.MaxClient = 33;
    const std::string target = m_dir.File("copy");
    ASSERT_TRUE(SaveConfigCommand(config, Answer(target)));
    EXPECT_NE(test::ReadFile(target).find("MaxClient=33\n"), std::string::npos)
        << "saved under the name given, no extension added";
    EXPECT_EQ(GetProfileString(kSectionFolders, kEntryLastSave), m_dir.Folder());
    EXPECT_EQ(GetProfileString(kSectionFolders, kEntryLastOpen), "") << "the other folder stays";
}

}  // namespace
}  // namespace orvanta
