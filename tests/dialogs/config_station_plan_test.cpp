// The Station, Metadata, Directory Server and Schedule pages driven for real (offscreen) in a
// tree property sheet, beside a page to switch away to: what they show of the record, what OK
// and Cancel leave in it, and what they do each time they become active again.
#include "app_ui/ui_test_support.h"
#include "config/station_config.h"
#include "dialogs/config_directory.h"
#include "dialogs/config_metadata.h"
#include "dialogs/config_plan.h"
#include "dialogs/config_station.h"
#include "platform/weekday_names.h"
#include "support/language_name.h"
#include "ui/tree_property_sheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace orvanta {
namespace {

template <class Page>
using PageTest = test::SheetPageTest<Page>;

// As the user closing a drop-down list on an item.
void Choose(QComboBox& list, int position) {
    list.setCurrentIndex(position);
    Q_EMIT list.activated(position);
}

QStringList Items(const QComboBox& list) {
    QStringList items;
    for (int i = 0; i < list.count(); ++i) {
        items << list.itemText(i);
    }
    return items;
}

using ConfigStationTest = PageTest<CConfigStation>;

TEST_F(ConfigStationTest, ListsShowTheRecordAndCodesNotOfferedShowTheFirstItem) {
    m_config.Genre = 2000;
    m_config.LangCode = 18;
    m_config.Generation = 3;
    m_config.Ment = 7;
    Open();

    QComboBox& genre = List("kGenreListId");
    ASSERT_EQ(genre.count(), 19);
    EXPECT_EQ(genre.itemText(18), "Old K-Pop");
    EXPECT_EQ(genre.itemData(18).toInt(), 1900);
    EXPECT_EQ(genre.currentText(), "Alternative");

    // The fixed table, less the languages the system has no name for, each by its own name.
    QComboBox& language = List("kLanguageListId");
    std::vector<int> offered;
    for (int i = 0; i < language.count(); ++i) {
        offered.push_back(language.itemData(i).toInt());
        EXPECT_EQ(language.itemText(i).toStdString(),
                  ShortLanguageName(static_cast<uint32_t>(offered.back())));
    }
    std::vector<int> named;
    for (const int id : CConfigStation::kLanguageIds) {
        if (!ShortLanguageName(static_cast<uint32_t>(id)).empty()) {
            named.push_back(id);
        }
    }
    EXPECT_EQ(offered, named);
    ASSERT_GE(offered.size(), 2u);
    EXPECT_EQ(language.currentData().toInt(), 18);
    EXPECT_EQ(language.currentText().toStdString(), ShortLanguageName(18));
    EXPECT_NE(language.currentText(), language.itemText(0));

    EXPECT_EQ(
        Items(List("kGenerationListId")),
        QStringList({"Not Selected", "All age groups", "Teens", "20's", "30's", "40's and over"}));
    EXPECT_EQ(List("kGenerationListId").currentText(), "20's");
    EXPECT_EQ(Items(List("kMentListId")),
              QStringList({"Not Selected", "With ment", "Without ment"}));
    EXPECT_EQ(List("kMentListId").currentIndex(), -1);

    Ok();
    EXPECT_EQ(m_config.Genre, 100);
    EXPECT_EQ(m_config.LangCode, 18);
    EXPECT_EQ(m_config.Generation, 3);
    EXPECT_EQ(m_config.Ment, -1);

    m_config.LangCode = 1033;
    Open();
    EXPECT_EQ(List("kLanguageListId").currentIndex(), 0);
    Ok();
    EXPECT_EQ(m_config.LangCode, 9);
}

TEST_F(ConfigStationTest, ChoicesReachTheRecordOnOkOnlyAndActivationDiscardsThem) {
    Open();
    Choose(List("kGenerationListId"), 4);
    Choose(List("kMentListId"), 2);
    Revisit();
    EXPECT_EQ(List("kGenerationListId").currentIndex(), 0);
    EXPECT_EQ(List("kMentListId").currentIndex(), 0);

    Choose(List("kGenerationListId"), 4);
    Cancel();
    EXPECT_EQ(m_config.Generation, 0);

    Open();
    Choose(List("kGenerationListId"), 4);
    Choose(List("kMentListId"), 2);
    Ok();
    EXPECT_EQ(m_config.Generation, 4);
    EXPECT_EQ(m_config.Ment, 2);
    Open();
    EXPECT_EQ(List("kGenerationListId").currentText(), "30's");
    EXPECT_EQ(List("kMentListId").currentText(), "Without ment");
}

TEST_F(ConfigStationTest, ClusterBoxWritesTheRecordAtOnceAndCancelKeepsIt) {
    Open();
    QCheckBox& cluster = Child<QCheckBox>("kClusterCheckId");
    EXPECT_EQ(cluster.text(), "This server is a cluster server");
    EXPECT_FALSE(cluster.isChecked());
    EXPECT_TRUE(List("kLanguageListId").isEnabled());

    Choose(List("kLanguageListId"), List("kLanguageListId").findData(18));
    Choose(List("kGenreListId"), List("kGenreListId").findData(700));
    Choose(List("kGenerationListId"), 2);
    cluster.click();
    EXPECT_EQ(m_config.Master, 0);
    EXPECT_EQ(m_config.LangCode, 18);
    EXPECT_EQ(m_config.Genre, 700);
    EXPECT_EQ(m_config.Generation, 2);
    for (const char* name :
         {"kLanguageListId", "kGenreListId", "kGenerationListId", "kMentListId"}) {
        EXPECT_FALSE(List(name).isEnabled()) << name;
    }
    EXPECT_FALSE(Child<QLabel>("kGenreLabelId").isEnabled());
    EXPECT_FALSE(Child<QLabel>("kGeneralNoteId").isEnabled());
    EXPECT_TRUE(cluster.isEnabled());
    Cancel();
    EXPECT_EQ(m_config.Master, 0);
    EXPECT_EQ(m_config.LangCode, 18);

    // A cluster member opens greyed out; clearing the box shows the record again, not what
    // the lists showed when it was checked.
    Open();
    QCheckBox& again = Child<QCheckBox>("kClusterCheckId");
    EXPECT_TRUE(again.isChecked());
    EXPECT_FALSE(List("kGenreListId").isEnabled());
    m_config.Genre = 300;
    again.click();
    EXPECT_EQ(m_config.Master, 1);
    EXPECT_TRUE(List("kGenreListId").isEnabled());
    EXPECT_EQ(List("kGenreListId").currentText(), "Country");
}

using ConfigMetadataTest = PageTest<CConfigMetadata>;

TEST_F(ConfigMetadataTest, FilledOnlyWhenFirstShownAndOkWritesTheEditsUncut) {
    m_config.TitleFormat = "My Station : %t";
    m_config.URLFormat = "http://example.net/?u=%s";
    Open();
    QLineEdit& title = Child<QLineEdit>("kTitleFormatEditId");
    QLineEdit& url = Child<QLineEdit>("kUrlFormatEditId");
    EXPECT_EQ(title.text(), "My Station : %t");
    EXPECT_EQ(url.text(), "http://example.net/?u=%s");

    // Longer than the 256 characters the page talks of: nothing cuts it.
    const QString typed = QString(300, 'x') + "%t";
    title.clear();
    QTest::keyClicks(&title, typed);
    m_config.URLFormat = "loaded meanwhile";
    Revisit();
    EXPECT_EQ(title.text(), typed);
    EXPECT_EQ(url.text(), "http://example.net/?u=%s");

    Ok();
    EXPECT_EQ(m_config.TitleFormat, typed.toStdString());
    EXPECT_EQ(m_config.URLFormat, "http://example.net/?u=%s");
}

using ConfigDirectoryTest = PageTest<CConfigDirectory>;

TEST_F(ConfigDirectoryTest, BoxesFollowTheRecordOnEveryActivationAndOkWritesThem) {
    Open();
    QCheckBox& publicServer = Child<QCheckBox>("kPublicServerCheckId");
    QCheckBox& shoutcast = Child<QCheckBox>("kShoutcastCheckId");
    EXPECT_TRUE(publicServer.isChecked());
    EXPECT_FALSE(shoutcast.isChecked());

    publicServer.click();
    m_config.ShoutcastRegister = 1;
    Revisit();
    EXPECT_TRUE(publicServer.isChecked());
    EXPECT_TRUE(shoutcast.isChecked());

    publicServer.click();
    Cancel();
    EXPECT_EQ(m_config.PublicServer, 1);

    Open();
    Child<QCheckBox>("kPublicServerCheckId").click();
    Ok();
    EXPECT_EQ(m_config.PublicServer, 0);
    EXPECT_EQ(m_config.ShoutcastRegister, 1);
}

class ConfigPlanTest : public PageTest<CConfigPlan> {
protected:
    static constexpr const char* kRowParts[4][4] = {
        {"kDailyFromLabelId", "kDailyStartListId", "kDailyToLabelId", "kDailyEndListId"},
        {"kSlot1FromLabelId", "kSlot1StartListId", "kSlot1ToLabelId", "kSlot1EndListId"},
        {"kSlot2FromLabelId", "kSlot2StartListId", "kSlot2ToLabelId", "kSlot2EndListId"},
        {"kSlot3FromLabelId", "kSlot3StartListId", "kSlot3ToLabelId", "kSlot3EndListId"},
    };
    static constexpr const char* kDayLists[3] = {"kSlot1DayListId", "kSlot2DayListId",
                                                 "kSlot3DayListId"};

