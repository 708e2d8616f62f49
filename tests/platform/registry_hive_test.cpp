#include "platform/registry_hive.h"

#include "test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orvanta::platform {
namespace {

RegistryValue Bytes(uint32_t type, std::string_view bytes) {
    return {type, std::vector<uint8_t>(bytes.begin(), bytes.end())};
}
RegistryValue Sz(std::string_view text) {
    return Bytes(kRegSz, std::string(text) + '\0');
}
RegistryValue Dword(uint32_t n) {
    return {kRegDword, {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)}};
}

using test::ReadFile;
using test::WriteFile;

constexpr std::string_view kKelvo = "HKEY_CURRENT_USER\\Software\\KELVO";

TEST(RegistryHiveTest, KeysAndNamesIgnoreCaseAndKeepTheirFirstSpelling) {
    RegistryHive hive;
    hive.SetValue("HKEY_CURRENT_USER\\Software\\Kelvo", "Volume", Dword(1));
    hive.SetValue("hkey_current_user\\SOFTWARE\\KELVO", "Alpha", Sz("a"));
    hive.SetValue("HKEY_CURRENT_USER\\software\\kelvo", "VOLUME", Dword(2));

    EXPECT_TRUE(hive.HasKey("hkey_current_user"));
    EXPECT_TRUE(hive.HasKey("HKEY_CURRENT_USER\\SOFTWARE"));
    EXPECT_EQ(hive.ValueNames(kKelvo), (std::vector<std::string>{"Volume", "Alpha"}));
    ASSERT_NE(hive.FindValue(kKelvo, "volume"), nullptr);
    EXPECT_EQ(*hive.FindValue(kKelvo, "volume"), Dword(2));
    EXPECT_NE(hive.Serialize().find("[HKEY_CURRENT_USER\\Software\\Kelvo]\n"
                                    "\"Volume\"=dword:00000002\n\"Alpha\"=\"a\"\n"),
              std::string::npos);

    // Deleting a key takes its subkeys, not siblings with similar names.
    for (const char* path : {"R\\A\\B\\C", "R\\A\\B C", "R\\A\\BC"}) {
        hive.CreateKey(path);
    }
    EXPECT_TRUE(hive.DeleteKey("r\\a\\b"));
    EXPECT_FALSE(hive.DeleteKey("R\\A\\B"));
    EXPECT_TRUE(hive.HasKey("R\\A\\B C"));
    EXPECT_TRUE(hive.HasKey("R\\A\\BC"));

    // Keys and names the text could not carry are ignored.
    const RegistryHive before = hive;
    for (const char* path : {"A\\\\B", "\\A", "A\\", "-A", "A\nB", ""}) {
        hive.CreateKey(path);
        hive.SetValue(path, "v", Sz("x"));
    }
    hive.SetValue("K", "line\nbreak", Sz("x"));
    EXPECT_EQ(hive, before);
}

TEST(RegistryHiveParseTest, ReadsAWindowsExport) {
    const RegistryHive::ParseResult read = RegistryHive::Parse(
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
        "; exported from the studio PC\r\n"
        "[HKEY_CURRENT_USER\\Software\\KELVO]\r\n"
        "\"Title\"=\"Night \\\"Owl\\\" \\\\ FM\"\r\n"
        "\"Gone\"=\"soon\"\r\n"
        "\"Multi\"=hex(7):61,00,00,\\\r\n"
        "  62,00,00,\\\r\n"
        "  00\r\n"
        "\"Gone\"=-\r\n"
        "@=dword:ABC\r\n"
        "[HKEY_CURRENT_USER\\Software\\KELVO\\Old\\Deeper]\r\n"
        "[-hkey_current_user\\software\\kelvo\\OLD]\r\n");
    EXPECT_TRUE(read.errors.empty()) << read.errors.front();
    const RegistryHive& hive = read.hive;
    EXPECT_EQ(hive.ValueNames(kKelvo), (std::vector<std::string>{"Title", "Multi", ""}));
    EXPECT_EQ(*hive.FindValue(kKelvo, "title"), Sz("Night \"Owl\" \\ FM"));
    EXPECT_EQ(*hive.FindValue(kKelvo, "Multi"), Bytes(7, {"a\0\0b\0\0\0", 7}));
    EXPECT_EQ(*hive.FindValue(kKelvo, ""), Dword(0xabc));
    EXPECT_FALSE(hive.HasKey("HKEY_CURRENT_USER\\Software\\KELVO\\Old"));
}

