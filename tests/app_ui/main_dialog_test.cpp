// The main window driven for real (offscreen), with the recording service module loaded from
// its program folder and every message box answered by the test.
#include "app/main_dialog.h"

#include "app/about_dialog.h"
#include "app/commands.h"
#include "app/status_badges.h"
#include "app_ui/ui_test_support.h"
#include "res/string_table.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>

namespace orvanta {
namespace {

using test::OnNextModal;
using test::RecordedBoxes;

class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override { m_context.InitInstance(); }

    // The window after its initialisation with `options` on the command line.
    CMainDialog& Open(const std::string& options = "") {
        m_window = std::make_unique<CMainDialog>(m_context, m_badges, m_folder.CommandLine(options),
                                                 m_folder.ProgramPath());
        m_window->InitDialog();
        m_window->show();
        return *m_window;
    }

    QPushButton* Button(const char* name) { return m_window->findChild<QPushButton*>(name); }

    // The enabled state of the tray menu's eight positions, as the menu opens now.
    std::vector<bool> TrayMenuEnabled() {
        QMenu* menu = m_window->Tray().Menu();
        m_window->PrepareTrayMenu(*menu);
        std::vector<bool> enabled;
        for (QAction* action : menu->actions()) {
            enabled.push_back(action->isEnabled());
        }
        return enabled;
    }

    test::ProgramFolder m_folder;
    CServerContext m_context{m_folder.Folder()};
    CStatusBadges m_badges;
    std::unique_ptr<CMainDialog> m_window;
};

// The buttons follow the service, which /start (in any case) starts at once.
TEST_F(MainDialogTest, AutoStartAndTheButtonsSwitchTheService) {
    RecordedBoxes boxes;
    CMainDialog& window = Open("/START");
    EXPECT_EQ(window.windowTitle(), "Orvanta Server");
    const auto expectRunning = [&](bool running) {
        EXPECT_EQ(window.Host().IsRunning(), running);
        EXPECT_EQ(window.Panel().IsRunning(), running);
        EXPECT_EQ(Button("kStartButtonId")->isEnabled(), !running);
        EXPECT_EQ(Button("kStopButtonId")->isEnabled(), running);
        EXPECT_EQ(Button("kConfigButtonId")->isEnabled(), !running);
    };
    expectRunning(true);
    QTest::mouseClick(Button("kStopButtonId"), Qt::LeftButton);
    expectRunning(false);
    QTest::mouseClick(Button("kStartButtonId"), Qt::LeftButton);
    expectRunning(true);
    // The module was told the configured port, once for each start.
    const auto calls = test::ReadLines(m_folder.File("module.log"));
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "2 Start 8500 0"), 2);
    EXPECT_TRUE(boxes.requests.empty());
}

TEST_F(MainDialogTest, AutoStartThatFailsShowsThePortMessageOnceAndStaysStopped) {
    setenv("ORV_FIXTURE_START_FAIL", "1", 1);
    RecordedBoxes boxes;
    CMainDialog& window = Open("/start");
    EXPECT_TRUE(window.CommandLine().autoStart);
    EXPECT_FALSE(window.Host().IsRunning());
    EXPECT_TRUE(Button("kStartButtonId")->isEnabled());
    EXPECT_FALSE(Button("kStopButtonId")->isEnabled());
    ASSERT_EQ(boxes.requests.size(), 1u);
    EXPECT_EQ(boxes.requests[0].text,
              "Critical error occurred - TCP 8500 port is already occupied by another "
              "application.\r\nPlease change your streaming port, and try again.");
    EXPECT_EQ(boxes.requests[0].caption, "Orvanta Server");
    EXPECT_EQ(boxes.requests[0].style, kMbIconInformation | kMbOk);
}

TEST_F(MainDialogTest, ACommandLineWithoutTheProgramPathIsReportedAndDefaultsStay) {
    RecordedBoxes boxes;
    m_window = std::make_unique<CMainDialog>(m_context, m_badges, "\"/elsewhere/ovserver\" /start",
                                             m_folder.ProgramPath());
    m_window->InitDialog();
    ASSERT_EQ(boxes.requests.size(), 1u);
    EXPECT_EQ(boxes.requests[0].text,
              "Failed to parse command line arguments.\r\ncommand line string : "
              "\"/elsewhere/ovserver\" /start");
    EXPECT_FALSE(m_window->Host().IsRunning());
    // The defaults, not the configuration file's 8500.
    StationConfig defaults;
    defaults.SetDefaults();
    EXPECT_EQ(m_context.config.Port, defaults.Port);
}

