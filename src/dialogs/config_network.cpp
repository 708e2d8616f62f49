#include "dialogs/config_network.h"

#include "dialogs/config_general.h"
#include "dialogs/config_server.h"
#include "res/string_table.h"
#include "support/system.h"
#include "ui/text.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <limits>
#include <memory>
#include <string>

namespace orvanta {

namespace {

// Wide enough for the largest number the fields take.
constexpr int kNumberEditWidth = 90;

// Numbers from the record are shown as the unsigned values the fields hold.
QString UnsignedText(int32_t value) {
    return QString::number(static_cast<uint32_t>(value));
}

}  // namespace

CConfigNetwork::CConfigNetwork(CServerContext& context, QWidget* parent)
    : CPropertyPage(Text(res::kStrNetworkTitle), parent), m_context(context) {
    setObjectName("CConfigNetwork");

    auto* network = new QGroupBox(Text(res::kStrNetworkGroup), this);
    m_port = new QLineEdit(network);
    m_port->setObjectName("kPortEditId");
    m_port->setMaximumWidth(kNumberEditWidth);
    m_bindAddress = new QComboBox(network);
    m_bindAddress->setObjectName("kBindAddressListId");
    m_timeout = new QLineEdit(network);
    m_timeout->setObjectName("kTimeoutEditId");
    m_timeout->setMaximumWidth(kNumberEditWidth);
    auto* nicNote = new QLabel(Text(res::kStrNetworkNicNote), network);
    nicNote->setWordWrap(true);
    auto* networkForm = new QFormLayout;
    networkForm->addRow(Text(res::kStrNetworkPortLabel), m_port);
    networkForm->addRow(Text(res::kStrNetworkBindLabel), m_bindAddress);
    networkForm->addRow(Text(res::kStrNetworkTimeoutLabel), m_timeout);
    auto* networkLayout = new QVBoxLayout(network);
    networkLayout->addLayout(networkForm);
    networkLayout->addWidget(nicNote);

    auto* overriding = new QGroupBox(Text(res::kStrNetworkOverrideGroup), this);
    auto* routerNote = new QLabel(Text(res::kStrNetworkRouterNote), overriding);
    routerNote->setWordWrap(true);
    m_override = new QPushButton(Text(res::kStrNetworkOverrideButton), overriding);
    m_override->setObjectName("kOverrideButtonId");
    m_override->setAutoDefault(false);
    auto* overrideButtonRow = new QHBoxLayout;
    overrideButtonRow->addStretch(1);
    overrideButtonRow->addWidget(m_override);
    auto* overrideLayout = new QVBoxLayout(overriding);
    overrideLayout->addWidget(routerNote);
    overrideLayout->addLayout(overrideButtonRow);

    // Secure connections come last so that nothing the page had before moves.
    auto* secure = new QGroupBox(Text(res::kStrNetworkTlsGroup), this);
    auto* secureForm = new QFormLayout;
    auto addFileRow = [&](uint32_t label, QLineEdit*& edit, const char* editName,
                          const char* buttonName) {
        edit = new QLineEdit(secure);
        edit->setObjectName(editName);
        auto* browse = new QPushButton(Text(res::kStrNetworkTlsBrowse), secure);
        browse->setObjectName(buttonName);
        browse->setAutoDefault(false);
        auto* row = new QHBoxLayout;
        row->addWidget(edit, 1);
        row->addWidget(browse);
        secureForm->addRow(Text(label), row);
        QLineEdit* target = edit;
        connect(browse, &QPushButton::clicked, this, [this, target] { Browse(*target); });
    };
    addFileRow(res::kStrNetworkTlsCertificateLabel, m_certificate, "kCertificateEditId",
               "kCertificateBrowseId");
    addFileRow(res::kStrNetworkTlsKeyLabel, m_privateKey, "kPrivateKeyEditId",
               "kPrivateKeyBrowseId");
    auto* tlsNote = new QLabel(Text(res::kStrNetworkTlsNote), secure);
    tlsNote->setWordWrap(true);
    auto* secureLayout = new QVBoxLayout(secure);
    secureLayout->addLayout(secureForm);
    secureLayout->addWidget(tlsNote);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(network);
    layout->addWidget(overriding);
    layout->addWidget(secure);
    layout->addStretch(1);

    connect(m_override, &QPushButton::clicked, this, [this] { OnConfigureOverride(); });
}

void CConfigNetwork::Browse(QLineEdit& edit) {
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(NameFiltersOf(res::LoadString(res::kStrNetworkTlsFileFilter)));
    const QString current = edit.text().trimmed();
    if (!current.isEmpty()) {
        dialog.setDirectory(QFileInfo(current).absolutePath());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    edit.setText(dialog.selectedFiles().front());
}

void CConfigNetwork::Fill() {
    const StationConfig& config = m_context.config;
    m_bindAddress->clear();
    m_port->setText(UnsignedText(config.Port));
    m_timeout->setText(UnsignedText(config.Timeout));
    m_certificate->setText(ToQString(config.TlsCertificate));
    m_privateKey->setText(ToQString(config.TlsPrivateKey));

    m_bindAddress->addItem(Text(res::kStrAnyAddress));
    for (const std::string& address : GetLocalAddresses()) {
        m_bindAddress->addItem(ToQString(address));
    }
    // An address that is not this machine's cannot be bound; it shows as "Any address".
    int selected = 0;
    if (!config.BindAddress.empty()) {
        const int found = m_bindAddress->findText(ToQString(config.BindAddress),
                                                  Qt::MatchExactly | Qt::MatchCaseSensitive);
        selected = found > 0 ? found : 0;
    }
    m_bindAddress->setCurrentIndex(selected);
}

void CConfigNetwork::OnInitDialog() {
    Fill();
}

void CConfigNetwork::OnSetActive() {
    Fill();
}

bool CConfigNetwork::OnKillActive() {
    return TakeUnsignedField(this, *m_port, 0, kPortLimit) &&
           TakeUnsignedField(this, *m_timeout, 0, kTimeoutLimit);
}

void CConfigNetwork::OnOK() {
    // The page was checked when it was left; a field that still fails is not written.
    StationConfig& config = m_context.config;
    if (const auto port = ParseUnsignedField(m_port->text(), 0, kPortLimit)) {
        config.Port = static_cast<int32_t>(*port);
    }
    if (const auto timeout = ParseUnsignedField(m_timeout->text(), 0, kTimeoutLimit)) {
        config.Timeout = static_cast<int32_t>(*timeout);
    }
    const int selected = m_bindAddress->currentIndex();
    config.BindAddress = selected > 0 ? m_bindAddress->itemText(selected).toStdString() : "";
    config.TlsCertificate = m_certificate->text().trimmed().toStdString();
    config.TlsPrivateKey = m_privateKey->text().trimmed().toStdString();
}

void CConfigNetwork::OnConfigureOverride() {
    // What the sheet ends with does not matter here: its page has written what it writes.
    CConfigNetAdvancedSheet sheet(m_context.config);
    sheet.exec();
}

CConfigNetAdvance::CConfigNetAdvance(StationConfig& config, QWidget* parent)
    : CPropertyPage(Text(res::kStrOverrideTitle), parent), m_config(config) {
    setObjectName("CConfigNetAdvance");

    auto* group = new QGroupBox(Text(res::kStrOverrideGroup), this);
    m_usePreexisting = new QRadioButton(Text(res::kStrOverrideUsePreexisting), group);
    m_usePreexisting->setObjectName("kUsePreexistingRadioId");
    m_editAddress = new QRadioButton(Text(res::kStrOverrideEditAddress), group);
    m_editAddress->setObjectName("kEditAddressRadioId");
    m_addressLabel = new QLabel(Text(res::kStrOverrideAddressLabel), group);
    m_addressLabel->setObjectName("kAddressLabelId");
    m_address = new QLineEdit(group);
    m_address->setObjectName("kAddressEditId");
    m_portLabel = new QLabel(Text(res::kStrOverridePortLabel), group);
    m_portLabel->setObjectName("kPortLabelId");
    m_port = new QLineEdit(group);
    m_port->setObjectName("kPortEditId");
    m_port->setMaximumWidth(kNumberEditWidth);
    m_addressLabel->setBuddy(m_address);
    m_portLabel->setBuddy(m_port);

    // The address and port belong to "Edit network address" and sit indented under it.
    auto* fields = new QGridLayout;
    fields->setContentsMargins(20, 0, 0, 0);
    fields->addWidget(m_addressLabel, 0, 0);
    fields->addWidget(m_address, 0, 1);
    fields->addWidget(m_portLabel, 1, 0);
    fields->addWidget(m_port, 1, 1, Qt::AlignLeft);
    fields->setColumnStretch(1, 1);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_usePreexisting);
    groupLayout->addWidget(m_editAddress);
    groupLayout->addLayout(fields);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addStretch(1);

    connect(m_usePreexisting, &QRadioButton::clicked, this, [this] { SetPortforward(0); });
    connect(m_editAddress, &QRadioButton::clicked, this, [this] { SetPortforward(1); });
}

void CConfigNetAdvance::OnInitDialog() {
    m_port->setText(UnsignedText(m_config.OverridePort));
    m_address->setText(ToQString(m_config.OverrideIP));
    SetPortforward(m_config.Portforward);
}

void CConfigNetAdvance::SetPortforward(int32_t value) {
    const bool edit = value == 1;
    for (QWidget* control :
         {static_cast<QWidget*>(m_address), static_cast<QWidget*>(m_port),
          static_cast<QWidget*>(m_addressLabel), static_cast<QWidget*>(m_portLabel)}) {
        control->setEnabled(edit);
    }
    if (edit) {
        m_editAddress->setChecked(true);
        m_usePreexisting->setChecked(false);
    }
    m_config.Portforward = value;
}

bool CConfigNetAdvance::OnKillActive() {
    return TakeUnsignedField(this, *m_port, 0, std::numeric_limits<uint32_t>::max()).has_value();
}

void CConfigNetAdvance::OnOK() {
    if (const auto port =
            ParseUnsignedField(m_port->text(), 0, std::numeric_limits<uint32_t>::max())) {
        m_config.OverridePort = static_cast<int32_t>(*port);
    }
    m_config.OverrideIP = m_address->text().toStdString();
}

CConfigNetAdvancedSheet::CConfigNetAdvancedSheet(StationConfig& config)
    : CXTreePropertySheet2(Text(res::kStrOverrideSheetCaption), nullptr, 0) {
    setObjectName("CConfigNetAdvancedSheet");
    SetTreeMode(false);
    m_page = &AddPage(std::make_unique<CConfigNetAdvance>(config));
}

}  // namespace orvanta
