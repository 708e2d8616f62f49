// CConfigPrivate: the Private page of the configuration sheet. Private broadcasting admits only
// the listeners named in the station's user list; the page switches it on or off and keeps
// that list, with CNewUserDialog asking for each new name and password. WMA streams cannot be
// private, so with that format the page is locked.
//
// Unlike the other pages, adding and deleting users changes the record at once, whether the
// sheet is later confirmed or cancelled; the switch waits for OK.
#pragma once

#include "config/station_config.h"
#include "ui/tree_property_sheet.h"

#include <QDialog>

#include <map>
#include <string>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace orvanta {

class CEditableListCtrl;

class CConfigPrivate : public CPropertyPage {
    Q_OBJECT

public:
    static constexpr int kDialogId = 178;
    static constexpr int kPrivateCheckId = 1043;
    static constexpr int kSettingsGroupId = 1140;
    static constexpr int kUserListId = 1007;
    static constexpr int kAddButtonId = 1027;
    static constexpr int kDeleteButtonId = 1028;
    // A user name is looked up by at most this many bytes of its row.
    static constexpr size_t kMaxUserNameLength = 259;

    explicit CConfigPrivate(StationConfig& config, QWidget* parent = nullptr);

    // The page refills itself every time it becomes active (the first time included): the
    // list then shows the users in the record's order.
    void OnSetActive() override;
    void OnOK() override;

    // "Add": asks for a user and, if given, adds it to the list and the record at once. New
    // rows go to the end until the page is filled again.
    void OnAdd();
    // "Delete": after the user confirms, removes every selected user from the record and the
    // list at once.
    void OnDelete();

private:
    void Fill();
    // The list and its buttons follow the switch; with WMA everything is greyed.
    void EnableUserControls();

    StationConfig& m_config;
    bool m_privateBroadcast = false;
    QCheckBox* m_privateCheck = nullptr;
    QGroupBox* m_settingsGroup = nullptr;
    CEditableListCtrl* m_userList = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_delete = nullptr;
};

// Asks for the name and password of a new private listener. "Add" refuses an empty name or
// password (the dialog stays open) and a name the list already holds (the dialog closes as
// cancelled).
class CNewUserDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 182;
    static constexpr int kUserNameEditId = 1038;
    static constexpr int kPasswordEditId = 1039;
    static constexpr int kAddButtonId = 1;
    static constexpr int kCancelButtonId = 2;
    // 187 x 81 dialog units at the usual 8-point font.
    static constexpr int kWidth = 325;
    static constexpr int kHeight = 135;

    // `users` is the record's list, which the dialog only reads.
    explicit CNewUserDialog(const std::map<std::string, std::string>& users,
                            QWidget* parent = nullptr);

    const std::string& UserName() const { return m_userName; }
    const std::string& Password() const { return m_password; }

    // "Add".
    void accept() override;

private:
    const std::map<std::string, std::string>& m_users;
    std::string m_userName;
    std::string m_password;
    QLineEdit* m_userNameEdit = nullptr;
    QLineEdit* m_passwordEdit = nullptr;
};

}  // namespace orvanta
