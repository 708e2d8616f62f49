#include "settings_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QVBoxLayout>

namespace orvanta::wma {
namespace {

QComboBox* Choices(QWidget* parent, const char* name, std::span<const int32_t> set, int32_t current,
                   QString (*label)(int32_t)) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    for (const int32_t value : set) {
        box->addItem(label(value), value);
        if (value == current) {
            box->setCurrentIndex(box->count() - 1);
        }
    }
    return box;
}

}  // namespace

CWmaSettingsDialog::CWmaSettingsDialog(const EncoderSettings& settings, QWidget* parent)
    : QDialog(parent) {
    setObjectName("CWmaSettingsDialog");
    setWindowTitle("WMA Encoder Settings");
    setModal(true);
    m_bitrate = Choices(this, "bitrate", Bitrates(), settings.bitrate,
                        [](int32_t v) { return QString("%1 kbps").arg(v / 1000); });
    m_sampleRate = Choices(this, "sampleRate", SampleRates(), settings.sampleRate,
                           [](int32_t v) { return QString("%1 Hz").arg(v); });
    m_channels = Choices(this, "channels", ChannelCounts(), settings.channels,
                         [](int32_t v) { return QString(v == 1 ? "Mono" : "Stereo"); });

    auto* form = new QFormLayout;
    form->addRow("Bitrate:", m_bitrate);
    form->addRow("Sample rate:", m_sampleRate);
    form->addRow("Channels:", m_channels);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

EncoderSettings CWmaSettingsDialog::Chosen() const {
    return EncoderSettings{m_bitrate->currentData().toInt(), m_sampleRate->currentData().toInt(),
                           m_channels->currentData().toInt()};
}

}  // namespace orvanta::wma
