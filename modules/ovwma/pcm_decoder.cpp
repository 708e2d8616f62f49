#include "pcm_decoder.h"

#include <algorithm>
#include <climits>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
}

namespace orvanta::wma {

PcmDecoder::~PcmDecoder() {
    Close();
}

void PcmDecoder::Close() {
    avcodec_free_context(&m_context);
    av_parser_close(m_parser);
    m_parser = nullptr;
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
    swr_free(&m_resampler);
    m_inRate = m_inChannels = 0;
    m_inFormat = -1;
}

bool PcmDecoder::Open(Codec codec, const std::vector<std::string>& headers) {
    Close();
    const AVCodecID id = codec == Codec::Mp3   ? AV_CODEC_ID_MP3
                         : codec == Codec::Aac ? AV_CODEC_ID_AAC
                                               : AV_CODEC_ID_VORBIS;
    const AVCodec* decoder = avcodec_find_decoder(id);
    if (decoder == nullptr) {
        return false;
    }
    m_context = avcodec_alloc_context3(decoder);
    m_frame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (m_context == nullptr || m_frame == nullptr || m_packet == nullptr) {
        Close();
        return false;
    }
    if (codec != Codec::Vorbis) {
        // ADTS frames carry their own headers, which the AAC decoder reads as MP3's reads its.
        m_parser = av_parser_init(id);
        if (m_parser == nullptr) {
            Close();
            return false;
        }
    } else {
        // The three headers, each after its length in two bytes, as the decoder takes them.
        std::string extra;
        for (const std::string& header : headers) {
            if (header.size() > 0xFFFF) {
                Close();
                return false;
            }
            extra += static_cast<char>(header.size() >> 8);
            extra += static_cast<char>(header.size() & 0xFF);
            extra += header;
        }
        m_context->extradata =
            static_cast<uint8_t*>(av_mallocz(extra.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (m_context->extradata == nullptr) {
            Close();
            return false;
        }
        std::copy(extra.begin(), extra.end(), m_context->extradata);
        m_context->extradata_size = static_cast<int>(extra.size());
    }
    if (avcodec_open2(m_context, decoder, nullptr) < 0) {
        Close();
        return false;
    }
    return true;
}

void PcmDecoder::Decode(std::string_view data, std::vector<int16_t>& pcm) {
    if (!IsOpen() || data.size() > INT_MAX / 2) {
        return;
    }
    const auto* in = reinterpret_cast<const uint8_t*>(data.data());
    int left = static_cast<int>(data.size());
    if (m_parser == nullptr) {
        DecodePacket(in, left, pcm);
        return;
    }
    while (left > 0) {
        uint8_t* frame = nullptr;
        int frameSize = 0;
        const int used = av_parser_parse2(m_parser, m_context, &frame, &frameSize, in, left,
                                          AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (used < 0) {
            return;
        }
        in += used;
        left -= used;
        if (frameSize > 0) {
            DecodePacket(frame, frameSize, pcm);
        }
        if (used == 0 && frameSize == 0) {
            return;
        }
    }
}

void PcmDecoder::DecodePacket(const uint8_t* data, int size, std::vector<int16_t>& pcm) {
    if (av_new_packet(m_packet, size) < 0) {
        return;
    }
    std::copy(data, data + size, m_packet->data);
    const int sent = avcodec_send_packet(m_context, m_packet);
    av_packet_unref(m_packet);
    if (sent < 0) {
        return;  // a packet the decoder cannot read: the next one may be fine
    }
    while (avcodec_receive_frame(m_context, m_frame) >= 0) {
        Convert(pcm);
        av_frame_unref(m_frame);
    }
}

bool PcmDecoder::Convert(std::vector<int16_t>& pcm) {
    const AVFrame& f = *m_frame;
    if (f.nb_samples <= 0 || f.sample_rate <= 0 || f.ch_layout.nb_channels <= 0) {
        return false;
    }
    if (m_resampler == nullptr || f.sample_rate != m_inRate ||
        f.ch_layout.nb_channels != m_inChannels || f.format != m_inFormat) {
        swr_free(&m_resampler);
        AVChannelLayout out{};
        av_channel_layout_default(&out, m_outChannels);
        const int made = swr_alloc_set_opts2(
            &m_resampler, &out, AV_SAMPLE_FMT_S16, m_outRate, &m_frame->ch_layout,
            static_cast<AVSampleFormat>(f.format), f.sample_rate, 0, nullptr);
        av_channel_layout_uninit(&out);
        if (made < 0 || swr_init(m_resampler) < 0) {
            swr_free(&m_resampler);
            return false;
        }
        m_inRate = f.sample_rate;
        m_inChannels = f.ch_layout.nb_channels;
        m_inFormat = f.format;
    }
    const int room = swr_get_out_samples(m_resampler, f.nb_samples);
    if (room <= 0) {
        return false;
    }
    const size_t at = pcm.size();
    pcm.resize(at + static_cast<size_t>(room) * static_cast<size_t>(m_outChannels));
    auto* out = reinterpret_cast<uint8_t*>(pcm.data() + at);
    const int made = swr_convert(m_resampler, &out, room,
                                 const_cast<const uint8_t**>(f.extended_data), f.nb_samples);
    pcm.resize(at + static_cast<size_t>(std::max(made, 0)) * static_cast<size_t>(m_outChannels));
    return made >= 0;
}

}  // namespace orvanta::wma
