#include "config/ini_file.h"

#include "test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace orvanta {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

Strings Listing(const std::string& folder) {
    Strings names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class IniFileTest : public testing::Test {
protected:
    bool Load(LIniFile& ini, const std::string& text, const std::string& name = "Config.ini") {
        ini.path = m_dir.File(name);
        test::WriteFile(ini.path, text);
        return ini.Load();
    }

    test::TempDir m_dir;
};

TEST_F(IniFileTest, FileWithoutSectionsOrUnreadableFailsAndKeepsWhatItHeld) {
    LIniFile comments;
    EXPECT_FALSE(Load(comments, ";made by hand\n# second\n"));
    EXPECT_EQ(comments.headerComments, (Strings{"made by hand", " second"}));
    EXPECT_TRUE(comments.sections.empty());
    for (const std::string& path : {m_dir.File("missing.ini"), m_dir.Path()}) {
        LIniFile unreadable(path);
        unreadable.AddSection("Kept");
        EXPECT_FALSE(unreadable.Load());
        EXPECT_EQ(unreadable.sectionNames, Strings{"Kept"});
    }
}

// The first mark of a line decides what it is, bytes stay as written, and at most two
// carriage returns end a line.
TEST_F(IniFileTest, FirstMarkOfALineDecidesAndBytesStayAsWritten) {
    LIniFile ini;
    EXPECT_TRUE(Load(ini,
                     "A=1\n;c\n[Network]\r\r\nPort = 8000\nName=a=b;c\n  ; note\nplain words\n"
                     "Empty=\nB=2\r\nC=3\r\r\r\n[a]b]\n[abc\nK=1\n]x[\nL=2\nx[y]\n#hash\nD=4\r"));
    EXPECT_TRUE(ini.headerComments.empty());
    EXPECT_EQ(ini.sectionNames, (Strings{"", "Network", "a]b", "y"}));
    EXPECT_EQ(ini.sections[0].comments, Strings{"c"});
    EXPECT_EQ(ini.GetString("", "a", "-"), "1");
    EXPECT_EQ(ini.sections[1].keyNames, (Strings{"Port ", "Name", "Empty", "B", "C"}));
    EXPECT_EQ(ini.sections[1].values, (Strings{" 8000", "a=b;c", "", "2", "3\r"}));
    EXPECT_EQ(ini.sections[1].comments, Strings{" note"});
    EXPECT_EQ(ini.sections[2].keyNames, (Strings{"K", "L"}));
    EXPECT_EQ(ini.sections[3].comments, Strings{"hash"});
    EXPECT_EQ(ini.GetString("y", "d", ""), "4");
    EXPECT_EQ(ini.GetString("network", "empty", "fallback"), "");
    EXPECT_EQ(ini.GetString("network", "Port", "fallback"), "fallback");
}

TEST_F(IniFileTest, UnprintableFirstByteStopsTheReadAndKeepsWhatCameBefore) {
    const std::pair<std::string, std::string> cases[] = {{"\t", "9"}, {"\x7f", "127"}};
    for (const auto& [lead, code] : cases) {
        LIniFile ini;
        testing::internal::CaptureStdout();
        const bool loaded = Load(ini, "[S]\nA=1\n\xC3\xA9t\xC3\xA9=2\n" + lead + "B=2\n[T]\nC=3\n");
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Failing on char " + code + "\n");
        EXPECT_FALSE(loaded);
        EXPECT_EQ(ini.sectionNames, Strings{"S"});
        EXPECT_EQ(ini.sections[0].keyNames, (Strings{"A", "\xC3\xA9t\xC3\xA9"}));
    }
}

TEST_F(IniFileTest, RepeatedNamesResolveToTheFirstAndLoadsMerge) {
    LIniFile ini;
    EXPECT_TRUE(Load(ini, "[Limits]\nMaxClient=1\nmaxclient=2\n[LIMITS]\nTimeout=3\n;late\n"));
    EXPECT_EQ(ini.sectionNames, (Strings{"Limits", "LIMITS"}));
    EXPECT_EQ(ini.sections[0].keyNames, (Strings{"MaxClient", "Timeout"}));
    EXPECT_EQ(ini.sections[0].values, (Strings{"2", "3"}));
    EXPECT_EQ(ini.sections[0].comments, Strings{"late"});
    EXPECT_TRUE(ini.sections[1].keyNames.empty());

    EXPECT_TRUE(Load(ini, "[limits]\nTimeout=4\nPort=5\n[Paths]\n", "Second.ini"));
    EXPECT_EQ(ini.sectionNames, (Strings{"Limits", "LIMITS", "limits", "Paths"}));
    EXPECT_EQ(ini.sections[0].values, (Strings{"2", "4", "5"}));
    EXPECT_EQ(ini.AddSection("LiMiTs"), 4u);
    EXPECT_EQ(ini.FindSection("LIMITS"), 0u);
}

TEST(IniFileModelTest, SetStringMatchesFoldedNamesAndKeepsTheFirstForms) {
    LIniFile ini;
    ini.SetString("LIMITS", "MaxClient", "20", true);
    EXPECT_TRUE(ini.SetString("Limits", "maxclient", "5", false));
    EXPECT_FALSE(ini.SetString("Limits", "Timeout", "1", false)) << "no key is made";
    EXPECT_FALSE(ini.SetString("Network", "Port", "1", false));
    EXPECT_TRUE(ini.SetInt("Network", "Port", -8000, true));
    EXPECT_EQ(ini.sectionNames, (Strings{"LIMITS", "Network"}));
    EXPECT_EQ(ini.sections[0].keyNames, Strings{"MaxClient"});
    EXPECT_EQ(ini.sections[0].values, Strings{"5"});
    EXPECT_EQ(ini.GetString("NETWORK", "port", ""), "-8000");
    EXPECT_EQ(ini.FoldCase("@AZ[az`\xC4"), "@az[az`\xC4");
}

TEST_F(IniFileTest, SaveWritesTheLayoutThatLoadReadsBack) {
    LIniFile loaded;
    ASSERT_TRUE(Load(loaded,
                     "#top\nX=1\n[Broadcast]\n#hash\nGenre = 800\n[PrivateBr]\n"
                     "PrivateUser1=pw;1\n[Broadcast]\n"));
    ASSERT_TRUE(loaded.Save());
    EXPECT_EQ(test::ReadFile(loaded.path),
              ";top\n\n[]\nX=1\n\n[Broadcast]\n;hash\nGenre = 800\n\n[PrivateBr]\n"
              "PrivateUser1=pw;1\n\n[Broadcast]\n\n");
}

TEST_F(IniFileTest, FailedSaveLeavesNoTraceAndTheOldFileIntact) {
    LIniFile ini;
    ini.SetString("Limits", "Big", std::string(1 << 16, 'x'), true);

    test::WriteFile(m_dir.File("plain"), "old\n");
    ini.path = m_dir.File("plain/Config.ini");
    EXPECT_FALSE(ini.Save());
    EXPECT_EQ(Listing(m_dir.Path()), Strings{"plain"});

    // The text is written in full before the rename refuses to replace a folder.
    fs::create_directories(m_dir.File("Folder.ini/inside"));
    ini.path = m_dir.File("Folder.ini");
    EXPECT_FALSE(ini.Save());
    EXPECT_EQ(Listing(m_dir.Path()), (Strings{"Folder.ini", "plain"}));

    // A full disk, in a child process whose writes stop part way.
    ini.path = m_dir.File("plain");
    EXPECT_EXIT(
        {
            test::LimitFileSize(4096);
            std::_Exit(ini.Save() ? 1 : 0);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EQ(test::ReadFile(m_dir.File("plain")), "old\n");
    EXPECT_EQ(Listing(m_dir.Path()), (Strings{"Folder.ini", "plain"}));
}

// The file holds passwords: a save keeps the owner's and group's access but never leaves it
// readable by everyone, and a new file is the owner's alone.
TEST_F(IniFileTest, SaveGoesThroughLinksAndNeverLeavesTheFileWorldReadable) {
    LIniFile ini;
    ini.SetString("Paths", "LogDir", "./logs", true);

    test::WriteFile(m_dir.File("real.ini"), "old\n");
    ASSERT_EQ(chmod(m_dir.File("real.ini").c_str(), 0644), 0);
    fs::create_symlink("real.ini", m_dir.File("Config.ini"));
    ini.path = m_dir.File("Config.ini");
    ASSERT_TRUE(ini.Save());
    EXPECT_TRUE(fs::is_symlink(ini.path));
    EXPECT_EQ(test::ReadFile(m_dir.File("real.ini")), "[Paths]\nLogDir=./logs\n\n");
    EXPECT_EQ(fs::status(ini.path).permissions(), fs::perms{0640});

    fs::create_symlink(m_dir.File("made.ini"), m_dir.File("Dangling.ini"));
    ini.path = m_dir.File("Dangling.ini");
    const mode_t oldMask = umask(027);
    const bool saved = ini.Save();
    umask(oldMask);
    ASSERT_TRUE(saved);
    EXPECT_TRUE(fs::is_symlink(ini.path));
    EXPECT_EQ(fs::status(m_dir.File("made.ini")).permissions(), fs::perms{0600});
    EXPECT_EQ(Listing(m_dir.Path()),
              (Strings{"Config.ini", "Dangling.ini", "made.ini", "real.ini"}));
}

// One key set for the operator in a file edited by hand: every other byte stays, and what Load
// then reads is the new value, whichever way the file spelled the names.
TEST_F(IniFileTest, SettingOneValueInTheTextLeavesEveryOtherByteAsItWas) {
    const auto set = [](const std::string& text) {
        return WithIniValue(text, "Admin", "PasswordHash", "H$1");
    };
    const struct {
        std::string before, after;
    } cases[] = {
        // In place: the name as written, the line end as it was (CR LF), comments and spacing.
        {";top\r\n[Network]\r\nPort=1\r\n\r\n[admin]\r\n; keep\r\nuser=ann\r\npasswordHASH=old\r\n"
         "X = 1\r\n",
         ";top\r\n[Network]\r\nPort=1\r\n\r\n[admin]\r\n; keep\r\nuser=ann\r\npasswordHASH=H$1\r\n"
         "X = 1\r\n"},
        // A repeated section header feeds the first section on reading, and every copy of the
        // key is the same setting; the last line needs no line end.
        {"[Admin]\nUser=a\n[Other]\nPasswordHash=not this\n[ADMIN]\nPasswordHash=x\n"
         "PasswordHash=y",
         "[Admin]\nUser=a\n[Other]\nPasswordHash=not this\n[ADMIN]\nPasswordHash=H$1\n"
         "PasswordHash=H$1"},
        // Missing: after the section's last line, before the blank lines that end it. A name
        // with a space before "=" is another key.
        {"[Admin]\nUser=a\nPasswordHash =x\n\n\n[Network]\nPort=1\n",
         "[Admin]\nUser=a\nPasswordHash =x\nPasswordHash=H$1\n\n\n[Network]\nPort=1\n"},
        {"[Admin]", "[Admin]\nPasswordHash=H$1\n"},
        {"[Network]\r\nPort=1", "[Network]\r\nPort=1\r\n\r\n[Admin]\r\nPasswordHash=H$1\r\n"},
        // Carriage returns ending the last line stay what Load strips of them.
        {"[Admin]\r\nX=1\r\r", "[Admin]\r\nX=1\r\r\nPasswordHash=H$1\r\n"},
        {"[Network]\r\nX=1\r", "[Network]\r\nX=1\r\n\r\n[Admin]\r\nPasswordHash=H$1\r\n"},
        // No such section: one of its own at the end, after a blank line.
        {"[Network]\nPort=1\n", "[Network]\nPort=1\n\n[Admin]\nPasswordHash=H$1\n"},
        {"[Network]\nPort=1\n\n", "[Network]\nPort=1\n\n[Admin]\nPasswordHash=H$1\n"},
        {"", "[Admin]\nPasswordHash=H$1\n"},
        {"\n", "\n[Admin]\nPasswordHash=H$1\n"},
        // "[Admin" is no header; "x[Admin]" is one, as Load reads it.
        {"[Admin\nPasswordHash=x\n", "[Admin\nPasswordHash=x\n\n[Admin]\nPasswordHash=H$1\n"},
        {"x[Admin]\nPasswordHash=x\n", "x[Admin]\nPasswordHash=H$1\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before);
        const std::optional<std::string> after = set(c.before);
        ASSERT_TRUE(after);
        EXPECT_EQ(*after, c.after);
        LIniFile ini;
        ASSERT_TRUE(Load(ini, *after));
        EXPECT_EQ(ini.GetString("Admin", "PasswordHash", "missing"), "H$1");
        LIniFile before;
        Load(before, c.before, "before.ini");
        for (size_t i = 0; i < before.sections.size(); ++i) {
            for (const std::string& key : before.sections[i].keyNames) {
                if (ini.FoldCase(key) != "passwordhash") {
                    EXPECT_EQ(ini.GetString(before.sectionNames[i], key, "missing"),
                              before.GetString(before.sectionNames[i], key, "missing"))
                        << key;
                }
            }
        }
    }
    // A line Load stops at: what comes after it would never be read. A value cannot be more
    // than one line.
    EXPECT_FALSE(set("[Admin]\nUser=a\n\x01junk\n[Admin]\nPasswordHash=x\n"));
    EXPECT_FALSE(WithIniValue("[Admin]\n", "Admin", "PasswordHash", "a\nb"));
    EXPECT_FALSE(WithIniValue("[Admin]\n", "Admin", "PasswordHash", "a\r"));
}

TEST_F(IniFileTest, TextIsReadAsItIsAndSavedAsSaveSavesIt) {
    std::string text = "stale";
    EXPECT_TRUE(ReadIniText(m_dir.File("missing.ini"), text));
    EXPECT_EQ(text, "") << "a missing file reads as empty";
    std::string reason;
    EXPECT_FALSE(ReadIniText(m_dir.Path(), text, &reason));
    EXPECT_EQ(reason, "cannot read the file: Is a directory");

    test::WriteFile(m_dir.File("real.ini"), std::string("a\0b\r\n", 5));
    ASSERT_EQ(chmod(m_dir.File("real.ini").c_str(), 0600), 0);
    fs::create_symlink("real.ini", m_dir.File("Config.ini"));
    ASSERT_TRUE(ReadIniText(m_dir.File("Config.ini"), text));
    EXPECT_EQ(text, std::string("a\0b\r\n", 5));
    ASSERT_TRUE(SaveIniText(m_dir.File("Config.ini"), "new\n"));
    EXPECT_TRUE(fs::is_symlink(m_dir.File("Config.ini")));
    EXPECT_EQ(test::ReadFile(m_dir.File("real.ini")), "new\n");
    EXPECT_EQ(fs::status(m_dir.File("real.ini")).permissions(), fs::perms{0600})
        << "the owner's alone stays the owner's alone";
    EXPECT_FALSE(SaveIniText(m_dir.File("no/such/folder.ini"), "x", &reason));
    EXPECT_EQ(Listing(m_dir.Path()), (Strings{"Config.ini", "real.ini"}));
}

}  // namespace
}  // namespace orvanta
