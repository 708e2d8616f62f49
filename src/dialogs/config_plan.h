// CConfigPlan: the Schedule page of the configuration sheet, when the station is on the air:
// around the clock, daily between two hours, weekly on up to three weekdays each with its own
// hours, or irregularly. It edits the BroadcastTime block, which the service gets as it is.
#pragma once

#include "config/station_config.h"
#include "ui/tree_property_sheet.h"

#include <array>

class QComboBox;
class QLabel;
class QRadioButton;

namespace orvanta {

class CConfigPlan : public CPropertyPage {
    Q_OBJECT

public:
    static constexpr int kDialogId = 268;
    static constexpr int kAroundTheClockRadioId = 270;
    static constexpr int kDailyRadioId = 271;
    static constexpr int kWeeklyRadioId = 274;
    static constexpr int kIrregularRadioId = 1014;
    // Daily row.
    static constexpr int kDailyFromLabelId = 272;
    static constexpr int kDailyToLabelId = 273;
    static constexpr int kDailyStartListId = 281;
    static constexpr int kDailyEndListId = 285;
    // Weekly slots 1 to 3.
    static constexpr int kSlot1DayListId = 290;
    static constexpr int kSlot1FromLabelId = 275;
    static constexpr int kSlot1ToLabelId = 278;
    static constexpr int kSlot1StartListId = 282;
    static constexpr int kSlot1EndListId = 287;
    static constexpr int kSlot2DayListId = 292;
    static constexpr int kSlot2FromLabelId = 276;
    static constexpr int kSlot2ToLabelId = 279;
    static constexpr int kSlot2StartListId = 283;
    static constexpr int kSlot2EndListId = 288;
    static constexpr int kSlot3DayListId = 293;
    static constexpr int kSlot3FromLabelId = 277;
    static constexpr int kSlot3ToLabelId = 280;
    static constexpr int kSlot3StartListId = 284;
    static constexpr int kSlot3EndListId = 289;

    // Schedule types, as BroadcastTime.Type stores them.
    static constexpr int kTypeAroundTheClock = 0;
    static constexpr int kTypeDaily = 1;
    static constexpr int kTypeWeekly = 2;
    static constexpr int kTypeIrregular = 3;

    // An hour list has an item per hour of the day; the stored hour is the position + 1.
    static constexpr int kHoursPerDay = 24;

    explicit CConfigPlan(StationConfig& config, QWidget* parent = nullptr);

    // The page refills itself every time it becomes active (the first time included).
    void OnSetActive() override;
    void OnOK() override;

    // The text of hour list position `position` (0 to 23): " 1 AM" to "12 AM", then " 1 PM" to
    // "12 PM", the twelfth item reading 12 AM.
    static QString HourText(int position);

private:
    // Row 0 is the daily row, rows 1 to 3 the weekly slots 1 to 3.
    static constexpr int kRowCount = 4;
    static constexpr int kSlotCount = 3;
    struct Row {
        QLabel* from = nullptr;
        QComboBox* start = nullptr;
        QLabel* to = nullptr;
        QComboBox* end = nullptr;
    };

    void Fill();
    void OnTypeChosen(int type);
    // The user closed the weekday list of weekly slot `slot` (1 or 2) on an item: the slot's
    // hours are used only when a day is chosen.
    void OnSlotDayChosen(int slot, int position);
    void EnableRow(int row, bool enable);
    void EnableWeekdayLists(bool enable);
    void CheckType(int type);
    // The position of what the weekday box of `slot` shows: typed text counts when it is an
    // item's text; -1 for anything else.
    int DayPosition(int slot) const;

    StationConfig& m_config;
    int m_type = kTypeAroundTheClock;
    std::array<QRadioButton*, 4> m_typeRadios{};
    std::array<Row, kRowCount> m_rows{};
    std::array<QComboBox*, kSlotCount> m_days{};
};

}  // namespace orvanta
