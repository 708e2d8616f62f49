// CConfigGeneral: the sheet's General page. It shows which configuration file is in use, loads
// and saves configuration files, and edits the log and content settings.
#pragma once

#include "startup/server_context.h"
#include "ui/tree_property_sheet.h"

#include <QStringList>

#include <cstdint>
#include <string>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace orvanta {

// The string table keeps file filters in the classic form "name|patterns|name|patterns||";
// this gives the toolkit's "name (patterns)" entries, one per filter.
QStringList NameFiltersOf(const std::string& filter);

class CConfigGeneral : public CPropertyPage {
    Q_OBJECT

public:
    static constexpr int kDialogId = 174;
    static constexpr int kConfigFileEditId = 1038;
    static constexpr int kLoadButtonId = 1028;
    static constexpr int kSaveButtonId = 1029;
    static constexpr int kEnableLogCheckId = 1043;
    static constexpr int kLogGroupId = 1026;
    static constexpr int kLogDirLabelId = 1027;
    static constexpr int kLogDirEditId = 1039;
    static constexpr int kLogFileLabelId = 1030;
    static constexpr int kLogFileEditId = 1040;
    static constexpr int kContentDirEditId = 1041;
    static constexpr int kIndexPageEditId = 1042;

    explicit CConfigGeneral(CServerContext& context, QWidget* parent = nullptr);

    // Filled when first shown and after a confirmed load, never on activation.
    void OnInitDialog() override;
    void OnOK() override;

    // The two commands, as their buttons run them. True when the user confirmed a file.
    bool OnLoadConfig();
    bool OnSaveConfig();

private:
    void Fill();
    // Greys or restores the log group, its labels and its edits.
    void EnableLogControls(bool enable);

    CServerContext& m_context;
    QLineEdit* m_configFile = nullptr;
    QPushButton* m_load = nullptr;
    QPushButton* m_save = nullptr;
    QCheckBox* m_enableLog = nullptr;
    QGroupBox* m_logGroup = nullptr;
    QLabel* m_logDirLabel = nullptr;
    QLineEdit* m_logDir = nullptr;
    QLabel* m_logFileLabel = nullptr;
    QLineEdit* m_logFile = nullptr;
    QLineEdit* m_contentDir = nullptr;
    QLineEdit* m_indexPage = nullptr;
};

}  // namespace orvanta
