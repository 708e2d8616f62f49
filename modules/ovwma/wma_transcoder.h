// The WMA station's stream: MP3 and Ogg Vorbis sources decoded and encoded to WMA through the
// encoder plug-in, one ASF stream that goes on across changes of source; ASF sources passed
// through as they are.
#pragma once

#include "asf_writer.h"
#include "encoder_plugin.h"
#include "engine/transcoder.h"

#include <memory>
#include <string>
#include <vector>

namespace orvanta::wma {

class WmaTranscoder final : public engine::StreamTranscoder {
public:
    explicit WmaTranscoder(std::unique_ptr<EncoderPlugin> encoder);

    engine::StreamFormat Output() const override { return engine::StreamFormat::Asf; }
    bool Accepts(engine::StreamFormat source) const override;
    std::unique_ptr<engine::FormatReader> MakeReader(engine::StreamFormat source) override;
    bool SeamlessAfter(engine::StreamFormat before, engine::StreamFormat after) const override;

    // For the readers: the encoder's format, the header as of the current title, and PCM in,
    // ASF packets out (as units of the station's stream).
    const OrvantaEncoderFormat& Format() const { return m_encoder->Format(); }
    const std::shared_ptr<const std::string>& Header() const { return m_header; }
    void SetTitle(const std::string& title);
    void Encode(const int16_t* pcm, int32_t frames, std::vector<engine::MediaUnit>& out);

private:
    static void OnBlock(void* context, const uint8_t* data, int32_t size, int64_t pts);

    std::unique_ptr<EncoderPlugin> m_encoder;
    AsfWriter m_writer;
    std::string m_title;
    std::shared_ptr<const std::string> m_header;
    std::vector<engine::MediaUnit>* m_out = nullptr;  // during Encode
};

}  // namespace orvanta::wma
