#include "config/registry_key.h"

#include "config/program_settings.h"
#include "test_util.h"

#include <gtest/gtest.h>

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

    // A read-only machine hive does not open: its values are not read.
    ASSERT_EQ(::chmod(m_dir.File("machine.reg").c_str(), 0444), 0);
    ASSERT_TRUE(key.OpenUserAndMachine(kRegistryRoot));
    EXPECT_EQ(key.ReadDword(kValueLanguageId, 0), 0u);
    EXPECT_EQ(ReadLanguageId(true), 0u);
}

}  // namespace
}  // namespace orvanta
