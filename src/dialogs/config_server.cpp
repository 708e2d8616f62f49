#include "dialogs/config_server.h"

#include "res/string_table.h"
#include "ui/message_box.h"
#include "ui/text.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <string>

namespace orvanta {

namespace {

// Wide enough for the largest number the field takes.
constexpr int kNumberEditWidth = 90;

}  // namespace

std::optional<uint32_t> ParseUnsignedField(const QString& text, uint32_t minimum,
                                           uint32_t maximum) {
    const QString digits = text.trimmed();
    if (digits.isEmpty()) {
        return std::nullopt;
    }
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
    }
    bool ok = false;
    const qulonglong value = digits.toULongLong(&ok);
    if (!ok || value < minimum || value > maximum) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

std::optional<uint32_t> TakeUnsignedField(QWidget* owner, QLineEdit& edit, uint32_t minimum,
                                          uint32_t maximum) {
    const std::optional<uint32_t> value = ParseUnsignedField(
        edit.text(), std::numeric_limits<uint32_t>::min(), std::numeric_limits<uint32_t>::max());
    if (value && *value >= minimum && *value <= maximum) {
        return value;
    }
    if (!value) {
        MessageBoxById(owner, res::kStrFieldNotUnsigned, 0, kMbIconWarning | kMbOk);
    } else {
        MessageBoxText(owner,
                       res::FormatString(res::LoadString(res::kStrFieldOutOfRange),
                                         {std::to_string(minimum), std::to_string(maximum)}),
                       0, kMbIconWarning | kMbOk);
    }
    edit.setFocus();
    edit.selectAll();
    return std::nullopt;
}

CConfigServer::CConfigServer(CServerContext& context, QWidget* parent)
    : CPropertyPage(Text(res::kStrServerTitle), parent), m_context(context) {
    setObjectName("CConfigServer");

    auto* limits = new QGroupBox(Text(res::kStrServerLimitsGroup), this);
    m_maxListener = new QLineEdit(limits);
    m_maxListener->setObjectName("kMaxListenerEditId");
    m_maxListener->setMaximumWidth(kNumberEditWidth);
    auto* bandwidthNote = new QLabel(Text(res::kStrServerBandwidthNote), limits);
    bandwidthNote->setWordWrap(true);
    auto* bandwidthExample = new QLabel(Text(res::kStrServerBandwidthExample), limits);
    bandwidthExample->setWordWrap(true);
    auto* limitsForm = new QFormLayout;
    limitsForm->addRow(Text(res::kStrServerMaxListenerLabel), m_maxListener);
    auto* limitsLayout = new QVBoxLayout(limits);
    limitsLayout->addLayout(limitsForm);
    limitsLayout->addWidget(bandwidthNote);
    limitsLayout->addWidget(bandwidthExample);

    auto* source = new QGroupBox(Text(res::kStrServerPasswordGroup), this);
    m_password = new QLineEdit(source);
    m_password->setObjectName("kPasswordEditId");
    auto* sourceLayout = new QFormLayout(source);
    sourceLayout->addRow(Text(res::kStrServerPasswordLabel), m_password);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(limits);
    layout->addWidget(source);
    layout->addStretch(1);
}

void CConfigServer::Fill() {
    const StationConfig& config = m_context.config;
    // The field is unsigned: a negative count from a hand-edited file shows as the large
    // number it is to the service, and the range check then asks for a real one.
    m_maxListener->setText(QString::number(static_cast<uint32_t>(config.MaxClient)));
    m_password->setText(QString::fromStdString(config.Password));
}

void CConfigServer::OnInitDialog() {
    Fill();
}

void CConfigServer::OnSetActive() {
    Fill();
}

bool CConfigServer::OnKillActive() {
    return TakeUnsignedField(this, *m_maxListener, 0, kMaxListenerLimit).has_value();
}

void CConfigServer::OnOK() {
    // The page was checked when it was left; a field that still fails is not written.
    StationConfig& config = m_context.config;
    if (const auto maxClient = ParseUnsignedField(m_maxListener->text(), 0, kMaxListenerLimit)) {
        config.MaxClient = static_cast<int32_t>(*maxClient);
    }
    config.Password = m_password->text().toStdString();
}

}  // namespace orvanta
