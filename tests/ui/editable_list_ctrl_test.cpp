// The editable list view driven for real (offscreen) with keys and the mouse: the keyboard
// table and its exact modifiers, copying, deleting and dragging rows, check boxes, sorting by
// a header click, the column layout kept in the registry hive, and the in-place editor.
#include "ui/editable_list_ctrl.h"

#include "app_ui/ui_test_support.h"
#include "config/program_settings.h"
#include "config/registry_key.h"
#include "dialogs/registry_column_layout_store.h"
#include "res/string_table.h"

namespace orvanta {
namespace {

// A list that keeps what its notification slots were told.
class RecordingList : public CEditableListCtrl {
public:
    using CEditableListCtrl::CEditableListCtrl;

    void OnRowDeleted(int row) override { deleted.push_back(row); }
    // A row checked as itself, unchecked as -1 - row.
    void OnCheckChanged(int row, bool checked) override {
        checks.push_back(checked ? row : -1 - row);
    }

    std::vector<int> deleted;
    std::vector<int> checks;
};

// The list's parent: keys the list passes on arrive here.
class Parent : public QWidget {
public:
    void keyPressEvent(QKeyEvent* event) override {
        // The modifier keys themselves are pressed before the key they modify.
        const int key = event->key();
        if (key != Qt::Key_Control && key != Qt::Key_Shift && key != Qt::Key_Alt &&
            key != Qt::Key_Meta) {
            keys.push_back(event->keyCombination());
        }
        event->accept();
    }
    std::vector<QKeyCombination> keys;
};

constexpr ListColumnDef kPlainColumns[] = {
    {res::kStrPrivateUsernameColumn, 0.6f, kListColumnLeft, false, false, false},
    {res::kStrPrivatePasswordColumn, 0.3f, kListColumnLeft, false, false, false},
};

class EditableListTest : public ::testing::Test {
protected:
    void Open(std::span<const ListColumnDef> columns, const QStringList& rows,
              const std::string& layoutName = {}) {
        m_parent = std::make_unique<Parent>();
        m_parent->resize(420, 300);
        auto* layout = new QVBoxLayout(m_parent.get());
        m_list = new RecordingList(m_parent.get());
        layout->addWidget(m_list);
        // The dialogs' store: the layout in the user's hive below the application key.
        m_list->SetColumnLayoutStore(std::make_shared<CRegistryColumnLayoutStore>());
        m_list->SetupColumns(columns, layoutName);
        for (const QString& row : rows) {
            m_list->AppendRow(row.split(','));
        }
        m_parent->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_parent.get()));
        m_parent->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_parent.get()));
        m_list->setFocus();
        m_changes = std::make_unique<QSignalSpy>(m_list, &CEditableListCtrl::changed);
    }
    void Close() {
        m_changes.reset();
        m_parent.reset();
        m_list = nullptr;
    }

    QStringList Column(int column) const {
        QStringList texts;
        for (int row = 0; row < m_list->RowCount(); ++row) {
            texts << m_list->CellText(row, column);
        }
        return texts;
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(m_list, key, modifiers);
    }
    QPoint RowCentre(int row) const {
        return m_list->visualItemRect(m_list->topLevelItem(row)).center();
    }

    std::unique_ptr<Parent> m_parent;
    RecordingList* m_list = nullptr;
    std::unique_ptr<QSignalSpy> m_changes;
};

