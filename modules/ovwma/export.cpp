// ovwma.so: the WMA service module. The same engine as ovstream.so, serving WMA (format mask 4):
// what MP3 and Ogg Vorbis sources send is encoded through the WMA encoder plug-in the console
// names, ASF sources pass through, and listeners get ASF over HTTP or the Windows Media HTTP
// streaming handshake. Private listeners, the log, the content folder, directories and HLS are
// not offered for WMA.
#include "encoder_plugin.h"
#include "engine/controller.h"
#include "stream/format_table.h"
#include "wma_transcoder.h"

#include <new>
#include <orvanta/version_stamp.h>

namespace orvanta::wma {
namespace {

const engine::ModuleIdentity kIdentity = {
    {'O', 'V', 'W', 'M', 'A', 'S', 'R', 'V'},
    "ovwma.so",
    "Orvanta WMA streaming engine (WMA from MP3, Ogg Vorbis or ASF sources)",
    // Whatever the source sends, listeners get WMA in ASF.
    engine::InfoOf(engine::StreamFormat::Asf).stationFormat,
    {ORVANTA_VERSION_WORD(ORV_VERSION_MAJOR, ORV_VERSION_MINOR),
     ORVANTA_VERSION_WORD(ORV_VERSION_PATCH, ORV_VERSION_TWEAK)},
};

class WmaController final : public engine::Controller {
public:
    WmaController() : Controller(kIdentity) {}

protected:
    bool PrepareStart(engine::EngineSettings& settings, std::string* error) override {
        // The plug-in is opened here, on Start, so a missing or unwilling one is a clear
        // refusal to start rather than a station with nothing to send.
        auto encoder = EncoderPlugin::Open(
            ModuleFolder(), settings.encoderPlugin,
            OrvantaEncoderSettings{settings.encoderValue55, settings.encoderValue56}, error);
        if (!encoder) {
            return false;
        }
        m_transcoder = std::make_shared<WmaTranscoder>(std::move(encoder));
        settings.transcoder = m_transcoder;
        return true;
    }

    void Restrict(engine::EngineSettings& settings) const override {
        settings.privateBroadcast = 0;
        settings.privateUsers.clear();
        settings.logEnabled = 0;
        settings.contentDirectory.clear();
        settings.directoryServer.clear();
        settings.publicServer = 0;
        settings.shoutcastRegister = 0;
        settings.hlsEnabled = false;
        settings.hlsOriginFolder.clear();
        settings.transcoder = m_transcoder;
    }

    void StartFailed() override { m_transcoder.reset(); }
    // The engine's thread is gone: nothing uses the encoder any more.
    void Stopped() override { m_transcoder.reset(); }

private:
    std::shared_ptr<WmaTranscoder> m_transcoder;
};

}  // namespace
}  // namespace orvanta::wma

ORVANTA_EXPORT IServiceController* OrvantaServiceController2(const char*) {
    return new (std::nothrow) orvanta::wma::WmaController;
}
