// Ogg: the page parser and the reader that hands pages to the engine as units, keeping the header
// pages of the current logical stream for listeners that join mid-stream.
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

inline constexpr unsigned char kOggContinued = 0x01;
inline constexpr unsigned char kOggBos = 0x02;
inline constexpr unsigned char kOggEos = 0x04;

// CRC-32 of Ogg pages: polynomial 0x04C11DB7, initial value 0, no reflection, no final xor.
uint32_t OggCrc32(std::string_view bytes, uint32_t crc = 0);

struct OggPage {
    unsigned char flags = 0;  // kOggContinued | kOggBos | kOggEos
    uint64_t granule = 0;
    uint32_t serial = 0;
    uint32_t sequence = 0;
    uint32_t crc = 0;
    std::string_view lacing;  // one byte per segment
    std::string_view body;
    size_t size = 0;  // the whole page
};

// Gives a whole page (as ParseOggPage took it) another serial number, adds `flags` to its header
// type and writes its CRC again: a stream played twice in a chain must not repeat its serial.
void RestampOggPage(std::string& page, uint32_t serial, unsigned char flags = 0);

enum class OggParse { kPage, kNeedMore, kInvalid };

// The page that `data` starts with. kInvalid: not "OggS", a version other than 0 or a CRC
// mismatch; kNeedMore: a possible page whose end is not in `data` yet. The views in `page` point
// into `data`.
OggParse ParseOggPage(std::string_view data, OggPage& page);

// One unit per page. A logical stream's BOS page and its pages up to the one where its last header
// packet ends (3 packets for Vorbis and Theora, 2 for Opus, 1 + the announced count for FLAC, 1 for
// anything else) form the header set; they are not sync points, every later page is. The set is
// complete, and Headers() moves to it, when that last header packet ends; when the headers are the
// BOS page alone, at the next non-BOS page, since more BOS pages may follow. A BOS page after a
// non-BOS page starts a new generation (a chained stream); BOS pages in a row form one group
// (multiplexed streams) whose headers are kept together. Pages of a serial no BOS page announced
// are dropped, since nothing could decode them. Packets are reassembled only while headers are
// read, up to kMaxPacketBytes (a bigger comment is skipped, the title stays unknown). A header set
// that cannot be complete (a header page missing by its sequence number, a header packet of the
// wrong type, more than kMaxHeaderBytes) is given up: its pages still reach listeners already
// playing, but nobody can join until the next chain boundary.
class OggReader final : public FormatReader {
public:
    static constexpr size_t kMaxPacketBytes = 1u << 20;
    static constexpr size_t kMaxHeaderBytes = 4u << 20;
    static constexpr size_t kMaxStreamsPerGroup = 16;

    OggReader();
    void Feed(std::string_view data, std::vector<MediaUnit>& out) override;
    std::shared_ptr<const std::string> Headers() const override { return m_headers; }
    uint64_t Generation() const override { return m_generation; }
    bool SawAudio() const override { return m_sawAudio; }
    uint64_t DroppedBytes() const override { return m_dropped; }
    std::string Title() const override { return m_title; }
    int Bitrate() const override { return m_bitrate; }
    int SampleRate() const override { return m_sampleRate; }
    int Channels() const override { return m_channels; }
    // Of the group's first audio stream (Vorbis, Opus or FLAC), whose header gives the sample
    // rate and channels. Its bitrate is the Vorbis header's nominal one; without one (Opus and
    // FLAC never have one) it is measured from the stream's pages once they span a few seconds.
    const char* CodecName() const override;
    const char* ContentType() const override;

private:
    enum class Codec { kOther, kVorbis, kOpus, kFlac, kTheora };
    enum class Phase { kNone, kBos, kHeaders, kAudio, kAbandoned };

    struct Stream {
        uint32_t serial = 0;
        Codec codec = Codec::kOther;
        size_t headerPackets = 1;  // how many packets the headers take
        size_t packets = 0;        // complete packets seen so far
        bool done = false;         // all header packets seen
        bool eos = false;
        uint32_t nextSequence = 0;
        std::string packet;  // the packet being reassembled
        bool inPacket = false;
        bool oversize = false;
        // The bitrate measurement: samples per second of its granule positions, whether it is
        // measured, the first granule position seen and the page bytes since.
        int granuleRate = 0;
        bool measure = false;
        bool haveFirstGranule = false;
        uint64_t firstGranule = 0;
        uint64_t measuredBytes = 0;
        uint64_t unmeasuredBytes = 0;  // pages since the last granule position
        uint64_t lastGranule = 0;      // the newest page's, for the units' durations
    };

    void Process(std::vector<MediaUnit>& out);
    void HandlePage(const OggPage& page, std::string_view bytes, std::vector<MediaUnit>& out);
    void StartGroup();
    void ReadPackets(Stream& stream, const OggPage& page);
    void OnPacket(Stream& stream, std::string_view packet, bool whole);
    void OnFirstPacket(Stream& stream, std::string_view packet, bool whole);
    void SetAudio(Stream& stream, int sampleRate, int channels, int granuleRate, int nominalKbps);
    void Measure(Stream& stream, const OggPage& page);
    void KeepHeaderPage(std::string_view bytes);
    void HeadersLost();
    void ForgetPending();
    bool AllHeadersDone() const;
    void CompleteHeaders();
    void Emit(std::string_view bytes, bool syncPoint, std::vector<MediaUnit>& out,
              uint64_t micros = 0);
    // How long the audio a page of `stream` ends plays: 0 unless it is the group's audio stream
    // and the page ends a packet.
    uint64_t PageMicros(Stream& stream, const OggPage& page) const;

    PendingBytes m_pending;

    Phase m_phase = Phase::kNone;
    std::vector<Stream> m_streams;  // the current group
    uint64_t m_groupGeneration = 0;
    std::string m_pendingHeaders;

    std::shared_ptr<const std::string> m_headers;
    uint64_t m_generation = 0;
    bool m_sawAudio = false;
    uint64_t m_dropped = 0;
    std::string m_title;
    int m_bitrate = 0;
    int m_sampleRate = 0;
    int m_channels = 0;
    Codec m_codec = Codec::kOther;
    std::optional<uint32_t> m_audioSerial;  // the stream the facts above are of
};

}  // namespace orvanta::engine
