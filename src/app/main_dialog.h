// CMainDialog: the console's one window. It holds the status panel and the Start, Stop and
// Config buttons, owns the service host and the tray icon, and takes every command the tray
// menu sends. Running it is the program's only event loop: when it ends, the program ends.
#pragma once

#include "app/status_list_box.h"
#include "app/tray_icon.h"
#include "service/service_host.h"
#include "startup/server_context.h"
#include "support/host_ui.h"

#include <QDialog>
#include <QIcon>

#include <memory>
#include <string>

class QEventLoop;
class QMenu;
class QPushButton;

namespace orvanta {

class CStatusBadges;

class CMainDialog : public QDialog, public IServiceHostUi {
    Q_OBJECT

public:
    static constexpr int kDialogId = 102;
    static constexpr int kStartButtonId = 1001;
    static constexpr int kStopButtonId = 1002;
    static constexpr int kConfigButtonId = 1003;
    // The tray's notifications, as the window receives them.
    static constexpr int kTrayCallbackMessage = 0x800A;

    // `commandLine` is the process command line as the console's rules read it, and
    // `programPath` the program's own full path in it.
    CMainDialog(CServerContext& context, const CStatusBadges& badges, std::string commandLine,
                std::string programPath, QWidget* parent = nullptr);
    // Stops a running service; the tray icon goes with the window.
    ~CMainDialog() override;

    // Initialisation: the command line and the configuration file, the panel, the tray icon,
    // and the service when /start asked for it. RunModal calls it; tests may call it alone.
    void InitDialog();
    // Shows the window and serves events until Exit or Close ends the loop; returns the exit
    // code. Hiding the window into the tray does not end it.
    int RunModal();
    // Ends the loop of RunModal with `code` (what Exit does once it may).
    void EndModal(int code);
    bool IsEnded() const { return m_ended; }

    // One of the commands of app/commands.h.
    void OnCommand(int command);
    // A notification of the tray icon: the mouse message of the event.
    int OnTrayCallback(int iconId, int mouseMessage);
    // Greys the tray menu's items by position for the state right now.
    void PrepareTrayMenu(QMenu& menu);
    // Genre and language texts of the panel from the configuration, then the rows again.
    void RefreshStationTexts();
    // Minimising: the window leaves the taskbar and is reachable through the tray only.
    void HideIntoTray();
    // A double click on the tray icon: the window comes back, with its taskbar entry.
    void RestoreFromTray();

    CServiceHost& Host() { return m_host; }
    CStatusListBox& Panel() { return *m_panel; }
    CTrayIcon& Tray() { return m_tray; }
    const CommandLineResult& CommandLine() const { return m_commandLine; }

    // IServiceHostUi: the service host's own messages and the runtime question.
    void ShowHostMessage(const std::string& text) override;
    bool HasMainWindow() override { return true; }
    Answer AskYesNoCancel(const std::string& text) override;
    void EnableWindows(bool enable) override;
    void PumpMessages() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    // Escape and Enter never close this dialog; only Exit and Close end it.
    void reject() override {}
    void accept() override {}
    void done(int) override {}

private:
    void OnStart();
    void OnStop();
    void OnConfig();
    void OnAbout(bool guarded);
    void OnExit();
    // Asks 10065 while a service runs; true when the program may end now.
    bool MayEnd();
    void SetRunningState(bool running);

    CServerContext& m_context;
    std::string m_commandLineText;
    std::string m_programPath;
    // Declared in the order of the window's parts; the host before the tray icon so that the
    // icon goes first and the module last.
    CStatusListBox* m_panel = nullptr;  // child widget
    CommandLineResult m_commandLine;
    CServiceHost m_host;
    CTrayIcon m_tray;
    QIcon m_icon;
    QPushButton* m_start = nullptr;
    QPushButton* m_stop = nullptr;
    QPushButton* m_config = nullptr;
    QEventLoop* m_loop = nullptr;
    bool m_initialised = false;
    bool m_ended = false;
    int m_exitCode = 0;
};

// The genre text of a genre code: string 2019 + code / 100 ("" for codes below 100).
std::string GenreText(int genre);

}  // namespace orvanta
