#include "dialogs/config_main_sheet.h"

#include "app/message_box.h"
#include "res/string_table.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvanta {

CConfigMainSheet::CConfigMainSheet(CServerContext& context, const std::string& caption,
                                   QWidget* parent, int firstPage)
    : QDialog(parent), m_context(context), m_firstPage(firstPage) {
    setObjectName("CConfigMainSheet");
    setWindowTitle(QString::fromStdString(caption));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    auto* text = new QLabel(
        QString::fromStdString(DisplayText(res::FormatString(
            res::LoadString(res::kStrConfigSheetPending), {m_context.ExitConfigPath()}))),
        this);
    text->setWordWrap(true);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QString::fromStdString(res::LoadString(res::kStrButtonOk)),
                       QDialogButtonBox::AcceptRole);
    buttons->addButton(QString::fromStdString(res::LoadString(res::kStrButtonCancel)),
                       QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(buttons);
    resize(420, 140);
}

}  // namespace orvanta
