// The editable list: columns and their layout, rows, the clipboard and row moves, check boxes,
// the keyboard and sorting. In-place editing is in editable_list_edit.cpp, the mouse and
// dragging in editable_list_drag.cpp.
#include "ui/editable_list_ctrl.h"

#include "ui/text.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyledItemDelegate>

#include <algorithm>
#include <utility>

namespace orvanta {

namespace {

// The direction of the next sort, shared by every list.
bool g_sortAscending = true;

Qt::Alignment AlignmentOf(uint32_t format) {
    switch (format) {
        case kListColumnRight:
            return Qt::AlignRight | Qt::AlignVCenter;
        case kListColumnCenter:
            return Qt::AlignHCenter | Qt::AlignVCenter;
        default:
            return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

// The item delegate, which also knows where it draws a row's check box.
class ListItemDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QRect CheckRect(QStyleOptionViewItem option, const QModelIndex& index) const {
        initStyleOption(&option, index);
        if (!option.features.testFlag(QStyleOptionViewItem::HasCheckIndicator)) {
            return {};
        }
        const QWidget* widget = option.widget;
        const QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        return style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, widget);
    }
};

}  // namespace

CEditableListCtrl::CEditableListCtrl(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // With drags enabled a press on one of several selected rows keeps them selected, so that
    // they can be dragged; the drags themselves are the list's own.
    setDragEnabled(true);
    setAcceptDrops(false);
    // The auto-scroll of a drag moves a row at a time.
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setItemDelegate(new ListItemDelegate(this));
    header()->setStretchLastSection(false);
    // Widths are the table's and the user's, however narrow.
    header()->setMinimumSectionSize(0);
    header()->setSectionsMovable(true);
    header()->setSectionsClickable(false);
    connect(header(), &QHeaderView::sectionClicked, this,
            [this](int column) { OnHeaderClicked(column); });
    connect(&m_scrollTimer, &QTimer::timeout, this, [this] { OnAutoScroll(); });
}

CEditableListCtrl::~CEditableListCtrl() {
    if (m_editor != nullptr) {
        m_editor->removeEventFilter(this);
        m_editor = nullptr;
    }
    SaveColumnLayout();
}

// Columns and their layout.

void CEditableListCtrl::SetupColumns(std::span<const ListColumnDef> columns,
                                     const std::string& layoutName, const QString& smallImages) {
    if (!smallImages.isEmpty()) {
        m_smallImages.clear();
        QPixmap strip(smallImages);
        if (!strip.isNull()) {
            strip.setMask(strip.createMaskFromColor(
                QColor(kTransparentRed, kTransparentGreen, kTransparentBlue), Qt::MaskInColor));
            for (int x = 0; x + kSmallImageWidth <= strip.width(); x += kSmallImageWidth) {
                m_smallImages.push_back(strip.copy(x, 0, kSmallImageWidth, strip.height()));
            }
        }
    }
    SaveColumnLayout();
    // The old columns go, and with them any order the user gave them.
    for (int visual = 0; visual < header()->count(); ++visual) {
        header()->moveSection(header()->visualIndex(visual), visual);
    }
    setColumnCount(0);

    m_layoutName = layoutName;
    m_columns = columns;
    const int count = static_cast<int>(m_columns.size());
    setColumnCount(count);
    QTreeWidgetItem* headerRow = headerItem();
    for (int column = 0; column < count; ++column) {
        const ListColumnDef& def = m_columns[static_cast<size_t>(column)];
        headerRow->setText(column, Text(def.headerStringId));
        headerRow->setTextAlignment(column, AlignmentOf(def.format));
    }
    for (int row = 0; row < RowCount(); ++row) {
        ApplyRowFormat(*Row(row));
    }
    ApplyTableWidths();
    m_widthsPending = !isVisible();
    LoadColumnLayout();
    setSelectionBehavior(QAbstractItemView::SelectRows);
    header()->setSectionsMovable(true);
}

void CEditableListCtrl::ApplyTableWidths() {
    const int client = viewport()->width();
    for (size_t column = 0; column < m_columns.size(); ++column) {
        const float width = m_columns[column].width;
        const float pixels = width <= 1.0f ? width * static_cast<float>(client) : width;
        setColumnWidth(static_cast<int>(column), static_cast<int>(pixels));
    }
}

void CEditableListCtrl::ApplyRowFormat(QTreeWidgetItem& item) const {
    for (size_t column = 0; column < m_columns.size(); ++column) {
        item.setTextAlignment(static_cast<int>(column), AlignmentOf(m_columns[column].format));
    }
}

std::vector<int> CEditableListCtrl::ColumnOrder() const {
    std::vector<int> order;
    for (int visual = 0; visual < header()->count(); ++visual) {
        order.push_back(header()->logicalIndex(visual));
    }
    return order;
}

void CEditableListCtrl::SaveColumnLayout() const {
    // A list never shown has no layout of the user's to keep.
    if (m_layoutStore == nullptr || m_layoutName.empty() || m_columns.empty() || m_widthsPending) {
        return;
    }
    const int count = columnCount();
    std::vector<int32_t> widths;
    for (int column = 0; column < count; ++column) {
        widths.push_back(columnWidth(column));
    }
    const std::vector<int> order = ColumnOrder();
    const std::vector<int32_t> stored(order.begin(), order.end());
    m_layoutStore->Save(m_layoutName, widths, stored);
}

void CEditableListCtrl::LoadColumnLayout() {
    if (m_layoutStore == nullptr || m_layoutName.empty()) {
        return;
    }
    const int count = columnCount();
    const IColumnLayoutStore::Layout layout = m_layoutStore->Load(m_layoutName, count);
    if (layout.widths.size() == static_cast<size_t>(count)) {
        for (int column = 0; column < count; ++column) {
            if (layout.widths[static_cast<size_t>(column)] > 0) {
                setColumnWidth(column, layout.widths[static_cast<size_t>(column)]);
            }
        }
    }
    if (layout.order.size() == static_cast<size_t>(count)) {
        // The value is outside input: only an order naming every column once is applied.
        std::vector<int32_t> sorted = layout.order;
        std::sort(sorted.begin(), sorted.end());
        for (int i = 0; i < count; ++i) {
            if (sorted[static_cast<size_t>(i)] != i) {
                return;
            }
        }
        for (int visual = 0; visual < count; ++visual) {
            header()->moveSection(header()->visualIndex(layout.order[static_cast<size_t>(visual)]),
                                  visual);
        }
    }
}

void CEditableListCtrl::showEvent(QShowEvent* event) {
    QTreeWidget::showEvent(event);
    if (m_widthsPending) {
        m_widthsPending = false;
        ApplyTableWidths();
        LoadColumnLayout();
    }
}

// Rows.

int CEditableListCtrl::InsertRow(int row, const QStringList& texts, int image, int64_t itemData) {
    row = std::clamp(row, 0, RowCount());
    auto* item = new QTreeWidgetItem;
    for (int column = 0; column < texts.size() && column < columnCount(); ++column) {
        item->setText(column, texts[column]);
    }
    item->setData(0, kRowDataRole, QVariant::fromValue<qlonglong>(itemData));
    item->setData(0, kImageRole, image);
    if (image >= 0 && image < static_cast<int>(m_smallImages.size())) {
        item->setIcon(0, QIcon(m_smallImages[static_cast<size_t>(image)]));
    }
    if (m_checkMode) {
        item->setCheckState(0, Qt::Unchecked);
    }
    ApplyRowFormat(*item);
    insertTopLevelItem(row, item);
    return row;
}

void CEditableListCtrl::DeleteRow(int row) {
    if (row >= 0 && row < RowCount()) {
        std::unique_ptr<QTreeWidgetItem> gone(takeTopLevelItem(row));
    }
}

void CEditableListCtrl::DeleteAllRows() {
    clear();
}

QString CEditableListCtrl::CellText(int row, int column) const {
    const QTreeWidgetItem* item = Row(row);
    return item != nullptr ? item->text(column) : QString();
}

bool CEditableListCtrl::SetCellText(int row, int column, const QString& text) {
    QTreeWidgetItem* item = Row(row);
    if (item == nullptr || column < 0 || column >= columnCount()) {
        return false;
    }
    if (column > 0) {
        bool refuse = false;
        emit cellChanging(row, column, text, &refuse);
        if (refuse) {
            return false;
        }
    }
    item->setText(column, text);
    if (column > 0) {
        emit cellChanged(row, column, text);
    }
    return true;
}

int64_t CEditableListCtrl::RowData(int row) const {
    const QTreeWidgetItem* item = Row(row);
    return item != nullptr ? item->data(0, kRowDataRole).toLongLong() : 0;
}

void CEditableListCtrl::SetRowData(int row, int64_t itemData) {
    if (QTreeWidgetItem* item = Row(row)) {
        item->setData(0, kRowDataRole, QVariant::fromValue<qlonglong>(itemData));
    }
}

std::vector<int> CEditableListCtrl::SelectedRows() const {
    std::vector<int> rows;
    for (int row = 0; row < RowCount(); ++row) {
        if (Row(row)->isSelected()) {
            rows.push_back(row);
        }
    }
    return rows;
}

void CEditableListCtrl::SelectRows(const std::vector<int>& rows) {
    clearSelection();
    bool first = true;
    for (const int row : rows) {
        QTreeWidgetItem* item = Row(row);
        if (item == nullptr) {
            continue;
        }
        if (first) {
            selectionModel()->setCurrentIndex(indexFromItem(item), QItemSelectionModel::NoUpdate);
            first = false;
        }
        item->setSelected(true);
    }
}

// Copy, paste, move, delete.

bool CEditableListCtrl::CopySelectedRows() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) {
        return false;
    }
    m_buffer.clear();
    for (const int row : rows) {
        const QTreeWidgetItem& item = *Row(row);
        BufferedRow copied;
        for (int column = 0; column < columnCount(); ++column) {
            copied.texts << item.text(column);
        }
        copied.image = item.data(0, kImageRole).toInt();
        copied.data = item.data(0, kRowDataRole).toLongLong();
        copied.checkState = item.data(0, Qt::CheckStateRole);
        m_buffer.push_back(std::move(copied));
    }
    return true;
}

