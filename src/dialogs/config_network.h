// CConfigNetwork: the sheet's Network page (listen port, binding address, time-out, the
// certificate and key for secure connections), and the
// small sheet it opens for the address the server announces when it sits behind a router or
// proxy: CConfigNetAdvancedSheet with its one page, CConfigNetAdvance.
#pragma once

#include "config/station_config.h"
#include "startup/server_context.h"
#include "ui/tree_property_sheet.h"

#include <cstdint>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace orvanta {

class CConfigNetwork : public CPropertyPage {
    Q_OBJECT

public:
    static constexpr int kDialogId = 414;
    static constexpr int kPortEditId = 1001;
    static constexpr int kBindAddressListId = 1025;
    static constexpr int kTimeoutEditId = 1002;
    static constexpr int kOverrideButtonId = 1020;
    static constexpr int kCertificateEditId = 1030;
    static constexpr int kCertificateBrowseId = 1031;
    static constexpr int kPrivateKeyEditId = 1032;
    static constexpr int kPrivateKeyBrowseId = 1033;
    static constexpr uint32_t kPortLimit = 65535;
    static constexpr uint32_t kTimeoutLimit = 1000;

    explicit CConfigNetwork(CServerContext& context, QWidget* parent = nullptr);

    // Filled when first shown and again on every activation: what was typed and not confirmed
    // with OK is discarded.
    void OnInitDialog() override;
    void OnSetActive() override;
    // False (the user stays on the page) while the port or the time-out is out of range.
    bool OnKillActive() override;
    // An address that is not this machine's was shown as "Any address", so it is cleared.
    void OnOK() override;

    // "Configure overriding address...": the override sheet, run modally.
    void OnConfigureOverride();

private:
    void Fill();
    // An open-file dialog for a PEM file, starting where `edit` points; the choice goes into
    // `edit` and reaches the record with OK.
    void Browse(QLineEdit& edit);

    CServerContext& m_context;
    QLineEdit* m_port = nullptr;
    QComboBox* m_bindAddress = nullptr;
    QLineEdit* m_timeout = nullptr;
    QPushButton* m_override = nullptr;
    QLineEdit* m_certificate = nullptr;
    QLineEdit* m_privateKey = nullptr;
};

// The override page: whether the server announces an address of its own choosing, and which.
// The switch is written to the record the moment a radio button is clicked, so cancelling the
// sheet does not undo it; the address and the port wait for OK.
class CConfigNetAdvance : public CPropertyPage {
    Q_OBJECT

public:
    static constexpr int kDialogId = 205;
    static constexpr int kUsePreexistingRadioId = 1015;
    static constexpr int kEditAddressRadioId = 4016;
    static constexpr int kAddressLabelId = 5017;
    static constexpr int kAddressEditId = 4019;
    static constexpr int kPortLabelId = 4018;
    static constexpr int kPortEditId = 1020;

    explicit CConfigNetAdvance(StationConfig& config, QWidget* parent = nullptr);

    void OnInitDialog() override;
    // False (the user stays on the page) while the port is not a number.
    bool OnKillActive() override;
    void OnOK() override;

    // 1: the address and port can be edited and "Edit network address" is checked; 0: they
    // are greyed. Either way Portforward takes the value at once.
    void SetPortforward(int32_t value);

private:
    StationConfig& m_config;
    QRadioButton* m_usePreexisting = nullptr;
    QRadioButton* m_editAddress = nullptr;
    QLabel* m_addressLabel = nullptr;
    QLineEdit* m_address = nullptr;
    QLabel* m_portLabel = nullptr;
    QLineEdit* m_port = nullptr;
};

// A plain tabbed sheet around the override page.
class CConfigNetAdvancedSheet : public CXTreePropertySheet2 {
    Q_OBJECT

public:
    explicit CConfigNetAdvancedSheet(StationConfig& config);

    CConfigNetAdvance& Page() { return *m_page; }

private:
    CConfigNetAdvance* m_page = nullptr;
};

}  // namespace orvanta
