// CConfigServer: the sheet's Server page, the listener limit and the source password. Also the
// number check that the Server and Network pages make of their number fields.
#pragma once

#include "startup/server_context.h"
#include "ui/tree_property_sheet.h"

#include <cstdint>
#include <limits>
#include <optional>

class QLineEdit;

namespace orvanta {

// The value of an unsigned number field when its text is one (digits only, surrounding spaces
// allowed) within [minimum, maximum]; nothing otherwise.
std::optional<uint32_t> ParseUnsignedField(const QString& text, uint32_t minimum, uint32_t maximum);

// The check a page makes of an unsigned number field as the user leaves the page or presses
// OK: when the text is not an unsigned number, or one outside [minimum, maximum], the user is
// told so in a message box owned by `owner`, the field gets the focus with its text selected,
// and the result is empty.
std::optional<uint32_t> TakeUnsignedField(QWidget* owner, QLineEdit& edit, uint32_t minimum,
                                          uint32_t maximum);

class CConfigServer : public CPropertyPage {
    Q_OBJECT

public:
    static constexpr int kDialogId = 269;
    static constexpr int kMaxListenerEditId = 1000;
    static constexpr int kPasswordEditId = 1009;
    static constexpr uint32_t kMaxListenerLimit = 65535;

    explicit CConfigServer(CServerContext& context, QWidget* parent = nullptr);

    // Filled when first shown and again on every activation: what was typed and not confirmed
    // with OK is discarded.
    void OnInitDialog() override;
    void OnSetActive() override;
    // False (the user stays on the page) while the listener limit is out of range.
    bool OnKillActive() override;
    void OnOK() override;

private:
    void Fill();

    CServerContext& m_context;
    QLineEdit* m_maxListener = nullptr;
    QLineEdit* m_password = nullptr;
};

}  // namespace orvanta
