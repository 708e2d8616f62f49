#include "hls/segmenter.h"

#include "hls/id3_tag.h"

#include <algorithm>

namespace orvanta::engine {

namespace {

constexpr uint64_t kTicksPerSecond = 90'000;
constexpr int kMaxTargetSeconds = 60;

// FNV-1a.
uint64_t Fingerprint(std::string_view bytes) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

std::string Hex(uint64_t value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text(16, '0');
    for (int i = 15; i >= 0; --i) {
        text[static_cast<size_t>(i)] = kDigits[value & 15];
        value >>= 4;
    }
    return text;
}

}  // namespace

std::string HlsFingerprint(std::string_view bytes) {
    return Hex(Fingerprint(bytes));
}

HlsSegmenter::HlsSegmenter(uint64_t firstSequence, int targetSeconds, size_t window)
    : m_nextSequence(firstSequence),
      m_targetSeconds(std::clamp(targetSeconds, 1, kMaxTargetSeconds)),
      m_window(std::max<size_t>(window, 1)),
      m_packing(InfoOf(StreamFormat::Mp3).hls) {}

const HlsSegment* HlsSegmenter::Find(uint64_t sequence) const {
    if (m_segments.empty() || sequence < m_segments.front().sequence ||
        sequence > m_segments.back().sequence) {
        return nullptr;
    }
    // Numbers in the window are consecutive.
    return &m_segments[static_cast<size_t>(sequence - m_segments.front().sequence)];
}

uint64_t HlsSegmenter::Ticks() const {
    if (m_sampleRate <= 0) {
        return m_ticksBase;
    }
    return m_ticksBase + m_samplesSinceBase * kTicksPerSecond / static_cast<uint64_t>(m_sampleRate);
}

void HlsSegmenter::SourceStarted(Clock::time_point now, const HlsPacking* packing) {
    Publish();
    if (packing != nullptr) {
        m_packing = packing;
    }
    m_anchorTime = now;
    m_anchorTicks = Ticks();
    m_pendingDiscontinuity = m_published > 0;
    m_started = true;
}

void HlsSegmenter::SourceStopped() {
    Publish();
    m_started = false;
}

size_t HlsSegmenter::Feed(std::string_view frames, const std::string& title) {
    if (!m_started) {
        SourceStarted(Clock::now());
    }
    const uint64_t publishedBefore = m_published;
    const auto* bytes = reinterpret_cast<const unsigned char*>(frames.data());
    size_t pos = 0;
    while (pos < frames.size()) {
        const auto frame = m_packing->frameAt(bytes + pos, frames.size() - pos);
        if (!frame || frame->bytes == 0 || frame->sampleRate <= 0) {
            break;
        }
        if (m_open && (frame->shape != m_frameShape || frame->sampleRate != m_currentRate)) {
            // Another encoder setting: a player must reset its decoder, so the segment ends
            // here and the next one says so.
            Publish();
            m_pendingDiscontinuity = true;
        }
        if (frame->sampleRate != m_sampleRate) {
            m_ticksBase = Ticks();
            m_samplesSinceBase = 0;
            m_sampleRate = frame->sampleRate;
        }
        if (m_open && m_currentSamples >= static_cast<uint64_t>(m_targetSeconds) *
                                              static_cast<uint64_t>(m_currentRate)) {
            Publish();
        }
        if (!m_open) {
            m_frameShape = frame->shape;
            m_currentRate = frame->sampleRate;
            Begin(title);
            m_current.codecs = frame->codecs;
        }
        m_currentBytes.append(frames.substr(pos, frame->bytes));
        m_currentSamples += frame->samples;
        m_samplesSinceBase += frame->samples;
        pos += frame->bytes;
    }
    return static_cast<size_t>(m_published - publishedBefore);
}

void HlsSegmenter::Begin(const std::string& title) {
    const uint64_t ticks = Ticks();
    m_current = HlsSegment{};
    m_current.sequence = m_nextSequence;
    m_current.packing = m_packing;
    m_current.discontinuity = m_pendingDiscontinuity;
    m_pendingDiscontinuity = false;
    m_current.start =
        m_anchorTime + std::chrono::duration_cast<Clock::duration>(std::chrono::microseconds(
                           (ticks - m_anchorTicks) * 1'000'000 / kTicksPerSecond));
    m_current.title = title;
    m_currentBytes = BuildSegmentTag(ticks, title);
    m_currentSamples = 0;
    m_open = true;
}

void HlsSegmenter::Publish() {
    if (!m_open) {
        return;
    }
    m_open = false;
    if (m_currentSamples == 0 || m_currentRate <= 0) {
        return;
    }
    m_current.seconds = static_cast<double>(m_currentSamples) / static_cast<double>(m_currentRate);
    m_current.etag =
        "\"" + std::to_string(m_current.sequence) + "-" + HlsFingerprint(m_currentBytes) + "\"";
    m_current.bytes = std::make_shared<const std::string>(std::move(m_currentBytes));
    m_currentBytes.clear();
    m_segments.push_back(std::move(m_current));
    ++m_nextSequence;
    ++m_published;
    while (m_segments.size() > m_window) {
        if (m_segments.front().discontinuity) {
            ++m_discontinuitiesGone;
        }
        m_segments.pop_front();
    }
}

}  // namespace orvanta::engine
