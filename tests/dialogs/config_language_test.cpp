// The Language page driven for real (offscreen) in a tree sheet, over a program folder with
// packs in it and hives of its own.
#include "dialogs/config_language.h"

#include "app_ui/ui_test_support.h"
#include "config/language_pack.h"
#include "config/program_settings.h"
#include "config/registry_key.h"
#include "support/language_pack_file.h"

namespace orvanta {
namespace {

// Over a program folder with packs for Korean and German beside the program.
class ConfigLanguageTest : public test::SheetPageTest<CConfigLanguage> {
protected:
    void SetUp() override {
        for (const char* abbreviation : {"", ".KOR", ".DEU"}) {
            LanguagePackFile file;
            file.version = LanguagePackVersionStamp(0, 1, 0, 0);
            test::WriteFile(m_program.File(std::string(kProgramFileName) + abbreviation),
                            SerializeLanguagePack(file));
        }
    }
    // The sheet goes while the hives are still the test's.
    void TearDown() override { m_sheet.reset(); }
    void Open() {
        SheetPageTest::Open(m_program.Folder());
        m_list = &List("kLanguageListId");
        m_check = &Child<QCheckBox>("kDisablePackCheckId");
    }

    test::ScopedEnv m_language{"ORVANTA_UI_LANGUAGE", "0x0409"};
    test::ProgramFolder m_program;
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
    // The default, then the packs found beside the program, by language name.
    ASSERT_EQ(m_list->count(), 3);
    EXPECT_EQ(m_list->itemText(1), "German (Germany)");
    EXPECT_EQ(m_list->currentText(), "Korean (South Korea)");
    EXPECT_FALSE(m_list->isEnabled()) << "no pack to choose while packs are off";

    QTest::mouseClick(m_check, Qt::LeftButton);
    EXPECT_TRUE(m_list->isEnabled());
    m_list->setCurrentIndex(1);
    m_sheet->accept();
    EXPECT_EQ(ReadLanguageId(false), 0x0407u);
    EXPECT_EQ(ReadLanguagePackDisable(false), 0u);
}

TEST_F(ConfigLanguageTest, AChoiceWhosePackWasRemovedLeavesTheFirstItemForOk) {
    WriteLanguageId(0x0411);
    WriteLanguagePackDisable(0);
    Open();
    EXPECT_EQ(m_list->currentIndex(), 0);
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

}  // namespace
}  // namespace orvanta