bool CEditableListCtrl::PasteRows(int index) {
    if (m_buffer.empty()) {
        return false;
    }
    index = std::clamp(index, 0, RowCount());
    std::vector<int> pasted;
    for (const BufferedRow& copied : m_buffer) {
        const int row = InsertRow(index + static_cast<int>(pasted.size()), copied.texts,
                                  copied.image, copied.data);
        if (copied.checkState.isValid()) {
            Row(row)->setData(0, Qt::CheckStateRole, copied.checkState);
        }
        pasted.push_back(row);
    }
    SelectRows(pasted);
    return true;
}

void CEditableListCtrl::SwapWithNext(int row) {
    QTreeWidgetItem* next = takeTopLevelItem(row + 1);
    insertTopLevelItem(row, next);
    OnRowsSwapped(row, row + 1);
}

bool CEditableListCtrl::MoveSelectedRows(bool up) {
    std::vector<int> rows = SelectedRows();
    if (rows.empty() || (up && rows.front() == 0) || (!up && rows.back() == RowCount() - 1)) {
        return false;
    }
    setUpdatesEnabled(false);
    if (up) {
        for (int& row : rows) {
            SwapWithNext(row - 1);
            --row;
        }
    } else {
        for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
            SwapWithNext(*it);
            ++*it;
        }
    }
    SelectRows(rows);
    scrollToItem(Row(rows.front()));
    setUpdatesEnabled(true);
    return true;
}

