// What every FrameReader must keep, whatever the bytes: the same units of a stream whole or
// split in two; every unit a run of whole frames; nothing both emitted and dropped.
#pragma once

#include "fuzz_require.h"
#include "stream/frame_reader.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta::engine {

// Feeds `stream` in two pieces cut at `split` and sums up everything that must not depend on
// where the cut was, checking each unit on the way.
template <typename Reader, typename Frames>
std::string RunFrameReader(std::string_view stream, size_t split) {
    Reader reader;
    std::vector<MediaUnit> units;
    reader.Feed(stream.substr(0, split), units);
    reader.Feed(stream.substr(split), units);
    std::string summary = std::to_string(reader.DroppedBytes()) + '|' +
                          std::to_string(reader.Bitrate()) + '|' +
                          std::to_string(reader.SampleRate()) + (reader.SawAudio() ? "|a|" : "|-|");
    uint64_t emitted = 0;
    for (const MediaUnit& unit : units) {
        Require(unit.syncPoint && unit.generation == 0 && unit.headers == nullptr, "unit flags");
        const auto* p = reinterpret_cast<const unsigned char*>(unit.bytes.data());
        size_t at = 0;
        while (at < unit.bytes.size()) {
            const auto header = Frames::Parse(p + at, unit.bytes.size() - at);
            Require(header.has_value(), "a unit holds something other than frames");
            at += static_cast<size_t>(header->frameBytes);
        }
        Require(at == unit.bytes.size(), "a unit ends inside a frame");
        emitted += unit.bytes.size();
        summary += std::to_string(unit.bytes.size()) + unit.bytes;
    }
    Require(emitted + reader.DroppedBytes() <= stream.size(), "bytes both emitted and dropped");
    Require(units.empty() || reader.SawAudio(), "audio not noticed");
    return summary;
}

// The input's first byte says where to cut the rest.
template <typename Reader, typename Frames>
void CheckFrameReader(const uint8_t* data, size_t size) {
    const std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);
    Require(RunFrameReader<Reader, Frames>(stream, stream.size()) ==
                RunFrameReader<Reader, Frames>(stream, stream.size() * data[0] / 255),
            "two pieces differ from one");
}

}  // namespace orvanta::engine
