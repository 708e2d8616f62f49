// ASF, the container of WMA streams: the objects a live stream is made of (the header object
// with its file and stream properties, the data object's head, then data packets of one fixed
// size), the reader that cuts a pushed ASF stream into those packets, and the pieces a writer
// needs to build them.
#pragma once

#include "stream/format_reader.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta::engine {

using AsfGuid = std::array<uint8_t, 16>;

// The objects and types a single-audio-stream live ASF needs, as stored (little-endian fields).
extern const AsfGuid kAsfHeaderObject;
extern const AsfGuid kAsfFilePropertiesObject;
extern const AsfGuid kAsfStreamPropertiesObject;
extern const AsfGuid kAsfHeaderExtensionObject;
extern const AsfGuid kAsfContentDescriptionObject;
extern const AsfGuid kAsfDataObject;
extern const AsfGuid kAsfAudioMedia;
extern const AsfGuid kAsfNoErrorCorrection;
extern const AsfGuid kAsfReserved1;

// Bytes of the data object's head: GUID, size, file id, packet count, two reserved bytes.
inline constexpr size_t kAsfDataHeadBytes = 50;
// Packets of a live stream are at most this big: the streaming handshake frames each one with
// a 16-bit length that includes 8 bytes of its own.
inline constexpr size_t kAsfMaxPacketBytes = 65535 - 8;
inline constexpr size_t kAsfMinPacketBytes = 32;
// Header objects beyond this are refused: live headers are a few hundred bytes.
inline constexpr size_t kAsfMaxHeaderBytes = 256 * 1024;

// What the header of an ASF stream says, for the status panel and for cutting its packets.
struct AsfStreamFacts {
    size_t headerBytes = 0;  // header object and data object head, together
    size_t packetBytes = 0;
    uint16_t formatTag = 0;
    int sampleRate = 0;
    int channels = 0;
    int bitrate = 0;  // bits per second
    std::string title;
};

enum class AsfParse { kDone, kNeedMore, kInvalid };

// Reads the header object and data object head at the start of `bytes`. kInvalid with a reason
// in `why` for anything a player could not follow: no header object, objects that overrun it,
// a packet size that is not fixed or out of range, no audio stream, no data object after it.
AsfParse ParseAsfHeader(std::string_view bytes, AsfStreamFacts& facts, std::string* why = nullptr);

// Whether `packet` (exactly one packet of the stream's size) has a head a demuxer can read:
// its lengths stay inside the packet and its payload flags are legal.
bool AsfPacketPlausible(std::string_view packet);

// Passes a pushed ASF stream through: the header object and data object head become the
// headers every listener gets first, each data packet a unit a listener may start with.
// Packets that cannot be ones of this stream are dropped and counted; a second header object
// (an encoder that restarted its stream) starts a new generation. Encoders push either the bare
// stream or the stream framed in the streaming handshake's chunks ("$H", "$D"); the first two
// bytes tell which.
class AsfReader final : public FormatReader {
public:
    void Feed(std::string_view data, std::vector<MediaUnit>& out) override;
    std::shared_ptr<const std::string> Headers() const override;
    uint64_t Generation() const override { return m_generation; }
    bool SawAudio() const override { return m_sawAudio; }
    uint64_t DroppedBytes() const override { return m_dropped; }
    std::string Title() const override { return m_facts.title; }
    int Bitrate() const override { return m_facts.bitrate / 1000; }
    int SampleRate() const override { return m_facts.sampleRate; }
    int Channels() const override { return m_facts.channels; }

private:
    enum class Framing { kUnknown, kBare, kChunks };
    // Takes the chunks' payloads out of a framed stream into m_buffer, data packets padded to
    // the size the header gives, as players of the handshake do.
    void Unframe(std::string_view data);

    Framing m_framing = Framing::kUnknown;
    std::string m_framed;       // framed bytes not yet taken apart
    std::string m_headerChunk;  // a header arriving in several chunks
    size_t m_framedPacketBytes = 0;

    std::string m_buffer;
    size_t m_pos = 0;
    bool m_inHeader = true;
    AsfStreamFacts m_facts;
    std::shared_ptr<const std::string> m_headers;
    uint64_t m_generation = 0;
    bool m_sawAudio = false;
    uint64_t m_dropped = 0;
};

// The Windows Media HTTP streaming handshake frames the header and every packet in a chunk:
// '$', the chunk's letter ('H' header, 'D' data), its length and an 8-byte extension holding a
// sequence number. The 12 bytes that go before `payloadBytes` of payload.
using MmshChunkHead = std::array<char, 12>;
MmshChunkHead MakeMmshChunkHead(char letter, size_t payloadBytes, uint32_t sequence);

// Little-endian appenders for writers of ASF objects.
void AppendLe16(std::string& out, uint16_t v);
void AppendLe32(std::string& out, uint32_t v);
void AppendLe64(std::string& out, uint64_t v);
void AppendGuid(std::string& out, const AsfGuid& guid);

}  // namespace orvanta::engine