bool CEditableListCtrl::DeleteSelectedRows() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) {
        return false;
    }
    setUpdatesEnabled(false);
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        DeleteRow(*it);
        OnRowDeleted(*it);
    }
    SelectRows({rows.front()});
    setUpdatesEnabled(true);
    return true;
}

void CEditableListCtrl::AnnounceChange(int row) {
    emit changed(row);
}

// Check boxes.

void CEditableListCtrl::SetCheckMode(bool on) {
    m_checkMode = on;
    for (int row = 0; row < RowCount(); ++row) {
        QTreeWidgetItem& item = *Row(row);
        if (!on) {
            item.setData(0, Qt::CheckStateRole, QVariant());
        } else if (!item.data(0, Qt::CheckStateRole).isValid()) {
            item.setCheckState(0, Qt::Unchecked);
        }
    }
}

bool CEditableListCtrl::IsChecked(int row) const {
    const QTreeWidgetItem* item = Row(row);
    return item != nullptr && item->data(0, Qt::CheckStateRole).toInt() == Qt::Checked;
}

void CEditableListCtrl::SetChecked(int row, bool checked) {
    if (QTreeWidgetItem* item = Row(row); item != nullptr && m_checkMode) {
        item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    }
}

bool CEditableListCtrl::HitsCheckBox(const QPoint& position, int* row) const {
    if (!m_checkMode) {
        return false;
    }
    const QModelIndex index = indexAt(position);
    if (!index.isValid() || index.column() != 0) {
        return false;
    }
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    const auto* delegate = static_cast<const ListItemDelegate*>(itemDelegate());
    if (!delegate->CheckRect(option, index).contains(position)) {
        return false;
    }
    *row = index.row();
    return true;
}

void CEditableListCtrl::ClickCheck(int row) {
    if (m_radioMode) {
        for (int other = 0; other < RowCount(); ++other) {
            const bool checked = other == row;
            if (IsChecked(other) != checked) {
                SetChecked(other, checked);
                OnCheckChanged(other, checked);
            }
        }
    } else {
        const std::vector<int> rows =
            Row(row)->isSelected() ? SelectedRows() : std::vector<int>{row};
        for (const int toggled : rows) {
            const bool checked = !IsChecked(toggled);
            SetChecked(toggled, checked);
            OnCheckChanged(toggled, checked);
        }
    }
    AnnounceChange(row);
}

