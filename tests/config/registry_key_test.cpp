#include "config/registry_key.h"

#include "config/program_settings.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>

namespace orvanta {
namespace {

// Every test gets hives of its own.
class RegistryTest : public ::testing::Test {
protected:
    test::TempDir m_dir;
    test::ScopedEnv m_userHive{"ORVANTA_USER_HIVE", m_dir.File("user.reg").c_str()};
    test::ScopedEnv m_machineHive{"ORVANTA_MACHINE_HIVE", m_dir.File("machine.reg").c_str()};
};

TEST_F(RegistryTest, ReadsPreferTheUserKeyAndFallBackToTheMachineKey) {
    CRegistryKey machine;
    ASSERT_TRUE(machine.Create(kRegistryRoot, RegistryRoot::LocalMachine));
    ASSERT_TRUE(machine.WriteDword(kValueLanguageId, 0x0412));
    ASSERT_TRUE(machine.WriteDword("Both", 1));
    CRegistryKey user;
    ASSERT_TRUE(user.Create(kRegistryRoot, RegistryRoot::CurrentUser));
    ASSERT_TRUE(user.WriteDword("Both", 2));

    CRegistryKey key;
    ASSERT_TRUE(key.OpenUserAndMachine(kRegistryRoot));
    EXPECT_EQ(key.ReadDword("Both", 0), 2u);
    EXPECT_EQ(key.ReadDword(kValueLanguageId, 0), 0x0412u);
    EXPECT_EQ(ReadLanguageId(true), 0x0412u) << "the Language page sees the machine's value";
    EXPECT_EQ(ReadLanguageId(false), 0u) << "the loader reads the user's key only";

    ASSERT_TRUE(key.WriteDword("Written", 5));
    CRegistryKey machineOnly;
    ASSERT_TRUE(machineOnly.Open(kRegistryRoot, RegistryRoot::LocalMachine));
    EXPECT_EQ(machineOnly.ReadDword("Written", 0), 0u) << "writes go to the primary key only";
    EXPECT_NE(test::ReadFile(m_dir.File("user.reg")).find("\"Written\"=dword:00000005"),
              std::string::npos);
}

TEST_F(RegistryTest, AReadOnlyMachineHiveDoesNotOpenAndItsValuesAreNotRead) {
    CRegistryKey machine;
    ASSERT_TRUE(machine.Create(kRegistryRoot, RegistryRoot::LocalMachine));
    ASSERT_TRUE(machine.WriteDword(kValueLanguageId, 0x0407));
    ASSERT_EQ(::chmod(m_dir.File("machine.reg").c_str(), 0444), 0);

    CRegistryKey key;
    EXPECT_FALSE(key.OpenUserAndMachine(kRegistryRoot));
    EXPECT_EQ(ReadLanguageId(true), 0u);
    EXPECT_FALSE(key.Create(kRegistryRoot, RegistryRoot::LocalMachine));
    EXPECT_FALSE(key.WriteDword("x", 1)) << "no primary key, no write";
}

TEST_F(RegistryTest, TypedReadsTakeOnlyTheirOwnType) {
    CRegistryKey key;
    ASSERT_TRUE(key.Create(kRegistryRoot, RegistryRoot::CurrentUser));
    ASSERT_TRUE(key.WriteString(kValueLanguageId, "1042"));
    EXPECT_EQ(key.ReadDword(kValueLanguageId, 0), 0u) << "a string is no DWORD";
    ASSERT_TRUE(key.WriteValue("Short", "\x01\x02", 2, kRegDword));
    EXPECT_EQ(key.ReadDword("Short", 7), 7u);

    std::string text = "stale";
    uint32_t type = 0;
    EXPECT_FALSE(key.ReadString("Short", text, false, &type));
    EXPECT_EQ(text, "");
    ASSERT_TRUE(key.WriteString("Plain", "C:\\x"));
    ASSERT_TRUE(key.ReadString("Plain", text, true, &type));
    EXPECT_EQ(text, "C:\\x");
    EXPECT_EQ(type, kRegSz);

    ::setenv("ORV_TEST_ROOT", "/srv/radio", 1);
    ASSERT_TRUE(key.WriteString("Expand", "%ORV_TEST_ROOT%/logs %NOT_SET_ORV%", kRegExpandSz));
    ASSERT_TRUE(key.ReadString("Expand", text, true, &type));
    EXPECT_EQ(text, "/srv/radio/logs %NOT_SET_ORV%");
    EXPECT_EQ(type, kRegExpandSz);
    ASSERT_TRUE(key.ReadString("Expand", text, false));
    EXPECT_EQ(text, "%ORV_TEST_ROOT%/logs %NOT_SET_ORV%");
    EXPECT_FALSE(key.ReadString("Expand", text, true, nullptr, 16)) << "does not fit";
    EXPECT_EQ(text, "");
    ::unsetenv("ORV_TEST_ROOT");

    EXPECT_EQ(key.QueryValue("Plain", nullptr, 0, &type), 5u);
    char small[2];
    EXPECT_EQ(key.QueryValue("Plain", small, sizeof small, &type), 0u);
    EXPECT_EQ(key.QueryValue("Missing", nullptr, 0, &type), 0u);
}

TEST_F(RegistryTest, IntListsSplitAtRunsOfSeparators) {
    CRegistryKey key;
    ASSERT_TRUE(
        key.Create(ApplicationKey("/opt/orvanta/ovserver") + "\\List", RegistryRoot::CurrentUser));
    int32_t values[3] = {-1, -1, -1};

    ASSERT_TRUE(key.WriteString("ColumnWidth", "10;20 30"));
    EXPECT_TRUE(key.ReadIntList("ColumnWidth", values, 3));
    EXPECT_EQ((std::vector<int32_t>(values, values + 3)), (std::vector<int32_t>{10, 20, 30}));

    values[2] = 99;
    ASSERT_TRUE(key.WriteString("ColumnWidth", "10,20"));
    EXPECT_FALSE(key.ReadIntList("ColumnWidth", values, 3));
    EXPECT_EQ(values[2], 99) << "entries past the numbers found keep their contents";

    ASSERT_TRUE(key.WriteString("ColumnWidth", " 1,,2::3;4 "));
    EXPECT_TRUE(key.ReadIntList("ColumnWidth", values, 3));
    EXPECT_EQ((std::vector<int32_t>(values, values + 3)), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_TRUE(key.ReadIntList("ColumnWidth", values, 0));
    EXPECT_FALSE(key.ReadIntList("Missing", values, 0));

    const int32_t widths[3] = {120, 80, 200};
    EXPECT_FALSE(key.WriteIntList("ColumnOrder", widths, 0));
    EXPECT_EQ(key.QueryValue("ColumnOrder", nullptr, 0, nullptr), 0u) << "nothing written";
    ASSERT_TRUE(key.WriteIntList("ColumnOrder", widths, 3));
    std::string text;
    ASSERT_TRUE(key.ReadString("ColumnOrder", text, false));
    EXPECT_EQ(text, "120,80,200");
}

TEST(ApplicationKeyTest, IsTheRootAndTheProgramNameWithoutExtension) {
    EXPECT_EQ(ApplicationKey("/opt/orvanta/ovserver"), "Software\\KELVO\\ovserver");
    EXPECT_EQ(ApplicationKey("C:\\Program Files\\Orvanta\\OVServer.exe"),
              "Software\\KELVO\\OVServer");
}

TEST(ExpandEnvironmentStringsTest, LeavesUnknownAndUnclosedReferences) {
    ::setenv("ORV_A", "x", 1);
    EXPECT_EQ(ExpandEnvironmentStrings("%ORV_A%%ORV_A%"), "xx");
    EXPECT_EQ(ExpandEnvironmentStrings("100% %ORV_A%"), "100% x");
    EXPECT_EQ(ExpandEnvironmentStrings("%%"), "%%");
    EXPECT_EQ(ExpandEnvironmentStrings("50%"), "50%");
    ::unsetenv("ORV_A");
}

}  // namespace
}  // namespace orvanta
