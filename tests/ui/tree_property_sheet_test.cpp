// The tree property sheet driven for real (offscreen): the tree made from the page titles,
// Ctrl+Tab through it, pages that refuse to be left, and what OK and Cancel tell the pages.
#include "ui/tree_property_sheet.h"

#include "app_ui/ui_test_support.h"

#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace orvanta {
namespace {

// A page that counts the sheet's calls and may refuse to be left.
class RecordingPage : public CPropertyPage {
public:
    explicit RecordingPage(const QString& title) : CPropertyPage(title) {
        edit = new QLineEdit(this);
    }

    void OnInitDialog() override { ++inits; }
    void OnSetActive() override { ++activations; }
    bool OnKillActive() override { return mayLeave; }
    void OnOK() override { ++oks; }
    void OnCancel() override { ++cancels; }

    QLineEdit* edit = nullptr;
    bool mayLeave = true;
    int inits = 0;
    int activations = 0;
    int oks = 0;
    int cancels = 0;
};

// The configuration sheet's kind of titles, one page added out of tree order (Format) and a
// level that no page names (Tools).
const std::vector<QString> kTitles = {
    "General", "General::Language", "Station",         "Station::Private",
    "Server",  "General::Format",   "Server::Network", "Tools::Logs"};

// The tree as text: each node as name=page, its children in braces.
QString Describe(const QTreeWidgetItem& parent) {
    QStringList nodes;
    for (int i = 0; i < parent.childCount(); ++i) {
        const QTreeWidgetItem& node = *parent.child(i);
        QString text = QStringLiteral("%1=%2").arg(
            node.text(0), node.data(0, CXTreePropertySheet2::kPageIndexRole).toString());
        if (node.childCount() > 0) {
            text += "{" + Describe(node) + "}";
        }
        nodes << text;
    }
    return nodes.join(',');
}

QIcon Solid(Qt::GlobalColor color) {
    QPixmap pixmap(CXTreePropertySheet2::kImageSize, CXTreePropertySheet2::kImageSize);
    pixmap.fill(color);
    return QIcon(pixmap);
}

QColor ColourOf(const QIcon& icon, QIcon::Mode mode) {
    const int size = CXTreePropertySheet2::kImageSize;
    return icon.pixmap(QSize(size, size), mode).toImage().pixelColor(size / 2, size / 2);
}

class TreePropertySheetTest : public ::testing::Test {
protected:
    // A sheet with one recording page per title, all options on as the configuration sheet
    // has them, shown.
    void Open(const std::vector<QString>& titles, bool treeMode = true) {
        m_sheet = std::make_unique<CXTreePropertySheet2>("Config");
        ASSERT_TRUE(m_sheet->SetTreeMode(treeMode, true, true, true));
        for (const QString& title : titles) {
            m_pages.push_back(&m_sheet->AddPage(std::make_unique<RecordingPage>(title)));
        }
        m_sheet->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_sheet.get()));
    }

    QTreeWidget& Tree() { return *m_sheet->GetPageTree(); }
    QString Node() { return Tree().currentItem()->text(0); }
    QTreeWidgetItem& Item(const QString& name) {
        return *Tree().findItems(name, Qt::MatchExactly | Qt::MatchRecursive).value(0);
    }
    void Click(const QString& name) {
        QTest::mouseClick(Tree().viewport(), Qt::LeftButton, {},
                          Tree().visualItemRect(&Item(name)).center());
    }
    void Button(const char* name) {
        QTest::mouseClick(m_sheet->findChild<QPushButton*>(name), Qt::LeftButton);
    }
    void CtrlTab(QWidget* target, bool backwards = false) {
        QTest::keyClick(target, Qt::Key_Tab,
                        backwards ? Qt::ControlModifier | Qt::ShiftModifier : Qt::ControlModifier);
    }

    std::unique_ptr<CXTreePropertySheet2> m_sheet;
    std::vector<RecordingPage*> m_pages;
};

TEST(SplitTitleSegmentTest, SplitsAtTheFirstUnescapedSeparatorAndUnescapesTheLevel) {
    struct Case {
        QString title;
        QString segment;
        QString rest;
    };
    const Case cases[] = {
        {"General", "General", ""},
        {"General::Language", "General", "Language"},
        {"A::B::C", "A", "B::C"},
        // One backslash escapes the separator; two are a backslash and leave it standing.
        {R"(Log\::Errors)", "Log::Errors", ""},
        {R"(A\\::B)", R"(A\)", "B"},
        {R"(A\\\::B::C)", R"(A\::B)", "C"},
        // The rest keeps its escapes for the next split.
        {R"(A::B\::C)", "A", R"(B\::C)"},
        {R"(A\:::B)", "A:::B", ""},
        {"::Station", "", "Station"},
        {"::", "", ""},
    };
    for (const Case& c : cases) {
        const auto split = CXTreePropertySheet2::SplitTitleSegment(c.title);
        EXPECT_EQ(split.segment, c.segment) << c.title.toStdString();
        EXPECT_EQ(split.rest, c.rest) << c.title.toStdString();
    }
}