// Keyboard.

void CEditableListCtrl::keyPressEvent(QKeyEvent* event) {
    // The modifiers must be exactly those of the table: Ctrl+Shift+Up is not Ctrl+Up.
    const Qt::KeyboardModifiers modifiers = event->modifiers() & kModifierKeys;
    const bool none = modifiers == Qt::NoModifier;
    const bool ctrl = modifiers == Qt::ControlModifier;
    const bool alt = modifiers == Qt::AltModifier;
    const auto taken = [event] { event->accept(); };
    // A key of the table whose action did not take place goes on to the parent.
    const auto passOn = [event] { event->ignore(); };

    switch (event->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
            if ((ctrl || alt) && m_moveAllowed && MoveSelectedRows(event->key() == Qt::Key_Up)) {
                AnnounceChange();
                return taken();
            }
            [[fallthrough]];
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            // Left to the list and never passed on.
            QTreeWidget::keyPressEvent(event);
            return taken();
        case Qt::Key_A:
            if (!ctrl) {
                break;
            }
            selectAll();
            // The parent may want Ctrl+A as well.
            return passOn();
        case Qt::Key_C:
            if (!ctrl) {
                break;
            }
            return m_cutPasteAllowed && CopySelectedRows() ? taken() : passOn();
        case Qt::Key_X:
            if (!ctrl) {
                break;
            }
            if (m_cutPasteAllowed && CopySelectedRows()) {
                DeleteSelectedRows();
                AnnounceChange();
                return taken();
            }
            return passOn();
        case Qt::Key_V:
            if (!ctrl) {
                break;
            }
            if (m_cutPasteAllowed) {
                const std::vector<int> rows = SelectedRows();
                if (PasteRows(rows.empty() ? RowCount() : rows.front() + 1)) {
                    AnnounceChange();
                    return taken();
                }
            }
            return passOn();
        case Qt::Key_Space:
            if (none && m_checkMode) {
                QTreeWidgetItem* focused = currentItem();
                if (m_radioMode) {
                    if (focused != nullptr) {
                        const int row = indexOfTopLevelItem(focused);
                        for (int other = 0; other < RowCount(); ++other) {
                            if (IsChecked(other) != (other == row)) {
                                SetChecked(other, other == row);
                                OnCheckChanged(other, other == row);
                            }
                        }
                    }
                } else {
                    for (const int row : SelectedRows()) {
                        SetChecked(row, !IsChecked(row));
                        OnCheckChanged(row, IsChecked(row));
                    }
                }
                return taken();
            }
            return passOn();
        case Qt::Key_Insert:
            return none && EditFocusedRow() ? taken() : passOn();
        case Qt::Key_Delete:
            if (none && m_cutPasteAllowed && DeleteSelectedRows()) {
                AnnounceChange();
                return taken();
            }
            return passOn();
        default:
            break;
    }
    // Keys outside the table: the list's own handling; what it does not use reaches the
    // parent.
    QTreeWidget::keyPressEvent(event);
}

// Sorting.

bool CEditableListCtrl::SortAscending() {
    return g_sortAscending;
}

void CEditableListCtrl::SetSortEnabled(bool enabled) {
    m_sortEnabled = enabled;
    header()->setSectionsClickable(enabled);
}

void CEditableListCtrl::OnHeaderClicked(int column) {
    if (m_sortEnabled && column >= 0 && column < static_cast<int>(m_columns.size()) &&
        m_columns[static_cast<size_t>(column)].sortable && m_compare) {
        SortByColumn(column);
    }
}

bool CEditableListCtrl::SortByColumn(int column) {
    if (!m_compare || column < 0 || column >= columnCount()) {
        return false;
    }
    EndEdit(EditEnd::Commit);
    m_sortColumn = column;
    const bool ascending = g_sortAscending;
    std::vector<QTreeWidgetItem*> selected;
    for (const int row : SelectedRows()) {
        selected.push_back(Row(row));
    }
    QTreeWidgetItem* focused = currentItem();
    QList<QTreeWidgetItem*> items = invisibleRootItem()->takeChildren();
    std::stable_sort(items.begin(), items.end(),
                     [this, column, ascending](const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
                         const int order = m_compare(*a, *b, column);
                         return ascending ? order < 0 : order > 0;
                     });
    addTopLevelItems(items);
    if (focused != nullptr) {
        selectionModel()->setCurrentIndex(indexFromItem(focused), QItemSelectionModel::NoUpdate);
    }
    for (QTreeWidgetItem* item : selected) {
        item->setSelected(true);
    }
    g_sortAscending = !g_sortAscending;
    OnAfterSort();
    return true;
}

}  // namespace orvanta
