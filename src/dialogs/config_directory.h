// CConfigDirectory: the Directory Server page of the configuration sheet, whether the station
// registers with the Orvanta directory server and with the SHOUTcast directory service.
#pragma once

#include "config/station_config.h"
#include "ui/tree_property_sheet.h"

class QCheckBox;

namespace orvanta {

class CConfigDirectory : public CPropertyPage {
    Q_OBJECT

public:
    static constexpr int kDialogId = 234;
    static constexpr int kPublicServerCheckId = 1006;
    static constexpr int kShoutcastCheckId = 1043;
    static constexpr int kShoutcastFormatNoteId = 1138;
    static constexpr int kShoutcastTitleNoteId = 1139;

    explicit CConfigDirectory(StationConfig& config, QWidget* parent = nullptr);

    // The page refills itself every time it becomes active (the first time included).
    void OnSetActive() override;
    void OnOK() override;

private:
    StationConfig& m_config;
    QCheckBox* m_publicServer = nullptr;
    QCheckBox* m_shoutcast = nullptr;
};

}  // namespace orvanta
