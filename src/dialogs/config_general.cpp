#include "dialogs/config_general.h"

#include "config/config_commands.h"
#include "res/string_table.h"
#include "ui/message_box.h"
#include "ui/text.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

namespace orvanta {

namespace {

enum class FileDialogKind { Open, Save };

// The file dialog of both commands: owned by the page, opening in the remembered folder, with
// no default extension added to a typed name and no question before a file is overwritten.
bool ChooseConfigFile(QWidget* owner, FileDialogKind kind, const std::string& initialFolder,
                      std::string& path) {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(kind == FileDialogKind::Open ? QFileDialog::AcceptOpen
                                                      : QFileDialog::AcceptSave);
    // A name that does not exist yet may be typed in either dialog; what a load of a missing
    // file does is the load's business.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilters(NameFiltersOf(res::LoadString(res::kStrIniFileFilter)));
    if (!initialFolder.empty()) {
        dialog.setDirectory(ToQString(initialFolder));
    }
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) {
        return false;
    }
    path = files.front().toStdString();
    return true;
}

}  // namespace

// A name that already shows its patterns is taken as it is: the toolkit reads the patterns
// from the parentheses.
QStringList NameFiltersOf(const std::string& filter) {
    const QStringList parts = ToQString(filter).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& name = parts[i];
        const QString patterns = QString(parts[i + 1]).replace(';', ' ');
        if (name.isEmpty() && patterns.isEmpty()) {
            break;
        }
        filters << (name.contains('(') ? name : QStringLiteral("%1 (%2)").arg(name, patterns));
    }
    return filters;
}

CConfigGeneral::CConfigGeneral(CServerContext& context, QWidget* parent)
    : CPropertyPage(Text(res::kStrGeneralTitle), parent), m_context(context) {
    setObjectName("CConfigGeneral");

    auto* fileGroup = new QGroupBox(Text(res::kStrGeneralConfigFileGroup), this);
    m_configFile = new QLineEdit(fileGroup);
    m_configFile->setObjectName("kConfigFileEditId");
    m_configFile->setReadOnly(true);
    m_load = new QPushButton(Text(res::kStrGeneralLoadConfig), fileGroup);
    m_load->setObjectName("kLoadButtonId");
    m_save = new QPushButton(Text(res::kStrGeneralSaveConfig), fileGroup);
    m_save->setObjectName("kSaveButtonId");
    auto* fileButtons = new QHBoxLayout;
    fileButtons->addStretch(1);
    fileButtons->addWidget(m_load);
    fileButtons->addWidget(m_save);
    auto* fileLayout = new QVBoxLayout(fileGroup);
    fileLayout->addWidget(m_configFile);
    fileLayout->addLayout(fileButtons);

    m_enableLog = new QCheckBox(Text(res::kStrGeneralEnableLogging), this);
    m_enableLog->setObjectName("kEnableLogCheckId");
    // The check box stays outside the group it greys, or it would grey itself.
    m_logGroup = new QGroupBox(this);
    m_logGroup->setObjectName("kLogGroupId");
    m_logDirLabel = new QLabel(Text(res::kStrGeneralLogDirLabel), m_logGroup);
    m_logDirLabel->setObjectName("kLogDirLabelId");
    m_logDir = new QLineEdit(m_logGroup);
    m_logDir->setObjectName("kLogDirEditId");
    m_logFileLabel = new QLabel(Text(res::kStrGeneralLogFileLabel), m_logGroup);
    m_logFileLabel->setObjectName("kLogFileLabelId");
    m_logFile = new QLineEdit(m_logGroup);
    m_logFile->setObjectName("kLogFileEditId");
    auto* logLayout = new QFormLayout(m_logGroup);
    logLayout->addRow(m_logDirLabel, m_logDir);
    logLayout->addRow(m_logFileLabel, m_logFile);

    auto* contentsGroup = new QGroupBox(Text(res::kStrGeneralContentsGroup), this);
    m_contentDir = new QLineEdit(contentsGroup);
    m_contentDir->setObjectName("kContentDirEditId");
    m_indexPage = new QLineEdit(contentsGroup);
    m_indexPage->setObjectName("kIndexPageEditId");
    auto* contentsLayout = new QFormLayout(contentsGroup);
    contentsLayout->addRow(Text(res::kStrGeneralContentDirLabel), m_contentDir);
    contentsLayout->addRow(Text(res::kStrGeneralIndexPageLabel), m_indexPage);

    auto* note = new QLabel(Text(res::kStrGeneralFormatNote), this);
    note->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fileGroup);
    layout->addWidget(m_enableLog);
    layout->addWidget(m_logGroup);
    layout->addWidget(contentsGroup);
    layout->addWidget(note);
    layout->addStretch(1);

    connect(m_load, &QPushButton::clicked, this, [this] { OnLoadConfig(); });
    connect(m_save, &QPushButton::clicked, this, [this] { OnSaveConfig(); });
    connect(m_enableLog, &QCheckBox::clicked, this,
            [this] { EnableLogControls(m_enableLog->isChecked()); });
}

void CConfigGeneral::OnInitDialog() {
    Fill();
}

void CConfigGeneral::Fill() {
    const StationConfig& config = m_context.config;
    m_enableLog->setChecked(config.CreateLog != 0);
    m_configFile->setText(ToQString(config.ConfigFile));
    m_contentDir->setText(ToQString(config.ContentDir));
    m_indexPage->setText(ToQString(config.IndexPage));
    m_logDir->setText(ToQString(config.LogDir));
    m_logFile->setText(ToQString(config.LogFile));
    EnableLogControls(config.CreateLog != 0);
}

void CConfigGeneral::EnableLogControls(bool enable) {
    for (QWidget* control :
         {static_cast<QWidget*>(m_logGroup), static_cast<QWidget*>(m_logDirLabel),
          static_cast<QWidget*>(m_logDir), static_cast<QWidget*>(m_logFileLabel),
          static_cast<QWidget*>(m_logFile)}) {
        control->setEnabled(enable);
    }
}

void CConfigGeneral::OnOK() {
    StationConfig& config = m_context.config;
    config.CreateLog = m_enableLog->isChecked() ? 1 : 0;
    config.ConfigFile = m_configFile->text().toStdString();
    config.ContentDir = m_contentDir->text().toStdString();
    config.IndexPage = m_indexPage->text().toStdString();
    config.LogDir = m_logDir->text().toStdString();
    config.LogFile = m_logFile->text().toStdString();
}

bool CConfigGeneral::OnLoadConfig() {
    const bool confirmed =
        LoadConfigCommand(m_context.config, [this](const std::string& folder, std::string& path) {
            return ChooseConfigFile(this, FileDialogKind::Open, folder, path);
        });
    if (confirmed) {
        // Whatever the load found, the page shows the record as it is now.
        Fill();
        update();
    }
    return confirmed;
}

bool CConfigGeneral::OnSaveConfig() {
    // The record is saved as it stands: edits not yet confirmed with OK are not in the file.
    return SaveConfigCommand(
        m_context.config,
        [this](const std::string& folder, std::string& path) {
            return ChooseConfigFile(this, FileDialogKind::Save, folder, path);
        },
        [this](const std::string& path, const std::string& reason) {
            MessageBoxFormat(this, res::kStrConfigSaveFailed, {path, reason});
        });
}

}  // namespace orvanta
