#include "app/status_list_box.h"

#include "res/string_table.h"
#include "startup/status_text.h"
#include "ui/text.h"

#include <QColor>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>
#include <QStyledItemDelegate>

#include <algorithm>

namespace orvanta {

namespace {

constexpr QRgb kLitColour = qRgb(84, 151, 216);
constexpr QRgb kUnlitColour = qRgb(45, 92, 137);
constexpr QRgb kBackgroundColour = qRgb(0, 0, 0);

// Rows keep this distance from the list's left and right edges; value rows keep it again
// between the value and the right edge.
constexpr int kRowMargin = 7;
// Value rows: the colon this far right of the label's start, the value 10 pixels beyond it.
constexpr int kColonOffset = 150;
constexpr int kValueOffset = 10;
constexpr double kValueFontPoints = 10.0;
// Header: badges this far below the row's top and this far apart; the padlock and the
// listener icon are taller and sit higher to share the others' middle.
constexpr int kBadgeTop = 4;
constexpr int kBadgeGap = 4;
constexpr int kPadlockRaise = 2;
constexpr int kListenerRaise = 1;

enum class RowKind {
    kHeader,
    kSeparator,
    kSourceStatus,
    kSourcePort,
    kClientPort,
    kGenre,
    kLanguage,
    kReceived,
    kSent,
    kPrivateBroadcast,
    kShoutcastRegister,
    kOnAirTime,
};

struct StatusRow {
    RowKind kind;
    int height;      // pixels
    int parameter;   // the line width of a separator
    uint32_t label;  // string id of a label/value row's label
};

constexpr std::array<StatusRow, CStatusListBox::kRowCount> kStatusRows = {{
    {RowKind::kHeader, 20, 0, 0},
    {RowKind::kSeparator, 2, 2, 0},
    {RowKind::kSourceStatus, 16, 0, res::kStrLabelSourceStatus},
    {RowKind::kSourcePort, 16, 0, res::kStrLabelSourcePort},
    {RowKind::kClientPort, 16, 0, res::kStrLabelClientPort},
    {RowKind::kSeparator, 2, 1, 0},
    {RowKind::kGenre, 16, 0, res::kStrLabelGenre},
    {RowKind::kLanguage, 16, 0, res::kStrLabelLanguage},
    {RowKind::kSeparator, 2, 1, 0},
    {RowKind::kReceived, 16, 0, res::kStrLabelReceived},
    {RowKind::kSent, 16, 0, res::kStrLabelSent},
    {RowKind::kSeparator, 2, 1, 0},
    {RowKind::kPrivateBroadcast, 16, 0, res::kStrLabelPrivateBroadcast},
    {RowKind::kShoutcastRegister, 16, 0, res::kStrLabelShoutcastRegister},
    {RowKind::kSeparator, 2, 1, 0},
    {RowKind::kOnAirTime, 16, 0, res::kStrLabelOnAirTime},
}};

bool IsRow(int row) {
    return row >= 0 && row < CStatusListBox::kRowCount;
}

const StatusRow& RowAt(int row) {
    return kStatusRows[static_cast<size_t>(row)];
}

bool IsValueRow(int row) {
    return IsRow(row) && RowAt(row).label != 0;
}

QColor StateColour(bool running) {
    return QColor(running ? kLitColour : kUnlitColour);
}

// ON AIR alternates between lit and unlit with every tick of any running panel, for the whole
// life of the process; the first tick ever shows it lit. The panel lives on the user-interface
// thread only.
bool g_onAirBlinkLit = true;

}  // namespace

// Paints each item as its row of the table; the selection and focus are never drawn, and the
// item's text is never shown.
class CStatusListBox::RowDelegate : public QStyledItemDelegate {
public:
    explicit RowDelegate(CStatusListBox& panel) : QStyledItemDelegate(&panel), m_panel(panel) {}

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override {
        const int row = index.data(Qt::UserRole).toInt();
        return {0, IsRow(row) ? RowAt(row).height : 0};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const int row = index.data(Qt::UserRole).toInt();
        if (painter != nullptr && IsRow(row)) {
            m_panel.PaintRow(*painter, option.rect, row);
        }
    }

private:
    CStatusListBox& m_panel;
};

CStatusListBox::CStatusListBox(const StationConfig& config, const ServiceStatus& status,
                               const CStatusBadges& badges, QWidget* parent)
    : QListWidget(parent), m_config(config), m_status(status), m_badges(badges) {
    setObjectName(QStringLiteral("kStatusListId"));
    setItemDelegate(new RowDelegate(*this));
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    // The whole list area is black; rows draw only their lines, badges and texts on it.
    QPalette colours = palette();
    colours.setColor(QPalette::Base, QColor(kBackgroundColour));
    setPalette(colours);
    viewport()->setAutoFillBackground(true);

    m_valueFont = QFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
    m_valueFont.setPointSizeF(kValueFontPoints);

    m_statusTimer.setInterval(kStatusTimerIntervalMs);
    connect(&m_statusTimer, &QTimer::timeout, this, &CStatusListBox::OnStatusTimer);
}

void CStatusListBox::PopulateRows() {
    clear();
    for (int row = 0; row < kRowCount; ++row) {
        auto* item = new QListWidgetItem(QStringLiteral("LINE"), this);
        item->setData(Qt::UserRole, row);
        item->setFlags(Qt::ItemIsEnabled);
    }
}

void CStatusListBox::StartStatusTimer() {
    m_running = true;
    m_onAirLit = true;
    m_startTime = std::chrono::steady_clock::now();
    m_statusTimer.start();
    viewport()->update();
}

void CStatusListBox::StopStatusTimer() {
    m_statusTimer.stop();
    m_running = false;
    viewport()->update();
}

void CStatusListBox::OnStatusTimer() {
    if (!m_running) {
        return;
    }
    m_onAirLit = g_onAirBlinkLit;
    g_onAirBlinkLit = !g_onAirBlinkLit;
    QWidget* area = viewport();
    for (const QRect& rect : {BadgeRect(CStatusBadges::kOnAir), m_sourceStatusRect, m_receivedRect,
                              m_sentRect, m_onAirTimeRect}) {
        if (!rect.isEmpty()) {
            area->update(rect);
        }
    }
}

std::vector<CStatusListBox::RowText> CStatusListBox::RowTexts() const {
    std::vector<RowText> texts(kRowCount);
    for (int row = 0; row < kRowCount; ++row) {
        if (IsValueRow(row)) {
            texts[static_cast<size_t>(row)] = {res::LoadString(RowAt(row).label), ValueText(row)};
        }
    }
    return texts;
}

std::string CStatusListBox::ListenerCounterText() const {
    return FormatListenerCounter(m_status.listenerCount.load(std::memory_order_relaxed),
                                 m_config.MaxClient);
}

CStatusBadges::Badge CStatusListBox::FormatBadge() const {
    return m_config.Format == kFormatMp3 || m_config.Format == kFormatOggVorbis
               ? CStatusBadges::kFormatMp3Ogg
               : CStatusBadges::kFormatWma;
}

bool CStatusListBox::BadgeLit(CStatusBadges::Badge badge) const {
    if (!m_running) {
        return false;
    }
    switch (badge) {
        case CStatusBadges::kOnAir:
            return m_onAirLit;
        case CStatusBadges::kCluster:
            // A server that is not the master is one of a cluster.
            return m_config.Master == 0;
        case CStatusBadges::kFormatMp3Ogg:
        case CStatusBadges::kFormatWma:
            return badge == FormatBadge();
        case CStatusBadges::kPadlock:
            return m_config.PrivateBr != 0;
        case CStatusBadges::kListener:
            return true;
    }
    return false;
}

QRect CStatusListBox::BadgeRect(CStatusBadges::Badge badge) const {
    return m_badgeRects[static_cast<size_t>(badge)];
}

std::string CStatusListBox::ValueText(int row) const {
    if (!IsRow(row)) {
        return {};
    }
    // WMA streams are never private and never listed in the directory.
    const bool wma = m_config.Format == kFormatWma;
    const auto yesNo = [](bool yes) { return res::LoadString(yes ? res::kStrYes : res::kStrNo); };
    switch (RowAt(row).kind) {
        case RowKind::kHeader:
        case RowKind::kSeparator:
            return {};
        case RowKind::kSourceStatus:
            return res::LoadString(m_status.sourceConnected.load(std::memory_order_relaxed) != 0
                                       ? res::kStrSourceConnected
                                       : res::kStrSourceNotConnected);
        case RowKind::kSourcePort:
            // Sources connect one port above the listeners.
            return std::to_string(int64_t{m_config.Port} + 1);
        case RowKind::kClientPort:
            return std::to_string(m_config.Port);
        case RowKind::kGenre:
            return m_genreText;
        case RowKind::kLanguage:
            return m_languageText;
        case RowKind::kReceived:
            return FormatMegabytes(m_status.totalReceivedBytes.load(std::memory_order_relaxed));
        case RowKind::kSent:
            return FormatMegabytes(m_status.totalSentBytes.load(std::memory_order_relaxed));
        case RowKind::kPrivateBroadcast:
            return yesNo(m_config.PrivateBr != 0 && !wma);
        case RowKind::kShoutcastRegister:
            return yesNo(!wma && m_config.ShoutcastRegister != 0);
        case RowKind::kOnAirTime:
            if (!m_running) {
                return FormatOnAirTime(0);
            }
            return FormatOnAirTime(
                static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(
                                           std::chrono::steady_clock::now() - m_startTime)
                                           .count()));
    }
    return {};
}

