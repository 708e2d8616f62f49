// WMA version 2 encoding on the system's codec library: interleaved 16-bit PCM in, packets of
// one fixed size out.
#pragma once

#include "wma_settings.h"

#include <cstdint>
#include <orvanta/plugin.h>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace orvanta::wma {

class WmaCodec {
public:
    WmaCodec() = default;
    WmaCodec(const WmaCodec&) = delete;
    WmaCodec& operator=(const WmaCodec&) = delete;
    ~WmaCodec() { Close(); }

    // False when the settings are not offered or the codec library refuses them.
    bool Open(const EncoderSettings& settings, OrvantaEncoderFormat* format);
    // Packets delivered, or -1 when not open or the codec failed.
    int32_t Encode(const int16_t* pcm, int32_t frames, OrvantaPacketSink sink, void* context);
    void Close();
    bool IsOpen() const { return m_context != nullptr; }

private:
    int32_t SendPending(bool flush, OrvantaPacketSink sink, void* context);
    int32_t Drain(OrvantaPacketSink sink, void* context);

    AVCodecContext* m_context = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    std::vector<int16_t> m_pending;  // interleaved samples waiting for a whole frame
    int64_t m_nextPts = 0;
};

// Whether the codec library on this machine has the WMA version 2 encoder.
bool EncoderAvailable();

}  // namespace orvanta::wma
