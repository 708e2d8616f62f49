#include "asf_writer.h"

#include <algorithm>

namespace orvanta::wma {

using namespace engine;

namespace {

// Players buffer this much before they play; presentation times count it in.
constexpr uint32_t kPrerollMs = 3000;
// Error correction marker (two bytes of it, both zero), flags for a packet whose length and
// padding the file properties give, and property flags: the replicated data length, the media
// object number and the stream number in a byte each, the offset into the object in a dword.
constexpr char kPacketHead[] = {'\x82', '\x00', '\x00', '\x00', '\x5D'};
constexpr size_t kPacketOverhead = sizeof kPacketHead + 4 + 2 + 1 + 1 + 4 + 1 + 8;

std::string Utf16(std::string_view utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        uint32_t code = 0xFFFD;
        size_t length = 1;
        if (c < 0x80) {
            code = c;
        } else if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
            code = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
            length = 2;
        } else if ((c & 0xF0) == 0xE0 && i + 2 < utf8.size()) {
            code = ((c & 0x0Fu) << 12) | ((static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu) << 6) |
                   (static_cast<unsigned char>(utf8[i + 2]) & 0x3Fu);
            length = 3;
        } else if ((c & 0xF8) == 0xF0 && i + 3 < utf8.size()) {
            code = ((c & 0x07u) << 18) | ((static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu) << 12) |
                   ((static_cast<unsigned char>(utf8[i + 2]) & 0x3Fu) << 6) |
                   (static_cast<unsigned char>(utf8[i + 3]) & 0x3Fu);
            length = 4;
        }
        i += length;
        if (code >= 0x10000 && code < 0x110000) {
            code -= 0x10000;
            AppendLe16(out, static_cast<uint16_t>(0xD800 + (code >> 10)));
            AppendLe16(out, static_cast<uint16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            AppendLe16(out, static_cast<uint16_t>(code <= 0xFFFF ? code : 0xFFFD));
        }
    }
    AppendLe16(out, 0);
    return out;
}

void AppendObject(std::string& out, const AsfGuid& guid, const std::string& body) {
    AppendGuid(out, guid);
    AppendLe64(out, 24 + body.size());
    out += body;
}

}  // namespace

AsfWriter::AsfWriter(const OrvantaEncoderFormat& format, const AsfGuid& fileId)
    : m_format(format), m_fileId(fileId) {}

size_t AsfWriter::PacketBytes() const {
    return static_cast<size_t>(m_format.blockAlign) + kPacketOverhead;
}

std::string AsfWriter::Header(std::string_view title) const {
    std::string file;
    AppendGuid(file, m_fileId);
    AppendLe64(file, 0);  // size, creation date, packets, play and send duration: live
    AppendLe64(file, 0);
    AppendLe64(file, 0);
    AppendLe64(file, 0);
    AppendLe64(file, 0);
    AppendLe64(file, kPrerollMs);
    AppendLe32(file, 1);  // broadcast
    AppendLe32(file, static_cast<uint32_t>(PacketBytes()));
    AppendLe32(file, static_cast<uint32_t>(PacketBytes()));
    AppendLe32(file, static_cast<uint32_t>(m_format.bitrate));

    std::string wave;
    AppendLe16(wave, m_format.formatTag);
    AppendLe16(wave, m_format.channels);
    AppendLe32(wave, static_cast<uint32_t>(m_format.sampleRate));
    AppendLe32(wave, static_cast<uint32_t>(m_format.bitrate / 8));
    AppendLe16(wave, static_cast<uint16_t>(m_format.blockAlign));
    AppendLe16(wave, 16);
    const auto extra = static_cast<size_t>(std::clamp(m_format.extraSize, 0, 64));
    AppendLe16(wave, static_cast<uint16_t>(extra));
    wave.append(reinterpret_cast<const char*>(m_format.extra), extra);
    std::string stream;
    AppendGuid(stream, kAsfAudioMedia);
    AppendGuid(stream, kAsfNoErrorCorrection);
    AppendLe64(stream, 0);  // time offset
    AppendLe32(stream, static_cast<uint32_t>(wave.size()));
    AppendLe32(stream, 0);  // error correction data
    AppendLe16(stream, 1);  // stream number 1
    AppendLe32(stream, 0);
    stream += wave;

    std::string extension;
    AppendGuid(extension, kAsfReserved1);
    AppendLe16(extension, 6);
    AppendLe32(extension, 0);

    // The title, and nothing for author, copyright, description and rating.
    const std::string name = Utf16(title.substr(0, 4096));
    std::string description;
    AppendLe16(description, static_cast<uint16_t>(name.size()));
    for (int i = 0; i < 4; ++i) {
        AppendLe16(description, 0);
    }
    description += name;

    std::string objects;
    AppendObject(objects, kAsfFilePropertiesObject, file);
    AppendObject(objects, kAsfStreamPropertiesObject, stream);
    AppendObject(objects, kAsfHeaderExtensionObject, extension);
    AppendObject(objects, kAsfContentDescriptionObject, description);

    std::string header;
    AppendGuid(header, kAsfHeaderObject);
    AppendLe64(header, 30 + objects.size());
    AppendLe32(header, 4);
    header += '\x01';
    header += '\x02';
    header += objects;
    // The data object's head: no size and no packet count, as a live stream has neither.
    AppendGuid(header, kAsfDataObject);
    AppendLe64(header, 0);
    AppendGuid(header, m_fileId);
    AppendLe64(header, 0);
    header += '\x01';
    header += '\x01';
    return header;
}

std::string AsfWriter::Packet(std::string_view block, uint32_t presentationMs,
                              uint16_t durationMs) {
    std::string packet(kPacketHead, sizeof kPacketHead);
    packet.reserve(PacketBytes());
    AppendLe32(packet, presentationMs);  // send time
    AppendLe16(packet, durationMs);
    packet += '\x81';  // stream 1, a key frame: every WMA block decodes on its own
    packet += static_cast<char>(m_objectNumber++);
    AppendLe32(packet, 0);  // offset into the object: the block is whole
    packet += '\x08';       // replicated data: the object's size and presentation time
    AppendLe32(packet, static_cast<uint32_t>(block.size()));
    AppendLe32(packet, presentationMs + kPrerollMs);
    packet += block;
    packet.resize(PacketBytes(), '\0');
    return packet;
}

}  // namespace orvanta::wma
