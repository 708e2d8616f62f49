// The reader both frame formats share (MPEG audio and AAC in ADTS): it cuts a source's bytes
// into units of whole frames, skipping ID3 tags and junk between them. A format brings only its
// frame header (see FrameReader's Frames parameter).
#pragma once

#include "stream/format_reader.h"
#include "stream/pending_bytes.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta::engine {

// What may stand at a frame boundary besides a frame: an ID3v2 tag (skipped whole) or the start
// of a tag (ID3v1 "TAG" or ID3v2), which encoders put between songs.
enum class TagCheck { kNo, kNeedMore, kYes };
// An ID3v2 tag header at p: "ID3", major version 2-4, a minor version, flags, then a 28-bit size
// in four 7-bit bytes. `size` gets the whole tag's length, footer included. kNeedMore when the
// `avail` bytes fit so far but are fewer than the header's ten.
TagCheck CheckId3v2(const unsigned char* p, size_t avail, uint64_t& size);
// p holds at least 3 bytes.
bool IsTagStart(const unsigned char* p);

// Frames are accepted only when the Frames::kHeaderBytes after them are known:
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
//
// Frames: `Header` (with frameBytes, samplesPerFrame, sampleRate, channels), kHeaderBytes (what
// Parse needs), `Parse(p, size)` (a header starting with 0xFF, or nothing), `Compatible(a, b)`
// (what consecutive frames of one stream share), and `KbpsMicros(header, micros)`: the frame's
// bitrate times its duration, which the bitrate averages over windows of ~10 s.
template <typename Frames>
class FrameReader : public FormatReader {
public:
    static constexpr size_t kUnitBytes = 4096;
    static constexpr uint64_t kUnitMicros = 500'000;
    static constexpr uint64_t kMaxId3Bytes = 4u << 20;
    static constexpr uint64_t kBitrateWindowMicros = 10'000'000;

    void Feed(std::string_view data, std::vector<MediaUnit>& out) override {
        m_pending.Take(
            data, [&] { Process(out); }, [&] { ForgetPending(); });
    }
    std::shared_ptr<const std::string> Headers() const override { return NoHeaders(); }
    uint64_t Generation() const override { return 0; }
    bool SawAudio() const override { return m_sawAudio; }
    uint64_t DroppedBytes() const override { return m_dropped; }
    std::string Title() const override { return {}; }
    // The last whole window's mean; before one is complete, the mean so far.
    int Bitrate() const override {
        if (m_bitrate == 0 && m_windowMicros > 0) {
            return Mean(m_windowKbpsMicros, m_windowMicros);
        }
        return m_bitrate;
    }
    int SampleRate() const override { return m_sampleRate; }
    int Channels() const override { return m_channels; }

protected:
    using Header = typename Frames::Header;

    // The newest frame's header; null before the first frame.
    const Header* NewestHeader() const { return m_sawAudio ? &m_newest : nullptr; }

private:
    static int Mean(uint64_t kbpsMicros, uint64_t micros) {
        return static_cast<int>((kbpsMicros + micros / 2) / micros);
    }

    void Process(std::vector<MediaUnit>& out) {
        while (m_pending.pos < m_pending.bytes.size()) {
            const size_t avail = m_pending.bytes.size() - m_pending.pos;
            if (m_skip > 0) {
                const size_t count = static_cast<size_t>(std::min<uint64_t>(avail, m_skip));
                m_skip -= count;
                Drop(count);
                continue;
            }
            const auto* p =
                reinterpret_cast<const unsigned char*>(m_pending.bytes.data() + m_pending.pos);
            if (p[0] == 'I') {
                uint64_t tagBytes = 0;
                const TagCheck tag = CheckId3v2(p, avail, tagBytes);
                if (tag == TagCheck::kNeedMore) {
                    break;
                }
                if (tag == TagCheck::kYes && tagBytes <= kMaxId3Bytes) {
                    m_synced = false;
                    m_skip = tagBytes;
                    continue;
                }
            }
            if (p[0] == 0xFF) {
                if (avail < Frames::kHeaderBytes) {
                    break;
                }
                if (const std::optional<Header> header = Frames::Parse(p, avail)) {
                    const size_t length = static_cast<size_t>(header->frameBytes);
                    if (avail < length + Frames::kHeaderBytes) {
                        break;  // the frame and the header after it decide
                    }
                    const unsigned char* next = p + length;
                    const auto following = Frames::Parse(next, Frames::kHeaderBytes);
                    const bool good = m_synced
                                          ? following.has_value() || IsTagStart(next)
                                          : following && Frames::Compatible(*header, *following);
                    if (good) {
                        Accept(*header, out);
                        m_synced = true;
                        continue;
                    }
                }
            }
            // Not a frame nor a tag: drop up to the next byte that could start one.
            m_synced = false;
            size_t count = 1;
            while (count < avail && p[count] != 0xFF && p[count] != 'I') {
                ++count;
            }
            Drop(count);
        }
    }

    void Accept(const Header& header, std::vector<MediaUnit>& out) {
        const size_t length = static_cast<size_t>(header.frameBytes);
        m_unit.append(m_pending.bytes, m_pending.pos, length);
        m_pending.pos += length;
        m_sawAudio = true;
        m_newest = header;
        m_sampleRate = header.sampleRate;
        m_channels = header.channels;

        const uint64_t micros = uint64_t{1'000'000} *
                                static_cast<uint64_t>(header.samplesPerFrame) /
                                static_cast<uint64_t>(header.sampleRate);
        m_windowKbpsMicros += Frames::KbpsMicros(header, micros);
        m_windowMicros += micros;
        if (m_windowMicros >= kBitrateWindowMicros) {
            m_bitrate = Mean(m_windowKbpsMicros, m_windowMicros);
            m_windowKbpsMicros = 0;
            m_windowMicros = 0;
        }

        m_unitMicros += micros;
        if (m_unit.size() >= kUnitBytes || m_unitMicros >= kUnitMicros) {
            MediaUnit unit;
            unit.bytes = std::move(m_unit);
            unit.syncPoint = true;
            unit.micros = m_unitMicros;
            out.push_back(std::move(unit));
            m_unit.clear();
            m_unitMicros = 0;
        }
    }

    void Drop(size_t count) {
        m_pending.pos += count;
        m_dropped += count;
    }

    // Out of memory: what was pending is dropped and the stream resyncs on the next bytes.
    void ForgetPending() {
        m_dropped += m_pending.Forget() + m_unit.size();
        std::string().swap(m_unit);
        m_unitMicros = 0;
        m_synced = false;
    }

    // The undecided part never exceeds one frame plus kHeaderBytes beyond the piece being
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
    Header m_newest{};
};

}  // namespace orvanta::engine
