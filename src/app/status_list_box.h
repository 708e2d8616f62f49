// CStatusListBox: the status panel of the main window. A list of fixed rows that it paints
// itself: a header of badges with the listener counter, then label/value rows for the source,
// the ports, genre and language, byte totals, private broadcast, directory registration and the
// time on air, with separator lines between the groups. While the service runs, a timer
// refreshes the live rows twice a second and makes the ON AIR badge blink. It reads the station
// configuration and the monitor's status and changes neither.
#pragma once

#include "app/status_badges.h"
#include "config/station_config.h"
#include "service/service_status.h"

#include <QFont>
#include <QListWidget>
#include <QRect>
#include <QTimer>

#include <array>
#include <chrono>
#include <string>
#include <vector>

class QPainter;

namespace orvanta {

class CStatusListBox : public QListWidget {
    Q_OBJECT

public:
    static constexpr int kStatusListId = 1007;
    // One row per entry of the panel's row table.
    static constexpr int kRowCount = 16;
    static constexpr int kStatusTimerIntervalMs = 500;

    // The panel borrows all three; they must outlive it.
    CStatusListBox(const StationConfig& config, const ServiceStatus& status,
                   const CStatusBadges& badges, QWidget* parent = nullptr);

    // Empties the list and adds one item per row (text "LINE", the row's index as data).
    void PopulateRows();
    // The texts of the genre and language rows; shown at the next paint.
    void SetGenreText(const std::string& text) { m_genreText = text; }
    void SetLanguageText(const std::string& text) { m_languageText = text; }

    // Running: everything drawn lit, the time on air counted from now, the live rows refreshed
    // and ON AIR blinking every kStatusTimerIntervalMs.
    void StartStatusTimer();
    // Stopped: the last values stay, drawn unlit; the time on air reads 00:00:00.
    void StopStatusTimer();
    bool IsRunning() const { return m_running; }

    // One tick of the status timer: ON AIR lit or unlit in turn, and the source status, byte
    // totals and time on air redrawn.
    void OnStatusTimer();

    // What a row shows now: label and value of a label/value row, both empty for the header
    // and the separators.
    struct RowText {
        std::string label;
        std::string value;
    };
    // One entry per row, in display order.
    std::vector<RowText> RowTexts() const;
    // The header's listener counter, "( 3 / 10 )".
    std::string ListenerCounterText() const;
    // Whether the badge is drawn lit at the next paint. The header draws either the MP3/OGG
    // or the WMA badge, by the configured format.
    bool BadgeLit(CStatusBadges::Badge badge) const;
    // Where the header last drew the badge, in viewport coordinates; empty before the first
    // paint and for the format badge that is not shown.
    QRect BadgeRect(CStatusBadges::Badge badge) const;

private:
    class RowDelegate;

    // The value a label/value row shows now; "" for the other rows.
    std::string ValueText(int row) const;
    CStatusBadges::Badge FormatBadge() const;

    // Draws the row into the item's rectangle and remembers where the live parts went.
    void PaintRow(QPainter& painter, const QRect& itemRect, int row);
    void PaintHeader(QPainter& painter, const QRect& rect);
    void PaintSeparator(QPainter& painter, const QRect& rect, int width) const;
    void PaintValueRow(QPainter& painter, QRect rect, int row) const;

    const StationConfig& m_config;
    const ServiceStatus& m_status;
    const CStatusBadges& m_badges;
    std::string m_genreText;
    std::string m_languageText;
    // Where the rows and the header's parts were last drawn; the timer redraws the live rows
    // and ON AIR there.
    QRect m_sourceStatusRect;
    QRect m_onAirTimeRect;
    QRect m_receivedRect;
    QRect m_sentRect;
    QRect m_listenerCounterRect;
    std::array<QRect, CStatusBadges::kBadgeCount> m_badgeRects;
    std::chrono::steady_clock::time_point m_startTime;
    bool m_running = false;
    // ON AIR as the last tick left it; lit whenever the panel starts running.
    bool m_onAirLit = false;
    QFont m_valueFont;
    QTimer m_statusTimer;
};

}  // namespace orvanta
