// The language-pack loader on real pack files in a program folder of its own, with hives of its
// own and the user-interface languages set through the environment: which pack start-up
// chooses, the version rule, and what the Language page would list.
#include "config/language_pack.h"

#include "config/program_settings.h"
#include "config/registry_key.h"
#include "platform/ui_language.h"
#include "res/string_table.h"
#include "support/language_pack_file.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <stdlib.h>
#include <string>
#include <utility>
#include <vector>

namespace orvanta {
namespace {

using test::ScopedEnv;

class LanguagePackTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Version 0.1.0.0, like the program that is built.
        WriteStamped(ProgramPath(), 0, 1, 0);
    }

    std::string ProgramPath() const { return m_dir.File(kProgramFileName); }

    // A file carrying only a version stamp, as the executable does for this purpose.
    void WriteStamped(const std::string& path, uint16_t major, uint16_t minor, uint16_t build) {
        LanguagePackFile file;
        file.version = LanguagePackVersionStamp(major, minor, build, 0);
        test::WriteFile(path, SerializeLanguagePack(file));
    }

    // A pack whose program caption names its language, so that a test sees which one loaded.
    void WritePack(const std::string& abbreviation, uint16_t minor = 1, uint16_t build = 0) {
        LanguagePackFile pack;
        pack.version = LanguagePackVersionStamp(0, minor, build, 0);
        pack.texts[res::kStrAppCaption] = "Orvanta " + abbreviation;
        test::WriteFile(m_dir.File(std::string(kProgramFileName) + "." + abbreviation),
                        SerializeLanguagePack(pack));
    }

    void WriteUserDword(const char* name, uint32_t value) {
        CRegistryKey key;
        ASSERT_TRUE(key.Create(kRegistryRoot, RegistryRoot::CurrentUser));
        ASSERT_TRUE(key.WriteDword(name, value));
    }

    // Loads as start-up does and tells which pack came (its caption), "" for none.
    std::string LoadedCaption() {
        CLanguagePack pack;
        const bool loaded = pack.Load(kRegistryRoot, ProgramPath());
        EXPECT_EQ(loaded, pack.IsLoaded());
        const std::string caption = loaded ? res::LoadString(res::kStrAppCaption) : "";
        if (loaded) {
            EXPECT_EQ(caption, "Orvanta " + pack.Abbreviation());
            EXPECT_EQ(res::LoadString(2020), "Alternative") << "ids the pack lacks stay built in";
        }
        pack.Unload();
        EXPECT_EQ(res::LoadString(res::kStrAppCaption), "Orvanta Server");
        return caption;
    }

    std::vector<std::pair<uint32_t, std::string>> Listed() {
        std::vector<std::pair<uint32_t, std::string>> listed;
        for (const LanguagePackItem& item : EnumLanguagePacks(m_dir.Folder())) {
            listed.emplace_back(item.languageId, item.name);
        }
        std::sort(listed.begin(), listed.end());  // in the folder's order
        return listed;
    }

    test::TempDir m_dir;
    ScopedEnv m_userHive{"ORVANTA_USER_HIVE", m_dir.File("user.reg").c_str()};
    ScopedEnv m_machineHive{"ORVANTA_MACHINE_HIVE", m_dir.File("machine.reg").c_str()};
    // The user's and the system's user-interface language: US English unless a test says
    // otherwise.
    ScopedEnv m_userLanguage{"ORVANTA_UI_LANGUAGE", nullptr};
    ScopedEnv m_all{"LC_ALL", "C"};
    ScopedEnv m_messages{"LC_MESSAGES", nullptr};
    ScopedEnv m_lang{"LANG", nullptr};
};

