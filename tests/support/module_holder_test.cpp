#include "support/module_holder.h"

#include "test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace orvanta {
namespace {

using test::ReadLines;
using test::TempDir;

// Whether a library of that file name is mapped into this process.
bool IsMapped(const std::string& fileName) {
    return test::ReadFile("/proc/self/maps").find("/" + fileName + "\n") != std::string::npos;
}

class ModuleHolderTest : public ::testing::Test {
protected:
    std::vector<std::string> Calls() const { return ReadLines(m_log); }

    TempDir m_dir;
    std::string m_log = m_dir.File("calls.log");
    test::ScopedEnv m_logEnv{"ORV_FIXTURE_LOG", m_log.c_str()};
};

// A module loads by bare name; every load, and the holder's end, destroys what was held
// through slot 1 before the library is unloaded.
TEST_F(ModuleHolderTest, EveryLoadReleasesWhatWasHeldFirst) {
    {
        CModuleHolder holder;
        IServiceController* controller =
            holder.LoadServiceModule("fixture_service.so", "Software\\KELVO\\OVServer\\Plugins");
        ASSERT_NE(controller, nullptr) << holder.Error();
        EXPECT_EQ(holder.Controller(), controller);
        EXPECT_TRUE(IsMapped("fixture_service.so"));
        ServiceModuleInfo info;
        controller->Describe(&info);
        EXPECT_EQ(info.formatMask, 18u);
        EXPECT_EQ(controller->Start(8000, 0), 1);

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
        ASSERT_NE(holder.LoadPlugin("fixture_plugin.so", "k"), nullptr);
    }  // the holder's destruction releases it
    EXPECT_FALSE(IsMapped("fixture_plugin.so")) << "the library stayed loaded";
    EXPECT_EQ(Calls(),
              (std::vector<std::string>{
                  "0 Create Software\\KELVO\\OVServer\\Plugins", "8 Describe", "2 Start 8000 0",
                  "1 Destroy 1", "plugin OPluginCreate Software\\KELVO", "plugin GetValue 55",
                  "plugin Destroy 1", "plugin OPluginCreate k", "plugin Destroy 1"}));
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
    EXPECT_FALSE(holder.IsLoaded());
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

// Modules built elsewhere call through these slots: an operation moved in the header would
// still link and would call the wrong code.
TEST(ModuleContractTest, OperationsStandInTheirSlots) {
    using C = IServiceController;
    // clang-format off
    const std::vector<size_t> service = {
        SlotOf(&C::Destroy), SlotOf(&C::Start), SlotOf(&C::Stop), SlotOf(&C::SetMaxClients),
        SlotOf(&C::SetDirectoryServer), SlotOf(&C::SetSourcePassword), SlotOf(&C::GetListenerCount),
        SlotOf(&C::Describe), SlotOf(&C::SetGenre), SlotOf(&C::SetLanguageCode),
        SlotOf(&C::GetTotalSentBytes), SlotOf(&C::GetTotalReceivedBytes),
        SlotOf(&C::SetPublicServer), SlotOf(&C::IsRunning), SlotOf(&C::SetMaster),
        SlotOf(&C::SetGeneration), SlotOf(&C::SetMent), SlotOf(&C::SetSchedule),
        SlotOf(&C::SetAddressOverride), SlotOf(&C::SetShoutcastRegister), SlotOf(&C::SetRelay),
        SlotOf(&C::SetBindAddress), SlotOf(&C::SetPrivateBroadcast), SlotOf(&C::AddPrivateUser),
        SlotOf(&C::EnableLogFile), SlotOf(&C::SetLogDirectory), SlotOf(&C::SetLogFileName),
        SlotOf(&C::SetContentDirectory), SlotOf(&C::SetIndexPage), SlotOf(&C::SetSongHistoryMax),
        SlotOf(&C::SetTimeout), SlotOf(&C::SetTitleFormat), SlotOf(&C::SetUrlFormat),
        SlotOf(&C::IsSourceConnected), SlotOf(&C::SetEncoderValues), SlotOf(&C::SetEncoderPlugin),
        SlotOf(&C::Initialize)};
    // clang-format on
    for (size_t i = 0; i < service.size(); ++i) {
        EXPECT_EQ(service[i], i + 1) << "operation " << i;
    }
    EXPECT_EQ(
        std::vector<size_t>(
            {SlotOf(&IPlugin::Destroy), SlotOf(&IPlugin::Describe), SlotOf(&IPlugin::GetValue),
             SlotOf(&IPlugin::Configure), SlotOf(&ICrashReporter::Destroy),
             SlotOf(&ICrashReporter::SetReportTarget), SlotOf(&ICrashReporter::AddRegistrySource)}),
        std::vector<size_t>({1, 2, 6, 7, 1, 2, 6}));
}

}  // namespace
}  // namespace orvanta