TEST_F(TreePropertySheetTest, TreeFollowsTheTitlesInPageOrder) {
    std::vector<QString> titles = kTitles;
    titles.push_back("::Station::Schedule");     // a leading separator names no level
    titles.push_back(R"(Tools::Log\::Errors)");  // an escaped separator stays in the name
    Open(titles);
    EXPECT_EQ(Describe(*Tree().invisibleRootItem()),
              "General=0{Language=1,Format=5},Station=2{Private=3,Schedule=8},"
              "Server=4{Network=6},Tools=-1{Logs=7,Log::Errors=9}");
    EXPECT_EQ(Node(), "General");
    EXPECT_EQ(m_sheet->FindPageItem(static_cast<int>(titles.size())), nullptr);

    // Removing a page rebuilds the tree with the pages behind it moved up.
    std::unique_ptr<CPropertyPage> removed = m_sheet->RemovePage(1);
    EXPECT_EQ(removed.get(), m_pages[1]);
    EXPECT_EQ(Describe(*Tree().invisibleRootItem()),
              "General=0{Format=4},Station=1{Private=2,Schedule=7},"
              "Server=3{Network=5},Tools=-1{Logs=6,Log::Errors=8}");
    EXPECT_EQ(Node(), "General");
}

TEST_F(TreePropertySheetTest, CtrlTabWalksTheTreeInDisplayOrderAndWrapsBothWays) {
    Open(kTitles);
    m_sheet->SetEmptyPageMessage("Choose a page under %s");
    const QStringList forward = {"Language", "Format", "Station", "Private", "Server",
                                 "Network",  "Tools",  "Logs",    "General"};
    QStringList visited;
    for (qsizetype i = 0; i < forward.size(); ++i) {
        CtrlTab(&Tree());
        visited << Node();
        if (Node() == "Tools") {
            // No page here: the last page is hidden and the frame says what to do.
            EXPECT_FALSE(m_sheet->GetActivePage()->isVisible());
            EXPECT_EQ(m_sheet->GetPageFrame()->MessageText(), "Choose a page under Tools");
            EXPECT_EQ(m_sheet->GetPageFrame()->CaptionText(), "Tools");
        }
    }
    EXPECT_EQ(visited, forward);
    EXPECT_EQ(m_sheet->GetActiveIndex(), 0);
    EXPECT_TRUE(m_pages[0]->isVisible());
    EXPECT_EQ(m_sheet->GetPageFrame()->MessageText(), "");

    visited.clear();
    for (qsizetype i = 0; i < forward.size(); ++i) {
        CtrlTab(&Tree(), true);
        visited << Node();
    }
    const QStringList backward = {"Logs",    "Tools",  "Network",  "Server", "Private",
                                  "Station", "Format", "Language", "General"};
    EXPECT_EQ(visited, backward);

    // The keys work from inside a page too, before the page's control sees them.
    CtrlTab(m_pages[0]->edit);
    EXPECT_EQ(m_sheet->GetActivePage(), m_pages[1]);
    EXPECT_EQ(m_pages[0]->edit->text(), "");
}

TEST_F(TreePropertySheetTest, WithoutTreeModeCtrlTabCyclesTheTabs) {
    Open(kTitles, false);
    EXPECT_EQ(m_sheet->GetPageTree(), nullptr);
    EXPECT_FALSE(m_sheet->SetTreeWidth(180));
    auto* tabs = m_sheet->findChild<QTabBar*>("kTabControlId");
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->count(), static_cast<int>(kTitles.size()));

    CtrlTab(tabs, true);
    EXPECT_EQ(m_sheet->GetActiveIndex(), 7);
    EXPECT_EQ(tabs->currentIndex(), 7);
    EXPECT_TRUE(m_pages[7]->isVisible());
    CtrlTab(tabs);
    EXPECT_EQ(m_sheet->GetActiveIndex(), 0);

    m_pages[0]->mayLeave = false;
    tabs->setCurrentIndex(2);
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_EQ(m_pages[2]->activations, 0);
}

