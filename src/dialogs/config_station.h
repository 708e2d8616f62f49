// CConfigStation: the Station page of the configuration sheet. What the station tells the
// directory server about itself (language, genre, audience, talk) and whether this server is
// one of a cluster, in which case those come from elsewhere and the page greys them out.
#pragma once

#include "config/station_config.h"
#include "ui/tree_property_sheet.h"

class QCheckBox;
class QComboBox;
class QGroupBox;

namespace orvanta {

class CConfigStation : public CPropertyPage {
    Q_OBJECT

public:
    static constexpr int kDialogId = 421;
    static constexpr int kClusterCheckId = 1012;
    static constexpr int kGeneralGroupId = 1017;
    static constexpr int kLanguageLabelId = 1018;
    static constexpr int kLanguageListId = 1011;
    static constexpr int kGenreLabelId = 1019;
    static constexpr int kGenreListId = 10042;
    static constexpr int kGenerationLabelId = 1009;
    static constexpr int kGenerationListId = 1010;
    static constexpr int kMentLabelId = 1013;
    static constexpr int kMentListId = 1014;
    static constexpr int kGeneralNoteId = 1020;

    // Windows primary language identifiers offered as the station language, in list order:
    // English, Korean, Japanese, German, Chinese, French, Portuguese, Dutch, Spanish, Swedish,
    // Italian.
    static constexpr int kLanguageIds[] = {9, 18, 17, 7, 4, 12, 22, 19, 10, 29, 16};
    // Genre codes offered: kGenreStep, 2 * kGenreStep, ... kLastGenre.
    static constexpr int kGenreStep = 100;
    static constexpr int kLastGenre = 1900;

    explicit CConfigStation(StationConfig& config, QWidget* parent = nullptr);

    // The page refills itself every time it becomes active (the first time included).
    void OnSetActive() override;
    void OnOK() override;

private:
    void Fill();
    // Selects the four lists from the record.
    void SelectFromRecord();
    // The cluster box acts on the record at once, before and independently of OK.
    void OnClusterClicked();
    void EnableStationInformation();
    // Language and genre as the selected items' data, age group and talk as the selected
    // positions; -1 for a list without a selection.
    void StoreStationInformation();

    StationConfig& m_config;
    bool m_cluster = false;
    QCheckBox* m_clusterCheck = nullptr;
    QGroupBox* m_generalGroup = nullptr;
    QComboBox* m_languageList = nullptr;
    QComboBox* m_genreList = nullptr;
    QComboBox* m_generationList = nullptr;
    QComboBox* m_mentList = nullptr;
};

}  // namespace orvanta
