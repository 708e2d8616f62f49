#include "dialogs/config_metadata.h"

#include "res/string_table.h"
#include "ui/text.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <initializer_list>

namespace orvanta {

namespace {

// A group with an edit and the notes below it.
QLineEdit* AddFormatGroup(QVBoxLayout& layout, uint32_t groupId, const char* editName,
                          std::initializer_list<uint32_t> noteIds, QWidget* parent) {
    auto* group = new QGroupBox(Text(groupId), parent);
    auto* edit = new QLineEdit(group);
    edit->setObjectName(editName);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(edit);
    for (const uint32_t noteId : noteIds) {
        auto* note = new QLabel(Text(noteId), group);
        note->setWordWrap(true);
        groupLayout->addWidget(note);
    }
    layout.addWidget(group);
    return edit;
}

}  // namespace

CConfigMetadata::CConfigMetadata(StationConfig& config, QWidget* parent)
    : CPropertyPage(Text(res::kStrMetadataTitle), parent), m_config(config) {
    setObjectName("kDialogId");
    auto* layout = new QVBoxLayout(this);
    // The 256-character limit is only stated on the page: nothing here cuts or refuses a longer
    // format.
    m_titleFormat = AddFormatGroup(
        *layout, res::kStrMetadataTitleGroup, "kTitleFormatEditId",
        {res::kStrMetadataTitleNote, res::kStrMetadataTitleMeaning, res::kStrMetadataTitleExample},
        this);
    m_urlFormat = AddFormatGroup(
        *layout, res::kStrMetadataUrlGroup, "kUrlFormatEditId",
        {res::kStrMetadataUrlNote, res::kStrMetadataUrlMeaning, res::kStrMetadataUrlExample}, this);
    for (const uint32_t noteId : {res::kStrMetadataLengthNote, res::kStrMetadataFormatNote}) {
        auto* note = new QLabel(Text(noteId), this);
        note->setWordWrap(true);
        layout->addWidget(note);
    }
    layout->addStretch(1);
}

void CConfigMetadata::OnInitDialog() {
    m_titleFormat->setText(QString::fromStdString(m_config.TitleFormat));
    m_urlFormat->setText(QString::fromStdString(m_config.URLFormat));
}

void CConfigMetadata::OnOK() {
    m_config.TitleFormat = m_titleFormat->text().toStdString();
    m_config.URLFormat = m_urlFormat->text().toStdString();
}

}  // namespace orvanta
