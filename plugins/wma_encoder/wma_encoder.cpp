// ovwmaenc: the WMA encoder plug-in (kind 110). The console describes it, shows its settings
// and reads its values 55 and 56; the WMA service module opens it with those values and feeds
// it PCM through slots 3 to 5.
#include "settings_dialog.h"
#include "wma_codec.h"
#include "wma_settings.h"

#include <QApplication>
#include <QWidget>

#include <cstring>
#include <orvanta/plugin.h>
#include <string>

namespace orvanta::wma {
namespace {

// The masks the console's encoder list asks for (kind 110, masks 4, 8, 1 and 4).
constexpr uint32_t kCapsA = 4;
constexpr uint32_t kCapsB = 8;
constexpr uint32_t kCapsC = 1;
constexpr uint32_t kCapsD = 4;

template <size_t N>
void CopyText(char (&field)[N], const char* text) {
    std::strncpy(field, text, N - 1);
    field[N - 1] = '\0';
}

class CWmaEncoderPlugin final : public IPlugin {
public:
    explicit CWmaEncoderPlugin(std::string key) : m_key(std::move(key)) {}

    void Destroy(int32_t) override { delete this; }

    int32_t Describe(PluginDescriptor* d) override {
        if (d == nullptr) {
            return 0;
        }
        std::memset(d, 0, sizeof *d);
        CopyText(d->displayName, "Orvanta WMA Encoder (WMA 9 compatible, version 2)");
        CopyText(d->extensionList, "*.wma");
        CopyText(d->filterList, "Windows Media Audio (*.wma)|*.wma");
        d->kind = ORVANTA_PLUGIN_KIND_WMA_ENCODER;
        d->capsA = kCapsA;
        d->capsB = kCapsB;
        d->capsC = kCapsC;
        d->capsD = kCapsD;
        return 1;
    }

    int32_t OpenEncoder(const OrvantaEncoderSettings* settings,
                        OrvantaEncoderFormat* format) override {
        if (settings == nullptr) {
            return 0;
        }
        return m_codec.Open(FromValues(settings->value55, settings->value56), format) ? 1 : 0;
    }

    int32_t EncodePcm(const int16_t* pcm, int32_t frames, OrvantaPacketSink sink,
                      void* context) override {
        return m_codec.Encode(pcm, frames, sink, context);
    }

    int32_t CloseEncoder() override {
        m_codec.Close();
        return 1;
    }

    int32_t GetValue(int32_t id, int32_t* value) override {
        if (value == nullptr) {
            return 0;
        }
        const EncoderSettings settings = LoadSettings(m_key);
        if (id == ORVANTA_PLUGIN_VALUE_55) {
            *value = Value55(settings);
        } else if (id == ORVANTA_PLUGIN_VALUE_56) {
            *value = Value56(settings);
        } else {
            return 0;
        }
        return 1;
    }

    int32_t Configure(void* parentWindow) override {
        // The dialog is a Qt one and needs the console's application object.
        if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
            return 0;
        }
        QWidget* owner =
            parentWindow == nullptr ? nullptr : QWidget::find(reinterpret_cast<WId>(parentWindow));
        CWmaSettingsDialog dialog(LoadSettings(m_key), owner);
        if (dialog.exec() != QDialog::Accepted) {
            return 0;
        }
        return SaveSettings(m_key, dialog.Chosen()) ? 1 : 0;
    }

private:
    std::string m_key;
    WmaCodec m_codec;
};

}  // namespace
}  // namespace orvanta::wma

// Cheap and silent, as discovery requires: nothing is read or shown until asked.
ORVANTA_EXPORT IPlugin* OPluginCreate(const char* registryKey) {
    return new (std::nothrow)
        orvanta::wma::CWmaEncoderPlugin(registryKey == nullptr ? "" : registryKey);
}
