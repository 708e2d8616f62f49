#include "app/tray_icon.h"

#include "app/commands.h"
#include "res/string_table.h"
#include "ui/text.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

#include <utility>

namespace orvanta {

std::unique_ptr<QMenu> CreateTrayMenu() {
    auto menu = std::make_unique<QMenu>();
    const std::pair<uint32_t, int> items[] = {
        {res::kStrTrayStart, kCmdStart},
        {res::kStrTrayStop, kCmdStop},
        {0, 0},
        {res::kStrTrayConfig, kCmdConfig},
        {0, 0},
        {res::kStrTrayAbout, kCmdAbout},
        {0, 0},
        {res::kStrTrayExit, kCmdExit},
    };
    for (const auto& [text, command] : items) {
        if (command == 0) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(Text(text));
        action->setData(command);
    }
    return menu;
}

CTrayIcon::CTrayIcon(QObject* parent) : QObject(parent) {}

CTrayIcon::~CTrayIcon() {
    Remove();
    // The tray icon refers to the menu; it goes first.
    delete m_tray;
    m_tray = nullptr;
}

bool CTrayIcon::Create(const std::string& tooltip, const QIcon& icon, int menuId) {
    if (m_menu) {
        return Show();
    }
    m_iconId = menuId;
    m_tooltip = tooltip.substr(0, kTooltipLimit);
    m_menu = CreateTrayMenu();
    connect(m_menu.get(), &QMenu::triggered, this, [this](QAction* action) {
        bool ok = false;
        const int command = action->data().toInt(&ok);
        if (ok && command != 0) {
            emit Command(command);
        }
    });
    connect(m_menu.get(), &QMenu::aboutToShow, this,
            [this] { emit MenuAboutToShow(m_menu.get()); });

    m_tray = new QSystemTrayIcon(icon, this);
    m_tray->setToolTip(QString::fromStdString(m_tooltip));
    m_tray->setContextMenu(m_menu.get());
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                switch (reason) {
                    case QSystemTrayIcon::Context:
                        emit Notification(m_iconId, kRightButtonUp);
                        break;
                    case QSystemTrayIcon::DoubleClick:
                        emit Notification(m_iconId, kLeftButtonDoubleClick);
                        break;
                    case QSystemTrayIcon::Trigger:
                        emit Notification(m_iconId, kLeftButtonUp);
                        break;
                    case QSystemTrayIcon::MiddleClick:
                        emit Notification(m_iconId, kMiddleButtonUp);
                        break;
                    default:
                        break;
                }
            });

    m_hostPoll = new QTimer(this);
    m_hostPoll->setInterval(kHostPollMs);
    connect(m_hostPoll, &QTimer::timeout, this, &CTrayIcon::AddWhenHostIsThere);
    return Show();
}

bool CTrayIcon::SetMenuDefaultItem(int item, bool byPosition) {
    if (!m_menu) {
        return false;
    }
    if (item == m_defaultItem && byPosition == m_defaultByPosition) {
        return true;
    }
    m_defaultItem = item;
    m_defaultByPosition = byPosition;
    const QList<QAction*> actions = m_menu->actions();
    QAction* chosen = nullptr;
    for (int i = 0; i < actions.size(); ++i) {
        const bool match = byPosition ? i == item : actions[i]->data().toInt() == item;
        if (match && !actions[i]->isSeparator()) {
            chosen = actions[i];
            break;
        }
    }
    m_menu->setDefaultAction(chosen);
    return true;
}

bool CTrayIcon::Show() {
    if (!m_tray) {
        return false;
    }
    m_wanted = true;
    AddWhenHostIsThere();
    return true;
}

bool CTrayIcon::Remove() {
    m_wanted = false;
    if (m_hostPoll) {
        m_hostPoll->stop();
    }
    if (m_tray && m_tray->isVisible()) {
        m_tray->hide();
    }
    return true;
}

bool CTrayIcon::IsVisible() const {
    return m_tray && m_tray->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

void CTrayIcon::AddWhenHostIsThere() {
    if (!m_wanted || !m_tray) {
        return;
    }
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        // Gone or never there: an icon shown now would be lost. Look again later, and
        // forget the old one so that the next host gets a fresh add.
        m_tray->hide();
        m_hostPoll->start();
        return;
    }
    if (!m_tray->isVisible()) {
        m_tray->show();
    }
    // Keep looking: a tray host that restarts takes its icons with it.
    m_hostPoll->start();
}

int CTrayIcon::DefaultCommand() const {
    if (!m_menu || m_defaultItem < 0) {
        return 0;
    }
    if (!m_defaultByPosition) {
        return m_defaultItem;
    }
    const QList<QAction*> actions = m_menu->actions();
    return m_defaultItem < actions.size() ? actions[m_defaultItem]->data().toInt() : 0;
}

int CTrayIcon::OnTrayNotification(int iconId, int mouseMessage) {
    if (iconId != m_iconId || !m_menu) {
        return 0;
    }
    switch (mouseMessage) {
        case kRightButtonUp:
            m_menu->popup(QCursor::pos());
            return 1;
        case kLeftButtonDoubleClick:
            if (const int command = DefaultCommand()) {
                emit Command(command);
            }
            return 1;
        default:
            return 1;
    }
}

}  // namespace orvanta
