// MPEG audio (MP3 and its layer I/II relatives): frame headers and the reader that cuts a
// source's bytes into units of whole frames.
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

struct Mp3FrameHeader {
    int version = 0;  // 10 = MPEG-1, 20 = MPEG-2, 25 = MPEG-2.5
    int layer = 0;    // 1, 2 or 3
    int bitrateKbps = 0;
    int sampleRate = 0;  // Hz
    int channels = 0;    // 1 or 2
    int frameBytes = 0;  // the whole frame, header included
    int samplesPerFrame = 0;
};

// The header at p (needs 4 bytes). Rejects a bad sync, the reserved version, layer, sample rate
// and emphasis values, free format (bitrate index 0) and the bad bitrate index 15.
std::optional<Mp3FrameHeader> ParseMp3FrameHeader(const unsigned char* p, size_t size);

// What may stand at a frame boundary besides a frame: an ID3v2 tag (skipped whole) or the start
// of a tag (ID3v1 "TAG" or ID3v2), which encoders put between songs.
enum class TagCheck { kNo, kNeedMore, kYes };
// An ID3v2 tag header at p: "ID3", major version 2-4, a minor version, flags, then a 28-bit size
// in four 7-bit bytes. `size` gets the whole tag's length, footer included. kNeedMore when the
// `avail` bytes fit so far but are fewer than the header's ten.
TagCheck CheckId3v2(const unsigned char* p, size_t avail, uint64_t& size);
// p holds at least 3 bytes.
bool IsTagStart(const unsigned char* p);

// Same version, layer and sample rate: what consecutive frames of one stream share.
bool Mp3Compatible(const Mp3FrameHeader& a, const Mp3FrameHeader& b);

// Frames are accepted only when the four bytes after them are known:
// - searching (at the start, after junk or a tag): a header counts only when another valid,
//   compatible header follows at exactly frameBytes, so a sync pattern inside junk or inside
//   audio data is not taken for a frame;
// - in sync (the previous frame was accepted and this one starts where it ended): the frame must
//   be followed by any valid header (the format may change between songs) or by an ID3v1/ID3v2
//   tag; otherwise it was cut short by junk and is dropped, and searching starts again.
// The last frame before the source stops is therefore never emitted; it is one frame (~26 ms).
// An ID3v2 tag seen while searching or at a frame boundary is skipped by its declared size when
// that is at most kMaxId3Bytes (a bigger one is junk to resync through). Each unit holds whole
// frames and is emitted once it reaches kUnitBytes or kUnitMicros of audio, whichever comes
// first: ~4 KiB at usual bitrates, and at most ~0.5 s of delay at low ones.
class Mp3Reader final : public FormatReader {
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
    void Accept(const Mp3FrameHeader& header, std::vector<MediaUnit>& out);
    void Drop(size_t count);
    void ForgetPending();

    // The undecided part never exceeds one frame plus four bytes beyond the piece being
    // processed.
    PendingBytes m_pending;
    bool m_synced = false;
    uint64_t m_skip = 0;  // ID3v2 bytes still to drop
    std::string m_unit;
    uint64_t m_unitMicros = 0;
    bool m_sawAudio = false;
    uint64_t m_dropped = 0;
    // Bitrate: duration-weighted mean over windows of ~10 s, so VBR gives a steady figure and a
    // change of encoder settings shows within seconds.
    uint64_t m_windowKbpsMicros = 0;
    uint64_t m_windowMicros = 0;
    int m_bitrate = 0;
    int m_sampleRate = 0;
    int m_channels = 0;
};

}  // namespace orvanta::engine
