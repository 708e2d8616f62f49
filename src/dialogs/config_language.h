// CConfigLanguage: the sheet's Language page. The user picks the language pack the console
// starts with, or switches packs off; both take effect at the next start, so the page only
// writes the two registry values and loads nothing.
#pragma once

#include "ui/tree_property_sheet.h"

#include <cstdint>
#include <string>

class QCheckBox;
class QComboBox;

namespace orvanta {

class CConfigLanguage : public CPropertyPage {
    Q_OBJECT

public:
    static constexpr int kDialogId = 412;
    static constexpr int kDisablePackCheckId = 1043;
    static constexpr int kLanguageListId = 1154;

    // `programFolder` (ending in its separator) is where the packs are looked for.
    explicit CConfigLanguage(std::string programFolder, QWidget* parent = nullptr);

    // Lists the installed packs and selects the stored choice, when the page is first shown.
    void OnInitDialog() override;
    // Writes UI_LanguageID (when an item is selected) and UI_LanguagePack_Disable.
    void OnOK() override;

private:
    void FillLanguageList();
    // The list is for choosing a pack, so it is greyed while packs are switched off.
    void EnableLanguageList();

    std::string m_programFolder;
    uint32_t m_disable = 0;
    QCheckBox* m_disableCheck = nullptr;
    QComboBox* m_languageList = nullptr;
};

}  // namespace orvanta
