// The ADTS reader must make the same units of a stream whole or split where the first input
// byte says; every unit is a run of whole frames, and nothing is both emitted and dropped. Every
// 7-byte window also goes through the header parser, whose frame lengths must be steppable.
#include "fuzz_require.h"
#include "stream/adts.h"
#include "stream/format_reader.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using namespace orvanta::engine;

namespace {

// Everything that must not depend on how the bytes arrived; checks each unit on the way.
std::string Run(std::string_view stream, size_t split) {
    AdtsReader reader;
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
            const auto header = ParseAdtsFrameHeader(p + at, unit.bytes.size() - at);
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    for (size_t i = 0; i + 7 <= size; ++i) {
        if (const auto header = ParseAdtsFrameHeader(data + i, 7)) {
            Require(header->frameBytes > header->headerBytes && header->frameBytes <= 8191 &&
                        header->sampleRate >= 7350 && header->sampleRate <= 96000 &&
                        header->channels >= 1 && header->channels <= 8 &&
                        header->samplesPerFrame >= 1024 && header->samplesPerFrame <= 4096 &&
                        AdtsCodecs(*header)[0] == 'm',
                    "header fields");
        }
    }
    const std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);
    Require(Run(stream, stream.size()) == Run(stream, stream.size() * data[0] / 255),
            "two pieces differ from one");
    return 0;
}
