// The console with the real WMA module and encoder plug-in in its program folder, on a real X
// display: the Format page with WMA chosen, and the main window running WMA, written to PNG
// files beside the other screenshots. Skipped unless ORV_SCREENSHOT_DIR names the folder.
#include "app/commands.h"
#include "app/main_dialog.h"
#include "app/status_badges.h"
#include "app_ui/ui_test_support.h"
#include "dialogs/config_server_type.h"

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QRadioButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace orvanta {
namespace {

QImage Shot(QWidget& window) {
    return window.screen()->grabWindow(window.winId()).toImage();
}

TEST(ScreenshotTest, WmaFormatPageAndMainWindowRunningWma) {
    const char* folder = std::getenv("ORV_SCREENSHOT_DIR");
    if (folder == nullptr || QGuiApplication::platformName() != "xcb") {
        GTEST_SKIP() << "needs ORV_SCREENSHOT_DIR and an X display";
    }
    std::filesystem::create_directories(folder);
    test::ProgramFolder program;
    for (const char* file : {"ovwma.so", "ovwmaenc.so"}) {
        std::filesystem::copy_file(std::string(ORV_PROGRAM_DIR) + "/" + file, program.File(file));
    }
    // The runtime check before a WMA start finds the system's codec library.
    unsetenv("ORVANTA_SYSTEM_DIR");
    const int port = 30000 + static_cast<int>(::getpid() % 5000) * 2;
    program.WriteConfig("[Network]\nPort=" + std::to_string(port) +
                        "\n[Limits]\nMaxClient=32\n[Media]\nFormat=WMA\n");
    test::RecordedBoxes boxes;
    CServerContext context(program.Folder());
    context.InitInstance();
    CStatusBadges badges;
    ASSERT_TRUE(badges.Load());
    CMainDialog window(context, badges, program.CommandLine(""), program.ProgramPath());
    window.InitDialog();  // reads the configuration
    {
        CConfigServerType page(context);
        page.OnInitDialog();
        page.OnSetActive();
        page.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
        test::ServeEvents(300);
        auto* wma = page.findChild<QRadioButton*>("kWmaRadioId");
        auto* encoders = page.findChild<QComboBox*>("kEncoderListId");
        ASSERT_NE(wma, nullptr);
        ASSERT_NE(encoders, nullptr);
        EXPECT_TRUE(wma->isEnabled() && wma->isChecked());
        EXPECT_TRUE(encoders->currentText().startsWith("Orvanta WMA Encoder"));
        EXPECT_TRUE(Shot(page).save(QString("%1/format-page-wma.png").arg(folder)));
    }

    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.OnCommand(kCmdStart);
    ASSERT_TRUE(window.Host().IsRunning())
        << (boxes.requests.empty() ? "" : boxes.requests.front().text);
    test::ServeEvents(1200);
    EXPECT_TRUE(Shot(window).save(QString("%1/main-window-wma.png").arg(folder)));
    window.OnCommand(kCmdStop);
}

}  // namespace
}  // namespace orvanta
