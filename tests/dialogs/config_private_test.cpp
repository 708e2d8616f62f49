// The Private page driven for real (offscreen) in a tree property sheet: users added through
// the new-user dialog and deleted after the question, both reaching the record at once, the
// switch waiting for OK, and the lock of the WMA format.
#include "dialogs/config_private.h"

#include "app_ui/ui_test_support.h"
#include "config/station_config.h"
#include "res/string_table.h"
#include "ui/editable_list_ctrl.h"
#include "ui/tree_property_sheet.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

namespace orvanta {
namespace {

using Users = std::map<std::string, std::string>;

class ConfigPrivateTest : public test::SheetPageTest<CConfigPrivate> {
protected:
    CEditableListCtrl& List() { return Child<CEditableListCtrl>("kUserListId"); }
    QStringList Names() {
        QStringList names;
        for (int row = 0; row < List().RowCount(); ++row) {
            names << List().CellText(row, 0);
        }
        return names;
    }
    void Click(const char* name) { QTest::mouseClick(&Child<QPushButton>(name), Qt::LeftButton); }

    // "Add", answering the new-user dialog with a name and a password.
    void AddUser(const QString& name, const QString& password) {
        test::OnNextModal([name, password](QWidget* dialog) {
            dialog->findChild<QLineEdit*>("kUserNameEditId")->setText(name);
            dialog->findChild<QLineEdit*>("kPasswordEditId")->setText(password);
            QTest::mouseClick(dialog->findChild<QPushButton*>("kAddButtonId"), Qt::LeftButton);
        });
        Click("kAddButtonId");
    }
};

TEST_F(ConfigPrivateTest, AddedUsersShowInAddedOrderUntilTheNextFill) {
    test::RecordedBoxes boxes;
    m_config.PrivateBr = 1;
    Open();
    EXPECT_EQ(m_sheet->GetActivePage()->Title(), "Station::Private");
    EXPECT_EQ(List().headerItem()->text(0), "Username");
    EXPECT_EQ(List().headerItem()->text(1), "Password");
    // Shares of the list's width as it is shown.
    const int width = List().viewport()->width();
    EXPECT_GT(width, 100);
    EXPECT_EQ(List().columnWidth(0), static_cast<int>(0.6f * static_cast<float>(width)));
    EXPECT_EQ(List().columnWidth(1), static_cast<int>(0.3f * static_cast<float>(width)));

    AddUser("zed", "z-pass");
    AddUser("amy", "a-pass");
    EXPECT_EQ(Names(), QStringList({"zed", "amy"}));
    EXPECT_EQ(List().CellText(1, 1), "a-pass");
    EXPECT_EQ(m_config.PrivateUsers, Users({{"amy", "a-pass"}, {"zed", "z-pass"}}));
    Revisit();
    EXPECT_EQ(Names(), QStringList({"amy", "zed"}));

    // Names are compared byte by byte.
    AddUser("Bob", "1");
    AddUser("bob", "2");
    EXPECT_EQ(m_config.PrivateUsers.size(), 4u);
    EXPECT_TRUE(boxes.requests.empty());
    Revisit();
    EXPECT_EQ(Names(), QStringList({"Bob", "amy", "bob", "zed"}));

    // A name already there: told, and nothing changes.
    AddUser("amy", "other");
    ASSERT_EQ(boxes.requests.size(), 1u);
    EXPECT_EQ(boxes.requests[0].text, res::LoadString(res::kStrPrivateUserExists));
    EXPECT_EQ(boxes.requests[0].caption, res::LoadString(res::kStrAppCaption));
    EXPECT_EQ(boxes.requests[0].style, kMbIconInformation);
    EXPECT_EQ(m_config.PrivateUsers.at("amy"), "a-pass");
    EXPECT_EQ(List().RowCount(), 4);

    // An empty password keeps the dialog open until the user gives one; Cancel adds nothing.
    boxes.requests.clear();
    test::OnNextModal([&boxes](QWidget* dialog) {
        dialog->findChild<QLineEdit*>("kUserNameEditId")->setText("cid");
        QTest::mouseClick(dialog->findChild<QPushButton*>("kAddButtonId"), Qt::LeftButton);
        EXPECT_TRUE(dialog->isVisible());
        ASSERT_EQ(boxes.requests.size(), 1u);
        EXPECT_EQ(boxes.requests[0].text, res::LoadString(res::kStrPrivateUserInvalid));
        EXPECT_EQ(boxes.requests[0].owner, dialog);
        QTest::mouseClick(dialog->findChild<QPushButton*>("kCancelButtonId"), Qt::LeftButton);
    });
    Click("kAddButtonId");
    EXPECT_EQ(m_config.PrivateUsers.count("cid"), 0u);

    // Cancelling the sheet does not take the added users back.
    m_sheet->reject();
    EXPECT_EQ(m_config.PrivateUsers.size(), 4u);
}

TEST_F(ConfigPrivateTest, UsersGoAtOnceWhileTheSwitchWaitsForOk) {
    test::RecordedBoxes boxes;
    m_config.PrivateUsers = {{"ann", "1"}, {"ben", "2"}, {"cat", "3"}};
    Open();
    QCheckBox& check = Child<QCheckBox>("kPrivateCheckId");
    EXPECT_EQ(check.text(), "Enable private broadcast");
    EXPECT_FALSE(check.isChecked());
    EXPECT_FALSE(List().isEnabled());
    EXPECT_FALSE(Child<QPushButton>("kDeleteButtonId").isEnabled());
    check.click();
    EXPECT_TRUE(List().isEnabled());
    EXPECT_TRUE(Child<QPushButton>("kAddButtonId").isEnabled());
    EXPECT_EQ(m_config.PrivateBr, 0);

    // Nothing selected: no question.
    Click("kDeleteButtonId");
    EXPECT_TRUE(boxes.requests.empty());

    List().SelectRows({0, 2});
    boxes.answer = kIdNo;
    Click("kDeleteButtonId");
    ASSERT_EQ(boxes.requests.size(), 1u);
    EXPECT_EQ(boxes.requests[0].text, res::LoadString(res::kStrPrivateDeleteQuestion));
    EXPECT_EQ(boxes.requests[0].style, kMbIconQuestion | kMbYesNo);
    EXPECT_EQ(m_config.PrivateUsers.size(), 3u);

    boxes.answer = kIdYes;
    Click("kDeleteButtonId");
    EXPECT_EQ(Names(), QStringList({"ben"}));
    EXPECT_EQ(m_config.PrivateUsers, Users({{"ben", "2"}}));

    m_sheet->reject();
    EXPECT_EQ(m_config.PrivateBr, 0);
    EXPECT_EQ(m_config.PrivateUsers.size(), 1u);

    Open();
    Child<QCheckBox>("kPrivateCheckId").click();
    m_sheet->accept();
    EXPECT_EQ(m_config.PrivateBr, 1);
}

TEST_F(ConfigPrivateTest, WmaLocksThePageAndOkKeepsTheStoredSwitch) {
    m_config.Format = kFormatWma;
    m_config.PrivateBr = 1;
    m_config.PrivateUsers = {{"ann", "1"}};
    Open();
    QCheckBox& check = Child<QCheckBox>("kPrivateCheckId");
    EXPECT_TRUE(check.isChecked());
    EXPECT_FALSE(check.isEnabled());
    EXPECT_FALSE(Child<QGroupBox>("kSettingsGroupId").isEnabled());
    EXPECT_FALSE(Child<QPushButton>("kAddButtonId").isEnabled());
    EXPECT_FALSE(Child<QPushButton>("kDeleteButtonId").isEnabled());
    EXPECT_FALSE(List().isEnabled());
    EXPECT_EQ(List().RowCount(), 1);
    m_sheet->accept();
    EXPECT_EQ(m_config.PrivateBr, 1);

    // Another format unlocks it on the next fill.
    m_config.Format = kFormatMp3;
    Open();
    EXPECT_TRUE(Child<QCheckBox>("kPrivateCheckId").isEnabled());
    EXPECT_TRUE(List().isEnabled());
}

}  // namespace
}  // namespace orvanta
