// AAC in ADTS: frame headers and the reader that cuts a source's bytes into units of whole
// frames, the way the MP3 reader does for MPEG audio (the two share a station module: the source
// decides which it sends).
#pragma once

#include "stream/format_reader.h"
#include "stream/pending_bytes.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta::engine {

struct AdtsFrameHeader {
    bool mpeg2 = false;       // the ID bit: MPEG-2 rather than MPEG-4 AAC; same frames either way
    int objectType = 0;       // 1 Main, 2 LC, 3 SSR, 4 LTP (the header's profile + 1)
    int rateIndex = 0;        // 0..12
    int sampleRate = 0;       // Hz, as the header says (the core rate when SBR doubles it)
    int channelConfig = 0;    // 1..7
    int channels = 0;         // 1..6, 8
    int headerBytes = 0;      // 7, or 9 with the CRC
    int frameBytes = 0;       // the whole frame, header included
    int samplesPerFrame = 0;  // 1024 per raw data block, up to four blocks
};

inline constexpr size_t kAdtsHeaderBytes = 7;

// The header at p (needs 7 bytes). Rejects a bad sync, a layer other than 0, the reserved and
// escape sample rate indexes (13..15), channel configuration 0 (channels in a program config
// element, which a frame-cutting reader cannot see) and a frame length that does not reach
// past the header.
std::optional<AdtsFrameHeader> ParseAdtsFrameHeader(const unsigned char* p, size_t size);

// Same ID, object type, sample rate and channels: what consecutive frames of one stream share.
bool AdtsCompatible(const AdtsFrameHeader& a, const AdtsFrameHeader& b);

// Whether the stream is taken for HE-AAC (SBR). ADTS has no field for it: encoders signal SBR
// implicitly, with an LC header at the core rate, half the rate the decoder puts out. So an LC
// header at 24 kHz or below counts as HE-AAC; that is where HE-AAC encoders put the core, and
// plain LC so low is rare (a decoder told HE-AAC still plays LC, and one told LC plays HE-AAC
// at the core rate at worst).
bool AdtsLikelySbr(const AdtsFrameHeader& header);

// The codec as HLS playlists name it: "mp4a.40.2" for LC, "mp4a.40.5" for HE-AAC, "mp4a.40.N"
// for the other object types.
const char* AdtsCodecs(const AdtsFrameHeader& header);

// Frames are accepted only when the seven bytes after them are known, as MP3 frames are (see
// Mp3Reader): searching, a header counts only when a compatible header follows at exactly
// frameBytes; in sync, the next thing must be any valid header or the start of a tag. ID3v2
// tags up to kMaxId3Bytes are skipped. Units hold whole frames and are emitted at kUnitBytes or
// kUnitMicros of audio. The bitrate is measured from the frames (ADTS names none).
class AdtsReader final : public FormatReader {
public:
    static constexpr size_t kUnitBytes = 4096;
    static constexpr uint64_t kUnitMicros = 500'000;
    static constexpr uint64_t kMaxId3Bytes = 4u << 20;

    void Feed(std::string_view data, std::vector<MediaUnit>& out) override;
    std::shared_ptr<const std::string> Headers() const override;
    uint64_t Generation() const override { return 0; }
    bool SawAudio() const override { return m_sawAudio; }
    uint64_t DroppedBytes() const override { return m_dropped; }
    std::string Title() const override { return {}; }
    int Bitrate() const override;
    int SampleRate() const override { return m_sampleRate; }
    int Channels() const override { return m_channels; }

private:
    void Process(std::vector<MediaUnit>& out);
    void Accept(const AdtsFrameHeader& header, std::vector<MediaUnit>& out);
    void Drop(size_t count);
    void ForgetPending();

    // The undecided part never exceeds one frame (at most 8191 bytes) plus seven bytes beyond
    // the piece being processed.
    PendingBytes m_pending;
    bool m_synced = false;
    uint64_t m_skip = 0;  // ID3v2 bytes still to drop
    std::string m_unit;
    uint64_t m_unitMicros = 0;
    bool m_sawAudio = false;
    uint64_t m_dropped = 0;
    // Bitrate: bytes over audio time in windows of ~10 s, as for MP3.
    uint64_t m_windowBytes = 0;
    uint64_t m_windowMicros = 0;
    int m_bitrate = 0;
    int m_sampleRate = 0;
    int m_channels = 0;
};

}  // namespace orvanta::engine
