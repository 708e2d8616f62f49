// Whatever a source sends, the HLS segments cut from it must be sound: each starts with a whole
// ID3 tag whose frame sizes add up and whose title is capped and free of control bytes, followed
// by nothing but whole MP3 frames; numbers in the window are consecutive and rising. The first
// byte picks the title (quotes, NUL, long text) and how the bytes are split between reads.
#include "fuzz_require.h"
#include "hls/id3_tag.h"
#include "hls/playlist.h"
#include "hls/segmenter.h"
#include "stream/mp3.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using namespace orvanta::engine;

namespace {

uint32_t Syncsafe(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[at + i]);
        Require((byte & 0x80) == 0, "size not syncsafe");
        value = value << 7 | byte;
    }
    return value;
}

void CheckSegment(const HlsSegment& segment) {
    const std::string& bytes = *segment.bytes;
    Require(bytes.size() >= 10 && bytes.compare(0, 4, "ID3\x04") == 0, "no ID3v2.4 header");
    const size_t end = 10 + Syncsafe(bytes, 6);
    Require(end <= bytes.size(), "tag longer than the segment");
    size_t pos = 10;
    while (pos < end) {
        Require(pos + 10 <= end, "frame header past the tag");
        const size_t size = Syncsafe(bytes, pos + 4);
        Require(pos + 10 + size <= end, "frame past the tag");
        if (bytes.compare(pos, 4, "TIT2") == 0) {
            Require(size <= 1 + kMaxTagTitleBytes, "title longer than its cap");
            for (size_t i = pos + 11; i < pos + 10 + size; ++i) {
                Require(static_cast<unsigned char>(bytes[i]) >= 0x20, "control byte in title");
            }
        }
        pos += 10 + size;
    }
    Require(pos == end, "frame sizes do not add up");
    Require(end < bytes.size(), "segment without audio");
    while (pos < bytes.size()) {
        const auto header = ParseMp3FrameHeader(
            reinterpret_cast<const unsigned char*>(bytes.data()) + pos, bytes.size() - pos);
        Require(header.has_value(), "not a frame in the segment");
        pos += static_cast<size_t>(header->frameBytes);
    }
    Require(pos == bytes.size(), "a frame cut short");
    Require(segment.seconds > 0 && segment.seconds < 2 + 0.15, "duration off the target");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const uint8_t control = data[0];
    const std::string_view stream(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string title;
    if (control & 1) {
        title = std::string("a \"quoted\"\0 title", 18);
    }
    if (control & 2) {
        title += std::string(10240, '\xC3');
    }
    const size_t piece = 1 + static_cast<size_t>(control >> 2) * 37;

    Mp3Reader reader;
    HlsSegmenter segmenter(1, 2, 4);
    std::vector<MediaUnit> units;
    for (size_t from = 0; from < stream.size(); from += piece) {
        units.clear();
        reader.Feed(stream.substr(from, piece), units);
        for (const MediaUnit& unit : units) {
            segmenter.Feed(unit.bytes, title);
        }
        if (from % 7 == 3) {
            segmenter.SourceStopped();
        }
    }
    segmenter.SourceStopped();
    const auto& segments = segmenter.Segments();
    Require(segments.size() <= 4, "window too big");
    for (size_t i = 0; i < segments.size(); ++i) {
        CheckSegment(segments[i]);
        Require(i == 0 || segments[i].sequence == segments[i - 1].sequence + 1,
                "numbers not consecutive");
    }
    RenderPlaylist(segmenter);  // names the window: the engine tests compare it
    return 0;
}
