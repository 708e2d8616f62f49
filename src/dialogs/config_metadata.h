// CConfigMetadata: the Metadata page of the configuration sheet, the formats of the title and
// the URL that the service sends to listeners.
#pragma once

#include "config/station_config.h"
#include "ui/tree_property_sheet.h"

class QLineEdit;

namespace orvanta {

class CConfigMetadata : public CPropertyPage {
    Q_OBJECT

public:
    static constexpr int kDialogId = 181;
    static constexpr int kTitleFormatEditId = 1038;
    static constexpr int kUrlFormatEditId = 1039;

    explicit CConfigMetadata(StationConfig& config, QWidget* parent = nullptr);

    // Filled once, when the page is first shown; coming back to it keeps what was typed.
    void OnInitDialog() override;
    void OnOK() override;

private:
    StationConfig& m_config;
    QLineEdit* m_titleFormat = nullptr;
    QLineEdit* m_urlFormat = nullptr;
};

}  // namespace orvanta
