#include "stream/ogg.h"

#include "base/ascii.h"
#include "stream/icy_metadata.h"

#include <algorithm>
#include <array>
#include <new>
#include <stdexcept>

namespace orvanta::engine {

namespace {

constexpr std::string_view kCapture = "OggS";
constexpr size_t kPageHeaderBytes = 27;

// How the first packet of a logical stream names its codec.
constexpr std::string_view kVorbisId = "\x01vorbis";
constexpr std::string_view kTheoraId = "\x80theora";
constexpr std::string_view kOpusHead = "OpusHead";
constexpr std::string_view kOpusTags = "OpusTags";
constexpr std::string_view kFlacHead = "\x7F\x46LAC";  // 0x7F "FLAC"

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

std::shared_ptr<const std::string> NoHeaders() {
    static const auto empty = std::make_shared<const std::string>();
    return empty;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// TITLE and ARTIST of a comment structure (vendor string, then KEY=value fields, all with 32-bit
// little-endian lengths), the first of each; "ARTIST - TITLE" when both are there.
std::string CommentTitle(std::string_view data) {
    size_t pos = 0;
    const auto read32 = [&](uint32_t& value) {
        if (data.size() - pos < 4) {
            return false;
        }
        value = Le32(data, pos);
        pos += 4;
        return true;
    };
    uint32_t vendorBytes = 0;
    uint32_t count = 0;
    if (!read32(vendorBytes) || vendorBytes > data.size() - pos) {
        return {};
    }
    pos += vendorBytes;
    if (!read32(count)) {
        return {};
    }
    std::string title;
    std::string artist;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t length = 0;
        if (!read32(length) || length > data.size() - pos) {
            break;
        }
        const std::string_view field = data.substr(pos, length);
        pos += length;
        const size_t equals = field.find('=');
        if (equals == std::string_view::npos) {
            continue;
        }
        const std::string_view key = field.substr(0, equals);
        const std::string_view value = field.substr(equals + 1);
        if (title.empty() && EqualsIgnoreCase(key, "TITLE")) {
            title = ToUtf8(value);
        } else if (artist.empty() && EqualsIgnoreCase(key, "ARTIST")) {
            artist = ToUtf8(value);
        }
    }
    if (!artist.empty() && !title.empty()) {
        return artist + " - " + title;
    }
    return title.empty() ? artist : title;
}

}  // namespace

uint32_t OggCrc32(std::string_view bytes, uint32_t crc) {
    for (const char c : bytes) {
        crc = (crc << 8) ^ kCrcTable[((crc >> 24) ^ static_cast<unsigned char>(c)) & 0xFFu];
    }
    return crc;
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

    if (m_phase == Phase::kBos || m_phase == Phase::kHeaders) {
        if (AllHeadersDone()) {
            CompleteHeaders();
        } else {
            m_phase = Phase::kHeaders;
        }
    }
    if (m_phase == Phase::kAudio) {
        Emit(bytes, true, out);
        return;
    }
    if (m_phase == Phase::kHeaders) {
        if (!inOrder && !stream.done) {
            HeadersLost();  // a header page went missing: the set would not decode
        } else {
            KeepHeaderPage(bytes);
        }
    }
    Emit(bytes, false, out);
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

void OggReader::Emit(std::string_view bytes, bool syncPoint, std::vector<MediaUnit>& out) {
    MediaUnit unit;
    unit.bytes = bytes;
    unit.syncPoint = syncPoint;
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
        if (whole && StartsWith(packet, kVorbisId)) {
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
                m_bitrate = static_cast<int>((bitsPerSecond + 500) / 1000);
                // Identification header: version (4), channels (1), sample rate (4).
                m_channels = static_cast<unsigned char>(packet[11]);
                m_sampleRate = static_cast<int>(std::min<uint32_t>(Le32(packet, 12), 768000));
            }
        } else if (whole && StartsWith(packet, kTheoraId)) {
            stream.codec = Codec::kTheora;
            stream.headerPackets = 3;
        } else if (whole && StartsWith(packet, kOpusHead)) {
            stream.codec = Codec::kOpus;
            stream.headerPackets = 2;
        } else if (whole && StartsWith(packet, kFlacHead) && packet.size() >= 9) {
            // The mapping announces how many metadata packets follow; 0 means "not said".
            stream.codec = Codec::kFlac;
            const auto* p = reinterpret_cast<const unsigned char*>(packet.data());
            stream.headerPackets = 1 + ((size_t{p[7]} << 8) | p[8]);
        }
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
            case Codec::kFlac:
                // Metadata blocks; type 4 holds the comments.
                if (packet.size() >= 4 && (static_cast<unsigned char>(packet[0]) & 0x7F) == 4) {
                    title = CommentTitle(packet.substr(4));
                }
                break;
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

}  // namespace orvanta::engine