// Each key acts only with exactly its modifiers; what the list does not take goes on to the
// parent. Every change of the rows is announced once.
TEST_F(EditableListTest, KeysActOnlyWithExactlyTheirModifiers) {
    Open(kPlainColumns, {"a", "b", "c", "d", "e"});
    // clang-format off
    const struct { std::vector<int> select; Qt::Key key; Qt::KeyboardModifiers modifiers;
                   QStringList rows; std::vector<int> selected; size_t toParent; } steps[] = {
        // Left to the list's own handling, which moves the cursor.
        {{1}, Qt::Key_Up, Qt::ControlModifier | Qt::ShiftModifier, {"a", "b", "c", "d", "e"}, {}, 0},
        {{1}, Qt::Key_Up, Qt::ControlModifier, {"b", "a", "c", "d", "e"}, {0}, 0},
        {{0}, Qt::Key_Up, Qt::AltModifier, {"b", "a", "c", "d", "e"}, {0}, 0},  // not past the top
        {{0}, Qt::Key_Down, Qt::AltModifier, {"a", "b", "c", "d", "e"}, {1}, 0},
        // Nothing copied yet: nothing to paste.
        {{0}, Qt::Key_V, Qt::ControlModifier, {"a", "b", "c", "d", "e"}, {0}, 1},
        {{0, 2}, Qt::Key_C, Qt::ControlModifier, {"a", "b", "c", "d", "e"}, {0, 2}, 1},
        // Copied rows land after the first selected row, in their order, and are selected.
        {{3}, Qt::Key_V, Qt::ControlModifier, {"a", "b", "c", "d", "a", "c", "e"}, {4, 5}, 1},
        {{4, 5}, Qt::Key_X, Qt::ControlModifier | Qt::AltModifier, {"a", "b", "c", "d", "a", "c", "e"}, {4, 5}, 2},
        {{4, 5}, Qt::Key_X, Qt::ControlModifier, {"a", "b", "c", "d", "e"}, {4}, 2},
        // Delete goes from the bottom up and selects the row after.
        {{1, 3}, Qt::Key_Delete, Qt::NoModifier, {"a", "c", "e"}, {1}, 2},
        // Ctrl+A selects everything and still reaches the parent.
        {{0}, Qt::Key_A, Qt::ControlModifier, {"a", "c", "e"}, {0, 1, 2}, 3},
    };
    // clang-format on
    int changes = 0;
    for (const auto& step : steps) {
        SCOPED_TRACE(QKeyCombination(step.modifiers, step.key).toCombined());
        changes += Column(0) != step.rows ? 1 : 0;
        m_list->SelectRows(step.select);
        Key(step.key, step.modifiers);
        EXPECT_EQ(Column(0), step.rows);
        if (!step.selected.empty()) {
            EXPECT_EQ(m_list->SelectedRows(), step.selected);
        }
        EXPECT_EQ(m_parent->keys.size(), step.toParent);
        EXPECT_EQ(m_changes->count(), changes);
    }
    EXPECT_EQ(m_list->deleted, std::vector<int>({5, 4, 3, 1}));
    // Without cut and paste, Delete is the parent's.
    m_list->SetCutPasteAllowed(false);
    Key(Qt::Key_Delete);
    EXPECT_EQ(m_list->RowCount(), 3);
    EXPECT_EQ(m_parent->keys.back(), QKeyCombination(Qt::Key_Delete));
}

TEST_F(EditableListTest, DraggedRowsLandAtTheMarker) {
    Open(kPlainColumns, {"a", "b", "c", "d", "e"});
    m_list->SelectRows({0, 1});
    QWidget* viewport = m_list->viewport();
    // Pressing on one of the selected rows keeps both for the drag.
    QTest::mousePress(viewport, Qt::LeftButton, {}, RowCentre(0));
    QTest::mouseMove(viewport, RowCentre(2));
    ASSERT_TRUE(m_list->IsDragging());
    // The lower half of row 3 drops after it.
    QTest::mouseMove(viewport, RowCentre(3) + QPoint(0, 3));
    EXPECT_EQ(m_list->DropIndex(), 4);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, RowCentre(3) + QPoint(0, 3));
    EXPECT_EQ(Column(0), QStringList({"c", "d", "a", "b", "e"}));
    EXPECT_EQ(m_list->SelectedRows(), std::vector<int>({2, 3}));
    EXPECT_EQ(m_changes->count(), 1);
}

TEST_F(EditableListTest, CheckClicksToggleTheSelectedRowsOrCheckOneInRadioMode) {
    Open(kPlainColumns, {"a", "b", "c"});
    m_list->SetCheckMode(true);
    m_list->SelectRows({0, 2});
    // The check box sits at the start of the first column.
    const QPoint box(m_list->visualItemRect(m_list->topLevelItem(2)).left() + 10, RowCentre(2).y());
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, box);
    EXPECT_EQ(std::vector<bool>({m_list->IsChecked(0), m_list->IsChecked(1), m_list->IsChecked(2)}),
              std::vector<bool>({true, false, true}));
    EXPECT_EQ(m_list->SelectedRows(), std::vector<int>({0, 2}));
    EXPECT_EQ(m_changes->count(), 1);

    m_list->SetRadioMode(true);
    m_list->checks.clear();
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, box);
    EXPECT_FALSE(m_list->IsChecked(0));
    EXPECT_TRUE(m_list->IsChecked(2));
    EXPECT_EQ(m_list->checks, std::vector<int>({-1}));
}

