#include "app/main_dialog.h"

#include "app/about_dialog.h"
#include "app/commands.h"
#include "dialogs/config_main_sheet.h"
#include "res/string_table.h"
#include "support/language_name.h"
#include "ui/message_box.h"
#include "ui/resources.h"
#include "ui/text.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace orvanta {

namespace {

// The window's size: the classic dialog of 207 x 169 dialog units at the usual 8-point font.
constexpr int kWindowWidth = 360;
constexpr int kWindowHeight = 280;

}  // namespace

std::string GenreText(int genre) {
    if (genre < 100) {
        return "";
    }
    return res::LoadString(res::kStrGenreBase + static_cast<uint32_t>(genre / 100));
}

CMainDialog::CMainDialog(CServerContext& context, const CStatusBadges& badges,
                         std::string commandLine, std::string programPath, QWidget* parent)
    : QDialog(parent),
      m_context(context),
      m_commandLineText(std::move(commandLine)),
      m_programPath(std::move(programPath)),
      m_host(context.modules, context.config, context.status, *this, context.ProgramFolder()),
      m_icon(ProgramIcon()) {
    setObjectName("kDialogId");
    setWindowTitle(Text(res::kStrMainTitle));
    // A plain window with a title bar and minimise: no "?" button, no resizing.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(kWindowWidth, kWindowHeight);

    m_panel = new CStatusListBox(context.config, context.status, badges, this);
    m_start = new QPushButton(Text(res::kStrMainStart), this);
    m_stop = new QPushButton(Text(res::kStrMainStop), this);
    m_config = new QPushButton(Text(res::kStrMainConfig), this);
    m_start->setObjectName("kStartButtonId");
    m_stop->setObjectName("kStopButtonId");
    m_config->setObjectName("kConfigButtonId");
    for (QPushButton* button : {m_start, m_stop, m_config}) {
        // Enter must not press a button behind the operator's back.
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    connect(m_start, &QPushButton::clicked, this, [this] { OnCommand(kCmdStart); });
    connect(m_stop, &QPushButton::clicked, this, [this] { OnCommand(kCmdStop); });
    connect(m_config, &QPushButton::clicked, this, [this] { OnCommand(kCmdConfig); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_start);
    buttons->addWidget(m_stop);
    buttons->addStretch(1);
    buttons->addWidget(m_config);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(m_panel, 1);
    layout->addLayout(buttons);

    connect(&m_tray, &CTrayIcon::Notification, this,
            [this](int iconId, int mouseMessage) { OnTrayCallback(iconId, mouseMessage); });
    connect(&m_tray, &CTrayIcon::Command, this, [this](int command) { OnCommand(command); });
    connect(&m_tray, &CTrayIcon::MenuAboutToShow, this, [this](QMenu* menu) {
        if (menu) {
            PrepareTrayMenu(*menu);
        }
    });
}

CMainDialog::~CMainDialog() {
    if (m_host.IsRunning()) {
        m_host.Stop();
    }
    m_tray.Remove();
}

void CMainDialog::InitDialog() {
    if (m_initialised) {
        return;
    }
    m_initialised = true;
    setWindowIcon(m_icon);

    m_commandLine = ParseCommandLine(m_commandLineText, m_programPath, m_context.StateFolder());
    if (!m_context.LoadStartupConfiguration(m_commandLine)) {
        MessageBoxText(this, res::FormatString(res::LoadString(res::kStrCommandLineParseFailed),
                                               {m_commandLineText}));
    }

    m_panel->PopulateRows();
    m_host.AttachMonitor();

    m_tray.Create(res::LoadString(res::kStrTrayTooltip), m_icon, CTrayIcon::kMenuId);
    m_tray.SetMenuDefaultItem(CTrayIcon::kPosStart, true);
    m_tray.Show();

    RefreshStationTexts();
    SetRunningState(false);
    if (m_commandLine.autoStart) {
        OnCommand(kCmdStart);
    }
}

int CMainDialog::RunModal() {
    InitDialog();
    if (m_ended) {
        return m_exitCode;
    }
    show();
    QEventLoop loop;
    m_loop = &loop;
    const int code = loop.exec();
    m_loop = nullptr;
    hide();
    return code;
}

void CMainDialog::EndModal(int code) {
    m_ended = true;
    m_exitCode = code;
    if (m_loop) {
        m_loop->exit(code);
    }
}

void CMainDialog::OnCommand(int command) {
    switch (command) {
        case kCmdStart:
            OnStart();
            break;
        case kCmdStop:
            OnStop();
            break;
        case kCmdConfig:
            OnConfig();
            break;
        case kCmdAbout:
            OnAbout(true);
            break;
        case kCmdSystemAbout:
            OnAbout(false);
            break;
        case kCmdExit:
            OnExit();
            break;
        default:
            break;
    }
}

void CMainDialog::SetRunningState(bool running) {
    m_start->setEnabled(!running);
    m_config->setEnabled(!running);
    m_stop->setEnabled(running);
}

void CMainDialog::OnStart() {
    m_host.SetPrivateFiles(m_context.ConfigFiles());
    m_host.SetBansFile(m_context.BansFile());
    if (m_host.Start()) {
        m_panel->StartStatusTimer();
        SetRunningState(true);
        return;
    }
    // Whatever made the start fail, the operator is pointed at the port; the host has shown
    // its own message first where it had one, so a module's reason is read before it.
    MessageBoxFormat(this, res::kStrStartFailedPortOccupied,
                     {std::to_string(m_context.config.Port)});
}

void CMainDialog::OnStop() {
    m_host.Stop();
    m_panel->StopStatusTimer();
    SetRunningState(false);
}

void CMainDialog::OnConfig() {
    if (m_context.configSheetOpen) {
        return;
    }
    m_context.configSheetOpen = true;
    m_config->setEnabled(false);
    {
        CConfigMainSheet sheet(m_context, res::LoadString(res::kStrConfigSheetCaption), nullptr, 0,
                               this);
        sheet.exec();
    }
    RefreshStationTexts();
    m_panel->viewport()->update();
    m_config->setEnabled(true);
    m_context.configSheetOpen = false;
}

void CMainDialog::OnAbout(bool guarded) {
    if (guarded) {
        if (m_context.aboutOpen) {
            return;
        }
        m_context.aboutOpen = true;
    }
    {
        CAboutDialog about(m_programPath, this);
        about.exec();
    }
    if (guarded) {
        m_context.aboutOpen = false;
    }
}

bool CMainDialog::MayEnd() {
    return !m_host.IsRunning() || QuestionYesNoById(this, res::kStrDisconnectQuestion) == kIdYes;
}

void CMainDialog::OnExit() {
    if (MayEnd()) {
        EndModal(0);
    }
}

void CMainDialog::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (MayEnd()) {
        EndModal(0);
    }
}

void CMainDialog::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            event->accept();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void CMainDialog::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    // Only with an icon in a tray to come back through: without a tray host the window
    // stays an ordinary minimised window that the taskbar still reaches.
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized) &&
        m_tray.IsVisible()) {
        // Queued: the window system is still busy minimising when it tells us.
        QMetaObject::invokeMethod(this, &CMainDialog::HideIntoTray, Qt::QueuedConnection);
    }
}

