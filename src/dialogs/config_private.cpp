#include "dialogs/config_private.h"

#include "res/string_table.h"
#include "ui/editable_list_ctrl.h"
#include "ui/message_box.h"
#include "ui/text.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <vector>

namespace orvanta {

namespace {

// Name and password, plain text; nothing is edited in place or sorted.
constexpr ListColumnDef kUserColumns[] = {
    {res::kStrPrivateUsernameColumn, 0.6f, kListColumnLeft, false, false, false},
    {res::kStrPrivatePasswordColumn, 0.3f, kListColumnLeft, false, false, false},
};

}  // namespace

CConfigPrivate::CConfigPrivate(StationConfig& config, QWidget* parent)
    : CPropertyPage(Text(res::kStrPrivateTitle), parent), m_config(config) {
    setObjectName("kDialogId");

    m_privateCheck = new QCheckBox(Text(res::kStrPrivateEnable), this);
    m_privateCheck->setObjectName("kPrivateCheckId");
    connect(m_privateCheck, &QCheckBox::clicked, this, [this] {
        m_privateBroadcast = m_privateCheck->isChecked();
        EnableUserControls();
    });

    m_settingsGroup = new QGroupBox(Text(res::kStrPrivateGroup), this);
    m_settingsGroup->setObjectName("kSettingsGroupId");
    m_userList = new CEditableListCtrl(m_settingsGroup);
    m_userList->setObjectName("kUserListId");
    m_add = new QPushButton(Text(res::kStrPrivateAdd), m_settingsGroup);
    m_add->setObjectName("kAddButtonId");
    connect(m_add, &QPushButton::clicked, this, [this] { OnAdd(); });
    m_delete = new QPushButton(Text(res::kStrPrivateDelete), m_settingsGroup);
    m_delete->setObjectName("kDeleteButtonId");
    connect(m_delete, &QPushButton::clicked, this, [this] { OnDelete(); });
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_add);
    buttons->addWidget(m_delete);
    buttons->addStretch(1);
    auto* groupLayout = new QHBoxLayout(m_settingsGroup);
    groupLayout->addWidget(m_userList, 1);
    groupLayout->addLayout(buttons);

    auto* note = new QLabel(Text(res::kStrPrivateWmaNote), this);
    note->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_privateCheck);
    layout->addWidget(m_settingsGroup, 1);
    layout->addWidget(note);
}

void CConfigPrivate::OnSetActive() {
    Fill();
}

void CConfigPrivate::Fill() {
    if (m_userList->Columns().empty()) {
        m_userList->SetupColumns(kUserColumns);
    }
    m_userList->DeleteAllRows();
    for (const auto& [name, password] : m_config.PrivateUsers) {
        m_userList->AppendRow({ToQString(name), ToQString(password)});
    }
    m_privateBroadcast = m_config.PrivateBr != 0;
    const bool wma = m_config.Format == kFormatWma;
    m_privateCheck->setEnabled(!wma);
    m_settingsGroup->setEnabled(!wma);
    EnableUserControls();
    // With WMA the greyed box still shows the stored value, and OK writes that back.
    m_privateCheck->setChecked(m_privateBroadcast);
}

void CConfigPrivate::EnableUserControls() {
    const bool enabled = m_config.Format != kFormatWma && m_privateBroadcast;
    m_add->setEnabled(enabled);
    m_delete->setEnabled(enabled);
    m_userList->setEnabled(enabled);
}

void CConfigPrivate::OnOK() {
    m_privateBroadcast = m_privateCheck->isChecked();
    m_config.PrivateBr = m_privateBroadcast ? 1 : 0;
}

void CConfigPrivate::OnAdd() {
    CNewUserDialog dialog(m_config.PrivateUsers);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    m_userList->AppendRow({ToQString(dialog.UserName()), ToQString(dialog.Password())});
    m_config.PrivateUsers[dialog.UserName()] = dialog.Password();
}

void CConfigPrivate::OnDelete() {
    const std::vector<int> rows = m_userList->SelectedRows();
    if (rows.empty() || QuestionYesNoById(this, res::kStrPrivateDeleteQuestion) != kIdYes) {
        return;
    }
    // From the bottom up, so that the positions still to come stay valid. A row whose name is
    // not in the record stays.
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        std::string name = m_userList->CellText(*it, 0).toStdString();
        if (name.size() > kMaxUserNameLength) {
            name.resize(kMaxUserNameLength);
        }
        if (!name.empty() && m_config.PrivateUsers.erase(name) > 0) {
            m_userList->DeleteRow(*it);
        }
    }
}

CNewUserDialog::CNewUserDialog(const std::map<std::string, std::string>& users, QWidget* parent)
    : QDialog(parent), m_users(users) {
    setObjectName("kDialogId");
    setWindowTitle(Text(res::kStrNewUserTitle));
    resize(kWidth, kHeight);

    m_userNameEdit = new QLineEdit(this);
    m_userNameEdit->setObjectName("kUserNameEditId");
    m_passwordEdit = new QLineEdit(this);
    m_passwordEdit->setObjectName("kPasswordEditId");
    auto* fields = new QFormLayout;
    fields->addRow(Text(res::kStrNewUserIdLabel), m_userNameEdit);
    fields->addRow(Text(res::kStrNewUserPasswordLabel), m_passwordEdit);

    auto* add = new QPushButton(Text(res::kStrNewUserAdd), this);
    add->setObjectName("kAddButtonId");
    add->setDefault(true);
    connect(add, &QPushButton::clicked, this, &CNewUserDialog::accept);
    auto* cancel = new QPushButton(Text(res::kStrNewUserCancel), this);
    cancel->setObjectName("kCancelButtonId");
    connect(cancel, &QPushButton::clicked, this, &CNewUserDialog::reject);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(cancel);
    buttons->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(fields, 1);
    layout->addLayout(buttons);
}

void CNewUserDialog::accept() {
    m_userName = m_userNameEdit->text().toStdString();
    m_password = m_passwordEdit->text().toStdString();
    if (m_userName.empty() || m_password.empty()) {
        InformationById(this, res::kStrPrivateUserInvalid);
        return;
    }
    if (m_users.count(m_userName) != 0) {
        InformationById(this, res::kStrPrivateUserExists);
        QDialog::reject();
        return;
    }
    QDialog::accept();
}

}  // namespace orvanta
