#include "dialogs/config_plan.h"

#include "platform/weekday_names.h"
#include "res/string_table.h"
#include "ui/text.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include <array>
#include <iterator>
#include <string>
#include <string_view>

namespace orvanta {

namespace {

// Selects `position`, or nothing when the list has no such position.
void SelectPosition(QComboBox& list, int position) {
    list.setCurrentIndex(position >= 0 && position < list.count() ? position : -1);
}

// A stored hour is the list position + 1; a stored 0 (no hour yet) shows the first item.
int HourPosition(int hour) {
    return hour == 0 ? 0 : hour - 1;
}

// The hour of a list: position + 1, 0 without a selection.
int32_t SelectedHour(const QComboBox& list) {
    return list.currentIndex() + 1;
}

QComboBox* NewList(const char* name, QWidget* parent) {
    auto* list = new QComboBox(parent);
    list->setObjectName(name);
    list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return list;
}

QLabel* NewLabel(uint32_t textId, const char* name, QWidget* parent) {
    auto* label = new QLabel(Text(textId), parent);
    label->setObjectName(name);
    return label;
}

}  // namespace

QString CConfigPlan::HourText(int position) {
    // Twelve AM items, the last of which (position 11) is the hour after 11 AM, then twelve PM
    // items; the hour of the day is position + 1.
    const bool afternoon = position >= kHoursPerDay / 2;
    const int hour = position % (kHoursPerDay / 2) + 1;
    return QString::fromStdString(res::FormatString(
        res::LoadString(afternoon ? res::kStrHourPm : res::kStrHourAm), {std::to_string(hour)}));
}

CConfigPlan::CConfigPlan(StationConfig& config, QWidget* parent)
    : CPropertyPage(Text(res::kStrPlanTitle), parent), m_config(config) {
    setObjectName("kDialogId");
    auto* group = new QGroupBox(Text(res::kStrPlanGroup), this);

    struct TypeChoice {
        uint32_t textId;
        const char* name;
    };
    static constexpr TypeChoice kTypeChoices[] = {
        {res::kStrPlanAroundTheClock, "kAroundTheClockRadioId"},
        {res::kStrPlanDaily, "kDailyRadioId"},
        {res::kStrPlanWeekly, "kWeeklyRadioId"},
        {res::kStrPlanIrregular, "kIrregularRadioId"},
    };
    static_assert(std::size(kTypeChoices) == std::tuple_size_v<decltype(m_typeRadios)>);
    for (int type = 0; type < static_cast<int>(m_typeRadios.size()); ++type) {
        const TypeChoice& choice = kTypeChoices[type];
        auto* radio = new QRadioButton(Text(choice.textId), group);
        radio->setObjectName(choice.name);
        connect(radio, &QRadioButton::clicked, this, [this, type] { OnTypeChosen(type); });
        m_typeRadios[static_cast<size_t>(type)] = radio;
    }

    struct RowNames {
        uint32_t fromTextId;
        const char* from;
        const char* start;
        const char* to;
        const char* end;
    };
    static constexpr RowNames kRowNames[kRowCount] = {
        {res::kStrPlanDailyFrom, "kDailyFromLabelId", "kDailyStartListId", "kDailyToLabelId",
         "kDailyEndListId"},
        {res::kStrPlanWeeklyFrom, "kSlot1FromLabelId", "kSlot1StartListId", "kSlot1ToLabelId",
         "kSlot1EndListId"},
        {res::kStrPlanWeeklyFrom, "kSlot2FromLabelId", "kSlot2StartListId", "kSlot2ToLabelId",
         "kSlot2EndListId"},
        {res::kStrPlanWeeklyFrom, "kSlot3FromLabelId", "kSlot3StartListId", "kSlot3ToLabelId",
         "kSlot3EndListId"},
    };
    for (size_t row = 0; row < m_rows.size(); ++row) {
        const RowNames& names = kRowNames[row];
        m_rows[row] =
            Row{NewLabel(names.fromTextId, names.from, group), NewList(names.start, group),
                NewLabel(res::kStrPlanTo, names.to, group), NewList(names.end, group)};
    }

    static constexpr const char* kDayListNames[kSlotCount] = {"kSlot1DayListId", "kSlot2DayListId",
                                                              "kSlot3DayListId"};
    for (size_t slot = 0; slot < m_days.size(); ++slot) {
        QComboBox* days = NewList(kDayListNames[slot], group);
        // The user may type a day; typing never adds an item.
        days->setEditable(true);
        days->setInsertPolicy(QComboBox::NoInsert);
        m_days[slot] = days;
    }
    // Slots 2 and 3 may be left unused; slot 1 is the weekly schedule's first day.
    for (const int slot : {1, 2}) {
        connect(m_days[static_cast<size_t>(slot)], &QComboBox::activated, this,
                [this, slot](int position) { OnSlotDayChosen(slot, position); });
    }

    // Column 0 indents the rows under their radio buttons; column 1 holds the weekday lists.
    auto* grid = new QGridLayout(group);
    constexpr int kIndent = 20;
    constexpr int kColumns = 6;
    grid->setColumnMinimumWidth(0, kIndent);
    grid->setColumnStretch(kColumns, 1);
    const auto addRow = [grid](int gridRow, const Row& row) {
        grid->addWidget(row.from, gridRow, 2);
        grid->addWidget(row.start, gridRow, 3);
        grid->addWidget(row.to, gridRow, 4);
        grid->addWidget(row.end, gridRow, 5);
    };
    int gridRow = 0;
    grid->addWidget(m_typeRadios[kTypeAroundTheClock], gridRow++, 0, 1, kColumns);
    grid->addWidget(m_typeRadios[kTypeDaily], gridRow++, 0, 1, kColumns);
    addRow(gridRow++, m_rows[0]);
    grid->addWidget(m_typeRadios[kTypeWeekly], gridRow++, 0, 1, kColumns);
    for (size_t slot = 0; slot < m_days.size(); ++slot) {
        grid->addWidget(m_days[slot], gridRow, 1);
        addRow(gridRow++, m_rows[slot + 1]);
    }
    grid->addWidget(m_typeRadios[kTypeIrregular], gridRow++, 0, 1, kColumns);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addStretch(1);
}

void CConfigPlan::OnSetActive() {
    Fill();
}

void CConfigPlan::Fill() {
    for (int row = 0; row < kRowCount; ++row) {
        EnableRow(row, false);
    }
    for (const Row& row : m_rows) {
        row.start->clear();
        row.end->clear();
    }
    for (QComboBox* days : m_days) {
        days->clear();
    }

    for (const Row& row : m_rows) {
        for (int position = 0; position < kHoursPerDay; ++position) {
            row.start->addItem(HourText(position));
            row.end->addItem(HourText(position));
        }
    }
    // Slot 1 stores its day as position + 1; slots 2 and 3 lead with "Select..." (unused) and
    // store the position itself, so in all three 1 is Monday and 7 Sunday.
    m_days[1]->addItem(Text(res::kStrSelectWeekday));
    m_days[2]->addItem(Text(res::kStrSelectWeekday));
    for (const std::string& name : platform::WeekdayNames()) {
        for (QComboBox* days : m_days) {
            days->addItem(QString::fromStdString(name));
        }
    }

    const BroadcastTimeBlock& time = m_config.BroadcastTime;
    // The daily row and weekly slot 1 are one pair of fields in the record.
    for (const Row* row : {&m_rows[0], &m_rows[1]}) {
        SelectPosition(*row->start, HourPosition(time.STime1));
        SelectPosition(*row->end, HourPosition(time.ETime1));
    }
    SelectPosition(*m_rows[2].start, HourPosition(time.STime2));
    SelectPosition(*m_rows[2].end, HourPosition(time.ETime2));
    SelectPosition(*m_rows[3].start, HourPosition(time.STime3));
    SelectPosition(*m_rows[3].end, HourPosition(time.ETime3));
    SelectPosition(*m_days[0], time.Day1 <= 0 ? 0 : time.Day1 - 1);
    SelectPosition(*m_days[1], time.Day2);
    SelectPosition(*m_days[2], time.Day3);

    EnableWeekdayLists(false);
    if (time.Type == kTypeDaily) {
        EnableRow(0, true);
    } else if (time.Type == kTypeWeekly) {
        EnableWeekdayLists(true);
        const int days[kSlotCount] = {time.Day1, time.Day2, time.Day3};
        for (int slot = 0; slot < kSlotCount; ++slot) {
            if (days[slot] != 0) {
                EnableRow(slot + 1, true);
            }
        }
    }

    m_type = time.Type;
    CheckType(time.Type);
}

void CConfigPlan::OnTypeChosen(int type) {
    EnableRow(0, type == kTypeDaily);
    // Choosing weekly offers slot 1 only; slots 2 and 3 open as their days are chosen.
    EnableRow(1, type == kTypeWeekly);
    EnableRow(2, false);
    EnableRow(3, false);
    EnableWeekdayLists(type == kTypeWeekly);
    m_type = type;
}

void CConfigPlan::OnSlotDayChosen(int slot, int position) {
    EnableRow(slot + 1, position >= 1);
}

void CConfigPlan::EnableRow(int row, bool enable) {
    const Row& parts = m_rows[static_cast<size_t>(row)];
    parts.from->setEnabled(enable);
    parts.start->setEnabled(enable);
    parts.to->setEnabled(enable);
    parts.end->setEnabled(enable);
}

void CConfigPlan::EnableWeekdayLists(bool enable) {
    for (QComboBox* days : m_days) {
        days->setEnabled(enable);
    }
}

void CConfigPlan::CheckType(int type) {
    // Radio buttons keep one of them checked; a type outside the four checks none.
    for (QRadioButton* radio : m_typeRadios) {
        radio->setAutoExclusive(false);
    }
    for (size_t i = 0; i < m_typeRadios.size(); ++i) {
        m_typeRadios[i]->setChecked(static_cast<int>(i) == type);
    }
    for (QRadioButton* radio : m_typeRadios) {
        radio->setAutoExclusive(true);
    }
}

int CConfigPlan::DayPosition(int slot) const {
    const QComboBox& days = *m_days[static_cast<size_t>(slot)];
    return days.findText(days.currentText(), Qt::MatchFixedString);
}

void CConfigPlan::OnOK() {
    BroadcastTimeBlock& time = m_config.BroadcastTime;
    time.Type = m_type;
    if (m_type == kTypeDaily) {
        time.Day1 = 0;
        time.STime1 = SelectedHour(*m_rows[0].start);
        time.ETime1 = SelectedHour(*m_rows[0].end);
    } else if (m_type == kTypeWeekly) {
        // Hours of a slot without a day keep their stored values.
        time.Day1 = DayPosition(0) + 1;
        if (time.Day1 != 0) {
            time.STime1 = SelectedHour(*m_rows[1].start);
            time.ETime1 = SelectedHour(*m_rows[1].end);
        }
        time.Day2 = DayPosition(1);
        if (time.Day2 != 0) {
            time.STime2 = SelectedHour(*m_rows[2].start);
            time.ETime2 = SelectedHour(*m_rows[2].end);
        }
        time.Day3 = DayPosition(2);
        if (time.Day3 != 0) {
            time.STime3 = SelectedHour(*m_rows[3].start);
            time.ETime3 = SelectedHour(*m_rows[3].end);
        }
    }
}

}  // namespace orvanta