TEST_F(LanguagePackTest, TheUsersChoiceLoadsUnlessTheUserSwitchedPacksOff) {
    WritePack("KOR");
    WritePack("DEU");
    WriteUserDword(kValueLanguageId, 0x0412);
    EXPECT_EQ(LoadedCaption(), "Orvanta KOR");

    // The machine's switch is the Language page's business, not the loader's.
    CRegistryKey machine;
    ASSERT_TRUE(machine.Create(kRegistryRoot, RegistryRoot::LocalMachine));
    ASSERT_TRUE(machine.WriteDword(kValueLanguagePackDisable, 1));
    EXPECT_EQ(LoadedCaption(), "Orvanta KOR");

    WriteUserDword(kValueLanguagePackDisable, 1);
    ::setenv("ORVANTA_UI_LANGUAGE", "0x0407", 1);
    EXPECT_EQ(LoadedCaption(), "") << "neither the choice nor the candidates";
}

TEST_F(LanguagePackTest, NoOrAMissingChoiceFallsBackToTheUiLanguagesInOrder) {
    WritePack("KOR");
    WritePack("DEU");
    WritePack("ENU");
    ::setenv("ORVANTA_UI_LANGUAGE", "0x0407", 1);
    ::setenv("LC_ALL", "ko_KR.UTF-8", 1);
    EXPECT_EQ(LoadedCaption(), "Orvanta DEU") << "no choice stored: the user's language first";
    WriteUserDword(kValueLanguageId, 0);
    EXPECT_EQ(LoadedCaption(), "Orvanta DEU") << "the default item stores 0";
    WriteUserDword(kValueLanguageId, 0x0411);
    EXPECT_EQ(LoadedCaption(), "Orvanta DEU") << "Japanese has no pack here";
    std::filesystem::remove(m_dir.File("ovserver.DEU"));
    EXPECT_EQ(LoadedCaption(), "Orvanta KOR") << "then the system's language";
    std::filesystem::remove(m_dir.File("ovserver.KOR"));
    EXPECT_EQ(LoadedCaption(), "");
    ::setenv("ORVANTA_UI_LANGUAGE", "0x0C09", 1);
    EXPECT_EQ(LoadedCaption(), "Orvanta ENU") << "English (Australia) through its primary language";
    // Without ORVANTA_UI_LANGUAGE the user's language is the system's, and a bare language in
    // the locale stands for its most likely country.
    WritePack("KOR");
    ::unsetenv("ORVANTA_UI_LANGUAGE");
    ::setenv("LC_ALL", "ko.UTF-8", 1);
    EXPECT_EQ(LoadedCaption(), "Orvanta KOR");
}

// Packs of another major or minor version are neither loaded nor listed; only files named
// after a language are listed, by the language's name.
TEST_F(LanguagePackTest, OnlyPacksOfThisVersionNamedAfterALanguageAreLoadedAndListed) {
    WritePack("DEU", 2);
    WritePack("KOR", 1, 7);  // another build is the same version
    WritePack("ENA");
    for (const char* name :
         {"ovserver.XYZ", "ovserver.ini", "ovserver.kor", "ovserver.DEU.txt", "other.DEU"}) {
        WriteStamped(m_dir.File(name), 0, 1, 0);  // the loader would look for .KOR, not .kor
    }
    std::filesystem::create_directory(m_dir.File("ovserver.JPN"));
    WriteUserDword(kValueLanguageId, 0x0407);
    ::setenv("ORVANTA_UI_LANGUAGE", "0x0407", 1);
    EXPECT_EQ(LoadedCaption(), "");
    WriteUserDword(kValueLanguageId, 0x0412);
    EXPECT_EQ(LoadedCaption(), "Orvanta KOR");
    ::unsetenv("ORVANTA_UI_LANGUAGE");  // names in English
    EXPECT_EQ(Listed(),
              (std::vector<std::pair<uint32_t, std::string>>{{0, "[Default Language]"},
                                                             {0x0412, "Korean (South Korea)"},
                                                             {0x0C09, "English (Australia)"}}));
    // A sublanguage without a name of its own is named by the primary language's default.
    EXPECT_EQ(LanguageDisplayName(0xFC07), "German (Germany)");
    EXPECT_EQ(LanguageDisplayName(0x03FF), "");

    // A stamped file that is no pack inside does not load either.
    test::WriteFile(m_dir.File("ovserver.KOR"), test::ReadFile(ProgramPath()) + "tail");
    EXPECT_EQ(LoadedCaption(), "");
}

}  // namespace
}  // namespace orvanta