TEST(RegistryHiveParseTest, ReadsUtf16TextWithItsByteOrderMark) {
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string_view("REGEDIT4\r\n[K]\r\n\"N\"=\"caf\xE9\"\r\n")) {
        utf16 += c;
        utf16 += '\0';
    }
    const RegistryHive::ParseResult read = RegistryHive::Parse(utf16);
    EXPECT_TRUE(read.errors.empty());
    ASSERT_NE(read.hive.FindValue("K", "N"), nullptr);
    EXPECT_EQ(*read.hive.FindValue("K", "N"), Sz("caf\xC3\xA9"));
}

TEST(RegistryHiveParseTest, ReportsEachBadLineAndKeepsTheRest) {
    const RegistryHive::ParseResult read = RegistryHive::Parse(
        "[K]\n"                         // 1: no header
        "\"a\"=\"1\"\n"                 //
        "\"b\"=hex:1,02,zz\n"           // 3
        "garbage\n"                     // 4
        "[K\\\\Empty]\n"                // 5
        "\"in bad key\"=\"skipped\"\n"  //
        "[-K\\Gone]\n"                  //
        "\"orphan\"=dword:1\n"          // 8
        "[K]\n"                         //
        "\"c\"=hex:01,\\\n"             // 10: the next line is not a continuation
        "\"d\"=\"C:\\dir\"\n"           // 11: unknown escape
        "\"e\"=dword:123456789\n"       // 12
        "\"f\"=\"2\" trailing\n");      // 13
    std::vector<std::string> lines;
    for (const std::string& error : read.errors) {
        lines.push_back(error.substr(0, error.find(':')));
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"line 1", "line 3", "line 4", "line 5", "line 8",
                                               "line 10", "line 11", "line 12", "line 13"}));
    EXPECT_EQ(read.hive.ValueNames("K"), std::vector<std::string>{"a"});
    EXPECT_TRUE(RegistryHive::Parse("").errors.empty());
}

class RegistryFileTest : public ::testing::Test {
protected:
    test::TempDir m_dir;
    std::string m_userHive = m_dir.File("config/KELVO/user.reg");
    std::string m_machineHive = m_dir.File("machine.reg");
    test::ScopedEnv m_userEnv{"ORVANTA_USER_HIVE", m_userHive.c_str()};
    test::ScopedEnv m_machineEnv{"ORVANTA_MACHINE_HIVE", m_machineHive.c_str()};
};

constexpr auto kUser = RegistryRoot::CurrentUser;
constexpr auto kMachine = RegistryRoot::LocalMachine;

