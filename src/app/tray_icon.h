// CTrayIcon: the console's icon in the desktop's notification area, with the popup menu of
// the tray (Start, Stop, Config..., About..., Exit). Mouse events on the icon reach the owner
// as notifications with the classic mouse-message numbers; a chosen menu item reaches it as
// the same command its button sends.
//
// Where the desktop has no tray host the program runs without an icon. Our rule for a host
// that appears (or comes back) later: an icon that the program wants shown, and has not
// removed itself, is added as soon as a host is there.
#pragma once

#include <QIcon>
#include <QObject>

#include <memory>
#include <string>

class QMenu;
class QSystemTrayIcon;
class QTimer;

namespace orvanta {

class CTrayIcon : public QObject {
    Q_OBJECT

public:
    // The menu resource: its number is also the icon's identifier.
    static constexpr int kMenuId = 230;
    // Menu items by position, separators counted.
    static constexpr int kPosStart = 0;
    static constexpr int kPosStop = 1;
    static constexpr int kPosConfig = 3;
    static constexpr int kPosAbout = 5;
    static constexpr int kPosExit = 7;
    // Tooltips are cut to this many characters.
    static constexpr size_t kTooltipLimit = 127;
    // Mouse messages of the notifications.
    static constexpr int kLeftButtonUp = 0x0202;
    static constexpr int kLeftButtonDoubleClick = 0x0203;
    static constexpr int kRightButtonUp = 0x0205;
    static constexpr int kMiddleButtonUp = 0x0208;
    // How often the program looks for a tray host while its icon has none.
    static constexpr int kHostPollMs = 3000;

    explicit CTrayIcon(QObject* parent = nullptr);
    ~CTrayIcon() override;
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    // Builds the menu and adds the icon. True when the icon is in a tray now; false where
    // there is no tray host (the icon then comes as soon as one appears).
    bool Create(const std::string& tooltip, const QIcon& icon, int menuId);
    // Makes the menu's `item` (a position, or a command when !byPosition) its default item.
    // False when there is no menu.
    bool SetMenuDefaultItem(int item, bool byPosition);
    // Adds the icon again after Remove; true when it is in the tray (or will be once a host
    // appears).
    bool Show();
    // Takes the icon out of the tray; true also when it was not there.
    bool Remove();

    // The tray's own handling of notifications the owner leaves to it. 0 when the
    // notification is not for this icon; a double click sends the default item's command.
    virtual int OnTrayNotification(int iconId, int mouseMessage);

    bool IsCreated() const { return m_menu != nullptr; }
    // In a tray now.
    bool IsVisible() const;
    // The program wants the icon shown (Create or Show, and no Remove since).
    bool IsWanted() const { return m_wanted; }
    const std::string& Tooltip() const { return m_tooltip; }
    // The popup of menu 230; null before Create.
    QMenu* Menu() const { return m_menu.get(); }
    int DefaultItem() const { return m_defaultItem; }
    bool DefaultItemByPosition() const { return m_defaultByPosition; }

signals:
    // A mouse event on the icon: this icon's identifier and the mouse message.
    void Notification(int iconId, int mouseMessage);
    // A menu item was chosen: its command.
    void Command(int command);
    // The menu is about to open: the owner greys its items now.
    void MenuAboutToShow(QMenu* menu);

private:
    void AddWhenHostIsThere();
    int DefaultCommand() const;

    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon* m_tray = nullptr;  // child of this object
    QTimer* m_hostPoll = nullptr;       // child of this object
    int m_iconId = 0;
    std::string m_tooltip;
    bool m_wanted = false;
    int m_defaultItem = -1;
    bool m_defaultByPosition = false;
};

// The tray menu's items in order: texts from the string table, each action carrying its
// command as data; separators at positions 2, 4 and 6.
std::unique_ptr<QMenu> CreateTrayMenu();

}  // namespace orvanta
