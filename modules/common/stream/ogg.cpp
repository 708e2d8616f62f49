#include "stream/ogg.h"

#include "stream/ogg_codecs.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <utility>

namespace orvanta::engine {

namespace {

constexpr std::string_view kCapture = "OggS";
constexpr size_t kPageHeaderBytes = 27;

// How the first packet of a logical stream names its codec.
constexpr std::string_view kVorbisId = "\x01vorbis";
constexpr std::string_view kTheoraId = "\x80theora";
constexpr std::string_view kOpusTags = "OpusTags";
constexpr int kFlacComments = 4;
// Granule positions of no page are this; a page where no packet ends carries it.
constexpr uint64_t kNoGranule = ~uint64_t{0};
// The measured bitrate is told once this much audio was seen, so that the first page's packing
// does not decide it.
constexpr int kMeasureSeconds = 2;

constexpr std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t value = i << 24;
        for (int bit = 0; bit < 8; ++bit) {
            value = (value & 0x80000000u) != 0 ? (value << 1) ^ 0x04C11DB7u : value << 1;
        }
        table[i] = value;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

uint32_t Le32(const unsigned char* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

uint32_t Le32(std::string_view bytes, size_t at) {
    return Le32(reinterpret_cast<const unsigned char*>(bytes.data() + at));
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

uint32_t OggCrc32(std::string_view bytes, uint32_t crc) {
    for (const char c : bytes) {
        crc = (crc << 8) ^ kCrcTable[((crc >> 24) ^ static_cast<unsigned char>(c)) & 0xFFu];
    }
    return crc;
}

void RestampOggPage(std::string& page, uint32_t serial, unsigned char flags) {
    if (page.size() < kPageHeaderBytes) {
        return;
    }
    page[5] = static_cast<char>(page[5] | flags);
    for (size_t i = 0; i < 4; ++i) {
        page[14 + i] = static_cast<char>((serial >> (8 * i)) & 0xff);
        page[22 + i] = 0;
    }
    const uint32_t crc = OggCrc32(page);
    for (size_t i = 0; i < 4; ++i) {
        page[22 + i] = static_cast<char>((crc >> (8 * i)) & 0xff);
    }
}

OggParse ParseOggPage(std::string_view data, OggPage& page) {
    const size_t known = std::min(data.size(), kCapture.size());
    if (data.substr(0, known) != kCapture.substr(0, known)) {
        return OggParse::kInvalid;
    }
    if (data.size() < 5) {
        return OggParse::kNeedMore;
    }
    if (data[4] != 0) {
        return OggParse::kInvalid;
    }
    if (data.size() < kPageHeaderBytes) {
        return OggParse::kNeedMore;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(data.data());
    const size_t segments = p[26];
    if (data.size() < kPageHeaderBytes + segments) {
        return OggParse::kNeedMore;
    }
    size_t bodyBytes = 0;
    for (size_t i = 0; i < segments; ++i) {
        bodyBytes += p[kPageHeaderBytes + i];
    }
    const size_t total = kPageHeaderBytes + segments + bodyBytes;
    if (data.size() < total) {
        return OggParse::kNeedMore;
    }
    // The CRC is computed with its own field taken as zero.
    uint32_t crc = OggCrc32(data.substr(0, 22));
    crc = OggCrc32(std::string_view("\0\0\0\0", 4), crc);
    crc = OggCrc32(data.substr(26, total - 26), crc);
    const uint32_t stored = Le32(p + 22);
    if (crc != stored) {
        return OggParse::kInvalid;
    }
    page.flags = p[5];
    page.granule = uint64_t{Le32(p + 6)} | (uint64_t{Le32(p + 10)} << 32);
    page.serial = Le32(p + 14);
    page.sequence = Le32(p + 18);
    page.crc = stored;
    page.lacing = data.substr(kPageHeaderBytes, segments);
    page.body = data.substr(kPageHeaderBytes + segments, bodyBytes);
    page.size = total;
    return OggParse::kPage;
}

OggReader::OggReader() : m_headers(NoHeaders()) {}

void OggReader::Feed(std::string_view data, std::vector<MediaUnit>& out) {
    // The undecided bytes stay within a page plus a piece.
    m_pending.Take(
        data, [&] { Process(out); }, [&] { ForgetPending(); });
}

// Out of memory: the pending bytes are dropped and the header set being gathered is given up;
// listeners can join again at the next chain boundary.
void OggReader::ForgetPending() {
    m_dropped += m_pending.Forget();
    for (Stream& stream : m_streams) {
        std::string().swap(stream.packet);
        stream.inPacket = false;
        stream.oversize = false;
    }
    HeadersLost();
}

void OggReader::Process(std::vector<MediaUnit>& out) {
    while (m_pending.pos < m_pending.bytes.size()) {
        std::string_view rest = std::string_view(m_pending.bytes).substr(m_pending.pos);
        const size_t found = rest.find(kCapture);
        if (found == std::string_view::npos) {
            // The last three bytes may begin a capture pattern completed by the next piece.
            const size_t keep = std::min(rest.size(), kCapture.size() - 1);
            m_pending.pos += rest.size() - keep;
            m_dropped += rest.size() - keep;
            break;
        }
        m_pending.pos += found;
        m_dropped += found;
        rest.remove_prefix(found);
        OggPage page;
        const OggParse result = ParseOggPage(rest, page);
        if (result == OggParse::kNeedMore) {
            break;
        }
        if (result == OggParse::kInvalid) {
            // A damaged page or a capture pattern inside other data: resync after it.
            ++m_pending.pos;
            ++m_dropped;
            continue;
        }
        HandlePage(page, rest.substr(0, page.size), out);
        m_pending.pos += page.size;
    }
}

void OggReader::HandlePage(const OggPage& page, std::string_view bytes,
                           std::vector<MediaUnit>& out) {
    m_sawAudio = true;
    if ((page.flags & kOggBos) != 0) {
        // BOS pages in a row form a group; one after anything else starts a chained stream.
        const bool joins = m_phase == Phase::kBos && m_streams.size() < kMaxStreamsPerGroup &&
                           std::none_of(m_streams.begin(), m_streams.end(), [&](const Stream& s) {
                               return s.serial == page.serial || s.eos;
                           });
        if (!joins) {
            StartGroup();
        }
        Stream& stream = m_streams.emplace_back();
        stream.serial = page.serial;
        stream.nextSequence = page.sequence + 1;
        stream.eos = (page.flags & kOggEos) != 0;
        KeepHeaderPage(bytes);
        Emit(bytes, false, out);
        ReadPackets(stream, page);
        return;
    }

    const auto found = std::find_if(m_streams.begin(), m_streams.end(),
                                    [&](const Stream& s) { return s.serial == page.serial; });
    if (found == m_streams.end()) {
        m_dropped += bytes.size();
        return;
    }
    Stream& stream = *found;
    stream.eos = stream.eos || (page.flags & kOggEos) != 0;
    const bool inOrder = page.sequence == stream.nextSequence;
    stream.nextSequence = page.sequence + 1;
    if (stream.done) {
        Measure(stream, page);
    }

    if (m_phase == Phase::kBos || m_phase == Phase::kHeaders) {
        if (AllHeadersDone()) {
            CompleteHeaders();
        } else {
            m_phase = Phase::kHeaders;
        }
    }
    const uint64_t micros = PageMicros(stream, page);
    if (m_phase == Phase::kAudio) {
        Emit(bytes, true, out, micros);
        return;
    }
    if (m_phase == Phase::kHeaders) {
        if (!inOrder && !stream.done) {
            HeadersLost();  // a header page went missing: the set would not decode
        } else {
            KeepHeaderPage(bytes);
        }
    }
    Emit(bytes, false, out, micros);
    ReadPackets(stream, page);
    if (m_phase == Phase::kHeaders && AllHeadersDone()) {
        CompleteHeaders();
    }
}

void OggReader::StartGroup() {
    ++m_groupGeneration;
    m_streams.clear();
    std::string().swap(m_pendingHeaders);
    m_phase = Phase::kBos;
    m_title.clear();
    m_bitrate = 0;
    m_sampleRate = 0;
    m_channels = 0;
    m_codec = Codec::kOther;
    m_audioSerial.reset();
}

void OggReader::KeepHeaderPage(std::string_view bytes) {
    if (m_phase != Phase::kBos && m_phase != Phase::kHeaders) {
        return;
    }
    if (m_pendingHeaders.size() + bytes.size() > kMaxHeaderBytes) {
        HeadersLost();
        return;
    }
    m_pendingHeaders.append(bytes);
}

void OggReader::HeadersLost() {
    if (m_phase == Phase::kBos || m_phase == Phase::kHeaders) {
        m_phase = Phase::kAbandoned;
        std::string().swap(m_pendingHeaders);
    }
}

bool OggReader::AllHeadersDone() const {
    return std::all_of(m_streams.begin(), m_streams.end(), [](const Stream& s) { return s.done; });
}

void OggReader::CompleteHeaders() {
    m_headers = std::make_shared<const std::string>(std::move(m_pendingHeaders));
    std::string().swap(m_pendingHeaders);
    m_generation = m_groupGeneration;
    m_phase = Phase::kAudio;
}

uint64_t OggReader::PageMicros(Stream& stream, const OggPage& page) const {
    if (!stream.done || page.granule == kNoGranule || !m_audioSerial ||
        *m_audioSerial != stream.serial || stream.granuleRate <= 0) {
        return 0;
    }
    const uint64_t last = std::exchange(stream.lastGranule, page.granule);
    if (page.granule <= last) {
        return 0;
    }
    const uint64_t samples = std::min<uint64_t>(page.granule - last, uint64_t{1} << 32);
    return samples * 1'000'000 / static_cast<uint64_t>(stream.granuleRate);
}

void OggReader::Emit(std::string_view bytes, bool syncPoint, std::vector<MediaUnit>& out,
                     uint64_t micros) {
    MediaUnit unit;
    unit.bytes = bytes;
    unit.syncPoint = syncPoint;
    unit.micros = micros;
    unit.generation = m_groupGeneration;
    if (syncPoint) {
        unit.headers = m_headers;
    }
    out.push_back(std::move(unit));
}

void OggReader::ReadPackets(Stream& stream, const OggPage& page) {
    if (stream.done) {
        return;
    }
    bool skipping = false;
    if ((page.flags & kOggContinued) == 0) {
        // The rest of an unfinished packet went missing.
        stream.packet.clear();
        stream.inPacket = false;
        stream.oversize = false;
    } else if (!stream.inPacket) {
        skipping = true;  // the start of this packet went missing
    }
    size_t offset = 0;
    for (const char lace : page.lacing) {
        const size_t length = static_cast<unsigned char>(lace);
        const std::string_view segment = page.body.substr(offset, length);
        offset += length;
        if (skipping) {
            skipping = length == 255;
            continue;
        }
        stream.inPacket = true;
        if (!stream.oversize) {
            if (stream.packet.size() + length > kMaxPacketBytes) {
                stream.oversize = true;
                std::string().swap(stream.packet);
            } else {
                stream.packet.append(segment);
            }
        }
        if (length < 255) {
            OnPacket(stream, stream.packet, !stream.oversize);
            stream.packet.clear();
            stream.inPacket = false;
            stream.oversize = false;
            if (stream.done) {
                std::string().swap(stream.packet);
                return;  // what follows is audio
            }
        }
    }
}

void OggReader::OnPacket(Stream& stream, std::string_view packet, bool whole) {
    const size_t index = stream.packets++;
    if (index == 0) {
        OnFirstPacket(stream, packet, whole);
    } else if (whole) {
        std::string title;
        switch (stream.codec) {
            case Codec::kVorbis:
            case Codec::kTheora: {
                // The packet type byte and the codec name open every header packet; comments
                // come second, setup third.
                static constexpr std::string_view kVorbis[] = {
                    {}, std::string_view("\x03vorbis", 7), std::string_view("\x05vorbis", 7)};
                static constexpr std::string_view kTheora[] = {{}, "\x81theora", "\x82theora"};
                const std::string_view expected =
                    index < 3 ? (stream.codec == Codec::kVorbis ? kVorbis : kTheora)[index] : "";
                if (!StartsWith(packet, expected)) {
                    HeadersLost();  // a header packet went missing or is out of order
                } else if (index == 1) {
                    title = CommentTitle(packet.substr(expected.size()));
                }
                break;
            }
            case Codec::kOpus:
                if (index == 1 && !StartsWith(packet, kOpusTags)) {
                    HeadersLost();
                } else if (index == 1) {
                    title = CommentTitle(packet.substr(kOpusTags.size()));
                }
                break;
            case Codec::kFlac: {
                // One metadata block each; an audio frame here means a header went missing.
                const auto block = ParseFlacBlock(packet);
                if (!block) {
                    HeadersLost();
                    stream.headerPackets = stream.packets;  // read no further
                    break;
                }
                if (block->type == kFlacComments) {
                    title = CommentTitle(packet.substr(4));
                }
                if (block->last) {
                    stream.headerPackets = stream.packets;
                }
                break;
            }
            case Codec::kOther:
                break;
        }
        if (m_title.empty()) {
            m_title = std::move(title);
        }
    }
    if (stream.packets >= stream.headerPackets) {
        stream.done = true;
    }
}

void OggReader::OnFirstPacket(Stream& stream, std::string_view packet, bool whole) {
    if (!whole) {
        return;
    }
    if (StartsWith(packet, kVorbisId)) {
        stream.codec = Codec::kVorbis;
        stream.headerPackets = 3;
        if (packet.size() >= 28) {
            const auto maximum = static_cast<int32_t>(Le32(packet, 16));
            const auto nominal = static_cast<int32_t>(Le32(packet, 20));
            const auto minimum = static_cast<int32_t>(Le32(packet, 24));
            const int64_t bitsPerSecond = nominal > 0 ? nominal
                                          : maximum > 0 && minimum > 0
                                              ? (int64_t{maximum} + minimum) / 2
                                              : 0;
            // Identification header: version (4), channels (1), sample rate (4).
            const auto rate = static_cast<int>(std::min<uint32_t>(Le32(packet, 12), 768000));
            SetAudio(stream, rate, static_cast<unsigned char>(packet[11]), rate,
                     static_cast<int>((bitsPerSecond + 500) / 1000));
        }
    } else if (StartsWith(packet, kTheoraId)) {
        stream.codec = Codec::kTheora;
        stream.headerPackets = 3;
    } else if (const auto opus = ParseOpusHead(packet)) {
        stream.codec = Codec::kOpus;
        stream.headerPackets = 2;
        // Listeners hear 48 kHz whatever the encoder was fed; the input rate is a hint only.
        SetAudio(stream, kOpusRate, opus->channels, kOpusRate, 0);
    } else if (const auto flac = ParseFlacHead(packet)) {
        stream.codec = Codec::kFlac;
        if (flac->lastBlock) {
            stream.headerPackets = 1;
        } else if (flac->moreHeaders > 0) {
            stream.headerPackets = 1 + flac->moreHeaders;
        } else {
            // Not said: the block marked last ends the headers (OnPacket lowers this then).
            stream.headerPackets = SIZE_MAX;
        }
        SetAudio(stream, flac->sampleRate, flac->channels, flac->sampleRate, 0);
    }
}

// The first audio stream of a group is the one the station describes.
void OggReader::SetAudio(Stream& stream, int sampleRate, int channels, int granuleRate,
                         int nominalKbps) {
    if (m_audioSerial && *m_audioSerial != stream.serial) {
        return;
    }
    m_audioSerial = stream.serial;
    m_codec = stream.codec;
    m_sampleRate = sampleRate;
    m_channels = channels;
    m_bitrate = nominalKbps;
    stream.granuleRate = granuleRate;
    stream.measure = nominalKbps <= 0 && granuleRate > 0;
}

// Bytes of whole pages over the audio their granule positions span: what listeners of this
// stream are sent per second, the pages' own framing included.
void OggReader::Measure(Stream& stream, const OggPage& page) {
    if (!stream.measure) {
        return;
    }
    stream.unmeasuredBytes += page.size;
    if (page.granule == kNoGranule) {
        return;
    }
    if (!stream.haveFirstGranule || page.granule < stream.firstGranule) {
        // The first page's audio began before its granule position: it only marks the start.
        stream.haveFirstGranule = true;
        stream.firstGranule = page.granule;
        stream.measuredBytes = 0;
        stream.unmeasuredBytes = 0;
        return;
    }
    stream.measuredBytes += stream.unmeasuredBytes;
    stream.unmeasuredBytes = 0;
    const uint64_t samples = page.granule - stream.firstGranule;
    const auto rate = static_cast<uint64_t>(stream.granuleRate);
    if (samples >= rate * kMeasureSeconds) {
        const double bitsPerSecond = static_cast<double>(stream.measuredBytes) * 8.0 *
                                     static_cast<double>(rate) / static_cast<double>(samples);
        m_bitrate = static_cast<int>(std::min(bitsPerSecond / 1000.0 + 0.5, 1e6));
    }
}

const char* OggReader::CodecName() const {
    switch (m_codec) {
        case Codec::kVorbis:
            return "Vorbis";
        case Codec::kOpus:
            return "Opus";
        case Codec::kFlac:
            return "FLAC";
        case Codec::kTheora:
        case Codec::kOther:
            break;
    }
    return "";
}

const char* OggReader::ContentType() const {
    switch (m_codec) {
        case Codec::kOpus:
            return "audio/ogg; codecs=opus";
        case Codec::kFlac:
            return "audio/ogg; codecs=flac";
        default:
            // Vorbis stations keep the type their players have always been told.
            return nullptr;
    }
}

}  // namespace orvanta::engine