TEST_F(TreePropertySheetTest, APageThatWillNotBeLeftKeepsTheSelectionAndCancelTellsTheShown) {
    Open(kTitles);
    m_pages[0]->mayLeave = false;

    Click("Station");
    CtrlTab(&Tree());
    Click("Tools");
    m_sheet->NextPage();
    EXPECT_EQ(Node(), "General");
    ASSERT_EQ(Tree().selectedItems().size(), 1);
    EXPECT_EQ(Tree().selectedItems()[0]->text(0), "General");
    EXPECT_EQ(m_sheet->GetActiveIndex(), 0);
    EXPECT_TRUE(m_pages[0]->isVisible());
    EXPECT_EQ(m_pages[2]->activations, 0);
    EXPECT_EQ(m_pages[1]->activations, 0);
    EXPECT_FALSE(m_sheet->SetActivePage(4));

    m_pages[0]->mayLeave = true;
    Click("Station");
    EXPECT_EQ(Node(), "Station");
    EXPECT_EQ(m_sheet->GetActivePage(), m_pages[2]);
    EXPECT_TRUE(m_pages[2]->isVisible());
    EXPECT_FALSE(m_pages[0]->isVisible());
    EXPECT_EQ(m_pages[2]->inits, 1);
    EXPECT_EQ(m_pages[2]->activations, 1);

    // Cancel tells the pages that were shown, and none writes.
    Button("kCancelButtonId");
    EXPECT_EQ(m_sheet->result(), QDialog::Rejected);
    EXPECT_FALSE(m_sheet->isVisible());
    for (size_t i = 0; i < m_pages.size(); ++i) {
        EXPECT_EQ(m_pages[i]->oks, 0) << i;
        EXPECT_EQ(m_pages[i]->cancels, i == 0 || i == 2 ? 1 : 0) << i;
    }
}

TEST_F(TreePropertySheetTest, OkAsksTheActivePageFirstThenOnlyShownPagesWrite) {
    m_sheet = std::make_unique<CXTreePropertySheet2>("Config");
    for (const QString& title : kTitles) {
        m_pages.push_back(&m_sheet->AddPage(std::make_unique<RecordingPage>(title)));
    }
    m_sheet->SetActivePage(2);
    QTimer::singleShot(0, m_sheet.get(), [this] {
        CtrlTab(&Tree());  // Station -> Private
        m_pages[3]->mayLeave = false;
        Button("kOkButtonId");
        EXPECT_TRUE(m_sheet->isVisible());
        EXPECT_EQ(m_pages[2]->oks, 0);
        m_pages[3]->mayLeave = true;
        Button("kOkButtonId");
    });
    QTimer::singleShot(5000, m_sheet.get(), [this] {
        ADD_FAILURE() << "the sheet did not close";
        m_sheet->done(QDialog::Rejected);
    });
    EXPECT_EQ(m_sheet->exec(), QDialog::Accepted);

    for (size_t i = 0; i < m_pages.size(); ++i) {
        const int shown = i == 2 || i == 3 ? 1 : 0;
        EXPECT_EQ(m_pages[i]->inits, shown) << i;
        EXPECT_EQ(m_pages[i]->oks, shown) << i;
        EXPECT_EQ(m_pages[i]->cancels, 0) << i;
    }
}

TEST_F(TreePropertySheetTest, NodesShowTheirNormalAndSelectedImages) {
    Open(kTitles);
    // As the configuration sheet does: a list of its own, each node given a pair.
    m_sheet->SetTreeImageList({Solid(Qt::red), Solid(Qt::green), Solid(Qt::blue)});
    m_sheet->SetItemImages(&Item("General"), 0, 1);
    m_sheet->SetItemImages(&Item("Station"), 2, 1);

    const QIcon general = Item("General").icon(0);
    EXPECT_EQ(ColourOf(general, QIcon::Normal), QColor(Qt::red));
    EXPECT_EQ(ColourOf(general, QIcon::Selected), QColor(Qt::green));
    // The caption takes the selected node's name and its normal image.
    EXPECT_EQ(m_sheet->GetPageFrame()->CaptionText(), "General");
    EXPECT_EQ(ColourOf(m_sheet->GetPageFrame()->CaptionIcon(), QIcon::Normal), QColor(Qt::red));

    Click("Station");
    EXPECT_EQ(ColourOf(m_sheet->GetPageFrame()->CaptionIcon(), QIcon::Normal), QColor(Qt::blue));
    EXPECT_TRUE(Item("Language").icon(0).isNull());
}

}  // namespace
}  // namespace orvanta