TEST_F(MainDialogTest, TrayMenuGreysByPositionForEachState) {
    RecordedBoxes boxes;
    CMainDialog& window = Open();
    ASSERT_NE(window.Tray().Menu(), nullptr);
    const QList<QAction*> actions = window.Tray().Menu()->actions();
    ASSERT_EQ(actions.size(), 8);
    EXPECT_EQ(actions[0]->text(), "Start");
    EXPECT_EQ(actions[3]->text(), "Config...");
    EXPECT_EQ(actions[7]->text(), "Exit");
    EXPECT_TRUE(actions[2]->isSeparator() && actions[4]->isSeparator() &&
                actions[6]->isSeparator());
    EXPECT_EQ(window.Tray().Menu()->defaultAction(), actions[0]);

    using V = std::vector<bool>;
    EXPECT_EQ(TrayMenuEnabled(), (V{true, false, true, true, true, true, true, true}));
    window.OnCommand(kCmdStart);
    ASSERT_TRUE(window.Host().IsRunning());
    EXPECT_EQ(TrayMenuEnabled(), (V{false, true, true, true, true, true, true, true}));
    m_context.aboutOpen = true;
    EXPECT_EQ(TrayMenuEnabled(), (V{false, true, true, true, true, false, true, false}));
    m_context.aboutOpen = false;
    m_context.configSheetOpen = true;
    EXPECT_EQ(TrayMenuEnabled(), (V{false, true, true, false, true, true, true, false}));
    m_context.configSheetOpen = false;

    // A menu item arrives as the command of its button.
    actions[1]->trigger();
    EXPECT_FALSE(window.Host().IsRunning());
    EXPECT_TRUE(Button("kStartButtonId")->isEnabled());
}

TEST_F(MainDialogTest, ExitAsksOnlyWhileRunningAndNoKeepsItRunning) {
    RecordedBoxes boxes;
    CMainDialog& window = Open();
    window.OnCommand(kCmdStart);
    boxes.answer = kIdNo;
    window.OnCommand(kCmdExit);
    ASSERT_EQ(boxes.requests.size(), 1u);
    EXPECT_EQ(boxes.requests[0].text, "All connections will be disconnected.\r\nContinue anyway?");
    EXPECT_EQ(boxes.requests[0].style, kMbIconQuestion | kMbYesNo);
    EXPECT_FALSE(window.IsEnded());
    EXPECT_TRUE(window.Host().IsRunning());

    // The window's close button asks the same.
    window.close();
    EXPECT_EQ(boxes.requests.size(), 2u);
    EXPECT_FALSE(window.IsEnded());

    boxes.answer = kIdYes;
    window.OnCommand(kCmdExit);
    EXPECT_TRUE(window.IsEnded());
    // Ending the loop does not stop the service; destroying the window does.
    EXPECT_TRUE(window.Host().IsRunning());
    m_window.reset();
    const auto calls = test::ReadLines(m_folder.File("module.log"));
    EXPECT_NE(std::find(calls.begin(), calls.end(), "3 Stop"), calls.end());
}

TEST_F(MainDialogTest, RunModalServesEventsUntilExit) {
    RecordedBoxes boxes;
    m_window = std::make_unique<CMainDialog>(m_context, m_badges, m_folder.CommandLine(""),
                                             m_folder.ProgramPath());
    QTimer::singleShot(0, m_window.get(), [this] {
        // Hidden in the tray, the window keeps the program running.
        m_window->HideIntoTray();
        QTimer::singleShot(20, m_window.get(), [this] { m_window->OnCommand(kCmdExit); });
    });
    EXPECT_EQ(m_window->RunModal(), 0);
    EXPECT_TRUE(m_window->IsEnded());
}

// Stopped: Enter and Escape do nothing; with no tray host (the offscreen platform has none,
// like a desktop without a panel) minimising leaves the window reachable; hidden in the tray
// a double click restores it; Exit ends without a question.
TEST_F(MainDialogTest, AStoppedWindowIgnoresEnterAndEscapeStaysReachableAndExitsAtOnce) {
    RecordedBoxes boxes;
    CMainDialog& window = Open();
    Button("kStartButtonId")->setFocus();
    QTest::keyClick(&window, Qt::Key_Return);
    QTest::keyClick(&window, Qt::Key_Enter);
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.IsEnded());
    EXPECT_FALSE(window.Host().IsRunning());

    ASSERT_FALSE(window.Tray().IsVisible());
    EXPECT_TRUE(window.Tray().IsWanted());
    window.setWindowState(Qt::WindowMinimized);
    QApplication::processEvents();
    EXPECT_TRUE(window.isVisible());
    window.setWindowState(Qt::WindowNoState);

    window.HideIntoTray();
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.IsEnded());
    window.OnTrayCallback(CTrayIcon::kMenuId, CTrayIcon::kLeftButtonDoubleClick);
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isMinimized());

    window.OnCommand(kCmdExit);
    EXPECT_TRUE(window.IsEnded());
    EXPECT_TRUE(boxes.requests.empty());
}

