#include "stream/asf.h"

#include <algorithm>
#include <cstring>

namespace orvanta::engine {

const AsfGuid kAsfHeaderObject = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                  0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const AsfGuid kAsfFilePropertiesObject = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                          0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const AsfGuid kAsfStreamPropertiesObject = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11,
                                            0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const AsfGuid kAsfHeaderExtensionObject = {0xB5, 0x03, 0xBF, 0x5F, 0x2E, 0xA9, 0xCF, 0x11,
                                           0x8E, 0xE3, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const AsfGuid kAsfContentDescriptionObject = {0x33, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                              0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const AsfGuid kAsfDataObject = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const AsfGuid kAsfAudioMedia = {0x40, 0x9E, 0x69, 0xF8, 0x4D, 0x5B, 0xCF, 0x11,
                                0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};
const AsfGuid kAsfNoErrorCorrection = {0x00, 0x57, 0xFB, 0x20, 0x55, 0x5B, 0xCF, 0x11,
                                       0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};
const AsfGuid kAsfReserved1 = {0x11, 0xD2, 0xD3, 0xAB, 0xBA, 0xA9, 0xCF, 0x11,
                               0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};

namespace {

constexpr size_t kObjectHeadBytes = 24;  // GUID and 64-bit size
constexpr size_t kHeaderObjectHeadBytes = 30;

uint64_t Le(std::string_view b, size_t at, size_t bytes) {
    uint64_t v = 0;
    for (size_t i = 0; i < bytes; ++i) {
        v |= static_cast<uint64_t>(static_cast<unsigned char>(b[at + i])) << (8 * i);
    }
    return v;
}

bool IsGuid(std::string_view b, size_t at, const AsfGuid& guid) {
    return b.size() >= at + guid.size() &&
           std::memcmp(b.data() + at, guid.data(), guid.size()) == 0;
}

// UTF-16LE up to its first NUL, as UTF-8; unpaired surrogates become U+FFFD.
std::string Utf8FromUtf16(std::string_view b) {
    std::string out;
    for (size_t i = 0; i + 1 < b.size(); i += 2) {
        uint32_t c = static_cast<uint32_t>(Le(b, i, 2));
        if (c == 0) {
            break;
        }
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < b.size()) {
            const auto low = static_cast<uint32_t>(Le(b, i + 2, 2));
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            } else {
                c = 0xFFFD;
            }
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

AsfParse Invalid(std::string* why, const char* reason) {
    if (why != nullptr) {
        *why = reason;
    }
    return AsfParse::kInvalid;
}

// Bytes of a field whose length is given by a 2-bit type: none, byte, word, dword.
size_t FieldBytes(unsigned type) {
    static constexpr size_t kBytes[] = {0, 1, 2, 4};
    return kBytes[type & 3];
}

}  // namespace

void AppendLe16(std::string& out, uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}

void AppendLe32(std::string& out, uint32_t v) {
    AppendLe16(out, static_cast<uint16_t>(v & 0xFFFF));
    AppendLe16(out, static_cast<uint16_t>(v >> 16));
}

void AppendLe64(std::string& out, uint64_t v) {
    AppendLe32(out, static_cast<uint32_t>(v & 0xFFFFFFFFu));
    AppendLe32(out, static_cast<uint32_t>(v >> 32));
}

void AppendGuid(std::string& out, const AsfGuid& guid) {
    out.append(reinterpret_cast<const char*>(guid.data()), guid.size());
}

MmshChunkHead MakeMmshChunkHead(char letter, size_t payloadBytes, uint32_t sequence) {
    // The length counts the extension; headers and packets are bounded well below 64 KiB.
    const auto length = static_cast<uint16_t>(std::min<size_t>(payloadBytes + 8, 0xFFFF));
    std::string head;
    head += '$';
    head += letter;
    AppendLe16(head, length);
    AppendLe32(head, sequence);
    head += '\0';
    head += letter == 'H' ? '\x0c' : '\0';
    AppendLe16(head, length);
    MmshChunkHead out{};
    std::copy(head.begin(), head.end(), out.begin());
    return out;
}

AsfParse ParseAsfHeader(std::string_view b, AsfStreamFacts& facts, std::string* why) {
    if (b.size() < kHeaderObjectHeadBytes) {
        return b.substr(0, std::min(b.size(), kAsfHeaderObject.size())) ==
                       std::string_view(reinterpret_cast<const char*>(kAsfHeaderObject.data()),
                                        std::min(b.size(), kAsfHeaderObject.size()))
                   ? AsfParse::kNeedMore
                   : Invalid(why, "no ASF header object");
    }
    if (!IsGuid(b, 0, kAsfHeaderObject)) {
        return Invalid(why, "no ASF header object");
    }
    const uint64_t size = Le(b, 16, 8);
    if (size < kHeaderObjectHeadBytes || size > kAsfMaxHeaderBytes) {
        return Invalid(why, "an ASF header object of an impossible size");
    }
    if (b.size() < size + kAsfDataHeadBytes) {
        return AsfParse::kNeedMore;
    }
    AsfStreamFacts found;
    bool audio = false;
    for (size_t at = kHeaderObjectHeadBytes; at < size;) {
        if (size - at < kObjectHeadBytes) {
            return Invalid(why, "an ASF header object that ends inside an object");
        }
        const uint64_t objectSize = Le(b, at + 16, 8);
        if (objectSize < kObjectHeadBytes || objectSize > size - at) {
            return Invalid(why, "an ASF object that overruns its header");
        }
        const std::string_view object = b.substr(at, static_cast<size_t>(objectSize));
        if (IsGuid(object, 0, kAsfFilePropertiesObject)) {
            if (object.size() < 104) {
                return Invalid(why, "ASF file properties too short");
            }
            const uint64_t minPacket = Le(object, 92, 4);
            const uint64_t maxPacket = Le(object, 96, 4);
            if (minPacket != maxPacket || minPacket < kAsfMinPacketBytes ||
                minPacket > kAsfMaxPacketBytes) {
                return Invalid(why, "ASF packets not of one size a stream can carry");
            }
            found.packetBytes = static_cast<size_t>(minPacket);
        } else if (IsGuid(object, 0, kAsfStreamPropertiesObject) && object.size() >= 78 &&
                   IsGuid(object, 24, kAsfAudioMedia) && !audio) {
            const uint64_t specific = Le(object, 64, 4);
            if (specific >= 16 && specific <= object.size() - 78) {
                found.formatTag = static_cast<uint16_t>(Le(object, 78, 2));
                found.channels = static_cast<int>(Le(object, 80, 2));
                found.sampleRate = static_cast<int>(Le(object, 82, 4));
                found.bitrate =
                    static_cast<int>(std::min<uint64_t>(Le(object, 86, 4) * 8, 1u << 30));
                audio = true;
            }
        } else if (IsGuid(object, 0, kAsfContentDescriptionObject) && object.size() >= 34) {
            const uint64_t titleBytes = Le(object, 24, 2);
            if (34 + titleBytes <= object.size()) {
                found.title = Utf8FromUtf16(object.substr(34, static_cast<size_t>(titleBytes)));
            }
        }
        at += static_cast<size_t>(objectSize);
    }
    if (found.packetBytes == 0) {
        return Invalid(why, "no ASF file properties");
    }
    if (!audio) {
        return Invalid(why, "no audio stream in the ASF header");
    }
    if (!IsGuid(b, static_cast<size_t>(size), kAsfDataObject)) {
        return Invalid(why, "no ASF data object after the header");
    }
    found.headerBytes = static_cast<size_t>(size) + kAsfDataHeadBytes;
    facts = std::move(found);
    return AsfParse::kDone;
}

bool AsfPacketPlausible(std::string_view p) {
    size_t at = 0;
    if (p.empty()) {
        return false;
    }
    const auto byte = [&p](size_t i) { return static_cast<unsigned char>(p[i]); };
    if ((byte(0) & 0x80) != 0) {
        // Error correction data: its length in the low nibble, no length type, not opaque.
        if ((byte(0) & 0x70) != 0) {
            return false;
        }
        at = 1 + (byte(0) & 0x0F);
    }
    if (p.size() < at + 2) {
        return false;
    }
    const unsigned lengthFlags = byte(at);
    const unsigned propertyFlags = byte(at + 1);
    at += 2;
    const size_t packetLengthBytes = FieldBytes(lengthFlags >> 5);
    const size_t sequenceBytes = FieldBytes(lengthFlags >> 1);
    const size_t paddingBytes = FieldBytes(lengthFlags >> 3);
    if (p.size() < at + packetLengthBytes + sequenceBytes + paddingBytes + 6) {
        return false;
    }
    const uint64_t packetLength = Le(p, at, packetLengthBytes);
    at += packetLengthBytes + sequenceBytes;
    const uint64_t padding = Le(p, at, paddingBytes);
    at += paddingBytes + 6;  // send time, duration
    if (packetLengthBytes != 0 && (packetLength < at || packetLength > p.size())) {
        return false;
    }
    if (padding > p.size() - at) {
        return false;
    }
    // The stream number is always a byte.
    if (((propertyFlags >> 6) & 3) != 1) {
        return false;
    }
    return at < p.size() - padding;
}

std::shared_ptr<const std::string> AsfReader::Headers() const {
    return m_headers ? m_headers : NoHeaders();
}

void AsfReader::Unframe(std::string_view data) {
    m_framed.append(data);
    size_t at = 0;
    while (m_framed.size() - at >= 12) {
        const std::string_view head = std::string_view(m_framed).substr(at, 12);
        const auto length = static_cast<size_t>(Le(head, 2, 2));
        if (head[0] != '$' || length < 8) {
            // Not a chunk: find the next one.
            const size_t next = m_framed.find('$', at + 1);
            const size_t skip = (next == std::string::npos ? m_framed.size() : next) - at;
            m_dropped += skip;
            at += skip;
            continue;
        }
        if (m_framed.size() - at < 4 + length) {
            break;
        }
        const std::string_view payload = std::string_view(m_framed).substr(at + 12, length - 8);
        at += 4 + length;
        if (head[1] == 'H') {
            m_headerChunk.append(payload);
            AsfStreamFacts facts;
            const AsfParse parsed = ParseAsfHeader(m_headerChunk, facts);
            if (parsed == AsfParse::kNeedMore && m_headerChunk.size() <= kAsfMaxHeaderBytes) {
                continue;
            }
            if (parsed == AsfParse::kDone) {
                m_framedPacketBytes = facts.packetBytes;
                m_buffer.append(m_headerChunk);
            } else {
                m_dropped += m_headerChunk.size();
            }
            m_headerChunk.clear();
        } else if (head[1] == 'D' && m_framedPacketBytes != 0 &&
                   payload.size() <= m_framedPacketBytes) {
            m_buffer.append(payload);
            m_buffer.append(m_framedPacketBytes - payload.size(), '\0');
        } else {
            m_dropped += payload.size();
        }
    }
    m_framed.erase(0, at);
}

void AsfReader::Feed(std::string_view data, std::vector<MediaUnit>& out) {
    if (m_framing == Framing::kUnknown) {
        m_framed.append(data);
        if (m_framed.size() < 2) {
            return;
        }
        m_framing = m_framed[0] == '$' && m_framed[1] == 'H' ? Framing::kChunks : Framing::kBare;
        std::string first;
        first.swap(m_framed);
        Feed(first, out);
        return;
    }
    if (m_framing == Framing::kChunks) {
        Unframe(data);
    } else {
        m_buffer.append(data);
    }
    for (;;) {
        const std::string_view rest = std::string_view(m_buffer).substr(m_pos);
        if (m_inHeader) {
            AsfStreamFacts facts;
            const AsfParse parsed = ParseAsfHeader(rest, facts);
            if (parsed == AsfParse::kNeedMore) {
                break;
            }
            if (parsed == AsfParse::kInvalid) {
                // Nothing before the next header object can be placed.
                const std::string_view guid(reinterpret_cast<const char*>(kAsfHeaderObject.data()),
                                            kAsfHeaderObject.size());
                const size_t next = rest.find(guid, 1);
                if (next == std::string_view::npos) {
                    // Keep what may be the start of one.
                    const size_t drop = rest.size() - std::min(rest.size() - 1, guid.size() - 1);
                    m_dropped += drop;
                    m_pos += drop;
                    break;
                }
                m_dropped += next;
                m_pos += next;
                continue;
            }
            m_facts = std::move(facts);
            m_headers = std::make_shared<const std::string>(rest.substr(0, m_facts.headerBytes));
            ++m_generation;
            m_pos += m_facts.headerBytes;
            m_inHeader = false;
            continue;
        }
        if (IsGuid(rest, 0, kAsfHeaderObject)) {
            m_inHeader = true;  // the encoder started its stream again
            continue;
        }
        if (rest.size() < m_facts.packetBytes) {
            break;
        }
        const std::string_view packet = rest.substr(0, m_facts.packetBytes);
        if (AsfPacketPlausible(packet)) {
            MediaUnit unit;
            unit.bytes.assign(packet);
            unit.syncPoint = true;
            unit.generation = m_generation;
            unit.headers = m_headers;
            out.push_back(std::move(unit));
            m_sawAudio = true;
        } else {
            m_dropped += packet.size();
        }
        m_pos += m_facts.packetBytes;
    }
    if (m_pos > 0 && (m_pos >= m_buffer.size() || m_pos > 64 * 1024)) {
        m_buffer.erase(0, m_pos);
        m_pos = 0;
    }
}

}  // namespace orvanta::engine