    // Which rows are enabled ('1') and whether the weekday lists are: "rows 0100 days 1". A
    // row whose parts disagree shows '?'.
    std::string Enabled() {
        std::string rows;
        for (const auto& parts : kRowParts) {
            int enabled = 0;
            for (const char* part : parts) {
                enabled += Child<QWidget>(part).isEnabled() ? 1 : 0;
            }
            rows += enabled == 4 ? '1' : (enabled == 0 ? '0' : '?');
        }
        int days = 0;
        for (const char* list : kDayLists) {
            days += List(list).isEnabled() ? 1 : 0;
        }
        return "rows " + rows + " days " + (days == 3 ? "1" : (days == 0 ? "0" : "?"));
    }
    void Click(const char* radio) { Child<QRadioButton>(radio).click(); }
    // The user types into a weekday box.
    void Type(const char* list, const QString& text) {
        QLineEdit& edit = *List(list).lineEdit();
        edit.clear();
        QTest::keyClicks(&edit, text);
    }
};

TEST_F(ConfigPlanTest, HourListsRunFromOneAmToTwelvePmAndDaysFromMonday) {
    Open();
    const QStringList hours = Items(List("kDailyStartListId"));
    ASSERT_EQ(hours.size(), 24);
    EXPECT_EQ(hours[0], " 1 AM");
    EXPECT_EQ(hours[10], "11 AM");
    EXPECT_EQ(hours[11], "12 AM");
    EXPECT_EQ(hours[12], " 1 PM");
    EXPECT_EQ(hours[22], "11 PM");
    EXPECT_EQ(hours[23], "12 PM");
    for (const auto& parts : kRowParts) {
        EXPECT_EQ(Items(List(parts[1])), hours) << parts[1];
        EXPECT_EQ(Items(List(parts[3])), hours) << parts[3];
    }

    QStringList names;
    for (const std::string& name : platform::WeekdayNames()) {
        names << QString::fromStdString(name);
    }
    ASSERT_EQ(names.size(), 7);
    EXPECT_EQ(Items(List("kSlot1DayListId")), names);
    EXPECT_EQ(Items(List("kSlot2DayListId")), QStringList("Select...") + names);
    EXPECT_EQ(Items(List("kSlot3DayListId")), QStringList("Select...") + names);
}

TEST_F(ConfigPlanTest, DailyNinePmToTwelvePmStores21And24) {
    m_config.BroadcastTime = {2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    Open();
    Click("kDailyRadioId");
    Choose(List("kDailyStartListId"), 20);
    Choose(List("kDailyEndListId"), 23);
    Ok();
    EXPECT_EQ(m_config.BroadcastTime.ToArray(),
              (std::array<int32_t, 10>{1, 0, 4, 5, 21, 7, 8, 24, 10, 11}));
}

TEST_F(ConfigPlanTest, WeeklySlotsStoreTheirDaysAndUnusedSlotsKeepTheirHours) {
    m_config.BroadcastTime = {0, 0, 0, 0, 0, 5, 0, 0, 6, 0};
    Open();
    Click("kWeeklyRadioId");
    Choose(List("kSlot1DayListId"), 0);
    Choose(List("kSlot1StartListId"), 10);
    Choose(List("kSlot1EndListId"), 12);
    Choose(List("kSlot2DayListId"), 0);
    Choose(List("kSlot2StartListId"), 8);
    Choose(List("kSlot2EndListId"), 9);
    Choose(List("kSlot3DayListId"), 7);
    Choose(List("kSlot3StartListId"), 1);
    Choose(List("kSlot3EndListId"), 2);
    Ok();
    // Type, Day1..3, STime1..3, ETime1..3.
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
}

TEST_F(ConfigPlanTest, RowsFollowTheTypeAndTheChosenDaysAndActivationRefills) {
    m_config.BroadcastTime = {2, 3, 0, 5, 1, 2, 3, 4, 5, 6};
    const BroadcastTimeBlock stored = m_config.BroadcastTime;
    Open();
    EXPECT_TRUE(Child<QRadioButton>("kWeeklyRadioId").isChecked());
    EXPECT_EQ(Enabled(), "rows 0101 days 1");
    EXPECT_EQ(List("kSlot1DayListId").currentIndex(), 2);
    EXPECT_EQ(List("kSlot3DayListId").currentIndex(), 5);

    Choose(List("kSlot2DayListId"), 2);
    EXPECT_EQ(Enabled(), "rows 0111 days 1");
    Choose(List("kSlot2DayListId"), 0);
    EXPECT_EQ(Enabled(), "rows 0101 days 1");
    // Slot 1's day list has no such reaction.
    Choose(List("kSlot1DayListId"), 0);
    EXPECT_EQ(Enabled(), "rows 0101 days 1");

    Click("kDailyRadioId");
    EXPECT_EQ(Enabled(), "rows 1000 days 0");
    Click("kWeeklyRadioId");
    EXPECT_EQ(Enabled(), "rows 0100 days 1");
    Click("kAroundTheClockRadioId");
    EXPECT_EQ(Enabled(), "rows 0000 days 0");
    Click("kIrregularRadioId");
    EXPECT_EQ(Enabled(), "rows 0000 days 0");

    Revisit();
    EXPECT_TRUE(Child<QRadioButton>("kWeeklyRadioId").isChecked());
    EXPECT_EQ(Enabled(), "rows 0101 days 1");

    Click("kIrregularRadioId");
    Ok();
    BroadcastTimeBlock expected = stored;
    expected.Type = 3;
    EXPECT_EQ(m_config.BroadcastTime, expected);

    m_config.BroadcastTime.Type = 7;
    Open();
    for (const char* radio :
         {"kAroundTheClockRadioId", "kDailyRadioId", "kWeeklyRadioId", "kIrregularRadioId"}) {
        EXPECT_FALSE(Child<QRadioButton>(radio).isChecked()) << radio;
    }
    EXPECT_EQ(Enabled(), "rows 0000 days 0");
}

TEST(WeekdayNamesTest, SevenNamesMondayFirstInTheLocalesLanguage) {
    EXPECT_EQ(platform::WeekdayNames("de_DE"),
              (std::vector<std::string>{"Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag",
                                        "Samstag", "Sonntag"}));
    const std::vector<std::string> korean = platform::WeekdayNames("ko_KR");
    ASSERT_EQ(korean.size(), 7u);
    EXPECT_EQ(korean.front(), "월요일");
    EXPECT_EQ(korean.back(), "일요일");
}

}  // namespace
}  // namespace orvanta
