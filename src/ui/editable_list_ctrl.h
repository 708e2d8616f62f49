// CEditableListCtrl: a report-style list for dialogs. Its columns come from a table the caller
// keeps; it can remember their widths and order in a store it is handed, show a check box (or a
// radio mark) per row, move, cut, copy, paste and delete rows from the keyboard or by dragging,
// edit cells in place and sort by a clicked column.
//
// The list is a QTreeWidget of top-level items only: item i is row i. Column 0 of an item
// carries the row's image, its item data and its check state.
#pragma once

#include "ui/column_layout_store.h"

#include <QMimeData>
#include <QPixmap>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QTreeWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

class QLineEdit;

namespace orvanta {

// Column alignment, as the list view's column format values.
inline constexpr uint32_t kListColumnLeft = 0;
inline constexpr uint32_t kListColumnRight = 1;
inline constexpr uint32_t kListColumnCenter = 2;

// One row of a caller's column table.
struct ListColumnDef {
    uint32_t headerStringId = 0;
    // 1.0 or less: a fraction of the list's client width; above 1.0: pixels (truncated).
    float width = 0.0f;
    uint32_t format = kListColumnLeft;
    bool editable = false;
    // A text entered in this column while several rows are selected goes to all of them;
    // editing a column without it keeps only the edited row selected.
    bool multiEdit = false;
    bool sortable = false;
};

class CEditableListCtrl : public QTreeWidget {
    Q_OBJECT

public:
    // Small images are cut from a strip 16 pixels wide each; magenta is transparent.
    static constexpr int kSmallImageWidth = 16;
    static constexpr int kTransparentRed = 255;
    static constexpr int kTransparentGreen = 0;
    static constexpr int kTransparentBlue = 255;
    // Column 0 roles: the row's item data and its image index in the small-image list.
    static constexpr int kRowDataRole = Qt::UserRole;
    static constexpr int kImageRole = Qt::UserRole + 1;
    // The marker line shown at the drop position while rows are dragged.
    static constexpr int kDropMarkerWidth = 2;

    // Compares two rows for sorting by `column`: negative, 0 or positive as `a` goes before,
    // with or after `b` in ascending order. The list reverses it for a descending sort.
    using RowCompare =
        std::function<int(const QTreeWidgetItem& a, const QTreeWidgetItem& b, int column)>;

    explicit CEditableListCtrl(QWidget* parent = nullptr);
    // Remembers the column layout (when the list has a store and a layout name).
    ~CEditableListCtrl() override;
    CEditableListCtrl(const CEditableListCtrl&) = delete;
    CEditableListCtrl& operator=(const CEditableListCtrl&) = delete;

    // Where the column layout is remembered; set before SetupColumns, which reads it. Without
    // a store nothing is remembered.
    void SetColumnLayoutStore(std::shared_ptr<IColumnLayoutStore> store) {
        m_layoutStore = std::move(store);
    }
    // Replaces the columns by those of `columns`, which must outlive the list. The layout of
    // the old columns is remembered first; the new ones take their stored layout under
    // `layoutName` (empty: nothing is remembered). With `smallImages` (a resource path) the
    // row images are cut from that strip.
    void SetupColumns(std::span<const ListColumnDef> columns, const std::string& layoutName = {},
                      const QString& smallImages = {});
    std::span<const ListColumnDef> Columns() const { return m_columns; }
    const std::string& LayoutName() const { return m_layoutName; }
    // Widths and order of the columns, through the store. Nothing happens without a store or
    // a layout name; a stored list that does not name every column is ignored, as are widths
    // of 0 or less.
    void SaveColumnLayout() const;
    void LoadColumnLayout();
    // The logical column shown at each visual position.
    std::vector<int> ColumnOrder() const;

    // Rows.
    int RowCount() const { return topLevelItemCount(); }
    // Inserts a row at `row` (clamped to the list), the texts in column order; returns its
    // index.
    int InsertRow(int row, const QStringList& texts, int image = -1, int64_t itemData = 0);
    int AppendRow(const QStringList& texts, int image = -1, int64_t itemData = 0) {
        return InsertRow(RowCount(), texts, image, itemData);
    }
    void DeleteRow(int row);
    void DeleteAllRows();
    QString CellText(int row, int column) const;
    // Writes a cell. The text of a column other than the first is first offered through
    // cellChanging, which may refuse it (false, the cell keeps its text); cellChanged follows
    // a write.
    bool SetCellText(int row, int column, const QString& text);
    int64_t RowData(int row) const;
    void SetRowData(int row, int64_t itemData);
    // Selected rows in ascending order.
    std::vector<int> SelectedRows() const;
    // Makes `rows` the selection; the first becomes the focused row.
    void SelectRows(const std::vector<int>& rows);

    // Settings.
    void SetCutPasteAllowed(bool allowed) { m_cutPasteAllowed = allowed; }
    bool CutPasteAllowed() const { return m_cutPasteAllowed; }
    void SetMoveAllowed(bool allowed) { m_moveAllowed = allowed; }
    bool MoveAllowed() const { return m_moveAllowed; }
    // A header click sorts only with sorting enabled, a sortable column and a compare
    // function.
    void SetSortEnabled(bool enabled);
    bool SortEnabled() const { return m_sortEnabled; }
    void SetCompareFunction(RowCompare compare) { m_compare = std::move(compare); }
    // The column of the last sort, for the compare function; -1 before the first.
    int SortColumn() const { return m_sortColumn; }
    // The direction of the next sort; every sort, of any list, flips it.
    static bool SortAscending();

