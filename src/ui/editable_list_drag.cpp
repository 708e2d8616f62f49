// The editable list and the mouse: check-box clicks, double-click editing, and dragging rows
// with auto-scroll and a drop marker.
#include "ui/editable_list_ctrl.h"

#include <QApplication>
#include <QDrag>
#include <QHeaderView>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <utility>

namespace orvanta {

namespace {

// Auto-scroll steps while dragging: beyond these distances (pixels) outside the list the
// period (milliseconds) shortens.
constexpr int kScrollFar = 60;
constexpr int kScrollMiddle = 40;
constexpr int kScrollNear = 20;
constexpr int kScrollPeriodFar = 20;
constexpr int kScrollPeriodMiddle = 50;
constexpr int kScrollPeriodNear = 100;
constexpr int kScrollPeriodClose = 200;

// The drag image is drawn half transparent under the pointer.
constexpr double kDragImageOpacity = 0.5;

}  // namespace

void CEditableListCtrl::mousePressEvent(QMouseEvent* event) {
    m_mouseDown = event->position().toPoint();
    m_dragCandidate = false;
    int row = -1;
    if (event->button() == Qt::LeftButton && HitsCheckBox(m_mouseDown, &row)) {
        ClickCheck(row);
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) {
        m_dragCandidate = m_moveAllowed && itemAt(m_mouseDown) != nullptr;
        m_systemDrag = event->modifiers().testFlag(Qt::ControlModifier);
    }
}

void CEditableListCtrl::mouseMoveEvent(QMouseEvent* event) {
    const QPoint position = event->position().toPoint();
    if (m_dragging) {
        UpdateDrag(position);
        event->accept();
        return;
    }
    if (m_dragCandidate && event->buttons().testFlag(Qt::LeftButton)) {
        if ((position - m_mouseDown).manhattanLength() >= QApplication::startDragDistance()) {
            m_dragCandidate = false;
            if (m_systemDrag) {
                // A system drag with the data a derived list supplies, if any.
                if (std::unique_ptr<QMimeData> mime = SupplyDragData()) {
                    QDrag drag(this);
                    drag.setMimeData(mime.release());
                    drag.exec(Qt::CopyAction | Qt::MoveAction);
                }
                setState(QAbstractItemView::NoState);
            } else {
                BeginDrag();
                UpdateDrag(position);
            }
        }
        event->accept();
        return;
    }
    QTreeWidget::mouseMoveEvent(event);
}

void CEditableListCtrl::mouseReleaseEvent(QMouseEvent* event) {
    m_dragCandidate = false;
    if (m_dragging) {
        UpdateDrag(event->position().toPoint());
        EndDrag();
        setState(QAbstractItemView::NoState);
        event->accept();
        return;
    }
    QTreeWidget::mouseReleaseEvent(event);
}

void CEditableListCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint position = event->position().toPoint();
    int row = -1;
    if (event->button() == Qt::LeftButton && HitsCheckBox(position, &row)) {
        // Each click of a double click toggles, as single clicks would.
        ClickCheck(row);
        event->accept();
        return;
    }
    const QModelIndex index = indexAt(position);
    if (event->button() == Qt::LeftButton && index.isValid() && Row(index.row())->isSelected() &&
        EditCell(index.row(), index.column())) {
        event->accept();
        return;
    }
    QTreeWidget::mouseDoubleClickEvent(event);
}

void CEditableListCtrl::startDrag(Qt::DropActions /*supportedActions*/) {
    // Rows are dragged by the list itself (see mouseMoveEvent).
}

void CEditableListCtrl::BeginDrag() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) {
        return;
    }
    EndEdit(EditEnd::Commit);
    const QRect row = visualItemRect(Row(rows.front()));
    m_dragImage = viewport()->grab(QRect(0, row.top(), viewport()->width(), row.height()));
    m_dragging = true;
    m_dropIndex = -1;
}

int CEditableListCtrl::AutoScrollPeriod(int distance) {
    if (distance > kScrollFar) {
        return kScrollPeriodFar;
    }
    if (distance > kScrollMiddle) {
        return kScrollPeriodMiddle;
    }
    if (distance > kScrollNear) {
        return kScrollPeriodNear;
    }
    return kScrollPeriodClose;
}

void CEditableListCtrl::UpdateDrag(const QPoint& position) {
    m_dragPosition = position;
    m_dropIndex = DropIndexAt(position);
    // The header lies above the viewport: a pointer over it or above scrolls up.
    const int height = viewport()->height();
    int period = 0;
    if (position.y() < 0) {
        period = AutoScrollPeriod(-position.y());
        m_scrollStep = -1;
    } else if (position.y() >= height) {
        period = AutoScrollPeriod(position.y() - height);
        m_scrollStep = 1;
    }
    if (period == 0) {
        m_scrollTimer.stop();
    } else if (!m_scrollTimer.isActive() || m_scrollTimer.interval() != period) {
        m_scrollTimer.start(period);
    }
    viewport()->update();
}

void CEditableListCtrl::OnAutoScroll() {
    QScrollBar* bar = verticalScrollBar();
    const int before = bar->value();
    bar->setValue(before + m_scrollStep);
    if (bar->value() == before) {
        m_scrollTimer.stop();
    }
    m_dropIndex = DropIndexAt(m_dragPosition);
    viewport()->update();
}

int CEditableListCtrl::DropIndexAt(const QPoint& position) const {
    if (RowCount() == 0) {
        return 0;
    }
    // Never above the first visible row: no position lies above the header.
    const int y = std::clamp(position.y(), 0, std::max(0, viewport()->height() - 1));
    const int firstColumn = header()->logicalIndex(0);
    const QModelIndex index = indexAt(QPoint(columnViewportPosition(firstColumn) + 1, y));
    if (!index.isValid()) {
        return RowCount();
    }
    const QRect rect = visualRect(index);
    return y > rect.center().y() ? index.row() + 1 : index.row();
}

int CEditableListCtrl::DropMarkerY() const {
    if (m_dropIndex < RowCount()) {
        return visualItemRect(Row(m_dropIndex)).top();
    }
    return RowCount() > 0 ? visualItemRect(Row(RowCount() - 1)).bottom() + 1 : 0;
}

void CEditableListCtrl::EndDrag() {
    m_scrollTimer.stop();
    m_dragging = false;
    m_dragImage = QPixmap();
    const int drop = std::exchange(m_dropIndex, -1);
    viewport()->update();
    const std::vector<int> rows = SelectedRows();
    if (drop < 0 || rows.empty()) {
        return;
    }
    // Cut and pasted: the rows above the drop position that leave shift it up.
    const auto above = std::count_if(rows.begin(), rows.end(), [drop](int r) { return r < drop; });
    if (!CopySelectedRows()) {
        return;
    }
    DeleteSelectedRows();
    PasteRows(drop - static_cast<int>(above));
    AnnounceChange();
}

void CEditableListCtrl::paintEvent(QPaintEvent* event) {
    QTreeWidget::paintEvent(event);
    if (!m_dragging || m_dropIndex < 0) {
        return;
    }
    QPainter painter(viewport());
    if (!m_dragImage.isNull()) {
        painter.setOpacity(kDragImageOpacity);
        painter.drawPixmap(m_dragPosition.x() - m_mouseDown.x(), m_dragPosition.y(), m_dragImage);
        painter.setOpacity(1.0);
    }
    const int y = DropMarkerY();
    painter.fillRect(QRect(0, y - kDropMarkerWidth / 2, viewport()->width(), kDropMarkerWidth),
                     palette().color(QPalette::Text));
}

}  // namespace orvanta
