#include "wma_transcoder.h"

#include "pcm_decoder.h"
#include "stream/format_table.h"
#include "stream/ogg.h"

#include <algorithm>
#include <chrono>
#include <random>

namespace orvanta::wma {

using namespace engine;

namespace {

// A Vorbis packet bigger than this is not one an encoder makes; it is skipped.
constexpr size_t kMaxVorbisPacketBytes = 1u << 20;

AsfGuid RandomGuid() {
    std::random_device device;
    std::mt19937_64 random(
        (static_cast<uint64_t>(device()) << 32) ^ device() ^
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    AsfGuid guid{};
    for (auto& byte : guid) {
        byte = static_cast<uint8_t>(random());
    }
    return guid;
}

// The Vorbis stream of an Ogg source, packet by packet: its three headers open the decoder,
// every later packet is audio. A new logical stream (a chained Ogg, the next song) starts over.
class VorbisPackets {
public:
    explicit VorbisPackets(PcmDecoder& decoder) : m_decoder(decoder) {}

    void Page(std::string_view bytes, std::vector<int16_t>& pcm) {
        OggPage page;
        if (ParseOggPage(bytes, page) != OggParse::kPage) {
            return;
        }
        if ((page.flags & kOggBos) != 0) {
            // The first packet of a BOS page tells the codec; anything but Vorbis is left out.
            if (page.body.substr(0, 7) != std::string_view("\x01vorbis", 7)) {
                return;
            }
            m_serial = page.serial;
            m_haveSerial = true;
            m_headers.clear();
            m_packet.clear();
            m_skipping = false;
            m_decoder.Close();
        }
        if (!m_haveSerial || page.serial != m_serial) {
            return;
        }
        if ((page.flags & kOggContinued) != 0 && m_packet.empty()) {
            m_skipping = true;  // the start of this packet was never seen
        }
        size_t at = 0;
        for (const char lace : page.lacing) {
            const auto length = static_cast<unsigned char>(lace);
            if (!m_skipping && m_packet.size() + length <= kMaxVorbisPacketBytes) {
                m_packet.append(page.body.substr(at, length));
            } else {
                m_skipping = true;
            }
            at += length;
            if (length < 255) {
                if (!m_skipping) {
                    Packet(pcm);
                }
                m_packet.clear();
                m_skipping = false;
            }
        }
    }

private:
    void Packet(std::vector<int16_t>& pcm) {
        if (m_headers.size() < 3) {
            m_headers.push_back(m_packet);
            if (m_headers.size() == 3 && !m_decoder.Open(PcmDecoder::Codec::Vorbis, m_headers)) {
                m_haveSerial = false;  // headers the decoder refuses: wait for the next stream
            }
            return;
        }
        m_decoder.Decode(m_packet, pcm);
    }

    PcmDecoder& m_decoder;
    uint32_t m_serial = 0;
    bool m_haveSerial = false;
    std::vector<std::string> m_headers;
    std::string m_packet;
    bool m_skipping = false;
};

// One MP3, AAC or Ogg Vorbis source: the engine's own reader cuts and checks its stream (so the
// station sees the same titles, dropped bytes and verdicts as for any source), the decoder
// turns it into PCM, the transcoder into the station's WMA.
class TranscodingReader final : public FormatReader {
public:
    TranscodingReader(WmaTranscoder& owner, StreamFormat source)
        : m_owner(owner),
          m_source(MakeFormatReader(source)),
          m_isOgg(source == StreamFormat::Ogg),
          m_decoder(owner.Format().sampleRate, owner.Format().channels),
          m_vorbis(m_decoder) {
        if (source == StreamFormat::Mp3) {
            m_decoder.Open(PcmDecoder::Codec::Mp3);
        } else if (source == StreamFormat::Aac) {
            m_decoder.Open(PcmDecoder::Codec::Aac);
        }
    }

    void Feed(std::string_view data, std::vector<MediaUnit>& out) override {
        std::vector<MediaUnit> units;
        m_source->Feed(data, units);
        m_pcm.clear();
        for (const MediaUnit& unit : units) {
            if (m_isOgg) {
                m_vorbis.Page(unit.bytes, m_pcm);
            } else {
                m_decoder.Decode(unit.bytes, m_pcm);
            }
        }
        const auto channels = static_cast<size_t>(m_owner.Format().channels);
        if (!m_pcm.empty()) {
            m_owner.Encode(m_pcm.data(), static_cast<int32_t>(m_pcm.size() / channels), out);
        }
    }
    std::shared_ptr<const std::string> Headers() const override { return m_owner.Header(); }
    uint64_t Generation() const override { return 1; }
    bool SawAudio() const override { return m_source->SawAudio(); }
    uint64_t DroppedBytes() const override { return m_source->DroppedBytes(); }
    std::string Title() const override { return m_source->Title(); }
    int Bitrate() const override { return m_owner.Format().bitrate / 1000; }
    int SampleRate() const override { return m_owner.Format().sampleRate; }
    int Channels() const override { return m_owner.Format().channels; }
    void TitleChanged(const std::string& title) override { m_owner.SetTitle(title); }

private:
    WmaTranscoder& m_owner;
    std::unique_ptr<FormatReader> m_source;
    bool m_isOgg;
    PcmDecoder m_decoder;
    VorbisPackets m_vorbis;
    std::vector<int16_t> m_pcm;
};

}  // namespace

WmaTranscoder::WmaTranscoder(std::unique_ptr<EncoderPlugin> encoder)
    : m_encoder(std::move(encoder)), m_writer(m_encoder->Format(), RandomGuid()) {
    m_header = std::make_shared<const std::string>(m_writer.Header(m_title));
}

bool WmaTranscoder::Accepts(StreamFormat source) const {
    // The decoder in front of the encoder reads MP3 and ADTS frames and Vorbis packets; the
    // station's own format passes through.
    return source == Output() || source == StreamFormat::Mp3 || source == StreamFormat::Aac ||
           source == StreamFormat::Ogg;
}

std::unique_ptr<FormatReader> WmaTranscoder::MakeReader(StreamFormat source) {
    if (source == Output()) {
        return MakeFormatReader(source);  // already WMA: passed through as it is
    }
    return std::make_unique<TranscodingReader>(*this, source);
}

bool WmaTranscoder::SeamlessAfter(StreamFormat before, StreamFormat after) const {
    // Our own encoding is one stream across sources; a pushed ASF stream has its own header.
    return before != Output() && after != Output();
}

void WmaTranscoder::SetTitle(const std::string& title) {
    if (title != m_title) {
        m_title = title;
        m_header = std::make_shared<const std::string>(m_writer.Header(m_title));
    }
}

void WmaTranscoder::Encode(const int16_t* pcm, int32_t frames, std::vector<MediaUnit>& out) {
    m_out = &out;
    m_encoder->Encode(pcm, frames, &WmaTranscoder::OnBlock, this);
    m_out = nullptr;
}

void WmaTranscoder::OnBlock(void* context, const uint8_t* data, int32_t size, int64_t pts) {
    auto* self = static_cast<WmaTranscoder*>(context);
    const OrvantaEncoderFormat& format = self->Format();
    if (self->m_out == nullptr || size <= 0 || size > format.blockAlign || pts < 0) {
        return;
    }
    const auto ms = static_cast<uint32_t>(pts * 1000 / format.sampleRate);
    const auto duration = static_cast<uint16_t>(
        std::min<int64_t>(int64_t{format.frameSamples} * 1000 / format.sampleRate, 0xFFFF));
    MediaUnit unit;
    unit.bytes = self->m_writer.Packet(
        std::string_view(reinterpret_cast<const char*>(data), static_cast<size_t>(size)), ms,
        duration);
    unit.syncPoint = true;
    unit.generation = 1;
    unit.headers = self->m_header;
    self->m_out->push_back(std::move(unit));
}

}  // namespace orvanta::wma
