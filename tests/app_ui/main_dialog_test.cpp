// The main window driven for real (offscreen), with the recording service module loaded from
// its program folder and every message box answered by the test; and the message boxes
// themselves.
#include "app/main_dialog.h"

#include "app/about_dialog.h"
#include "app/commands.h"
#include "app/status_badges.h"
#include "app_ui/ui_test_support.h"
#include "dialogs/config_server_type.h"
#include "res/string_table.h"

#include <algorithm>

namespace orvanta {
namespace {

using test::OnNextModal;

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
    size_t Count(const std::string& call) {
        const auto calls = test::ReadLines(m_folder.File("module.log"));
        return static_cast<size_t>(std::count(calls.begin(), calls.end(), call));
    }

    test::ProgramFolder m_folder;
    test::RecordedBoxes m_boxes;
    CServerContext m_context{m_folder.Folder()};
    CStatusBadges m_badges;
    std::unique_ptr<CMainDialog> m_window;
};

// /start (in any case) starts at once and the buttons switch the service; the station rows
// follow the cluster role; Exit while running asks, as does the close button, and No keeps it
// running; ending the loop does not stop the service, destroying the window does.
TEST_F(MainDialogTest, AutoStartTheButtonsAndExitWhileRunning) {
    m_folder.WriteConfig("[Network]\nPort=8500\n[Broadcast]\nMaster=True\nGenre=700\nLangCode=9\n");
    CMainDialog& window = Open("/START");
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
    EXPECT_EQ(Count("2 Start 8500 0"), 2u);

    // Rows 6 and 7: genre and language, by name, or N/A for a cluster member.
    EXPECT_EQ(window.Panel().RowTexts().at(6).value, "Jazz");
    EXPECT_EQ(window.Panel().RowTexts().at(7).value, "English");
    m_context.config.Master = 0;
    window.RefreshStationTexts();
    EXPECT_EQ(window.Panel().RowTexts().at(7).value, "N/A");

    m_boxes.answer = kIdNo;
    window.OnCommand(kCmdExit);
    window.close();
    ASSERT_EQ(m_boxes.requests.size(), 2u);
    EXPECT_EQ(m_boxes.requests[1].text,
              "All connections will be disconnected.\r\nContinue anyway?");
    EXPECT_FALSE(window.IsEnded());
    m_boxes.answer = kIdYes;
    window.OnCommand(kCmdExit);
    EXPECT_TRUE(window.IsEnded());
    EXPECT_TRUE(window.Host().IsRunning());
    m_window.reset();
    EXPECT_EQ(Count("3 Stop"), 2u);
}

// A command line that does not start with the program's own path keeps the defaults; a
// failed auto-start points at the port. Either way one box, and the service stays stopped.
TEST_F(MainDialogTest, AForeignCommandLineOrAFailedAutoStartIsReportedOnce) {
    // clang-format off
    const struct { std::string commandLine; const char* fail; int port; std::string text; } cases[] = {
        {"\"/elsewhere/ovserver\" /start", nullptr, 8080,
         "Failed to parse command line arguments.\r\ncommand line string : "
         "\"/elsewhere/ovserver\" /start"},
        {m_folder.CommandLine("/start"), "1", 8500,
         "Critical error occurred - TCP 8500 port is already occupied by another "
         "application.\r\nPlease change your streaming port, and try again."},
    };
    // clang-format on
    for (const auto& c : cases) {
        test::ScopedEnv fail("ORV_FIXTURE_START_FAIL", c.fail);
        m_boxes.requests.clear();
        m_window.reset();
        m_window = std::make_unique<CMainDialog>(m_context, m_badges, c.commandLine,
                                                 m_folder.ProgramPath());
        m_window->InitDialog();
        ASSERT_EQ(m_boxes.requests.size(), 1u);
        EXPECT_EQ(m_boxes.requests[0].text, c.text);
        EXPECT_FALSE(m_window->Host().IsRunning());
        EXPECT_EQ(m_context.config.Port, c.port);
    }
}

// A module that says why its start failed is heard first; the port message follows every failed
// start in the console, whatever the cause.
TEST_F(MainDialogTest, AModulesReasonForAFailedStartComesBeforeThePortMessage) {
    test::ScopedEnv fail("ORV_FIXTURE_START_FAIL", "1");
    test::ScopedEnv reason("ORV_FIXTURE_START_ERROR",
                           "the WMA encoder plug-in ovwmaenc.so cannot be loaded");
    Open();
    QTest::mouseClick(Button("kStartButtonId"), Qt::LeftButton);
    ASSERT_EQ(m_boxes.requests.size(), 2u);
    EXPECT_EQ(m_boxes.requests[0].text,
              "The streaming service did not start: the WMA encoder plug-in ovwmaenc.so cannot "
              "be loaded");
    EXPECT_EQ(
        m_boxes.requests[1].text.rfind(
            "Critical error occurred - TCP " + std::to_string(m_context.config.Port) + " port", 0),
        0u);
    EXPECT_FALSE(m_window->Host().IsRunning());
    EXPECT_TRUE(Button("kStartButtonId")->isEnabled());
}

// Running, from the tray: the menu greys by position while the sheet or the About box is open;
// the sheet opens once, and leaves Config enabled afterwards; the
// tray's About is guarded by the flag, the window's own About is not.
TEST_F(MainDialogTest, TrayCommandsWhileRunningGreyTheMenuAndOpenOneSheet) {
    CMainDialog& window = Open();
    using V = std::vector<bool>;
    EXPECT_EQ(TrayMenuEnabled(), (V{true, false, true, true, true, true, true, true}));
    window.OnCommand(kCmdStart);
    ASSERT_FALSE(Button("kConfigButtonId")->isEnabled());
    EXPECT_EQ(TrayMenuEnabled(), (V{false, true, true, true, true, true, true, true}));

    OnNextModal([&](QWidget* sheet) {
        EXPECT_EQ(TrayMenuEnabled(), (V{false, true, true, false, true, true, true, false}));
        // Plug-in settings dialogs belong to the main window, which outlives the sheet.
        const auto* format = sheet->findChild<CConfigServerType*>();
        ASSERT_NE(format, nullptr);
        EXPECT_EQ(format->PluginOwner(), &window);
        window.OnCommand(kCmdConfig);
    });
    window.OnCommand(kCmdConfig);
    EXPECT_FALSE(m_context.configSheetOpen);
    EXPECT_TRUE(Button("kConfigButtonId")->isEnabled());

    QString version;
    OnNextModal([&](QWidget* about) {
        version = static_cast<CAboutDialog*>(about)->VersionText();
        EXPECT_EQ(TrayMenuEnabled(), (V{false, true, true, true, true, false, true, false}));
    });
    window.OnCommand(kCmdAbout);
    // The test program itself carries no stamp: version 0.
    EXPECT_EQ(version, "Version 0.0.0.0");
    EXPECT_FALSE(m_context.aboutOpen);
    m_context.aboutOpen = true;
    window.OnCommand(kCmdAbout);
    bool opened = false;
    OnNextModal([&](QWidget*) { opened = true; });
    window.OnCommand(kCmdSystemAbout);
    EXPECT_TRUE(opened);
    m_context.aboutOpen = false;

    // A menu item arrives as the command of its button.
    window.Tray().Menu()->actions()[1]->trigger();
    EXPECT_FALSE(window.Host().IsRunning());
    EXPECT_TRUE(m_boxes.requests.empty());
}

// Stopped, in its own loop: Enter and Escape do nothing; with no tray host (the offscreen
// platform has none, like a desktop without a panel) minimising leaves the window reachable;
// hidden in the tray it keeps the loop running and a double click restores it; Exit ends the
// loop without a question.
TEST_F(MainDialogTest, AStoppedWindowRunsUntilExitAndStaysReachable) {
    m_window = std::make_unique<CMainDialog>(m_context, m_badges, m_folder.CommandLine(""),
                                             m_folder.ProgramPath());
    CMainDialog& window = *m_window;
    QTimer::singleShot(0, &window, [&] {
        Button("kStartButtonId")->setFocus();
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            QTest::keyClick(&window, key);
        }
        EXPECT_TRUE(window.isVisible());
        EXPECT_FALSE(window.Tray().IsVisible());
        window.setWindowState(Qt::WindowMinimized);
        QApplication::processEvents();
        EXPECT_TRUE(window.isVisible());
        window.setWindowState(Qt::WindowNoState);
        window.HideIntoTray();
        QTimer::singleShot(20, &window, [&] {
            window.OnTrayCallback(CTrayIcon::kMenuId, CTrayIcon::kLeftButtonDoubleClick);
            EXPECT_TRUE(window.isVisible());
            window.OnCommand(kCmdExit);
        });
    });
    EXPECT_EQ(window.RunModal(), 0);
    EXPECT_FALSE(window.Host().IsRunning());
    EXPECT_TRUE(m_boxes.requests.empty());
}

