// The configuration sheet as the Config command opens it: the tree its pages build, the
// tree's icons, OK writing only the pages that were shown, and (on Xvfb) a picture of every
// page.
#include "dialogs/config_main_sheet.h"

#include "app_ui/ui_test_support.h"
#include "res/string_table.h"

#include <QApplication>
#include <QImage>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace orvanta {
namespace {

class ConfigMainSheetTest : public ::testing::Test {
protected:
    void SetUp() override { m_context.InitInstance(); }

    test::ProgramFolder m_folder;
    CServerContext m_context{m_folder.Folder()};
};

QStringList Children(const QTreeWidgetItem& item) {
    QStringList names;
    for (int i = 0; i < item.childCount(); ++i) {
        names << item.child(i)->text(0);
    }
    return names;
}

TEST_F(ConfigMainSheetTest, PagesBuildTheTreeWithTheirIcons) {
    test::RecordedBoxes boxes;
    CConfigMainSheet sheet(m_context, res::LoadString(res::kStrConfigSheetCaption), nullptr, 0);
    sheet.InitDialog();
    EXPECT_EQ(sheet.windowTitle(), "Config");
    QTreeWidget* tree = sheet.GetPageTree();
    ASSERT_NE(tree, nullptr);
    ASSERT_EQ(tree->topLevelItemCount(), 3);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), "General");
    EXPECT_EQ(tree->topLevelItem(1)->text(0), "Station");
    EXPECT_EQ(tree->topLevelItem(2)->text(0), "Server");
    EXPECT_EQ(Children(*tree->topLevelItem(0)), QStringList({"Language", "Format"}));
    EXPECT_EQ(Children(*tree->topLevelItem(1)),
              QStringList({"Private", "Metadata", "Directory Server", "Schedule"}));
    EXPECT_EQ(Children(*tree->topLevelItem(2)), QStringList({"Network"}));
    EXPECT_TRUE(tree->topLevelItem(0)->isExpanded());

    // Grey normally, coloured when selected, by the node's place in the icon table.
    ASSERT_EQ(sheet.TreeImageList().size(), 20u);
    auto images = [](const QTreeWidgetItem* item) {
        return std::pair(item->data(0, CXTreePropertySheet2::kImageRole).toInt(),
                         item->data(0, CXTreePropertySheet2::kSelectedImageRole).toInt());
    };
    EXPECT_EQ(images(tree->topLevelItem(0)), std::pair(0, 1));              // General: 0
    EXPECT_EQ(images(tree->topLevelItem(0)->child(0)), std::pair(2, 3));    // Language: 1
    EXPECT_EQ(images(tree->topLevelItem(0)->child(1)), std::pair(16, 17));  // Format: 8
    EXPECT_EQ(images(tree->topLevelItem(1)->child(0)), std::pair(6, 7));    // Private: 3
    EXPECT_EQ(images(tree->topLevelItem(1)->child(3)), std::pair(12, 13));  // Schedule: 6
    EXPECT_EQ(images(tree->topLevelItem(2)->child(0)), std::pair(18, 19));  // Network: 9
}

TEST_F(ConfigMainSheetTest, OkWritesOnlyThePagesThatWereShown) {
    test::RecordedBoxes boxes;
    // Values the Station and Network pages would put right if they wrote.
    m_context.config.Genre = 2000;
    m_context.config.BindAddress = "192.0.2.55";
    CConfigMainSheet sheet(m_context, res::LoadString(res::kStrConfigSheetCaption), nullptr, 0);
    QTimer::singleShot(0, &sheet, [&sheet] { sheet.accept(); });
    sheet.exec();
    EXPECT_EQ(m_context.config.Genre, 2000);
    EXPECT_EQ(m_context.config.BindAddress, "192.0.2.55");

    // Shown once, the Station page (after General and Language) writes its genre back on OK.
    CConfigMainSheet again(m_context, res::LoadString(res::kStrConfigSheetCaption), nullptr, 0);
    QTimer::singleShot(0, &again, [&again] {
        again.SetActivePage(2);
        again.SetActivePage(0);
        again.accept();
    });
    again.exec();
    EXPECT_EQ(m_context.config.Genre, 100);
    EXPECT_EQ(m_context.config.BindAddress, "192.0.2.55");
}

// Every page on a real X server, written to PNG files for people to look at.
TEST_F(ConfigMainSheetTest, ScreenshotOfEveryPage) {
    const QString folder = test::ScreenshotFolder();
    if (folder.isEmpty()) {
        GTEST_SKIP() << "needs ORV_SCREENSHOT_DIR and an X display";
    }
    test::RecordedBoxes boxes;
    CConfigMainSheet sheet(m_context, res::LoadString(res::kStrConfigSheetCaption), nullptr, 0);
    sheet.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&sheet));
    for (int page = 0; page < sheet.GetPageCount(); ++page) {
        ASSERT_TRUE(sheet.SetActivePage(page));
        const QString name =
            QString(sheet.GetPage(page)->Title()).replace("::", "-").replace(' ', '_');
        test::SaveScreenshot(sheet, folder, QString("config-%1-%2").arg(page).arg(name), 150);
    }
    sheet.reject();
}

TEST(ConfigTreeImagesTest, ShallowScreensGetTheSixteenColourStrips) {
    const std::vector<QIcon> deep = TreeImageList(32);
    const std::vector<QIcon> shallow = TreeImageList(8);
    ASSERT_EQ(deep.size(), 20u);
    ASSERT_EQ(shallow.size(), 20u);
    for (size_t i = 0; i < deep.size(); ++i) {
        ASSERT_FALSE(deep[i].isNull()) << i;
        ASSERT_FALSE(shallow[i].isNull()) << i;
    }
    // The globe, coloured: true colour and sixteen colours are drawn differently, and grey
    // differs from coloured.
    const QImage deepGlobe = deep[3].pixmap(16, 16).toImage();
    EXPECT_NE(deepGlobe, shallow[3].pixmap(16, 16).toImage());
    EXPECT_NE(deepGlobe, deep[2].pixmap(16, 16).toImage());
    // Magenta is never shown: it is where the tree shows through.
    EXPECT_EQ(qAlpha(deepGlobe.pixel(0, 0)), 0);
}

}  // namespace
}  // namespace orvanta
