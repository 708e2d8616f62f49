#include "dialogs/config_language.h"

#include "config/language_pack.h"
#include "config/program_settings.h"
#include "platform/locale.h"
#include "res/string_table.h"
#include "ui/text.h"

#include <QCheckBox>
#include <QCollator>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>
#include <vector>

namespace orvanta {

namespace {

// The low 16 bits of a stored UI_LanguageID are the language.
constexpr uint32_t kLanguageIdMask = 0xFFFF;

}  // namespace

CConfigLanguage::CConfigLanguage(std::string programFolder, QWidget* parent)
    : CPropertyPage(Text(res::kStrLanguageTitle), parent),
      m_programFolder(std::move(programFolder)) {
    setObjectName("kDialogId");
    // The page shows what the user or, failing that, the machine chose; the loader at start-up
    // looks at the user's choice only.
    m_disable = ReadLanguagePackDisable(true);

    m_disableCheck = new QCheckBox(Text(res::kStrLanguageDisablePack), this);
    m_disableCheck->setObjectName("kDisablePackCheckId");
    connect(m_disableCheck, &QCheckBox::clicked, this, [this] {
        m_disable = m_disableCheck->isChecked() ? 1 : 0;
        EnableLanguageList();
    });

    auto* label = new QLabel(Text(res::kStrLanguageAvailableLabel), this);
    m_languageList = new QComboBox(this);
    m_languageList->setObjectName("kLanguageListId");
    m_languageList->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    label->setBuddy(m_languageList);
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(label);
    listRow->addWidget(m_languageList);
    listRow->addStretch(1);

    auto* note = new QLabel(Text(res::kStrLanguageRestartNote), this);
    note->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_disableCheck);
    layout->addLayout(listRow);
    layout->addWidget(note);
    layout->addStretch(1);
}

void CConfigLanguage::OnInitDialog() {
    m_disableCheck->setChecked(m_disable != 0);
    FillLanguageList();
    EnableLanguageList();
}

void CConfigLanguage::FillLanguageList() {
    m_languageList->clear();
    std::vector<LanguagePackItem> items = EnumLanguagePacks(m_programFolder);
    // A sorted list, in the order of the language the names are written in: punctuation
    // comes before letters there, so "[Default Language]" leads.
    QCollator collator(QLocale(QString::fromStdString(
        platform::LocaleForLanguageId(platform::UserInterfaceLanguageId()))));
    std::stable_sort(items.begin(), items.end(),
                     [&collator](const LanguagePackItem& a, const LanguagePackItem& b) {
                         return collator.compare(QString::fromStdString(a.name),
                                                 QString::fromStdString(b.name)) < 0;
                     });
    for (const LanguagePackItem& item : items) {
        m_languageList->addItem(QString::fromStdString(item.name), item.languageId);
    }
    m_languageList->setCurrentIndex(m_languageList->count() > 0 ? 0 : -1);
    const int stored = m_languageList->findData(ReadLanguageId(true) & kLanguageIdMask);
    if (stored >= 0) {
        m_languageList->setCurrentIndex(stored);
    }
}

void CConfigLanguage::EnableLanguageList() {
    m_languageList->setEnabled(m_disable == 0);
}

void CConfigLanguage::OnOK() {
    if (m_languageList->currentIndex() >= 0) {
        WriteLanguageId(m_languageList->currentData().toUInt() & kLanguageIdMask);
    }
    WriteLanguagePackDisable(m_disable);
}

}  // namespace orvanta
