// The main window on a real X display (Xvfb, started by CTest), stopped and running, written
// to PNG files for people to look at. Skipped unless ORV_SCREENSHOT_DIR names the folder.
#include "app/commands.h"
#include "app/main_dialog.h"
#include "app/status_badges.h"
#include "app_ui/ui_test_support.h"

#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace orvanta {
namespace {

// What the X server shows of the window, frame excluded.
QImage Shot(CMainDialog& window) {
    return window.screen()
        ->grabWindow(window.winId())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

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
    const char* folder = std::getenv("ORV_SCREENSHOT_DIR");
    if (folder == nullptr || QGuiApplication::platformName() != "xcb") {
        GTEST_SKIP() << "needs ORV_SCREENSHOT_DIR and an X display";
    }
    std::filesystem::create_directories(folder);
    test::ProgramFolder program;
    program.WriteConfig(
        "[Network]\nPort=8080\n[Limits]\nMaxClient=32\n[Broadcast]\nMaster=True\nGenre=700\n"
        "LangCode=9\nShoutcastRegister=True\n");
    setenv("ORV_FIXTURE_LISTENERS", "7", 1);
    setenv("ORV_FIXTURE_SOURCE", "1", 1);
    test::RecordedBoxes boxes;
    CServerContext context(program.Folder());
    context.InitInstance();
    CStatusBadges badges;
    ASSERT_TRUE(badges.Load());
    CMainDialog window(context, badges, program.CommandLine(""), program.ProgramPath());
    window.InitDialog();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    test::ServeEvents(300);
    const QImage stopped = Shot(window);
    ASSERT_FALSE(stopped.isNull());
    EXPECT_TRUE(stopped.save(QString("%1/main-window-stopped.png").arg(folder)));

    window.OnCommand(kCmdStart);
    ASSERT_TRUE(window.Host().IsRunning());
    // Long enough for the monitor to poll and the panel's timer to tick twice.
    test::ServeEvents(1200);
    const QImage running = Shot(window);
    EXPECT_TRUE(running.save(QString("%1/main-window-running.png").arg(folder)));

    // Stopped, the panel is drawn in the unlit blue only; running, in the lit one.
    const QRgb lit = qRgb(84, 151, 216);
    const QRgb unlit = qRgb(45, 92, 137);
    EXPECT_EQ(CountColour(stopped, lit), 0);
    EXPECT_GT(CountColour(stopped, unlit), 100);
    EXPECT_GT(CountColour(running, lit), 100);
    window.OnCommand(kCmdStop);
}

}  // namespace
}  // namespace orvanta
