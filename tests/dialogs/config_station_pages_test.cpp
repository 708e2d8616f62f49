// The Station, Metadata, Directory Server, Schedule and Private pages driven for real
// (offscreen) in a tree property sheet, beside a page to switch away to: what they show of the
// record, what OK and Cancel leave in it, and what they do each time they become active again.
// Private users are added through the new-user dialog and deleted after the question, both
// reaching the record at once, while the switch waits for OK; WMA locks the page.
#include "app_ui/ui_test_support.h"
#include "config/station_config.h"
#include "dialogs/config_directory.h"
#include "dialogs/config_metadata.h"
#include "dialogs/config_plan.h"
#include "dialogs/config_private.h"
#include "dialogs/config_station.h"
#include "res/string_table.h"
#include "support/language_name.h"
#include "ui/editable_list_ctrl.h"

#include <array>
#include <map>

namespace orvanta {
namespace {

// As the user closing a drop-down list on an item.
void Choose(QComboBox& list, int position) {
    list.setCurrentIndex(position);
    Q_EMIT list.activated(position);
}

using ConfigStationTest = test::SheetPageTest<CConfigStation>;

TEST_F(ConfigStationTest, CodesNotOfferedShowTheFirstItemChoicesWaitForOkButNotTheClusterBox) {
    m_config.Genre = 2000;
    m_config.LangCode = 18;
    m_config.Generation = 3;
    m_config.Ment = 7;
    Open();
    EXPECT_EQ(List("kGenreListId").currentText(), "Alternative");
    EXPECT_EQ(List("kLanguageListId").currentText().toStdString(), ShortLanguageName(18));
    EXPECT_EQ(List("kGenerationListId").currentText(), "20's");
    EXPECT_EQ(List("kMentListId").currentIndex(), -1);
    Ok();
    EXPECT_EQ(m_config.Genre, 100);
    EXPECT_EQ(m_config.LangCode, 18);
    EXPECT_EQ(m_config.Ment, -1);

    // Activation refills; Cancel writes nothing; OK writes the choices.
    m_config.LangCode = 1033;
    Open();
    EXPECT_EQ(List("kLanguageListId").currentIndex(), 0);
    Choose(List("kGenerationListId"), 4);
    Revisit();
    EXPECT_EQ(List("kGenerationListId").currentIndex(), 3);
    Choose(List("kGenerationListId"), 4);
    Cancel();
    EXPECT_EQ(m_config.Generation, 3);
    Open();
    Choose(List("kGenerationListId"), 4);
    Choose(List("kMentListId"), 2);
    Ok();
    EXPECT_EQ(m_config.Generation, 4);
    EXPECT_EQ(m_config.Ment, 2);
    EXPECT_EQ(m_config.LangCode, 9);

    // The cluster box writes the record at once, with what the lists show, and greys them;
    // Cancel keeps it.
    Open();
    QCheckBox& cluster = Child<QCheckBox>("kClusterCheckId");
    Choose(List("kLanguageListId"), List("kLanguageListId").findData(18));
    Choose(List("kGenreListId"), List("kGenreListId").findData(700));
    cluster.click();
    EXPECT_EQ(m_config.Master, 0);
    EXPECT_EQ(m_config.LangCode, 18);
    EXPECT_EQ(m_config.Genre, 700);
    for (const char* name :
         {"kLanguageListId", "kGenreListId", "kGenerationListId", "kMentListId"}) {
        EXPECT_FALSE(List(name).isEnabled()) << name;
    }
    Cancel();
    EXPECT_EQ(m_config.Master, 0);

    // A cluster member opens greyed out; clearing the box shows the record again, not what
    // the lists showed when it was checked.
    Open();
    EXPECT_FALSE(List("kGenreListId").isEnabled());
    m_config.Genre = 300;
    Child<QCheckBox>("kClusterCheckId").click();
    EXPECT_EQ(m_config.Master, 1);
    EXPECT_TRUE(List("kGenreListId").isEnabled());
    EXPECT_EQ(List("kGenreListId").currentText(), "Country");
}

using ConfigMetadataTest = test::SheetPageTest<CConfigMetadata>;

TEST_F(ConfigMetadataTest, FilledOnlyWhenFirstShownAndOkWritesTheEditsUncut) {
    m_config.URLFormat = "http://example.net/?u=%s";
    Open();
    QLineEdit& title = Child<QLineEdit>("kTitleFormatEditId");
    // Longer than the 256 characters the page talks of: nothing cuts it.
    const QString typed = QString(300, 'x') + "%t";
    title.clear();
    QTest::keyClicks(&title, typed);
    m_config.URLFormat = "loaded meanwhile";
    Revisit();
    EXPECT_EQ(title.text(), typed);
    Ok();
    EXPECT_EQ(m_config.TitleFormat, typed.toStdString());
    EXPECT_EQ(m_config.URLFormat, "http://example.net/?u=%s");
}

using ConfigDirectoryTest = test::SheetPageTest<CConfigDirectory>;

TEST_F(ConfigDirectoryTest, BoxesFollowTheRecordOnEveryActivationAndOkWritesThem) {
    Open();
    QCheckBox& publicServer = Child<QCheckBox>("kPublicServerCheckId");
    publicServer.click();
    m_config.ShoutcastRegister = 1;
    Revisit();
    EXPECT_TRUE(publicServer.isChecked());
    EXPECT_TRUE(Child<QCheckBox>("kShoutcastCheckId").isChecked());
    publicServer.click();
    Cancel();
    EXPECT_EQ(m_config.PublicServer, 1);

    Open();
    Child<QCheckBox>("kPublicServerCheckId").click();
    Ok();
    EXPECT_EQ(m_config.PublicServer, 0);
    EXPECT_EQ(m_config.ShoutcastRegister, 1);
}

class ConfigPlanTest : public test::SheetPageTest<CConfigPlan> {
protected:
    void Click(const char* radio) { Child<QRadioButton>(radio).click(); }
    // The user types into a weekday box.
    void Type(const char* list, const QString& text) {
        QLineEdit& edit = *List(list).lineEdit();
        edit.clear();
        QTest::keyClicks(&edit, text);
    }
    void Slot(const char* slot, int day, int start, int end) {
        Choose(List((std::string("k") + slot + "DayListId").c_str()), day);
        Choose(List((std::string("k") + slot + "StartListId").c_str()), start);
        Choose(List((std::string("k") + slot + "EndListId").c_str()), end);
    }
};

// Daily 9 PM to 12 PM stores 21 and 24; weekly slots store their days, and unused slots keep
// their hours. Slot 1 lists the days from Monday; slots 2 and 3 put "Select..." (no day) first.
TEST_F(ConfigPlanTest, SchedulesStoreTheirHoursAndDays) {
    m_config.BroadcastTime = {2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    Open();
    Click("kDailyRadioId");
    Choose(List("kDailyStartListId"), 20);
    Choose(List("kDailyEndListId"), 23);
    Ok();
    // Type, Day1..3, STime1..3, ETime1..3.
    EXPECT_EQ(m_config.BroadcastTime.ToArray(),
              (std::array<int32_t, 10>{1, 0, 4, 5, 21, 7, 8, 24, 10, 11}));

    m_config.BroadcastTime = {0, 0, 0, 0, 0, 5, 0, 0, 6, 0};
    Open();
    Click("kWeeklyRadioId");
    Slot("Slot1", 0, 10, 12);
    Slot("Slot2", 0, 8, 9);
    Slot("Slot3", 7, 1, 2);
    Ok();
    EXPECT_EQ(m_config.BroadcastTime.ToArray(),
              (std::array<int32_t, 10>{2, 1, 0, 7, 11, 5, 2, 13, 6, 3}));

    // A typed day that is no item's text is no day: slot 1 then keeps its hours, slot 2
    // writes them with day -1. A typed item text is that item.
    Open();
    Type("kSlot1DayListId", "Xday");
    Type("kSlot2DayListId", "Xday");
    Choose(List("kSlot2StartListId"), 3);
    Choose(List("kSlot2EndListId"), 4);
    Type("kSlot3DayListId", List("kSlot3DayListId").itemText(3));
    Ok();
    EXPECT_EQ(m_config.BroadcastTime.ToArray(),
              (std::array<int32_t, 10>{2, 0, -1, 3, 11, 4, 2, 13, 5, 3}));

    // Irregular keeps the stored days and hours.
    Open();
    Click("kIrregularRadioId");
    Ok();
    EXPECT_EQ(m_config.BroadcastTime.ToArray(),
              (std::array<int32_t, 10>{3, 0, -1, 3, 11, 4, 2, 13, 5, 3}));
}

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

// Users added and deleted reach the record at once (Cancel does not take them back), shown in
// added order until the next fill sorts them byte by byte; the switch waits for OK.
TEST_F(ConfigPrivateTest, UsersGoAtOnceWhileTheSwitchWaitsForOk) {
    test::RecordedBoxes boxes;
    m_config.PrivateUsers = {{"ann", "1"}};
    Open();
    EXPECT_FALSE(List().isEnabled());
    Child<QCheckBox>("kPrivateCheckId").click();
    EXPECT_TRUE(List().isEnabled());
    AddUser("zed", "z-pass");
    AddUser("Bob", "1");
    AddUser("bob", "2");
    EXPECT_EQ(Names(), QStringList({"ann", "zed", "Bob", "bob"}));
    EXPECT_EQ(m_config.PrivateUsers,
              Users({{"ann", "1"}, {"zed", "z-pass"}, {"Bob", "1"}, {"bob", "2"}}));
    EXPECT_TRUE(boxes.requests.empty());

    // A name already there: told, and nothing changes.
    AddUser("ann", "other");
    ASSERT_EQ(boxes.requests.size(), 1u);
    EXPECT_EQ(boxes.requests[0].text, res::LoadString(res::kStrPrivateUserExists));
    EXPECT_EQ(m_config.PrivateUsers.at("ann"), "1");
    // An empty password keeps the dialog open until the user gives one; Cancel adds nothing.
    test::OnNextModal([&boxes](QWidget* dialog) {
        dialog->findChild<QLineEdit*>("kUserNameEditId")->setText("cid");
        QTest::mouseClick(dialog->findChild<QPushButton*>("kAddButtonId"), Qt::LeftButton);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(boxes.requests.back().text, res::LoadString(res::kStrPrivateUserInvalid));
        QTest::mouseClick(dialog->findChild<QPushButton*>("kCancelButtonId"), Qt::LeftButton);
    });
    Click("kAddButtonId");
    EXPECT_EQ(m_config.PrivateUsers.count("cid"), 0u);

    // Deleting asks first; No keeps them.
    List().SelectRows({0, 2});
    boxes.answer = kIdNo;
    Click("kDeleteButtonId");
    EXPECT_EQ(boxes.requests.back().text, res::LoadString(res::kStrPrivateDeleteQuestion));
    EXPECT_EQ(m_config.PrivateUsers.size(), 4u);
    boxes.answer = kIdYes;
    Click("kDeleteButtonId");
    EXPECT_EQ(Names(), QStringList({"zed", "bob"}));
    EXPECT_EQ(m_config.PrivateUsers, Users({{"zed", "z-pass"}, {"bob", "2"}}));
    m_config.PrivateUsers["amy"] = "3";
    Revisit();
    EXPECT_EQ(Names(), QStringList({"amy", "bob", "zed"}));

    m_sheet->reject();
    EXPECT_EQ(m_config.PrivateBr, 0);
    EXPECT_EQ(m_config.PrivateUsers.size(), 3u);
    Open();
    Child<QCheckBox>("kPrivateCheckId").click();
    m_sheet->accept();
    EXPECT_EQ(m_config.PrivateBr, 1);
}

TEST_F(ConfigPrivateTest, WmaLocksThePageAndOkKeepsTheStoredSwitch) {
    m_config.Format = kFormatWma;
    m_config.PrivateBr = 1;
    Open();
    EXPECT_TRUE(Child<QCheckBox>("kPrivateCheckId").isChecked());
    EXPECT_FALSE(Child<QGroupBox>("kSettingsGroupId").isEnabled());
    m_sheet->accept();
    EXPECT_EQ(m_config.PrivateBr, 1);
    // Another format unlocks it on the next fill.
    m_config.Format = kFormatMp3;
    Open();
    EXPECT_TRUE(List().isEnabled());
}

}  // namespace
}  // namespace orvanta