TEST_F(EditableListTest, HeaderClickSortsBySortableColumnsFlippingTheDirection) {
    constexpr ListColumnDef columns[] = {
        {res::kStrPrivateUsernameColumn, 80.0f, kListColumnLeft, false, false, true},
        {res::kStrPrivatePasswordColumn, 80.0f, kListColumnLeft, false, false, false},
    };
    Open(columns, {"b,2", "c,1", "a,3"});
    m_list->SetCompareFunction([](const QTreeWidgetItem& a, const QTreeWidgetItem& b, int column) {
        return QString::compare(a.text(column), b.text(column));
    });
    QHeaderView* header = m_list->header();
    const auto click = [header](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, 5));
    };
    click(0);
    EXPECT_EQ(Column(0), QStringList({"b", "c", "a"})) << "sorting is off by default";
    m_list->SetSortEnabled(true);
    click(1);
    EXPECT_EQ(Column(0), QStringList({"b", "c", "a"})) << "column 1 is not sortable";
    const bool ascending = CEditableListCtrl::SortAscending();
    click(0);
    EXPECT_EQ(Column(1), ascending ? QStringList({"3", "2", "1"}) : QStringList({"1", "2", "3"}));
    click(0);
    EXPECT_EQ(Column(0), ascending ? QStringList({"c", "b", "a"}) : QStringList({"a", "b", "c"}));
}

// The layout kept in the user's hive comes back with the list: shares of the width below 2,
// pixels above; a stored list short of a column is ignored entirely.
TEST_F(EditableListTest, ColumnLayoutRoundTripsThroughTheRegistry) {
    test::ProgramFolder folder;
    constexpr ListColumnDef columns[] = {
        {res::kStrPrivateUsernameColumn, 1.0f, kListColumnLeft, false, false, false},
        {res::kStrPrivatePasswordColumn, 80.0f, kListColumnRight, false, false, false},
        {res::kStrLabelGenre, 50.0f, kListColumnLeft, false, false, false},
    };
    Open(columns, {"a,1,x"}, "TestList");
    EXPECT_EQ(m_list->columnWidth(0), m_list->viewport()->width());
    EXPECT_EQ(m_list->columnWidth(1), 80);
    m_list->setColumnWidth(0, 120);
    m_list->header()->moveSection(2, 0);
    Close();
    Open(columns, {}, "TestList");
    EXPECT_EQ(m_list->columnWidth(0), 120);
    EXPECT_EQ(m_list->ColumnOrder(), std::vector<int>({2, 0, 1}));
    Close();

    CRegistryKey key;
    ASSERT_TRUE(key.Create(ApplicationKey() + "\\TestList", RegistryRoot::CurrentUser));
    ASSERT_TRUE(key.WriteString(CRegistryColumnLayoutStore::kValueColumnWidth, "50,60"));
    ASSERT_TRUE(key.WriteString(CRegistryColumnLayoutStore::kValueColumnOrder, "1;0"));
    Open(columns, {}, "TestList");
    EXPECT_EQ(m_list->columnWidth(1), 80);
    EXPECT_EQ(m_list->ColumnOrder(), std::vector<int>({0, 1, 2}));
    Close();  // while the hives are the test's own
}

// Insert edits the first editable cell and Tab moves to the next; with several rows selected
// the multi-edit column is written to each, up to the first the parent refuses.
TEST_F(EditableListTest, TheEditorMovesBetweenEditableCellsAndARefusedChangeKeepsTheText) {
    constexpr ListColumnDef columns[] = {
        {res::kStrPrivateUsernameColumn, 80.0f, kListColumnLeft, false, false, false},
        {res::kStrPrivatePasswordColumn, 80.0f, kListColumnLeft, true, true, false},
        {res::kStrLabelGenre, 80.0f, kListColumnLeft, false, false, false},
        {res::kStrLabelLanguage, 80.0f, kListColumnLeft, true, false, false},
    };
    Open(columns, {"a,1,x,p", "b,2,y,q", "c,3,z,r"});
    QObject::connect(m_list, &CEditableListCtrl::cellChanging,
                     [](int row, int, const QString&, bool* refuse) { *refuse = row == 1; });
    m_list->SelectRows({0, 1, 2});
    Key(Qt::Key_Insert);
    ASSERT_TRUE(m_list->IsEditing());
    QTest::keyClicks(m_list->Editor(), "two");
    QTest::keyClick(m_list->Editor(), Qt::Key_Tab);
    EXPECT_EQ(m_list->EditColumn(), 3);
    QTest::keyClick(m_list->Editor(), Qt::Key_Escape);
    EXPECT_EQ(Column(1), QStringList({"two", "2", "3"}));
    EXPECT_EQ(m_changes->count(), 1);
    // Columns that are not editable are never edited.
    EXPECT_FALSE(m_list->EditCell(0, 2));
}

}  // namespace
}  // namespace orvanta