void CMainDialog::HideIntoTray() {
    // A hidden window has no taskbar entry; the tray icon is the way back.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    hide();
}

void CMainDialog::RestoreFromTray() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    showNormal();
    raise();
    activateWindow();
}

void CMainDialog::contextMenuEvent(QContextMenuEvent* event) {
    // The desktop gives a program no say in its window menu; a right click on the window
    // offers the About item that menu would have held.
    const QString text = Text(res::kStrSystemMenuAbout);
    if (text.isEmpty()) {
        return;
    }
    QMenu menu(this);
    QAction* about = menu.addAction(text);
    if (menu.exec(event->globalPos()) == about) {
        OnCommand(kCmdSystemAbout);
    }
}

int CMainDialog::OnTrayCallback(int iconId, int mouseMessage) {
    switch (mouseMessage) {
        case CTrayIcon::kRightButtonUp:
            // The tray opens its menu itself; the greying happens as it opens.
            return 0;
        case CTrayIcon::kLeftButtonDoubleClick:
            RestoreFromTray();
            return 0;
        default:
            return m_tray.OnTrayNotification(iconId, mouseMessage);
    }
}

void CMainDialog::PrepareTrayMenu(QMenu& menu) {
    const QList<QAction*> actions = menu.actions();
    for (QAction* action : actions) {
        action->setEnabled(true);
    }
    auto grey = [&actions](int position) {
        if (position < actions.size()) {
            actions[position]->setEnabled(false);
        }
    };
    grey(m_host.IsRunning() ? CTrayIcon::kPosStart : CTrayIcon::kPosStop);
    if (m_context.aboutOpen) {
        grey(CTrayIcon::kPosAbout);
        grey(CTrayIcon::kPosExit);
    }
    if (m_context.configSheetOpen) {
        grey(CTrayIcon::kPosConfig);
        grey(CTrayIcon::kPosExit);
    }
}

void CMainDialog::RefreshStationTexts() {
    const StationConfig& config = m_context.config;
    if (config.Master != 0) {
        m_panel->SetGenreText(GenreText(config.Genre));
        m_panel->SetLanguageText(ShortLanguageName(static_cast<uint32_t>(config.LangCode)));
    } else {
        m_panel->SetGenreText(res::LoadString(res::kStrNotAvailable));
        m_panel->SetLanguageText(res::LoadString(res::kStrNotAvailable));
    }
    m_panel->PopulateRows();
}

void CMainDialog::ShowHostMessage(const std::string& text) {
    ShowMessageBox({nullptr, text, CServiceHost::kMessageCaption, kMbOk});
}

IServiceHostUi::Answer CMainDialog::AskYesNoCancel(const std::string& text) {
    switch (MessageBoxYesNoCancel(this, text)) {
        case kIdYes:
            return kAnswerYes;
        case kIdNo:
            return kAnswerNo;
        default:
            return kAnswerCancel;
    }
}

void CMainDialog::EnableWindows(bool enable) {
    setEnabled(enable);
    if (QMenu* menu = m_tray.Menu()) {
        menu->setEnabled(enable);
    }
}

void CMainDialog::PumpMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

}  // namespace orvanta
