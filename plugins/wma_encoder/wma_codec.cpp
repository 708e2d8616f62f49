#include "wma_codec.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

namespace orvanta::wma {
namespace {

// The audio format tag that names WMA version 2 in stream headers.
constexpr uint16_t kWmaV2FormatTag = 0x0161;

}  // namespace

bool EncoderAvailable() {
    return avcodec_find_encoder(AV_CODEC_ID_WMAV2) != nullptr;
}

bool WmaCodec::Open(const EncoderSettings& settings, OrvantaEncoderFormat* format) {
    Close();
    if (!IsOffered(settings) || format == nullptr) {
        return false;
    }
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
    if (codec == nullptr) {
        return false;
    }
    m_context = avcodec_alloc_context3(codec);
    m_frame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (m_context == nullptr || m_frame == nullptr || m_packet == nullptr) {
        Close();
        return false;
    }
    m_context->sample_fmt = AV_SAMPLE_FMT_FLTP;
    m_context->sample_rate = settings.sampleRate;
    m_context->bit_rate = settings.bitrate;
    m_context->time_base = AVRational{1, settings.sampleRate};
    av_channel_layout_default(&m_context->ch_layout, settings.channels);
    if (avcodec_open2(m_context, codec, nullptr) < 0 || m_context->frame_size <= 0 ||
        m_context->extradata_size > static_cast<int>(sizeof format->extra)) {
        Close();
        return false;
    }
    m_frame->format = AV_SAMPLE_FMT_FLTP;
    m_frame->sample_rate = settings.sampleRate;
    m_frame->nb_samples = m_context->frame_size;
    if (av_channel_layout_copy(&m_frame->ch_layout, &m_context->ch_layout) < 0 ||
        av_frame_get_buffer(m_frame, 0) < 0) {
        Close();
        return false;
    }
    std::memset(format, 0, sizeof *format);
    format->formatTag = kWmaV2FormatTag;
    format->channels = static_cast<uint16_t>(settings.channels);
    format->sampleRate = settings.sampleRate;
    format->bitrate = static_cast<int32_t>(m_context->bit_rate);
    format->blockAlign = m_context->block_align;
    format->frameSamples = m_context->frame_size;
    format->extraSize = m_context->extradata_size;
    if (m_context->extradata_size > 0) {
        std::memcpy(format->extra, m_context->extradata,
                    static_cast<size_t>(m_context->extradata_size));
    }
    m_nextPts = 0;
    return true;
}

void WmaCodec::Close() {
    avcodec_free_context(&m_context);
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
    m_pending.clear();
    m_nextPts = 0;
}

int32_t WmaCodec::Encode(const int16_t* pcm, int32_t frames, OrvantaPacketSink sink,
                         void* context) {
    if (!IsOpen() || sink == nullptr || frames < 0 || (pcm == nullptr && frames != 0)) {
        return -1;
    }
    const auto channels = static_cast<size_t>(m_context->ch_layout.nb_channels);
    if (pcm == nullptr) {
        return SendPending(true, sink, context);
    }
    m_pending.insert(m_pending.end(), pcm, pcm + static_cast<size_t>(frames) * channels);
    return SendPending(false, sink, context);
}

int32_t WmaCodec::SendPending(bool flush, OrvantaPacketSink sink, void* context) {
    const auto channels = static_cast<size_t>(m_context->ch_layout.nb_channels);
    const auto frameSize = static_cast<size_t>(m_context->frame_size);
    const size_t frameValues = frameSize * channels;
    int32_t delivered = 0;
    size_t used = 0;
    // On a flush the last part frame is padded with silence: every packet holds a whole frame.
    // The codec keeps no frames back, so each frame sent gives its packet at once.
    while (m_pending.size() - used >= frameValues || (flush && used < m_pending.size())) {
        if (av_frame_make_writable(m_frame) < 0) {
            return -1;
        }
        const size_t available = std::min(frameValues, m_pending.size() - used);
        for (size_t c = 0; c < channels; ++c) {
            auto* plane = reinterpret_cast<float*>(m_frame->extended_data[c]);
            for (size_t i = 0; i < frameSize; ++i) {
                const size_t at = i * channels + c;
                plane[i] = at < available ? m_pending[used + at] / 32768.0f : 0.0f;
            }
        }
        used += available;
        m_frame->pts = m_nextPts;
        m_nextPts += m_context->frame_size;
        if (avcodec_send_frame(m_context, m_frame) < 0) {
            return -1;
        }
        const int32_t drained = Drain(sink, context);
        if (drained < 0) {
            return -1;
        }
        delivered += drained;
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(used));
    return delivered;
}

int32_t WmaCodec::Drain(OrvantaPacketSink sink, void* context) {
    int32_t delivered = 0;
    for (;;) {
        const int result = avcodec_receive_packet(m_context, m_packet);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) {
            return delivered;
        }
        if (result < 0) {
            return -1;
        }
        sink(context, m_packet->data, m_packet->size, m_packet->pts);
        av_packet_unref(m_packet);
        ++delivered;
    }
}

}  // namespace orvanta::wma
