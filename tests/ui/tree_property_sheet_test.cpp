// The tree property sheet driven for real (offscreen): the tree made from the page titles,
// Ctrl+Tab through it, pages that refuse to be left, and what Cancel tells the pages. (OK, and
// a page that refuses it, are driven through the configuration sheet itself.)
#include "ui/tree_property_sheet.h"

#include "app_ui/ui_test_support.h"

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

QColor ColourOf(const QIcon& icon, QIcon::Mode mode = QIcon::Normal) {
    const int size = CXTreePropertySheet2::kImageSize;
    return icon.pixmap(QSize(size, size), mode).toImage().pixelColor(size / 2, size / 2);
}

class TreePropertySheetTest : public ::testing::Test {
protected:
    // A sheet with one recording page per title, all options on as the configuration sheet
    // has them, shown.
    void Open(const std::vector<QString>& titles) {
        m_sheet = std::make_unique<CXTreePropertySheet2>("Config");
        ASSERT_TRUE(m_sheet->SetTreeMode(true, true, true, true));
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
    void CtrlTab(QWidget* target, bool backwards = false) {
        QTest::keyClick(target, Qt::Key_Tab,
                        backwards ? Qt::ControlModifier | Qt::ShiftModifier : Qt::ControlModifier);
    }

    std::unique_ptr<CXTreePropertySheet2> m_sheet;
    std::vector<RecordingPage*> m_pages;
};

// Titles split at "::" into levels, in page order; a backslash escapes a separator.
TEST_F(TreePropertySheetTest, TreeFollowsTheTitlesInPageOrder) {
    std::vector<QString> titles = kTitles;
    titles.push_back("::Station::Schedule");     // a leading separator names no level
    titles.push_back(R"(Tools::Log\::Errors)");  // an escaped separator stays in the name
    Open(titles);
    EXPECT_EQ(Describe(*Tree().invisibleRootItem()),
              "General=0{Language=1,Format=5},Station=2{Private=3,Schedule=8},"
              "Server=4{Network=6},Tools=-1{Logs=7,Log::Errors=9}");
    EXPECT_EQ(Node(), "General");
}

TEST_F(TreePropertySheetTest, CtrlTabWalksTheTreeInDisplayOrderAndWrapsBothWays) {
    Open(kTitles);
    m_sheet->SetEmptyPageMessage("Choose a page under %s");
    const QStringList order = {"General", "Language", "Format", "Station", "Private",
                               "Server",  "Network",  "Tools",  "Logs"};
    for (qsizetype i = 1; i <= order.size(); ++i) {
        CtrlTab(&Tree());
        EXPECT_EQ(Node(), order[i % order.size()]);
        if (Node() == "Tools") {
            // No page here: the last page is hidden and the frame says what to do.
            EXPECT_FALSE(m_sheet->GetActivePage()->isVisible());
            EXPECT_EQ(m_sheet->GetPageFrame()->MessageText(), "Choose a page under Tools");
        }
    }
    EXPECT_TRUE(m_pages[0]->isVisible());
    for (qsizetype i = order.size() - 1; i >= 0; --i) {
        CtrlTab(&Tree(), true);
        EXPECT_EQ(Node(), order[i]);
    }

    // The keys work from inside a page too, before the page's control sees them.
    CtrlTab(m_pages[0]->edit);
    EXPECT_EQ(m_sheet->GetActivePage(), m_pages[1]);
    EXPECT_EQ(m_pages[0]->edit->text(), "");
}

// A page that will not be left keeps the selection; nodes show their normal and selected
// images, and the caption the selected node's name and normal image; Cancel tells the pages
// that were shown.
TEST_F(TreePropertySheetTest, APageThatWillNotBeLeftKeepsTheSelectionAndCancelTellsTheShown) {
    Open(kTitles);
    // As the configuration sheet does: a list of its own, each node given a pair.
    m_sheet->SetTreeImageList({Solid(Qt::red), Solid(Qt::green), Solid(Qt::blue)});
    m_sheet->SetItemImages(&Item("General"), 0, 1);
    m_sheet->SetItemImages(&Item("Station"), 2, 1);
    EXPECT_EQ(ColourOf(Item("General").icon(0)), QColor(Qt::red));
    EXPECT_EQ(ColourOf(Item("General").icon(0), QIcon::Selected), QColor(Qt::green));
    m_pages[0]->mayLeave = false;
    Click("Station");
    CtrlTab(&Tree());
    m_sheet->NextPage();
    EXPECT_EQ(Node(), "General");
    EXPECT_EQ(Tree().selectedItems().value(0)->text(0), "General");
    EXPECT_TRUE(m_pages[0]->isVisible());
    EXPECT_EQ(m_pages[1]->activations + m_pages[2]->activations, 0);
    EXPECT_FALSE(m_sheet->SetActivePage(4));

    m_pages[0]->mayLeave = true;
    Click("Station");
    EXPECT_EQ(m_sheet->GetActivePage(), m_pages[2]);
    EXPECT_FALSE(m_pages[0]->isVisible());
    EXPECT_EQ(m_pages[2]->inits, 1);
    EXPECT_EQ(m_sheet->GetPageFrame()->CaptionText(), "Station");
    EXPECT_EQ(ColourOf(m_sheet->GetPageFrame()->CaptionIcon()), QColor(Qt::blue));

    // Cancel tells the pages that were shown, and none writes.
    QTest::mouseClick(m_sheet->findChild<QPushButton*>("kCancelButtonId"), Qt::LeftButton);
    for (size_t i = 0; i < m_pages.size(); ++i) {
        EXPECT_EQ(m_pages[i]->oks, 0) << i;
        EXPECT_EQ(m_pages[i]->cancels, i == 0 || i == 2 ? 1 : 0) << i;
    }
}

}  // namespace
}  // namespace orvanta
