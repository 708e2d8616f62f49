// The editable list's in-place editor: opening it over a cell, moving it between editable
// cells, and writing what was typed through the cell-change path.
#include "ui/editable_list_ctrl.h"

#include <QKeyEvent>
#include <QLineEdit>

#include <algorithm>
#include <utility>

namespace orvanta {

bool CEditableListCtrl::EditCell(int row, int column) {
    if (row < 0 || row >= RowCount() || column < 0 ||
        column >= static_cast<int>(m_columns.size()) ||
        !m_columns[static_cast<size_t>(column)].editable) {
        return false;
    }
    EndEdit(EditEnd::Commit);
    if (row >= RowCount()) {
        return false;
    }
    QTreeWidgetItem* item = Row(row);
    if (!m_columns[static_cast<size_t>(column)].multiEdit) {
        SelectRows({row});
    } else {
        selectionModel()->setCurrentIndex(indexFromItem(item), QItemSelectionModel::NoUpdate);
    }
    const QModelIndex cell = indexFromItem(item, column);
    scrollTo(cell);

    m_editRow = row;
    m_editColumn = column;
    m_editor = new QLineEdit(viewport());
    m_editor->setObjectName("InPlaceEditor");
    m_editor->setGeometry(visualRect(cell));
    m_editor->setText(item->text(column));
    m_editor->selectAll();
    m_editor->installEventFilter(this);
    m_editor->show();
    m_editor->setFocus(Qt::OtherFocusReason);
    return true;
}

bool CEditableListCtrl::EditFocusedRow() {
    QTreeWidgetItem* focused = currentItem();
    if (focused == nullptr) {
        return false;
    }
    const auto first = [this](auto&& wanted) {
        for (size_t column = 0; column < m_columns.size(); ++column) {
            if (wanted(m_columns[column])) {
                return static_cast<int>(column);
            }
        }
        return -1;
    };
    const int firstEditable = first([](const ListColumnDef& def) { return def.editable; });
    int column = firstEditable;
    if (SelectedRows().size() > 1) {
        const int multi = first([](const ListColumnDef& def) { return def.multiEdit; });
        if (multi >= 0) {
            if (!m_columns[static_cast<size_t>(multi)].editable) {
                return false;
            }
            column = multi;
        }
    }
    return column >= 0 && EditCell(indexOfTopLevelItem(focused), column);
}

int CEditableListCtrl::NextEditableColumn(int column, int step) const {
    const int count = static_cast<int>(m_columns.size());
    for (int i = 1; i <= count; ++i) {
        const int next = ((column + step * i) % count + count) % count;
        if (m_columns[static_cast<size_t>(next)].editable) {
            return next;
        }
    }
    return column;
}

void CEditableListCtrl::EndEdit(EditEnd how) {
    if (m_editor == nullptr) {
        return;
    }
    QLineEdit* editor = std::exchange(m_editor, nullptr);
    const int row = std::exchange(m_editRow, -1);
    const int column = std::exchange(m_editColumn, -1);
    const QString text = editor->text();
    editor->removeEventFilter(this);
    if (editor->hasFocus()) {
        setFocus(Qt::OtherFocusReason);
    }
    editor->hide();
    editor->deleteLater();

    if (how == EditEnd::Cancel || row >= RowCount()) {
        return;
    }
    WriteEditedText(row, column, text);
    const int rows = RowCount();
    switch (how) {
        case EditEnd::NextColumn:
            EditCell(row, NextEditableColumn(column, 1));
            break;
        case EditEnd::PreviousColumn:
            EditCell(row, NextEditableColumn(column, -1));
            break;
        case EditEnd::PreviousRow:
            SelectRows({(row + rows - 1) % rows});
            EditCell((row + rows - 1) % rows, column);
            break;
        case EditEnd::NextRow:
            SelectRows({(row + 1) % rows});
            EditCell((row + 1) % rows, column);
            break;
        default:
            break;
    }
}

void CEditableListCtrl::WriteEditedText(int row, int column, const QString& text) {
    std::vector<int> rows{row};
    if (m_columns[static_cast<size_t>(column)].multiEdit) {
        rows = SelectedRows();
        if (rows.empty()) {
            rows = {row};
        }
    }
    bool wrote = false;
    for (const int target : rows) {
        if (CellText(target, column) == text) {
            continue;
        }
        if (!SetCellText(target, column, text)) {
            break;
        }
        OnCellTextChanged(target, column, text);
        wrote = true;
    }
    if (wrote) {
        AnnounceChange();
    }
}

bool CEditableListCtrl::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_editor || m_editor == nullptr) {
        return QTreeWidget::eventFilter(watched, event);
    }
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & kModifierKeys;
        switch (key->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                EndEdit(EditEnd::Commit);
                return true;
            case Qt::Key_Escape:
                EndEdit(EditEnd::Cancel);
                return true;
            case Qt::Key_Tab:
                if (modifiers == Qt::NoModifier) {
                    EndEdit(EditEnd::NextColumn);
                    return true;
                }
                if (modifiers == Qt::ShiftModifier) {
                    EndEdit(EditEnd::PreviousColumn);
                    return true;
                }
                break;
            case Qt::Key_Backtab:
                EndEdit(EditEnd::PreviousColumn);
                return true;
            case Qt::Key_Insert:
                EndEdit(EditEnd::NextColumn);
                return true;
            case Qt::Key_Up:
                EndEdit(EditEnd::PreviousRow);
                return true;
            case Qt::Key_Down:
                EndEdit(EditEnd::NextRow);
                return true;
            default:
                break;
        }
    } else if (event->type() == QEvent::FocusOut) {
        // The editor ends with its text when the user goes elsewhere, but not for a popup or
        // another window coming to the front.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) {
            EndEdit(EditEnd::Commit);
        }
    }
    return QTreeWidget::eventFilter(watched, event);
}

}  // namespace orvanta