TEST_F(MainDialogTest, RuntimeQuestionAndTheUpdaterRunWithTheWindowGreyedButServed) {
    // A WMA station, a module that serves WMA, and no runtime on this machine.
    {
        test::ScopedEnv mask("ORV_FIXTURE_FORMAT_MASK", "4");
        ASSERT_TRUE(m_context.modules.Init(m_folder.Folder(), true));
    }
    m_folder.WriteConfig("[Network]\nPort=8500\n[Media]\nFormat=WMA\n");
    // The updater: a script that takes a moment and says it ran.
    const std::string updater = m_folder.File("orvUpdate");
    test::WriteFile(updater, "#!/bin/sh\nsleep 0.3\necho \"$@\" > \"$0.ran\"\n");
    std::filesystem::permissions(updater, std::filesystem::perms::owner_all);

    m_boxes.answer = kIdYes;
    CMainDialog& window = Open();
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

    ASSERT_GE(m_boxes.requests.size(), 2u);
    EXPECT_EQ(m_boxes.requests[0].style, kMbIconQuestion | kMbYesNoCancel);
    // The start that asked does not go ahead, and says so with the port message.
    EXPECT_NE(m_boxes.requests.back().text.find("TCP 8500 port"), std::string::npos);
    EXPECT_FALSE(window.Host().IsRunning());
    EXPECT_TRUE(greyedWhileWaiting);
    EXPECT_GE(ticks, 5);  // events were served during the wait
    EXPECT_TRUE(window.isEnabled());
    EXPECT_NE(test::ReadFile(updater + ".ran").find("/R:1"), std::string::npos);
}

TEST(MessageBoxTest, FormattedTextsAreFilledSafelyAndCut) {
    // The arguments reaching the text are checked through the console's own boxes above.
    test::RecordedBoxes boxes;
    // A long argument is cut with the formatted text, never overruns.
    MessageBoxFormat(nullptr, res::kStrCommandLineParseFailed, {std::string(20000, 'x')});
    ASSERT_EQ(boxes.requests.size(), 1u);
    EXPECT_EQ(boxes.requests[0].text.size(), kMessageFormatLimit);

    MessageBoxFormatYesNoCancel(nullptr, res::kStrRuntimeDownloadQuestion, {"Windows Media"});
    EXPECT_EQ(boxes.requests[1].style, kMbIconQuestion | kMbYesNoCancel);
    // A conversion without an argument gives nothing rather than reading past the arguments.
    EXPECT_EQ(boxes.requests[1].text.rfind("To broadcast in  Windows Media format,  runtime", 0),
              0u);
}

}  // namespace
}  // namespace orvanta
