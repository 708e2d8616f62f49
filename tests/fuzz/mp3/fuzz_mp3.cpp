// The MP3 reader must make the same units of a stream however its bytes arrive: whole, in two
// pieces split where the first input byte says, and in small pieces. Every unit must be a run of
// whole frames, and nothing may be both emitted and dropped. Every 4-byte window also goes
// through the header parser, whose answers must be sane (a frame length the reader can step
// over).
#include "fuzz_require.h"
#include "stream/format_reader.h"
#include "stream/mp3.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using orvanta::engine::MediaUnit;
using orvanta::engine::Mp3Reader;
using orvanta::engine::ParseMp3FrameHeader;

namespace {

struct Outcome {
    std::vector<MediaUnit> units;
    std::string summary;  // everything that must not depend on how the bytes arrived
    uint64_t dropped = 0;
    bool sawAudio = false;
};

Outcome Run(std::string_view stream, const std::vector<size_t>& cuts) {
    Mp3Reader reader;
    Outcome outcome;
    size_t from = 0;
    for (const size_t cut : cuts) {
        reader.Feed(stream.substr(from, cut - from), outcome.units);
        from = cut;
    }
    reader.Feed(stream.substr(from), outcome.units);
    Require(reader.Headers() != nullptr && reader.Headers()->empty(), "MP3 has headers");
    Require(reader.Generation() == 0 && reader.Title().empty(), "MP3 generation or title");
    outcome.dropped = reader.DroppedBytes();
    outcome.sawAudio = reader.SawAudio();
    outcome.summary = std::to_string(outcome.dropped) + '|' + std::to_string(reader.Bitrate()) +
                      (outcome.sawAudio ? "|a|" : "|-|");
    for (const MediaUnit& unit : outcome.units) {
        outcome.summary += std::to_string(unit.bytes.size()) + (unit.syncPoint ? "s" : "-");
        outcome.summary += unit.bytes;
    }
    return outcome;
}

void CheckUnits(const Outcome& outcome, size_t inputSize) {
    uint64_t emitted = 0;
    for (const MediaUnit& unit : outcome.units) {
        Require(unit.syncPoint && unit.generation == 0 && unit.headers == nullptr, "unit flags");
        const auto* p = reinterpret_cast<const unsigned char*>(unit.bytes.data());
        size_t at = 0;
        while (at < unit.bytes.size()) {
            const auto header = ParseMp3FrameHeader(p + at, unit.bytes.size() - at);
            Require(header.has_value(), "a unit holds something other than frames");
            at += static_cast<size_t>(header->frameBytes);
        }
        Require(at == unit.bytes.size(), "a unit ends inside a frame");
        emitted += unit.bytes.size();
    }
    Require(emitted + outcome.dropped <= inputSize, "bytes both emitted and dropped");
    Require(outcome.units.empty() || outcome.sawAudio, "audio not noticed");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    for (size_t i = 0; i + 4 <= size; ++i) {
        if (const auto header = ParseMp3FrameHeader(data + i, 4)) {
            Require(header->frameBytes >= 24 && header->frameBytes <= 2881, "frame length");
            Require(header->bitrateKbps > 0 && header->sampleRate >= 8000 &&
                        (header->channels == 1 || header->channels == 2),
                    "header fields");
        }
    }
    const std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t split = stream.size() * data[0] / 255;
    const size_t step = data[0] % 13 + 1;

    const Outcome whole = Run(stream, {});
    CheckUnits(whole, stream.size());
    Require(whole.summary == Run(stream, {split}).summary, "two pieces differ from one");
    std::vector<size_t> cuts;
    for (size_t at = step; at < stream.size(); at += step) {
        cuts.push_back(at);
    }
    Require(whole.summary == Run(stream, cuts).summary, "small pieces differ from one");
    return 0;
}