TEST_F(RegistryFileTest, EveryKindOfValueSurvivesTheFileWrittenAsAnExport) {
    // clang-format off
    const struct { std::string name; RegistryValue value; const char* line; } values[] = {
        {"UI_LanguageID", Dword(0x412), "\"UI_LanguageID\"=dword:00000412"},
        {"Path", Bytes(kRegExpandSz, {"%HOME%\0", 7}), "\"Path\"=hex(2):25,48,4f,4d,45,25,00"},
        {"NoNul", Bytes(kRegSz, "ab"), "\"NoNul\"=hex(1):61,62"},
        {"Tab", Sz("a\tb"), "\"Tab\"=hex(1):61,09,62,00"},
        {"Short", Bytes(kRegDword, "\x01\x02\x03"), "\"Short\"=hex(4):01,02,03"},
        {"Empty", Bytes(kRegBinary, ""), "\"Empty\"=hex:"},
        {"", Sz("default"), "@=\"default\""},
        {"Say \"hi\" \\ there", Sz("x"), "\"Say \\\"hi\\\" \\\\ there\"=\"x\""},
        {"Odd", Bytes(0x20, {"\0\xff", 2}), "\"Odd\"=hex(20):00,ff"},
    };
    // clang-format on
    for (const auto& v : values) {
        ASSERT_TRUE(RegistrySetValue(kUser, "Software\\KELVO", v.name, v.value)) << v.name;
    }
    const std::string text = ReadFile(m_userHive);
    EXPECT_EQ(text.rfind("REGEDIT4\n\n", 0), 0u);
    EXPECT_NE(text.find("\n[HKEY_CURRENT_USER\\Software\\KELVO]\n"), std::string::npos);
    for (const auto& v : values) {
        EXPECT_EQ(RegistryQueryValue(kUser, "\\software\\kelvo\\", v.name), v.value) << v.name;
        EXPECT_NE(text.find("\n" + std::string(v.line) + "\n"), std::string::npos) << v.line;
    }
    struct stat info {};
    ASSERT_EQ(::stat(m_userHive.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
}

TEST_F(RegistryFileTest, KeysBelowTheRootAndAWriteKeepsTheFileMode) {
    EXPECT_TRUE(RegistryCreateKey(kUser, "\\Software\\KELVO\\Recent\\"));
    EXPECT_TRUE(RegistryKeyExists(kUser, "SOFTWARE\\kelvo\\recent"));
    EXPECT_FALSE(RegistryKeyExists(kMachine, "Software"));
    EXPECT_FALSE(RegistryCreateKey(kUser, "Software\\\\KELVO"));
    EXPECT_FALSE(RegistryDeleteKey(kUser, ""));
    ASSERT_EQ(::chmod(m_userHive.c_str(), 0600), 0);
    ASSERT_TRUE(RegistrySetValue(kUser, "Software", "b", Sz("2")));
    struct stat before {};
    ASSERT_EQ(::stat(m_userHive.c_str(), &before), 0);
    EXPECT_EQ(before.st_mode & 07777, 0600u);
    // Setting what is already there does not rewrite the file.
    ASSERT_TRUE(RegistrySetValue(kUser, "software", "B", Sz("2")));
    struct stat after {};
    ASSERT_EQ(::stat(m_userHive.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.File("config/KELVO")), {}), 2)
        << "the hive and its lock, no temporary files";
}

// A hive that is read-only, or that holds a line the reader cannot read, is read but never
// written: a rewrite would lose that line, or the write would fail part way.
TEST_F(RegistryFileTest, AHiveThatCannotBeRewrittenWholeIsLeftAlone) {
    const struct {
        std::string text;
        mode_t mode;
        const char* message;
    } cases[] = {
        {"REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=\"1\"\n", 0444, ""},
        {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"a\"=\"1\"\r\nrubbish\r\n", 0644, "line 4"},
    };
    for (const auto& c : cases) {
        WriteFile(m_machineHive, c.text);
        ASSERT_EQ(::chmod(m_machineHive.c_str(), c.mode), 0);
        EXPECT_EQ(RegistryQueryValue(kMachine, "k", "A"), Sz("1"));
        EXPECT_FALSE(RegistryHiveWritable(kMachine));
        testing::internal::CaptureStderr();
        EXPECT_FALSE(RegistrySetValue(kMachine, "K", "b", Sz("2")));
        EXPECT_FALSE(RegistryDeleteKey(kMachine, "K"));
        const std::string message = testing::internal::GetCapturedStderr();
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
        EXPECT_EQ(ReadFile(m_machineHive), c.text);
        ASSERT_EQ(::chmod(m_machineHive.c_str(), 0644), 0);
    }
    EXPECT_TRUE(RegistryHiveWritable(kUser));  // its folders do not exist yet, but can be made
}

// A write that fails part way (a full disk, here a child whose files may not grow past 4 KiB)
// is refused and leaves the old hive whole, with no temporary file beside it.
TEST_F(RegistryFileTest, AWriteThatFailsPartWayLeavesTheOldHive) {
    ASSERT_TRUE(RegistrySetValue(kUser, "Software\\KELVO", "Title", Sz("Night Owl FM")));
    const std::string old = ReadFile(m_userHive);
    EXPECT_EXIT(
        {
            test::LimitFileSize(4096);
            const RegistryValue large = Bytes(kRegBinary, std::string(64 * 1024, 'x'));
            std::_Exit(RegistrySetValue(kUser, "Software\\KELVO", "Large", large) ? 1 : 0);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_TRUE(ReadFile(m_userHive) == old) << "the old hive was overwritten";
    EXPECT_EQ(RegistryQueryValue(kUser, "Software\\KELVO", "Title"), Sz("Night Owl FM"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.File("config/KELVO")), {}), 2)
        << "the hive and its lock, no temporary files";
}

TEST_F(RegistryFileTest, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kWrites = 100;
    pid_t children[2] = {};
    for (int child = 0; child < 2; ++child) {
        children[child] = ::fork();
        ASSERT_GE(children[child], 0);
        if (children[child] == 0) {
            for (int i = child * kWrites; i < (child + 1) * kWrites; ++i) {
                if (!RegistrySetValue(kUser, "Software\\KELVO", std::to_string(i),
                                      Dword(uint32_t(i)))) {
                    ::_exit(1);
                }
            }
            ::_exit(0);
        }
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const RegistryHive::ParseResult read = RegistryHive::Parse(ReadFile(m_userHive));
    EXPECT_TRUE(read.errors.empty());
    ASSERT_EQ(read.hive.ValueNames(kKelvo).size(), 2u * kWrites);
    for (int i = 0; i < 2 * kWrites; ++i) {
        const RegistryValue* value = read.hive.FindValue(kKelvo, std::to_string(i));
        EXPECT_TRUE(value != nullptr && *value == Dword(uint32_t(i))) << i;
    }
}

}  // namespace
}  // namespace orvanta::platform
