#include "dialogs/config_station.h"

#include "res/string_table.h"
#include "support/language_name.h"
#include "ui/text.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace orvanta {

namespace {

QLabel* Note(uint32_t textId, QWidget* parent) {
    auto* note = new QLabel(Text(textId), parent);
    note->setWordWrap(true);
    return note;
}

// Selects `position`, or nothing when the list has no such position.
void SelectPosition(QComboBox& list, int position) {
    list.setCurrentIndex(position >= 0 && position < list.count() ? position : -1);
}

// Selects the first item carrying `data`, else the first item.
void SelectData(QComboBox& list, int data) {
    const int found = list.findData(data);
    list.setCurrentIndex(found >= 0 ? found : (list.count() > 0 ? 0 : -1));
}

int SelectedData(const QComboBox& list) {
    return list.currentIndex() >= 0 ? list.currentData().toInt() : -1;
}

}  // namespace

CConfigStation::CConfigStation(StationConfig& config, QWidget* parent)
    : CPropertyPage(Text(res::kStrStationTitle), parent), m_config(config) {
    setObjectName("kDialogId");

    auto* clusterGroup = new QGroupBox(Text(res::kStrStationClusterGroup), this);
    m_clusterCheck = new QCheckBox(Text(res::kStrStationClusterCheck), clusterGroup);
    m_clusterCheck->setObjectName("kClusterCheckId");
    connect(m_clusterCheck, &QCheckBox::clicked, this, [this] { OnClusterClicked(); });
    auto* clusterLayout = new QVBoxLayout(clusterGroup);
    clusterLayout->addWidget(m_clusterCheck);
    clusterLayout->addWidget(Note(res::kStrStationClusterNote, clusterGroup));

    m_generalGroup = new QGroupBox(Text(res::kStrStationGeneralGroup), this);
    m_generalGroup->setObjectName("kGeneralGroupId");
    auto* lists = new QGridLayout;
    const auto addRow = [this, lists](int row, uint32_t textId, const char* labelName,
                                      const char* listName) {
        auto* label = new QLabel(Text(textId), m_generalGroup);
        label->setObjectName(labelName);
        auto* list = new QComboBox(m_generalGroup);
        list->setObjectName(listName);
        list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        label->setBuddy(list);
        lists->addWidget(label, row, 0);
        lists->addWidget(list, row, 1);
        return list;
    };
    m_languageList =
        addRow(0, res::kStrStationLanguageLabel, "kLanguageLabelId", "kLanguageListId");
    m_genreList = addRow(1, res::kStrStationGenreLabel, "kGenreLabelId", "kGenreListId");
    m_generationList =
        addRow(2, res::kStrStationGenerationLabel, "kGenerationLabelId", "kGenerationListId");
    m_mentList = addRow(3, res::kStrStationMentLabel, "kMentLabelId", "kMentListId");
    lists->setColumnStretch(2, 1);
    auto* generalNote = Note(res::kStrStationGeneralNote, m_generalGroup);
    generalNote->setObjectName("kGeneralNoteId");
    auto* generalLayout = new QVBoxLayout(m_generalGroup);
    generalLayout->addLayout(lists);
    generalLayout->addWidget(generalNote);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(clusterGroup);
    layout->addWidget(m_generalGroup);
    layout->addStretch(1);
}

void CConfigStation::OnSetActive() {
    Fill();
}

void CConfigStation::Fill() {
    m_languageList->clear();
    m_genreList->clear();
    for (const int id : kLanguageIds) {
        const std::string name = ShortLanguageName(static_cast<uint32_t>(id));
        if (!name.empty()) {
            m_languageList->addItem(QString::fromStdString(name), id);
        }
    }

    m_cluster = m_config.Master == 0;

    for (int code = kGenreStep; code <= kLastGenre; code += kGenreStep) {
        m_genreList->addItem(Text(res::kStrGenreBase + static_cast<uint32_t>(code / kGenreStep)),
                             code);
    }
    // The stored Generation and Ment are list positions.
    m_generationList->clear();
    for (const uint32_t id :
         {res::kStrNotSelected, res::kStrGenerationAll, res::kStrGenerationTeens,
          res::kStrGeneration20s, res::kStrGeneration30s, res::kStrGeneration40sAndOver}) {
        m_generationList->addItem(Text(id));
    }
    m_mentList->clear();
    for (const uint32_t id : {res::kStrNotSelected, res::kStrMentWith, res::kStrMentWithout}) {
        m_mentList->addItem(Text(id));
    }

    SelectFromRecord();
    m_clusterCheck->setChecked(m_cluster);
    EnableStationInformation();
}

void CConfigStation::SelectFromRecord() {
    SelectData(*m_languageList, m_config.LangCode);
    SelectData(*m_genreList, m_config.Genre);
    SelectPosition(*m_generationList, m_config.Generation);
    SelectPosition(*m_mentList, m_config.Ment);
}

void CConfigStation::EnableStationInformation() {
    // A cluster member is described by the cluster, not by this page.
    m_generalGroup->setEnabled(!m_cluster);
}

void CConfigStation::OnClusterClicked() {
    m_cluster = m_clusterCheck->isChecked();
    EnableStationInformation();
    m_config.Master = m_cluster ? 0 : 1;
    if (m_cluster) {
        // The lists are greyed from now on: what they show goes into the record together with
        // Master, at once like Master.
        StoreStationInformation();
    } else {
        SelectFromRecord();
    }
}

void CConfigStation::StoreStationInformation() {
    m_config.LangCode = SelectedData(*m_languageList);
    m_config.Genre = static_cast<int16_t>(SelectedData(*m_genreList));
    m_config.Generation = static_cast<int16_t>(m_generationList->currentIndex());
    m_config.Ment = static_cast<int16_t>(m_mentList->currentIndex());
}

void CConfigStation::OnOK() {
    StoreStationInformation();
}

}  // namespace orvanta
