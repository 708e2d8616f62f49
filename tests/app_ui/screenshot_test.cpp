// The console on a real X display (Xvfb, started by CTest), written to PNG files for people to
// look at: the main window stopped and running, and every page of the Config sheet; with the
// real WMA module and encoder plug-in, the main window running WMA; and the main window and
// the Language page with the Korean pack.
#include "app/commands.h"
#include "app_ui/ui_test_support.h"
#include "config/language_pack.h"
#include "config/program_settings.h"
#include "dialogs/config_main_sheet.h"
#include "res/string_table.h"

#include <unistd.h>

namespace orvanta {
namespace {

// Skipped unless on a real X display with ORV_SCREENSHOT_DIR naming the folder.
class ScreenshotTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (folder.isEmpty()) {
            GTEST_SKIP() << "needs ORV_SCREENSHOT_DIR and an X display";
        }
    }
    const QString folder = test::ScreenshotFolder();
    test::RecordedBoxes boxes;
};

TEST_F(ScreenshotTest, MainWindowStoppedAndRunningAndEveryPageOfTheConfigSheet) {
    test::ProgramFolder program;
    program.WriteConfig(
        "[Network]\nPort=8080\n[Limits]\nMaxClient=32\n[Broadcast]\nMaster=True\nGenre=700\n"
        "LangCode=9\nShoutcastRegister=True\n");
    setenv("ORV_FIXTURE_LISTENERS", "7", 1);
    setenv("ORV_FIXTURE_SOURCE", "1", 1);
    test::Console console(program);
    CMainDialog& window = console.window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    test::SaveScreenshot(window, folder, "main-window-stopped");

    window.OnCommand(kCmdStart);
    ASSERT_TRUE(window.Host().IsRunning());
    // Long enough for the monitor to poll and the panel's timer to tick twice.
    test::SaveScreenshot(window, folder, "main-window-running", 1200);
    window.OnCommand(kCmdStop);

    // Every page of the Config sheet.
    CConfigMainSheet sheet(console.context, res::LoadString(res::kStrConfigSheetCaption), nullptr,
                           0);
    sheet.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&sheet));
    for (int page = 0; page < sheet.GetPageCount(); ++page) {
        ASSERT_TRUE(sheet.SetActivePage(page));
        const QString name =
            QString(sheet.GetPage(page)->Title()).replace("::", "-").replace(' ', '_');
        test::SaveScreenshot(sheet, folder, QString("config-%1-%2").arg(page).arg(name), 150);
    }
    sheet.reject();
}

TEST_F(ScreenshotTest, MainWindowRunningWma) {
    test::ProgramFolder program;
    for (const char* file : {"ovwma.so", "ovwmaenc.so"}) {
        std::filesystem::copy_file(std::string(ORV_PROGRAM_DIR) + "/" + file, program.File(file));
    }
    // The runtime check before a WMA start finds the system's codec library.
    unsetenv("ORVANTA_SYSTEM_DIR");
    // Below the kernel's ephemeral ports (32768 up), which other programs' connections hold.
    const int port = 20000 + static_cast<int>(::getpid() % 6000) * 2;
    program.WriteConfig("[Network]\nPort=" + std::to_string(port) +
                        "\n[Limits]\nMaxClient=32\n[Media]\nFormat=WMA\n");
    test::Console console(program);
    CMainDialog& window = console.window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.OnCommand(kCmdStart);
    ASSERT_TRUE(window.Host().IsRunning())
        << (boxes.requests.empty() ? "" : boxes.requests.front().text);
    test::SaveScreenshot(window, folder, "main-window-wma", 1200);
    window.OnCommand(kCmdStop);
}

// The main window and the Language page with the Korean pack the build put in the program
// folder, on a real X server, for people to look at.
TEST_F(ScreenshotTest, MainWindowAndLanguagePageInKorean) {
    test::ProgramFolder program;
    program.WriteConfig(
        "[Network]\nPort=8080\n[Limits]\nMaxClient=32\n[Broadcast]\nMaster=True\nGenre=700\n"
        "LangCode=18\n");
    ASSERT_TRUE(WriteLanguageId(0x0412));
    CLanguagePack pack;
    ASSERT_TRUE(pack.Load(kRegistryRoot, std::string(ORV_PROGRAM_DIR) + "/ovserver"));
    {
        test::Console console(program);
        console.window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&console.window));
        EXPECT_EQ(test::Find<QPushButton>(console.window, "kStartButtonId").text(),
                  QString::fromUtf8("시작"));
        test::SaveScreenshot(console.window, folder, "main-window-korean");

        // The sheet's tree is built from translated titles and keeps its icons.
        CConfigMainSheet sheet(console.context, res::LoadString(res::kStrConfigSheetCaption),
                               nullptr, 1);
        sheet.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&sheet));
        QTreeWidgetItem* language = sheet.GetPageTree()->topLevelItem(0)->child(0);
        EXPECT_EQ(language->text(0), QString::fromUtf8("언어"));
        EXPECT_EQ(language->data(0, CXTreePropertySheet2::kImageRole).toInt(), 2);
        test::SaveScreenshot(sheet, folder, "config-language-korean");
        sheet.reject();
    }
    pack.Unload();
    EXPECT_EQ(res::LoadString(res::kStrMainStart), "Start");
}

}  // namespace
}  // namespace orvanta
