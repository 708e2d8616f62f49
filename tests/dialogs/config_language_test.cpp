// The Language page driven for real (offscreen) in a tree sheet, over a program folder with
// packs in it and hives of its own; and (on Xvfb) the console started with the Korean pack
// the build ships, kept as a picture.
#include "dialogs/config_language.h"

#include "app_ui/ui_test_support.h"
#include "config/language_pack.h"
#include "config/program_settings.h"
#include "config/registry_key.h"
#include "dialogs/config_main_sheet.h"
#include "res/string_table.h"
#include "support/language_pack_file.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <stdlib.h>

namespace orvanta {
namespace {

class ConfigLanguageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("ORVANTA_UI_LANGUAGE", "0x0409", 1);
        for (const char* abbreviation : {"", ".KOR", ".DEU"}) {
            LanguagePackFile file;
            file.version = LanguagePackVersionStamp(0, 1, 0, 0);
            test::WriteFile(m_program.File(std::string(kProgramFileName) + abbreviation),
                            SerializeLanguagePack(file));
        }
    }
    void TearDown() override { ::unsetenv("ORVANTA_UI_LANGUAGE"); }

    void Open() {
        m_sheet = std::make_unique<CXTreePropertySheet2>("Config");
        m_sheet->AddPage(std::make_unique<CPropertyPage>(QStringLiteral("General")));
        m_page = &m_sheet->AddPage(std::make_unique<CConfigLanguage>(m_program.Folder()));
        m_sheet->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_sheet.get()));
        ASSERT_TRUE(m_sheet->SetActivePage(1));
        m_list = m_page->findChild<QComboBox*>("kLanguageListId");
        m_check = m_page->findChild<QCheckBox*>("kDisablePackCheckId");
        ASSERT_NE(m_list, nullptr);
        ASSERT_NE(m_check, nullptr);
    }

    QStringList Items() const {
        QStringList items;
        for (int i = 0; i < m_list->count(); ++i) {
            items << m_list->itemText(i);
        }
        return items;
    }

    test::ProgramFolder m_program;
    std::unique_ptr<CXTreePropertySheet2> m_sheet;
    CConfigLanguage* m_page = nullptr;
    QComboBox* m_list = nullptr;
    QCheckBox* m_check = nullptr;
};

TEST_F(ConfigLanguageTest, ShowsTheStoredChoiceAndWritesBothValuesOnOk) {
    // Values only the machine holds are shown, as the page reads user then machine.
    CRegistryKey machine;
    ASSERT_TRUE(machine.Create(kRegistryRoot, RegistryRoot::LocalMachine));
    ASSERT_TRUE(machine.WriteDword(kValueLanguageId, 0x0412));
    ASSERT_TRUE(machine.WriteDword(kValueLanguagePackDisable, 1));
    Open();
    EXPECT_EQ(m_page->Title(), "General::Language");
    EXPECT_EQ(Items(),
              QStringList({"[Default Language]", "German (Germany)", "Korean (South Korea)"}));
    EXPECT_EQ(m_list->currentText(), "Korean (South Korea)");
    EXPECT_TRUE(m_check->isChecked());
    EXPECT_FALSE(m_list->isEnabled()) << "no pack to choose while packs are off";

    QTest::mouseClick(m_check, Qt::LeftButton);
    EXPECT_TRUE(m_list->isEnabled());
    m_list->setCurrentIndex(1);
    EXPECT_EQ(ReadLanguageId(false), 0u) << "nothing is written before OK";
    m_sheet->accept();
    EXPECT_EQ(ReadLanguageId(false), 0x0407u);
    EXPECT_EQ(ReadLanguagePackDisable(false), 0u);
}

TEST_F(ConfigLanguageTest, AChoiceWhosePackWasRemovedLeavesTheFirstItemForOk) {
    WriteLanguageId(0x0411);
    WriteLanguagePackDisable(0);
    Open();
    EXPECT_EQ(m_list->currentIndex(), 0);
    EXPECT_TRUE(m_list->isEnabled());
    m_sheet->accept();
    EXPECT_EQ(ReadLanguageId(false), 0u);

    // Only the low 16 bits of the stored value are the language; Cancel writes nothing.
    WriteLanguageId(0x10000 | 0x0412);
    Open();
    EXPECT_EQ(m_list->currentText(), "Korean (South Korea)");
    m_list->setCurrentIndex(0);
    QTest::mouseClick(m_check, Qt::LeftButton);
    m_sheet->reject();
    EXPECT_EQ(ReadLanguageId(false), 0x10412u);
    EXPECT_EQ(ReadLanguagePackDisable(false), 0u);
}

// The main window and the Language page with the Korean pack the build put in the program
// folder, on a real X server, for people to look at.
TEST(LanguagePackScreenshotTest, MainWindowAndLanguagePageInKorean) {
    const QString folder = test::ScreenshotFolder();
    if (folder.isEmpty()) {
        GTEST_SKIP() << "needs ORV_SCREENSHOT_DIR and an X display";
    }
    test::ProgramFolder program;
    program.WriteConfig(
        "[Network]\nPort=8080\n[Limits]\nMaxClient=32\n[Broadcast]\nMaster=True\nGenre=700\n"
        "LangCode=18\n");
    test::RecordedBoxes boxes;
    ASSERT_TRUE(WriteLanguageId(0x0412));
    CLanguagePack pack;
    ASSERT_TRUE(pack.Load(kRegistryRoot, std::string(ORV_PROGRAM_DIR) + "/ovserver"));
    EXPECT_EQ(pack.Abbreviation(), "KOR");
    {
        test::Console console(program);
        console.window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&console.window));
        auto* start = console.window.findChild<QPushButton*>("kStartButtonId");
        ASSERT_NE(start, nullptr);
        EXPECT_EQ(start->text(), QString::fromUtf8("시작"));
        test::SaveScreenshot(console.window, folder, "main-window-korean");

        // The sheet's tree is built from translated titles and keeps its icons.
        CConfigMainSheet sheet(console.context, res::LoadString(res::kStrConfigSheetCaption),
                               nullptr, 1);
        sheet.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&sheet));
        QTreeWidgetItem* general = sheet.GetPageTree()->topLevelItem(0);
        ASSERT_EQ(general->childCount(), 2);
        EXPECT_EQ(general->child(0)->text(0), QString::fromUtf8("언어"));
        EXPECT_EQ(general->child(0)->data(0, CXTreePropertySheet2::kImageRole).toInt(), 2);
        test::SaveScreenshot(sheet, folder, "config-language-korean");
        sheet.reject();
    }
    pack.Unload();
    EXPECT_EQ(res::LoadString(res::kStrMainStart), "Start");
}

}  // namespace
}  // namespace orvanta
