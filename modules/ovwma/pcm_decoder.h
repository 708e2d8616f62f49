// One source's compressed audio (MP3 frames, AAC in ADTS frames, Vorbis packets) decoded by the
// system's codec library and converted to the interleaved 16-bit PCM the WMA encoder takes, at its
// rate and channel count whatever the source's are.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct AVCodecContext;
struct AVCodecParserContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;

namespace orvanta::wma {

class PcmDecoder {
public:
    enum class Codec { Mp3, Aac, Vorbis };

    PcmDecoder(int outRate, int outChannels) : m_outRate(outRate), m_outChannels(outChannels) {}
    ~PcmDecoder();
    PcmDecoder(const PcmDecoder&) = delete;
    PcmDecoder& operator=(const PcmDecoder&) = delete;

    // Opens a decoder; Vorbis needs its three header packets. False when the codec library
    // lacks the decoder or refuses the headers.
    bool Open(Codec codec, const std::vector<std::string>& headers = {});
    bool IsOpen() const { return m_context != nullptr; }
    // MP3, AAC: any run of whole frames. Vorbis: one packet. Appends the PCM it makes to `pcm`;
    // what the decoder cannot read is skipped.
    void Decode(std::string_view data, std::vector<int16_t>& pcm);
    void Close();

private:
    void DecodePacket(const uint8_t* data, int size, std::vector<int16_t>& pcm);
    bool Convert(std::vector<int16_t>& pcm);

    int m_outRate;
    int m_outChannels;
    AVCodecContext* m_context = nullptr;
    AVCodecParserContext* m_parser = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    SwrContext* m_resampler = nullptr;
    // What the resampler was set up for.
    int m_inRate = 0;
    int m_inChannels = 0;
    int m_inFormat = -1;
};

}  // namespace orvanta::wma
