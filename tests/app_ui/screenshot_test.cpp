// The console on a real X display (Xvfb, started by CTest), written to PNG files for people to
// look at: the main window stopped and running, and with the real WMA module and encoder
// plug-in, the Format page with WMA chosen and the main window running WMA. Skipped unless
// ORV_SCREENSHOT_DIR names the folder.
#include "app/commands.h"
#include "app_ui/ui_test_support.h"
#include "dialogs/config_server_type.h"

#include <QComboBox>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace orvanta {
namespace {

int CountColour(const QImage& image, QRgb colour) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF) ? 1 : 0;
        }
    }
    return count;
}

TEST(ScreenshotTest, MainWindowStoppedAndRunning) {
    const QString folder = test::ScreenshotFolder();
    if (folder.isEmpty()) {
        GTEST_SKIP() << "needs ORV_SCREENSHOT_DIR and an X display";
    }
    test::ProgramFolder program;
    program.WriteConfig(
        "[Network]\nPort=8080\n[Limits]\nMaxClient=32\n[Broadcast]\nMaster=True\nGenre=700\n"
        "LangCode=9\nShoutcastRegister=True\n");
    setenv("ORV_FIXTURE_LISTENERS", "7", 1);
    setenv("ORV_FIXTURE_SOURCE", "1", 1);
    test::RecordedBoxes boxes;
    test::Console console(program);
    CMainDialog& window = console.window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QImage stopped = test::SaveScreenshot(window, folder, "main-window-stopped");

    window.OnCommand(kCmdStart);
    ASSERT_TRUE(window.Host().IsRunning());
    // Long enough for the monitor to poll and the panel's timer to tick twice.
    const QImage running = test::SaveScreenshot(window, folder, "main-window-running", 1200);

    // Stopped, the panel is drawn in the unlit blue only; running, in the lit one.
    const QRgb lit = qRgb(84, 151, 216);
    const QRgb unlit = qRgb(45, 92, 137);
    EXPECT_EQ(CountColour(stopped, lit), 0);
    EXPECT_GT(CountColour(stopped, unlit), 100);
    EXPECT_GT(CountColour(running, lit), 100);
    window.OnCommand(kCmdStop);
}

TEST(ScreenshotTest, WmaFormatPageAndMainWindowRunningWma) {
    const QString folder = test::ScreenshotFolder();
    if (folder.isEmpty()) {
        GTEST_SKIP() << "needs ORV_SCREENSHOT_DIR and an X display";
    }
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
    test::RecordedBoxes boxes;
    test::Console console(program);
    {
        CConfigServerType page(console.context);
        page.OnInitDialog();
        page.OnSetActive();
        page.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
        auto* wma = page.findChild<QRadioButton*>("kWmaRadioId");
        auto* encoders = page.findChild<QComboBox*>("kEncoderListId");
        ASSERT_NE(wma, nullptr);
        ASSERT_NE(encoders, nullptr);
        EXPECT_TRUE(wma->isEnabled() && wma->isChecked());
        EXPECT_TRUE(encoders->currentText().startsWith("Orvanta WMA Encoder"));
        test::SaveScreenshot(page, folder, "format-page-wma");
    }

    CMainDialog& window = console.window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.OnCommand(kCmdStart);
    ASSERT_TRUE(window.Host().IsRunning())
        << (boxes.requests.empty() ? "" : boxes.requests.front().text);
    test::SaveScreenshot(window, folder, "main-window-wma", 1200);
    window.OnCommand(kCmdStop);
}

}  // namespace
}  // namespace orvanta
