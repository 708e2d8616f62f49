#include "app/about_dialog.h"

#include "res/string_table.h"
#include "support/file_version.h"
#include "ui/message_box.h"
#include "ui/resources.h"
#include "ui/text.h"

#include <QDialogButtonBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvanta {

namespace {

QLabel* Link(const char* url, const char* objectName, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(objectName);
    label->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(QString::fromUtf8(url)));
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::TextBrowserInteraction);
    // The desktop's browser opens it.
    label->setOpenExternalLinks(true);
    label->setCursor(Qt::PointingHandCursor);
    return label;
}

}  // namespace

CAboutDialog::CAboutDialog(const std::string& programPath, QWidget* parent) : QDialog(parent) {
    setObjectName("kDialogId");
    setWindowTitle(Text(res::kStrAboutTitle));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    // The banner: icon and name on the tooltip colour, the rest on the dialog's own.
    auto* banner = new QFrame(this);
    banner->setObjectName("kBannerId");
    banner->setAutoFillBackground(true);
    QPalette bannerPalette = banner->palette();
    bannerPalette.setColor(QPalette::Window, bannerPalette.color(QPalette::ToolTipBase));
    bannerPalette.setColor(QPalette::WindowText, bannerPalette.color(QPalette::ToolTipText));
    banner->setPalette(bannerPalette);
    auto* icon = new QLabel(banner);
    icon->setObjectName("kIconId");
    icon->setPixmap(ProgramIcon().pixmap(48, 48));
    auto* product = new QLabel(Text(res::kStrAboutProduct), banner);
    QFont productFont = product->font();
    productFont.setPointSizeF(productFont.pointSizeF() * 1.5);
    productFont.setBold(true);
    product->setFont(productFont);
    m_version = new QLabel(banner);
    m_version->setObjectName("kVersionId");
    // The template is the label's own text, filled with the program file's stamped version.
    m_version->setText(Text(res::kStrAboutVersion));
    m_version->setText(QString::fromStdString(
        res::FormatString(m_version->text().toStdString(), {FormatFileVersion(programPath)})));
    auto* names = new QVBoxLayout;
    names->addWidget(product);
    names->addWidget(m_version);
    auto* bannerLayout = new QHBoxLayout(banner);
    bannerLayout->addWidget(icon);
    bannerLayout->addSpacing(8);
    bannerLayout->addLayout(names, 1);

    auto* links = new QGridLayout;
    links->addWidget(new QLabel(Text(res::kStrAboutHomepage), this), 0, 0);
    links->addWidget(Link(kHomepageUrl, "kHomepageLinkId", this), 0, 1);
    links->addWidget(new QLabel(Text(res::kStrAboutForum), this), 1, 0);
    links->addWidget(Link(kForumUrl, "kForumLinkId", this), 1, 1);
    links->setColumnStretch(1, 1);

    m_notice = new QPlainTextEdit(this);
    m_notice->setObjectName("kNoticeId");
    m_notice->setReadOnly(true);
    m_notice->setPlainText(Text(res::kStrAboutNotice));

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close =
        buttons->addButton(Text(res::kStrAboutClose), QDialogButtonBox::AcceptRole);
    close->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(banner);
    layout->addLayout(links);
    layout->addWidget(m_notice, 1);
    layout->addWidget(buttons);
    resize(420, 360);
}

QString CAboutDialog::VersionText() const {
    return m_version->text();
}

QString CAboutDialog::NoticeText() const {
    return m_notice->toPlainText();
}

}  // namespace orvanta
