#include "dialogs/config_directory.h"

#include "res/string_table.h"
#include "ui/text.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

#include <utility>

namespace orvanta {

CConfigDirectory::CConfigDirectory(StationConfig& config, QWidget* parent)
    : CPropertyPage(Text(res::kStrDirectoryTitle), parent), m_config(config) {
    setObjectName("kDialogId");
    auto* group = new QGroupBox(Text(res::kStrDirectoryGroup), this);
    m_publicServer = new QCheckBox(Text(res::kStrDirectoryPublicServer), group);
    m_publicServer->setObjectName("kPublicServerCheckId");
    m_shoutcast = new QCheckBox(Text(res::kStrDirectoryShoutcast), group);
    m_shoutcast->setObjectName("kShoutcastCheckId");
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_publicServer);
    groupLayout->addWidget(m_shoutcast);
    groupLayout->addSpacing(8);
    for (const auto& [textId, name] :
         {std::pair{res::kStrDirectoryShoutcastFormatNote, "kShoutcastFormatNoteId"},
          std::pair{res::kStrDirectoryShoutcastTitleNote, "kShoutcastTitleNoteId"}}) {
        auto* note = new QLabel(Text(textId), group);
        note->setObjectName(name);
        note->setWordWrap(true);
        groupLayout->addWidget(note);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addStretch(1);
}

void CConfigDirectory::OnSetActive() {
    m_publicServer->setChecked(m_config.PublicServer != 0);
    m_shoutcast->setChecked(m_config.ShoutcastRegister != 0);
}

void CConfigDirectory::OnOK() {
    m_config.PublicServer = m_publicServer->isChecked() ? 1 : 0;
    m_config.ShoutcastRegister = m_shoutcast->isChecked() ? 1 : 0;
}

}  // namespace orvanta
