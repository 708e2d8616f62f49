// The encoder's own modal settings dialog: bitrate, sample rate and channels.
#pragma once

#include "wma_settings.h"

#include <QDialog>

class QComboBox;

namespace orvanta::wma {

class CWmaSettingsDialog : public QDialog {
public:
    CWmaSettingsDialog(const EncoderSettings& settings, QWidget* parent);

    EncoderSettings Chosen() const;

private:
    QComboBox* m_bitrate;
    QComboBox* m_sampleRate;
    QComboBox* m_channels;
};

}  // namespace orvanta::wma
