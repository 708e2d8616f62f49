#include "plugins/runtime_check.h"

#include "config/registry_key.h"
#include "plugins/runtime_probe.h"
#include "support/recording_host_ui.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace orvanta {
namespace {

class RuntimeCheckTest : public ::testing::Test {
protected:
    // The system folder gets a library under the codec library's name: the real one, or
    // `stand-in`, a library that is not it.
    void InstallCodecLibrary(const std::string& target) {
        std::filesystem::create_symlink(target, m_dir.File(ORV_CODEC_LIBRARY));
    }
    static std::string RealCodecLibrary() {
        return std::string(ORV_CODEC_LIBDIR) + "/" + ORV_CODEC_LIBRARY;
    }
    uint32_t Remembered() {
        CRegistryKey key;
        key.Open(kEngineCheckKey, RegistryRoot::LocalMachine);
        return key.ReadDword("Type_2", 0);
    }
    test::TempDir m_dir;
    test::ScopedEnv m_userHive{"ORVANTA_USER_HIVE", m_dir.File("user.reg").c_str()};
    test::ScopedEnv m_machineHive{"ORVANTA_MACHINE_HIVE", m_dir.File("machine.reg").c_str()};
    test::ScopedEnv m_systemDir{"ORVANTA_SYSTEM_DIR", m_dir.Path().c_str()};
    test::RecordingUi m_ui;
};

TEST_F(RuntimeCheckTest, APresentRuntimeIsRememberedAndNotProbedAgain) {
    EXPECT_EQ(GetWmRuntimeVersion(nullptr), 0) << "an empty system folder has none";
    {
        // Without the system folder the system's library search finds the real library.
        test::ScopedEnv system("ORVANTA_SYSTEM_DIR", nullptr);
        EXPECT_TRUE(IsWmRuntimeAdequate());
    }
    InstallCodecLibrary(RealCodecLibrary());
    int minor = -1;
    EXPECT_EQ(GetWmRuntimeVersion(&minor), 9);
    EXPECT_EQ(minor, 0);
    EXPECT_TRUE(CheckWindowsMediaRuntime(m_ui, m_dir.Folder()));
    EXPECT_EQ(Remembered(), 1u);
    std::filesystem::remove(m_dir.File(ORV_CODEC_LIBRARY));
    EXPECT_TRUE(CheckWindowsMediaRuntime(m_ui, m_dir.Folder())) << "remembered, not probed";
    EXPECT_TRUE(m_ui.questions.empty());
}

// Without the runtime the operator is asked: Yes runs the updater with the windows greyed
// out, No asks again at the next start, Cancel never asks again; each asking start fails.
TEST_F(RuntimeCheckTest, TheAnswerToTheQuestionDecidesWhatHappens) {
    // A library by the codec library's name that lacks the WMA encoder counts as none.
    InstallCodecLibrary(std::string(ORV_FIXTURE_DIR) + "/fixture_no_factory.so");
    EXPECT_EQ(GetWmRuntimeVersion(nullptr), 0);
    const std::string out = m_dir.File("updater-args");
    test::WriteFile(m_dir.File("orvUpdate"),
                    "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" + out + "'\n");
    ASSERT_EQ(::chmod(m_dir.File("orvUpdate").c_str(), 0755), 0);
    m_ui.answer = IServiceHostUi::kAnswerYes;
    EXPECT_FALSE(CheckWindowsMediaRuntime(m_ui, m_dir.Folder()));
    EXPECT_EQ(test::ReadLines(out),
              (std::vector<std::string>{"/c:" + m_dir.Folder() + "ORVUpInf_WM7.cli", "/R:1"}));
    EXPECT_EQ(m_ui.events, (std::vector<std::string>{"disable", "enable"}));
    std::filesystem::remove(m_dir.File("orvUpdate"));
    EXPECT_FALSE(CheckWindowsMediaRuntime(m_ui, m_dir.Folder()));
    EXPECT_EQ(m_ui.events.size(), 4u) << "a missing updater still gives the windows back";

    m_ui.answer = IServiceHostUi::kAnswerNo;
    EXPECT_FALSE(CheckWindowsMediaRuntime(m_ui, m_dir.Folder()));
    EXPECT_EQ(Remembered(), 0u);
    m_ui.answer = IServiceHostUi::kAnswerCancel;
    EXPECT_FALSE(CheckWindowsMediaRuntime(m_ui, m_dir.Folder()));
    EXPECT_EQ(Remembered(), 1u);
    EXPECT_TRUE(CheckWindowsMediaRuntime(m_ui, m_dir.Folder()));
    ASSERT_EQ(m_ui.questions.size(), 4u);
    EXPECT_EQ(m_ui.questions[0],
              "To broadcast in  Windows Media format, Windows Media runtime files are needed.\n"
              "Do you want to download now ?\n\nIf you press [Cancel], Orvanta will not display "
              "this message again.\n\n(During this process, any personal/private information is "
              "not sent to server.)");
    EXPECT_EQ(m_ui.events.size(), 4u);
}

}  // namespace
}  // namespace orvanta