    // Check mode shows a check box per row; radio mode lets a click check one row only.
    void SetCheckMode(bool on);
    bool CheckMode() const { return m_checkMode; }
    void SetRadioMode(bool on) { m_radioMode = on; }
    bool RadioMode() const { return m_radioMode; }
    bool IsChecked(int row) const;
    void SetChecked(int row, bool checked);

    // Operations of the keys and the mouse, for callers and tests alike. Each returns whether
    // it took place.
    // Swaps every selected row with its neighbour above (below); not past the first (last)
    // row.
    bool MoveSelectedRows(bool up);
    // Removes the selected rows from the bottom up and selects the row then at the first
    // deleted position.
    bool DeleteSelectedRows();
    // Opens the editor over a cell of an editable column.
    bool EditCell(int row, int column);
    // Insert: edits the focused row in the column the selection calls for.
    bool EditFocusedRow();
    bool IsEditing() const { return m_editor != nullptr; }
    QLineEdit* Editor() const { return m_editor; }
    int EditColumn() const { return m_editColumn; }
    int EditRow() const { return m_editRow; }
    // Sorts the rows by `column` in the current direction and flips the direction.
    bool SortByColumn(int column);
    bool IsDragging() const { return m_dragging; }
    // While dragging: the row before which the rows would land (RowCount() for the end).
    int DropIndex() const { return m_dropIndex; }
    // While dragging, the list scrolls a row per period of this many milliseconds when the
    // pointer is `distance` pixels above or below it.
    static int AutoScrollPeriod(int distance);

    // Rows in the copy buffer.
    int BufferedRowCount() const { return static_cast<int>(m_buffer.size()); }

    // Notification slots, which derived lists may fill in.
    virtual void OnRowsSwapped(int /*first*/, int /*second*/) {}
    virtual void OnRowDeleted(int /*row*/) {}
    // Copies the selected rows into the buffer; false when none is selected.
    virtual bool CopySelectedRows();
    // Inserts the buffer at `index` and selects what it inserted; false when it is empty.
    virtual bool PasteRows(int index);
    // Tells the parent that rows changed (row 0) or a check box was clicked (its row).
    virtual void AnnounceChange(int row = 0);
    virtual void OnCheckChanged(int /*row*/, bool /*checked*/) {}
    virtual void OnCellTextChanged(int /*row*/, int /*column*/, const QString& /*text*/) {}
    virtual void OnAfterSort() {}
    // The data of a system drag (started with Ctrl held); none by default, so no drag starts.
    virtual std::unique_ptr<QMimeData> SupplyDragData() { return nullptr; }

signals:
    // Rows were pasted, cut, deleted, moved or edited (row 0), or the check box of `row` was
    // clicked.
    void changed(int row);
    // Before the text of a cell of a column other than the first changes; set *refuse to keep
    // the old text.
    void cellChanging(int row, int column, const QString& text, bool* refuse);
    void cellChanged(int row, int column, const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The modifiers a key's meaning depends on (not keypad or group switches).
    static constexpr Qt::KeyboardModifiers kModifierKeys =
        Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

    // How an edit ended: where the editor goes next, if anywhere.
    enum class EditEnd { Commit, Cancel, NextColumn, PreviousColumn, PreviousRow, NextRow };

    struct BufferedRow {
        QStringList texts;
        int image = -1;
        int64_t data = 0;
        QVariant checkState;
    };

    void ApplyTableWidths();
    void ApplyRowFormat(QTreeWidgetItem& item) const;
    QTreeWidgetItem* Row(int row) const { return topLevelItem(row); }
    void SwapWithNext(int row);
    // Toggles (radio mode: checks alone) the row clicked on its check box.
    void ClickCheck(int row);
    bool HitsCheckBox(const QPoint& position, int* row) const;
    void EndEdit(EditEnd how);
    void WriteEditedText(int row, int column, const QString& text);
    int NextEditableColumn(int column, int step) const;

    void BeginDrag();
    void UpdateDrag(const QPoint& position);
    void EndDrag();
    void OnAutoScroll();
    int DropIndexAt(const QPoint& position) const;
    int DropMarkerY() const;
    void OnHeaderClicked(int column);

    std::vector<QPixmap> m_smallImages;
    std::shared_ptr<IColumnLayoutStore> m_layoutStore;
    std::string m_layoutName;
    std::span<const ListColumnDef> m_columns;
    std::vector<BufferedRow> m_buffer;
    bool m_cutPasteAllowed = true;
    bool m_moveAllowed = true;
    bool m_sortEnabled = false;
    RowCompare m_compare;
    int m_sortColumn = -1;
    // Dragging.
    QPixmap m_dragImage;
    bool m_dragging = false;
    bool m_dragCandidate = false;
    // Ctrl was held when the drag began: a system drag instead of moving rows.
    bool m_systemDrag = false;
    int m_dropIndex = -1;
    QPoint m_dragPosition;
    QTimer m_scrollTimer;
    int m_scrollStep = 0;
    // Checks.
    bool m_checkMode = false;
    bool m_radioMode = false;
    // Editing.
    int m_editColumn = -1;
    int m_editRow = -1;
    QLineEdit* m_editor = nullptr;
    QPoint m_mouseDown;
    // Fractions of the client width wait for the list's first showing, when it has its size.
    bool m_widthsPending = false;
};

}  // namespace orvanta
