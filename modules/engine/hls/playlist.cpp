#include "hls/playlist.h"

#include "hls/id3_tag.h"
#include "stream/format_table.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace orvanta::engine {

namespace {

constexpr size_t kMaxSequenceDigits = 20;  // 18446744073709551615

// "2026-12-06T18:30:00.125Z"
std::string IsoTime(std::chrono::system_clock::time_point when) {
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(millis / 1000);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(millis % 1000));
    return text;
}

}  // namespace

std::string SegmentUri(uint64_t sequence, std::string_view extension) {
    return "live/" + std::to_string(sequence) + "." + std::string(extension);
}

std::string SegmentUri(const HlsSegment& segment) {
    return SegmentUri(segment.sequence,
                      segment.packing != nullptr ? segment.packing->extension : "mp3");
}

std::optional<uint64_t> ParseSegmentPath(std::string_view path, std::string_view* extension) {
    constexpr std::string_view kFolder = kHlsSegmentFolder;
    const size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || dot <= kFolder.size() ||
        path.substr(0, kFolder.size()) != kFolder) {
        return std::nullopt;
    }
    const std::string_view suffix = path.substr(dot + 1);
    bool known = false;
    for (const FormatInfo& format : KnownFormats()) {
        known = known || (format.hls != nullptr && suffix == format.hls->extension);
    }
    if (!known) {
        return std::nullopt;
    }
    if (extension != nullptr) {
        *extension = suffix;
    }
    const std::string_view digits = path.substr(kFolder.size(), dot - kFolder.size());
    if (digits.empty() || digits.size() > kMaxSequenceDigits ||
        (digits[0] == '0' && digits.size() > 1)) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        const auto digit = static_cast<uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
    }
    return value;
}

std::string RenderPlaylist(const HlsSegmenter& segmenter) {
    const auto& segments = segmenter.Segments();
    if (segments.empty()) {
        return {};
    }
    // Segments are cut once they reach the target, so each is under a frame longer than it and
    // rounds to at most the target.
    std::string text = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:" +
                       std::to_string(segmenter.TargetSeconds()) +
                       "\n#EXT-X-MEDIA-SEQUENCE:" + std::to_string(segments.front().sequence) +
                       "\n";
    if (segmenter.DiscontinuitiesGone() > 0) {
        text += "#EXT-X-DISCONTINUITY-SEQUENCE:" + std::to_string(segmenter.DiscontinuitiesGone()) +
                "\n";
    }
    for (const HlsSegment& segment : segments) {
        if (segment.discontinuity) {
            text += "#EXT-X-DISCONTINUITY\n";
        }
        char duration[32];
        std::snprintf(duration, sizeof duration, "%.3f", segment.seconds);
        // The title after the duration is for players that show no timed metadata: the one on
        // air when the segment began, cleaned as in its tag.
        text += "#EXT-X-PROGRAM-DATE-TIME:" + IsoTime(segment.start) + "\n#EXTINF:" + duration +
                "," + SegmentTitle(segment.title) + "\n" + SegmentUri(segment) + "\n";
    }
    return text;
}

}  // namespace orvanta::engine

namespace orvanta::engine {

std::string RenderMasterPlaylist(const HlsSegmenter& segmenter) {
    const auto& segments = segmenter.Segments();
    if (segments.empty()) {
        return {};
    }
    // BANDWIDTH is the peak: the densest segment, tag included.
    double peak = 0;
    for (const HlsSegment& segment : segments) {
        if (segment.seconds > 0) {
            peak = std::max(peak, static_cast<double>(segment.bytes->size()) * 8 / segment.seconds);
        }
    }
    const std::string variant = kHlsPlaylistPath;
    return "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-STREAM-INF:BANDWIDTH=" +
           std::to_string(static_cast<uint64_t>(std::ceil(peak))) + ",CODECS=\"" +
           segments.back().codecs + "\"\n.." + variant + "\n";
}

}  // namespace orvanta::engine
