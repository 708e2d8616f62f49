// Cuts the station's MP3 or AAC audio into HLS segments: whole frames as the source sent them (no
// re-encoding), a new segment once the one under way holds the target duration, each with the
// ID3 tag packed audio needs in front. Plain code over bytes and a clock the caller passes in:
// no I/O, no threads, so it is tested and fuzzed on its own.
#pragma once

#include "stream/format_table.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>

namespace orvanta::engine {

// A fingerprint of `bytes` as 16 hex digits: what the strong validators of segments and
// playlists are made of, so caches never mix two bodies under one name (a segment number the
// server gave out again after a restart, say).
std::string HlsFingerprint(std::string_view bytes);

struct HlsSegment {
    uint64_t sequence = 0;
    double seconds = 0;  // of audio
    // The first segment after the source came back or changed, or after the audio's format
    // changed: the player resets its decoder and timeline here.
    bool discontinuity = false;
    // When its first sample went on air, by the server's clock.
    std::chrono::system_clock::time_point start;
    std::string title;  // on air when it began
    // How its frames are packed (its name's extension and content type) and their codec.
    const HlsPacking* packing = nullptr;
    const char* codecs = "";
    // The ID3 tag and the frames; never modified once published.
    std::shared_ptr<const std::string> bytes;
    std::string etag;  // strong, quoted
};

class HlsSegmenter {
public:
    using Clock = std::chrono::system_clock;

    // `firstSequence` numbers the first segment; `targetSeconds` (1..60) and `window` (at least
    // 1) are clamped.
    HlsSegmenter(uint64_t firstSequence, int targetSeconds, size_t window);

    int TargetSeconds() const { return m_targetSeconds; }
    size_t WindowSize() const { return m_window; }

    // A source went on air at `now` (a new one, or the same one back): the next segment is a
    // discontinuity when segments came before it. `packing` (null: as before, at first MP3's)
    // says how its frames are read and segments named.
    void SourceStarted(Clock::time_point now, const HlsPacking* packing = nullptr);
    // The source left: the segment under way is closed and published as it is, so the audio
    // up to the end reaches the players.
    void SourceStopped();

    // Whole frames of the packing's format (as the station's reader emits them) and the title on
    // air now. Bytes that do not parse as a frame end the piece (the reader never sends them).
    // Returns how many segments were published by this call.
    size_t Feed(std::string_view frames, const std::string& title);

    // Published segments, oldest first, at most WindowSize().
    const std::deque<HlsSegment>& Segments() const { return m_segments; }
    const HlsSegment* Find(uint64_t sequence) const;
    // Discontinuities that have left the window (EXT-X-DISCONTINUITY-SEQUENCE).
    uint64_t DiscontinuitiesGone() const { return m_discontinuitiesGone; }
    // The sequence number the next segment will get.
    uint64_t NextSequence() const { return m_nextSequence; }

private:
    void Begin(const std::string& title);
    void Publish();

    uint64_t m_nextSequence;
    int m_targetSeconds;
    size_t m_window;
    std::deque<HlsSegment> m_segments;
    uint64_t m_discontinuitiesGone = 0;
    uint64_t m_published = 0;

    uint64_t Ticks() const;

    // The audio timeline, in 90 kHz ticks, runs on across sources so timestamps never go back.
    uint64_t m_ticksBase = 0;  // at the last change of sample rate
    uint64_t m_samplesSinceBase = 0;
    int m_sampleRate = 0;
    const HlsPacking* m_packing;
    uint32_t m_frameShape = 0;  // the encoder settings of the frames under way
    // Where the source's audio began on the timeline and on the clock: segment start times
    // follow the audio from there, so they agree with the durations the playlist lists.
    Clock::time_point m_anchorTime;
    uint64_t m_anchorTicks = 0;
    bool m_pendingDiscontinuity = false;
    bool m_started = false;

    // The segment under way.
    bool m_open = false;
    HlsSegment m_current;
    std::string m_currentBytes;
    uint64_t m_currentSamples = 0;
    int m_currentRate = 0;
};

}  // namespace orvanta::engine