TEST_F(MainDialogTest, ConfigFromTheTrayWhileRunningLeavesConfigEnabledAfterwards) {
    RecordedBoxes boxes;
    CMainDialog& window = Open();
    window.OnCommand(kCmdStart);
    ASSERT_FALSE(Button("kConfigButtonId")->isEnabled());
    bool sawFlag = false;
    QString caption;
    OnNextModal([&](QWidget* sheet) {
        sawFlag = m_context.configSheetOpen;
        caption = sheet->windowTitle();
        // A second request while the sheet is open is ignored.
        window.OnCommand(kCmdConfig);
    });
    window.OnCommand(kCmdConfig);
    EXPECT_TRUE(sawFlag);
    EXPECT_EQ(caption, "Config");
    EXPECT_FALSE(m_context.configSheetOpen);
    EXPECT_TRUE(Button("kConfigButtonId")->isEnabled());
    EXPECT_TRUE(window.Host().IsRunning());
}

TEST_F(MainDialogTest, AboutBoxShowsTheStampedVersionAndIsGuardedOnlyFromTheTray) {
    RecordedBoxes boxes;
    CMainDialog& window = Open();
    QString title;
    QString version;
    OnNextModal([&](QWidget* about) {
        title = about->windowTitle();
        version = static_cast<CAboutDialog*>(about)->VersionText();
        EXPECT_TRUE(m_context.aboutOpen);
    });
    window.OnCommand(kCmdAbout);
    EXPECT_EQ(title, "About Orvanta");
    // The test program itself carries no stamp: version 0.
    EXPECT_EQ(version, "Version 0.0.0.0");
    EXPECT_FALSE(m_context.aboutOpen);

    // With the flag set the tray's About does nothing, the window's own About still works.
    m_context.aboutOpen = true;
    window.OnCommand(kCmdAbout);
    bool opened = false;
    OnNextModal([&](QWidget*) { opened = true; });
    window.OnCommand(kCmdSystemAbout);
    EXPECT_TRUE(opened);
    EXPECT_TRUE(m_context.aboutOpen);
    m_context.aboutOpen = false;
}

TEST_F(MainDialogTest, StationTextsFollowTheClusterRole) {
    m_folder.WriteConfig("[Network]\nPort=8080\n[Broadcast]\nMaster=True\nGenre=700\nLangCode=9\n");
    RecordedBoxes boxes;
    CMainDialog& window = Open();
    const auto rows = window.Panel().RowTexts();
    auto value = [&rows](const std::string& label) {
        for (const auto& row : rows) {
            if (row.label == label) {
                return row.value;
            }
        }
        return std::string("(no row)");
    };
    EXPECT_EQ(value("Genre"), "Jazz");
    EXPECT_EQ(value("Language"), "English");

    m_context.config.Master = 0;
    window.RefreshStationTexts();
    const auto clusterRows = window.Panel().RowTexts();
    for (const auto& row : clusterRows) {
        if (row.label == "Genre" || row.label == "Language") {
            EXPECT_EQ(row.value, "N/A");
        }
    }
}

TEST_F(MainDialogTest, RuntimeQuestionAndTheUpdaterRunWithTheWindowGreyedButServed) {
    // A WMA station, a module that serves WMA, and no runtime on this machine.
    setenv("ORV_FIXTURE_FORMAT_MASK", "4", 1);
    ASSERT_TRUE(m_context.modules.Init(m_folder.Folder(), true));
    unsetenv("ORV_FIXTURE_FORMAT_MASK");
    m_folder.WriteConfig("[Network]\nPort=8500\n[Media]\nFormat=WMA\n");
    // The updater: a script that takes a moment and says it ran.
    const std::string updater = m_folder.File("orvUpdate");
    test::WriteFile(updater, "#!/bin/sh\nsleep 0.3\necho \"$@\" > \"$0.ran\"\n");
    std::filesystem::permissions(updater, std::filesystem::perms::owner_all);

    RecordedBoxes boxes;
    boxes.answer = kIdYes;
    CMainDialog& window = Open();
    ASSERT_EQ(m_context.config.Format, 4);
    bool greyedWhileWaiting = false;
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        ++ticks;
        greyedWhileWaiting = greyedWhileWaiting || !window.isEnabled();
    });
    tick.start(20);
    window.OnCommand(kCmdStart);
    tick.stop();

    ASSERT_GE(boxes.requests.size(), 2u);
    EXPECT_EQ(boxes.requests[0].style, kMbIconQuestion | kMbYesNoCancel);
    EXPECT_EQ(boxes.requests[0].text.rfind("To broadcast in  Windows Media format, Windows Media "
                                           "runtime files are needed.",
                                           0),
              0u);
    // The start that asked does not go ahead, and says so with the port message.
    EXPECT_NE(boxes.requests.back().text.find("TCP 8500 port"), std::string::npos);
    EXPECT_FALSE(window.Host().IsRunning());
    EXPECT_TRUE(greyedWhileWaiting);
    EXPECT_GE(ticks, 5);  // events were served during the wait
    EXPECT_TRUE(window.isEnabled());
    EXPECT_NE(test::ReadFile(updater + ".ran").find("/R:1"), std::string::npos);
}

}  // namespace
}  // namespace orvanta
