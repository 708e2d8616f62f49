// The editable list view driven for real (offscreen) with keys and the mouse: the keyboard
// table and its exact modifiers, deleting and dragging rows, the column layout kept in the
// registry hive, moving the in-place editor between cells, and a cell change the parent
// refuses.
#include "ui/editable_list_ctrl.h"

#include "app_ui/ui_test_support.h"
#include "config/program_settings.h"
#include "config/registry_key.h"
#include "dialogs/registry_column_layout_store.h"
#include "res/string_table.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace orvanta {
namespace {

// A list that keeps what its notification slots were told.
class RecordingList : public CEditableListCtrl {
public:
    using CEditableListCtrl::CEditableListCtrl;

    void OnRowDeleted(int row) override { deleted.push_back(row); }
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

TEST_F(EditableListTest, KeysActOnlyWithExactlyTheirModifiers) {
    Open(kPlainColumns, {"a", "b", "c", "d"});
    m_list->SelectRows({1});

    Key(Qt::Key_Up, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Column(0), QStringList({"a", "b", "c", "d"}));
    EXPECT_EQ(m_changes->count(), 0);

    m_list->SelectRows({1});
    Key(Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(Column(0), QStringList({"b", "a", "c", "d"}));
    EXPECT_EQ(m_list->SelectedRows(), std::vector<int>({0}));
    // Not past the first row.
    Key(Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(Column(0), QStringList({"b", "a", "c", "d"}));
    Key(Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(Column(0), QStringList({"a", "b", "c", "d"}));
    EXPECT_EQ(m_changes->count(), 2);

    // Nothing copied yet: Ctrl+V inserts nothing and goes on to the parent.
    Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(m_list->RowCount(), 4);
    EXPECT_EQ(m_parent->keys.size(), 1u);

    // Copied rows land after the first selected row, in their order, and are selected.
    m_list->SelectRows({0, 2});
    Key(Qt::Key_C, Qt::ControlModifier);
    m_list->SelectRows({3});
    Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Column(0), QStringList({"a", "b", "c", "d", "a", "c"}));
    EXPECT_EQ(m_list->SelectedRows(), std::vector<int>({4, 5}));
    Key(Qt::Key_X, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(m_list->RowCount(), 6);
    Key(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(Column(0), QStringList({"a", "b", "c", "d"}));
    EXPECT_EQ(m_changes->count(), 4);

    // Ctrl+A selects everything and still reaches the parent.
    m_parent->keys.clear();
    Key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(m_list->SelectedRows().size(), 4u);
    ASSERT_EQ(m_parent->keys.size(), 1u);
    EXPECT_EQ(m_parent->keys[0], QKeyCombination(Qt::ControlModifier, Qt::Key_A));

    // Without cut and paste, Delete is the parent's.
    m_list->SetCutPasteAllowed(false);
    Key(Qt::Key_Delete);
    EXPECT_EQ(m_list->RowCount(), 4);
    EXPECT_EQ(m_parent->keys.size(), 2u);
}

TEST_F(EditableListTest, DeleteRemovesSelectedRowsFromTheBottomAndSelectsTheNext) {
    Open(kPlainColumns, {"a", "b", "c", "d", "e"});
    m_list->SelectRows({1, 3});
    Key(Qt::Key_Delete);
    EXPECT_EQ(Column(0), QStringList({"a", "c", "e"}));
    EXPECT_EQ(m_list->deleted, std::vector<int>({3, 1}));
    EXPECT_EQ(m_list->SelectedRows(), std::vector<int>({1}));
    ASSERT_EQ(m_changes->count(), 1);
    EXPECT_EQ(m_changes->at(0).at(0).toInt(), 0);
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
    EXPECT_FALSE(m_list->IsDragging());
    EXPECT_EQ(Column(0), QStringList({"c", "d", "a", "b", "e"}));
    EXPECT_EQ(m_list->SelectedRows(), std::vector<int>({2, 3}));
    EXPECT_EQ(m_changes->count(), 1);

    // The farther outside the list, the faster it scrolls.
    EXPECT_EQ(CEditableListCtrl::AutoScrollPeriod(61), 20);
    EXPECT_EQ(CEditableListCtrl::AutoScrollPeriod(41), 50);
    EXPECT_EQ(CEditableListCtrl::AutoScrollPeriod(21), 100);
    EXPECT_EQ(CEditableListCtrl::AutoScrollPeriod(20), 200);
}

TEST_F(EditableListTest, CheckClicksToggleTheSelectedRowsOrCheckOneInRadioMode) {
    Open(kPlainColumns, {"a", "b", "c"});
    m_list->SetCheckMode(true);
    m_list->SelectRows({0, 2});
    const QRect row = m_list->visualItemRect(m_list->topLevelItem(2));
    // The check box sits at the start of the first column.
    const QPoint box(row.left() + 10, row.center().y());
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, box);
    EXPECT_TRUE(m_list->IsChecked(0));
    EXPECT_FALSE(m_list->IsChecked(1));
    EXPECT_TRUE(m_list->IsChecked(2));
    EXPECT_EQ(m_list->SelectedRows(), std::vector<int>({0, 2}));
    ASSERT_EQ(m_changes->count(), 1);
    EXPECT_EQ(m_changes->at(0).at(0).toInt(), 2);

    m_list->SetRadioMode(true);
    m_list->checks.clear();
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, box);
    EXPECT_FALSE(m_list->IsChecked(0));
    EXPECT_TRUE(m_list->IsChecked(2));
    EXPECT_EQ(m_list->checks, std::vector<int>({-1}));
}

TEST_F(EditableListTest, ColumnLayoutRoundTripsThroughTheRegistry) {
    test::ProgramFolder folder;
    constexpr ListColumnDef columns[] = {
        {res::kStrPrivateUsernameColumn, 1.0f, kListColumnLeft, false, false, false},
        {res::kStrPrivatePasswordColumn, 80.0f, kListColumnRight, false, false, false},
        {res::kStrLabelGenre, 1.5f, kListColumnLeft, false, false, false},
    };
    Open(columns, {"a,1,x"});
    // Without a layout name nothing is stored when the list goes.
    const std::string userHive = folder.File("user.reg");
    const std::string before = test::ReadFile(userHive);
    Close();
    EXPECT_EQ(test::ReadFile(userHive), before);

    Open(columns, {"a,1,x"}, "TestList");
    EXPECT_EQ(m_list->columnWidth(0), m_list->viewport()->width());
    EXPECT_EQ(m_list->columnWidth(1), 80);
    EXPECT_EQ(m_list->columnWidth(2), 1);
    EXPECT_EQ(m_list->headerItem()->text(1), "Password");
    m_list->setColumnWidth(0, 120);
    m_list->setColumnWidth(1, 60);
    m_list->setColumnWidth(2, 90);
    m_list->header()->moveSection(2, 0);
    Close();

    CRegistryKey key;
    ASSERT_TRUE(key.Open(ApplicationKey() + "\\TestList", RegistryRoot::CurrentUser));
    std::string text;
    ASSERT_TRUE(key.ReadString(CRegistryColumnLayoutStore::kValueColumnWidth, text, false));
    EXPECT_EQ(text, "120,60,90");
    ASSERT_TRUE(key.ReadString(CRegistryColumnLayoutStore::kValueColumnOrder, text, false));
    EXPECT_EQ(text, "2,0,1");

    Open(columns, {}, "TestList");
    EXPECT_EQ(m_list->columnWidth(0), 120);
    EXPECT_EQ(m_list->columnWidth(2), 90);
    EXPECT_EQ(m_list->ColumnOrder(), std::vector<int>({2, 0, 1}));
    Close();

    // A list short of a column is ignored entirely; widths of 0 or less keep the table's.
    ASSERT_TRUE(key.Create(ApplicationKey() + "\\TestList", RegistryRoot::CurrentUser));
    ASSERT_TRUE(key.WriteString(CRegistryColumnLayoutStore::kValueColumnWidth, "50,60"));
    ASSERT_TRUE(key.WriteString(CRegistryColumnLayoutStore::kValueColumnOrder, "1;0"));
    Open(columns, {}, "TestList");
    EXPECT_EQ(m_list->columnWidth(0), m_list->viewport()->width());
    EXPECT_EQ(m_list->columnWidth(1), 80);
    EXPECT_EQ(m_list->ColumnOrder(), std::vector<int>({0, 1, 2}));
    Close();
    ASSERT_TRUE(key.Create(ApplicationKey() + "\\TestList", RegistryRoot::CurrentUser));
    ASSERT_TRUE(key.WriteString(CRegistryColumnLayoutStore::kValueColumnWidth, "0 -5 70"));
    Open(columns, {}, "TestList");
    EXPECT_EQ(m_list->columnWidth(1), 80);
    EXPECT_EQ(m_list->columnWidth(2), 70);
    Close();
}

constexpr ListColumnDef kEditColumns[] = {
    {res::kStrPrivateUsernameColumn, 80.0f, kListColumnLeft, false, false, false},
    {res::kStrPrivatePasswordColumn, 80.0f, kListColumnLeft, true, true, false},
    {res::kStrLabelGenre, 80.0f, kListColumnLeft, false, false, false},
    {res::kStrLabelLanguage, 80.0f, kListColumnLeft, true, false, false},
};

TEST_F(EditableListTest, TabAndShiftTabMoveTheEditorBetweenEditableCells) {
    Open(kEditColumns, {"a,1,x,p", "b,2,y,q", "c,3,z,r"});
    m_list->SelectRows({0});
    Key(Qt::Key_Insert);
    ASSERT_TRUE(m_list->IsEditing());
    EXPECT_EQ(m_list->EditColumn(), 1);
    EXPECT_EQ(m_list->Editor()->text(), "1");

    QTest::keyClicks(m_list->Editor(), "one");
    QTest::keyClick(m_list->Editor(), Qt::Key_Tab);
    EXPECT_EQ(m_list->CellText(0, 1), "one");
    ASSERT_TRUE(m_list->IsEditing());
    EXPECT_EQ(m_list->EditColumn(), 3);
    // Wrapping around within the row, both ways.
    QTest::keyClick(m_list->Editor(), Qt::Key_Tab);
    EXPECT_EQ(m_list->EditColumn(), 1);
    QTest::keyClick(m_list->Editor(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(m_list->EditColumn(), 3);
    QTest::keyClick(m_list->Editor(), Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(m_list->EditColumn(), 1);
    EXPECT_EQ(m_list->EditRow(), 0);
    // Up from the first row goes to the last.
    QTest::keyClick(m_list->Editor(), Qt::Key_Up);
    EXPECT_EQ(m_list->EditRow(), 2);
    EXPECT_EQ(m_list->EditColumn(), 1);
    QTest::keyClicks(m_list->Editor(), "three");
    QTest::keyClick(m_list->Editor(), Qt::Key_Escape);
    EXPECT_FALSE(m_list->IsEditing());
    EXPECT_EQ(Column(1), QStringList({"one", "2", "3"}));
    EXPECT_EQ(Column(3), QStringList({"p", "q", "r"}));
    EXPECT_EQ(m_changes->count(), 1);

    // With several rows selected Insert edits the multi-edit column for all of them.
    m_list->SelectRows({0, 1, 2});
    Key(Qt::Key_Insert);
    ASSERT_TRUE(m_list->IsEditing());
    EXPECT_EQ(m_list->SelectedRows().size(), 3u);
    QTest::keyClicks(m_list->Editor(), "all");
    QTest::keyClick(m_list->Editor(), Qt::Key_Return);
    EXPECT_EQ(Column(1), QStringList({"all", "all", "all"}));
}

TEST_F(EditableListTest, RefusedCellChangeKeepsTheOldText) {
    Open(kEditColumns, {"a,1,x,p", "b,2,y,q", "c,3,z,r"});
    QObject::connect(m_list, &CEditableListCtrl::cellChanging,
                     [this](int row, int, const QString& text, bool* refuse) {
                         *refuse = text == "bad" || (row == 1 && text == "two");
                         EXPECT_EQ(m_list->RowData(row), row * 10);
                     });
    QSignalSpy changedCells(m_list, &CEditableListCtrl::cellChanged);
    for (int row = 0; row < 3; ++row) {
        m_list->SetRowData(row, row * 10);
    }

    EXPECT_TRUE(m_list->EditCell(0, 3));
    QTest::keyClicks(m_list->Editor(), "bad");
    QTest::keyClick(m_list->Editor(), Qt::Key_Return);
    EXPECT_EQ(m_list->CellText(0, 3), "p");
    EXPECT_EQ(changedCells.count(), 0);
    EXPECT_EQ(m_changes->count(), 0);

    // Writing to every selected row stops at the first refusal.
    m_list->SelectRows({0, 1, 2});
    EXPECT_TRUE(m_list->EditCell(0, 1));
    QTest::keyClicks(m_list->Editor(), "two");
    QTest::keyClick(m_list->Editor(), Qt::Key_Return);
    EXPECT_EQ(Column(1), QStringList({"two", "2", "3"}));
    EXPECT_EQ(changedCells.count(), 1);
    EXPECT_EQ(m_changes->count(), 1);

    // Columns that are not editable are never edited.
    EXPECT_FALSE(m_list->EditCell(0, 2));
}

TEST_F(EditableListTest, HeaderClickSortsBySortableColumnsFlippingTheDirection) {
    constexpr ListColumnDef columns[] = {
        {res::kStrPrivateUsernameColumn, 80.0f, kListColumnLeft, false, false, true},
        {res::kStrPrivatePasswordColumn, 80.0f, kListColumnLeft, false, false, false},
    };
    Open(columns, {"b,1", "c,2", "a,3"});
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
    EXPECT_EQ(Column(0), ascending ? QStringList({"a", "b", "c"}) : QStringList({"c", "b", "a"}));
    EXPECT_EQ(Column(1), ascending ? QStringList({"3", "1", "2"}) : QStringList({"2", "1", "3"}));
    click(0);
    EXPECT_EQ(Column(0), ascending ? QStringList({"c", "b", "a"}) : QStringList({"a", "b", "c"}));
    EXPECT_EQ(m_list->SortColumn(), 0);
}

}  // namespace
}  // namespace orvanta
