#include "support/module_holder.h"

#include "test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdlib.h>
#include <string>
#include <vector>

namespace orvanta {
namespace {

using test::ReadLines;
using test::TempDir;

// Whether a library of that file name is mapped into this process.
bool IsMapped(const std::string& fileName) {
    for (const std::string& line : ReadLines("/proc/self/maps")) {
        if (line.size() >= fileName.size() + 1 &&
            line.compare(line.size() - fileName.size() - 1, std::string::npos, "/" + fileName) ==
                0) {
            return true;
        }
    }
    return false;
}

class ModuleHolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_log = m_dir.File("calls.log");
        ::setenv("ORV_FIXTURE_LOG", m_log.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("ORV_FIXTURE_LOG");
        ::unsetenv("ORV_FIXTURE_FACTORY_NULL");
    }
    std::vector<std::string> Calls() const { return ReadLines(m_log); }

    TempDir m_dir;
    std::string m_log;
};

TEST_F(ModuleHolderTest, ServiceModuleLoadsByBareNameAndIsDestroyedThroughSlotOneBeforeUnload) {
    {
        CModuleHolder holder;
        IServiceController* controller =
            holder.LoadServiceModule("fixture_service.so", "Software\\KELVO\\OVServer\\Plugins");
        ASSERT_NE(controller, nullptr) << holder.Error();
        EXPECT_TRUE(holder.IsLoaded());
        EXPECT_EQ(holder.Controller(), controller);
        EXPECT_EQ(holder.Plugin(), nullptr);
        EXPECT_TRUE(IsMapped("fixture_service.so"));

        ServiceModuleInfo info;
        controller->Describe(&info);
        EXPECT_EQ(info.formatMask, 18u);
        EXPECT_EQ(controller->Start(8000, 0), 1);
        EXPECT_EQ(controller->IsRunning(), 1);
        controller->Stop();
    }  // the holder's destruction releases it
    EXPECT_FALSE(IsMapped("fixture_service.so")) << "the library stayed loaded";
    EXPECT_EQ(Calls(), (std::vector<std::string>{"0 Create Software\\KELVO\\OVServer\\Plugins",
                                                 "8 Describe", "2 Start 8000 0", "14 IsRunning",
                                                 "3 Stop", "1 Destroy 1"}));
}

TEST_F(ModuleHolderTest, EveryLoadReleasesWhatWasHeldFirst) {
    CModuleHolder holder;
    ASSERT_NE(holder.LoadServiceModule("fixture_service.so", ""), nullptr);
    IPlugin* plugin = holder.LoadPlugin("fixture_plugin.so", "Software\\KELVO");
    ASSERT_NE(plugin, nullptr) << holder.Error();
    EXPECT_EQ(holder.Controller(), nullptr);
    EXPECT_FALSE(IsMapped("fixture_service.so"));
    int32_t value = 0;
    plugin->GetValue(55, &value);
    EXPECT_EQ(value, 55000);
    holder.Release();
    EXPECT_FALSE(holder.IsLoaded());
    holder.Release();  // twice is harmless
    EXPECT_EQ(Calls(), (std::vector<std::string>{"0 Create ", "1 Destroy 1",
                                                 "plugin OPluginCreate Software\\KELVO",
                                                 "plugin GetValue 55", "plugin Destroy 1"}));
}

TEST_F(ModuleHolderTest, FailedLoadsLeaveNothingHeldOrMapped) {
    CModuleHolder holder;
    EXPECT_EQ(holder.LoadServiceModule("no-such-module.so", ""), nullptr);
    EXPECT_FALSE(holder.Error().empty());

    EXPECT_EQ(holder.LoadServiceModule("fixture_no_factory.so", ""), nullptr);
    EXPECT_NE(holder.Error().find("OrvantaServiceController2"), std::string::npos);
    EXPECT_FALSE(IsMapped("fixture_no_factory.so"));

    // A plug-in is no service module: the wrong factory name is a missing export.
    EXPECT_EQ(holder.LoadServiceModule("fixture_plugin.so", ""), nullptr);

    ::setenv("ORV_FIXTURE_FACTORY_NULL", "1", 1);
    EXPECT_EQ(holder.LoadServiceModule("fixture_service.so", ""), nullptr);
    EXPECT_FALSE(holder.IsLoaded());
    EXPECT_FALSE(IsMapped("fixture_service.so")) << "a factory returning null must unload";
    EXPECT_EQ(Calls(), std::vector<std::string>{"0 Create null"});
}

// In the Itanium C++ ABI a pointer to a virtual member function holds 1 + the byte offset of
// its slot in the table. This pins every operation of the contracts to its slot.
template <typename Member>
size_t SlotOf(Member member) {
    struct Raw {
        uintptr_t pointer;
        ptrdiff_t adjust;
    } raw{};
    static_assert(sizeof(member) == sizeof(raw));
    std::memcpy(&raw, &member, sizeof raw);
    EXPECT_EQ(raw.pointer % sizeof(void*), 1u) << "not a virtual operation";
    return (raw.pointer - 1) / sizeof(void*) + 1;
}

TEST(ModuleContractTest, ServiceControllerOperationsStandInTheirSlots) {
    using C = IServiceController;
    EXPECT_EQ(SlotOf(&C::Destroy), 1u);
    EXPECT_EQ(SlotOf(&C::Start), 2u);
    EXPECT_EQ(SlotOf(&C::Stop), 3u);
    EXPECT_EQ(SlotOf(&C::SetMaxClients), 4u);
    EXPECT_EQ(SlotOf(&C::SetDirectoryServer), 5u);
    EXPECT_EQ(SlotOf(&C::SetSourcePassword), 6u);
    EXPECT_EQ(SlotOf(&C::GetListenerCount), 7u);
    EXPECT_EQ(SlotOf(&C::Describe), 8u);
    EXPECT_EQ(SlotOf(&C::SetGenre), 9u);
    EXPECT_EQ(SlotOf(&C::SetLanguageCode), 10u);
    EXPECT_EQ(SlotOf(&C::GetTotalSentBytes), 11u);
    EXPECT_EQ(SlotOf(&C::GetTotalReceivedBytes), 12u);
    EXPECT_EQ(SlotOf(&C::SetPublicServer), 13u);
    EXPECT_EQ(SlotOf(&C::IsRunning), 14u);
    EXPECT_EQ(SlotOf(&C::SetMaster), 15u);
    EXPECT_EQ(SlotOf(&C::SetGeneration), 16u);
    EXPECT_EQ(SlotOf(&C::SetMent), 17u);
    EXPECT_EQ(SlotOf(&C::SetSchedule), 18u);
    EXPECT_EQ(SlotOf(&C::SetAddressOverride), 19u);
    EXPECT_EQ(SlotOf(&C::SetShoutcastRegister), 20u);
    EXPECT_EQ(SlotOf(&C::SetRelay), 21u);
    EXPECT_EQ(SlotOf(&C::SetBindAddress), 22u);
    EXPECT_EQ(SlotOf(&C::SetPrivateBroadcast), 23u);
    EXPECT_EQ(SlotOf(&C::AddPrivateUser), 24u);
    EXPECT_EQ(SlotOf(&C::EnableLogFile), 25u);
    EXPECT_EQ(SlotOf(&C::SetLogDirectory), 26u);
    EXPECT_EQ(SlotOf(&C::SetLogFileName), 27u);
    EXPECT_EQ(SlotOf(&C::SetContentDirectory), 28u);
    EXPECT_EQ(SlotOf(&C::SetIndexPage), 29u);
    EXPECT_EQ(SlotOf(&C::SetSongHistoryMax), 30u);
    EXPECT_EQ(SlotOf(&C::SetTimeout), 31u);
    EXPECT_EQ(SlotOf(&C::SetTitleFormat), 32u);
    EXPECT_EQ(SlotOf(&C::SetUrlFormat), 33u);
    EXPECT_EQ(SlotOf(&C::IsSourceConnected), 34u);
    EXPECT_EQ(SlotOf(&C::SetEncoderValues), 35u);
    EXPECT_EQ(SlotOf(&C::SetEncoderPlugin), 36u);
    EXPECT_EQ(SlotOf(&C::Initialize), 37u);
}

TEST(ModuleContractTest, PluginAndCrashReporterOperationsStandInTheirSlots) {
    EXPECT_EQ(SlotOf(&IPlugin::Destroy), 1u);
    EXPECT_EQ(SlotOf(&IPlugin::Describe), 2u);
    EXPECT_EQ(SlotOf(&IPlugin::GetValue), 6u);
    EXPECT_EQ(SlotOf(&IPlugin::Configure), 7u);
    EXPECT_EQ(SlotOf(&ICrashReporter::Destroy), 1u);
    EXPECT_EQ(SlotOf(&ICrashReporter::SetReportTarget), 2u);
    EXPECT_EQ(SlotOf(&ICrashReporter::AddRegistrySource), 6u);
}

}  // namespace
}  // namespace orvanta