void CStatusListBox::PaintRow(QPainter& painter, const QRect& itemRect, int row) {
    const StatusRow& entry = RowAt(row);
    const QRect rect = itemRect.adjusted(kRowMargin, 0, -kRowMargin, 0);
    painter.save();
    switch (entry.kind) {
        case RowKind::kHeader:
            PaintHeader(painter, rect);
            break;
        case RowKind::kSeparator:
            PaintSeparator(painter, rect, entry.parameter);
            break;
        case RowKind::kSourceStatus:
            m_sourceStatusRect = itemRect;
            PaintValueRow(painter, rect, row);
            break;
        case RowKind::kReceived:
            m_receivedRect = itemRect;
            PaintValueRow(painter, rect, row);
            break;
        case RowKind::kSent:
            m_sentRect = itemRect;
            PaintValueRow(painter, rect, row);
            break;
        case RowKind::kOnAirTime:
            m_onAirTimeRect = itemRect;
            PaintValueRow(painter, rect, row);
            break;
        default:
            PaintValueRow(painter, rect, row);
            break;
    }
    painter.restore();
}

void CStatusListBox::PaintHeader(QPainter& painter, const QRect& rect) {
    m_badgeRects = {};
    int left = rect.left();
    const auto place = [&](CStatusBadges::Badge badge, int raise) {
        const QRect where(QPoint(left, rect.top() + kBadgeTop - raise), CStatusBadges::Size(badge));
        const QPixmap& image = m_badges.Image(badge, BadgeLit(badge));
        if (!image.isNull()) {
            painter.drawPixmap(where.topLeft(), image);
        }
        m_badgeRects[static_cast<size_t>(badge)] = where;
        left = where.right() + 1 + kBadgeGap;
    };
    place(CStatusBadges::kOnAir, 0);
    place(CStatusBadges::kCluster, 0);
    place(FormatBadge(), 0);
    place(CStatusBadges::kPadlock, kPadlockRaise);
    place(CStatusBadges::kListener, kListenerRaise);

    m_listenerCounterRect =
        QRect(left, rect.top(), std::max(0, rect.right() + 1 - left), rect.height());
    painter.fillRect(m_listenerCounterRect, QColor(kBackgroundColour));
    painter.setFont(font());
    painter.setPen(StateColour(m_running));
    painter.drawText(m_listenerCounterRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     ToQString(ListenerCounterText()));
}

void CStatusListBox::PaintSeparator(QPainter& painter, const QRect& rect, int width) const {
    painter.fillRect(QRect(rect.left(), rect.top(), rect.width(), width), StateColour(m_running));
}

void CStatusListBox::PaintValueRow(QPainter& painter, QRect rect, int row) const {
    painter.setFont(m_valueFont);
    painter.setPen(StateColour(m_running));
    // The texts take one line of the font's height from the row's top.
    rect.setHeight(painter.fontMetrics().height());
    rect.setRight(rect.right() - kRowMargin);
    constexpr int kLeftFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
    painter.drawText(rect, kLeftFlags, ToQString(res::LoadString(RowAt(row).label)));
    rect.setLeft(rect.left() + kColonOffset);
    painter.drawText(rect, kLeftFlags, QStringLiteral(" : "));
    rect.setLeft(rect.left() + kValueOffset);
    painter.fillRect(rect, QColor(kBackgroundColour));
    painter.drawText(rect, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine,
                     ToQString(ValueText(row)));
}

}  // namespace orvanta
