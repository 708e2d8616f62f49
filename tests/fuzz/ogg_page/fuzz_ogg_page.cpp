// The Ogg reader must make the same units of a stream however its bytes arrive: whole, in two
// pieces split where the first input byte says, and in small pieces. Every unit must be exactly
// one page with a good CRC, sync points must carry their header set, and nothing may be both
// emitted and dropped. Mutations almost never keep a CRC right, so when the first byte is odd the
// CRC of every complete page-like run is fixed first, letting the fuzzer reach the packet and
// header logic.
#include "fuzz_require.h"
#include "stream/ogg.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using orvanta::engine::MediaUnit;
using orvanta::engine::OggPage;
using orvanta::engine::OggParse;
using orvanta::engine::OggReader;

namespace {

struct Outcome {
    std::vector<MediaUnit> units;
    std::string summary;  // everything that must not depend on how the bytes arrived
    uint64_t generation = 0;
    uint64_t dropped = 0;
};

Outcome Run(std::string_view stream, const std::vector<size_t>& cuts) {
    OggReader reader;
    Outcome outcome;
    size_t from = 0;
    for (const size_t cut : cuts) {
        reader.Feed(stream.substr(from, cut - from), outcome.units);
        from = cut;
    }
    reader.Feed(stream.substr(from), outcome.units);
    Require(reader.Headers() != nullptr, "null headers");
    outcome.generation = reader.Generation();
    outcome.dropped = reader.DroppedBytes();
    outcome.summary = reader.Title() + '|' + *reader.Headers() + '|' +
                      std::to_string(outcome.generation) + '|' + std::to_string(outcome.dropped) +
                      '|' + std::to_string(reader.Bitrate()) + (reader.SawAudio() ? "|a|" : "|-|");
    for (const MediaUnit& unit : outcome.units) {
        outcome.summary += std::to_string(unit.bytes.size()) + (unit.syncPoint ? "s" : "-") +
                           std::to_string(unit.generation) + '|' + unit.bytes + '|' +
                           (unit.headers != nullptr ? *unit.headers : "none") + '|';
    }
    return outcome;
}

void CheckUnits(const Outcome& outcome, size_t inputSize) {
    uint64_t emitted = 0;
    uint64_t lastGeneration = 0;
    for (const MediaUnit& unit : outcome.units) {
        OggPage page;
        Require(ParseOggPage(unit.bytes, page) == OggParse::kPage && page.size == unit.bytes.size(),
                "a unit is not exactly one good page");
        Require(unit.syncPoint == (unit.headers != nullptr), "sync point without headers");
        Require(!unit.syncPoint || !unit.headers->empty(), "sync point with empty headers");
        Require(unit.generation >= 1 && unit.generation >= lastGeneration, "generation order");
        lastGeneration = unit.generation;
        emitted += unit.bytes.size();
    }
    Require(outcome.generation <= lastGeneration, "generation ahead of the units");
    Require(emitted + outcome.dropped <= inputSize, "bytes both emitted and dropped");
}

// Writes the right CRC into each "OggS" run whose header and body are all there.
void RepairCrcs(std::string& stream) {
    for (size_t at = stream.find("OggS"); at != std::string::npos;
         at = stream.find("OggS", at + 1)) {
        const std::string_view rest = std::string_view(stream).substr(at);
        if (rest.size() < 27) {
            break;
        }
        const size_t segments = static_cast<unsigned char>(rest[26]);
        if (rest.size() < 27 + segments) {
            break;
        }
        size_t total = 27 + segments;
        for (size_t i = 0; i < segments; ++i) {
            total += static_cast<unsigned char>(rest[27 + i]);
        }
        if (rest.size() < total) {
            continue;
        }
        std::string page(rest.substr(0, total));
        page.replace(22, 4, 4, '\0');
        const uint32_t crc = orvanta::engine::OggCrc32(page);
        for (size_t i = 0; i < 4; ++i) {
            stream[at + 22 + i] = static_cast<char>((crc >> (8 * i)) & 0xFF);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    std::string stream(reinterpret_cast<const char*>(data + 1), size - 1);
    if ((data[0] & 1) != 0) {
        RepairCrcs(stream);
    }
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
