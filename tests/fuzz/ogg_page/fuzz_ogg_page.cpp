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
    std::string title;
    std::string headers;
    uint64_t generation = 0;
    uint64_t dropped = 0;
    int bitrate = 0;
    bool sawAudio = false;
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
    outcome.title = reader.Title();
    Require(reader.Headers() != nullptr, "null headers");
    outcome.headers = *reader.Headers();
    outcome.generation = reader.Generation();
    outcome.dropped = reader.DroppedBytes();
    outcome.bitrate = reader.Bitrate();
    outcome.sawAudio = reader.SawAudio();
    return outcome;
}

bool Same(const Outcome& a, const Outcome& b) {
    if (a.units.size() != b.units.size() || a.title != b.title || a.headers != b.headers ||
        a.generation != b.generation || a.dropped != b.dropped || a.bitrate != b.bitrate ||
        a.sawAudio != b.sawAudio) {
        return false;
    }
    for (size_t i = 0; i < a.units.size(); ++i) {
        const MediaUnit& x = a.units[i];
        const MediaUnit& y = b.units[i];
        if (x.bytes != y.bytes || x.syncPoint != y.syncPoint || x.generation != y.generation ||
            (x.headers == nullptr) != (y.headers == nullptr) ||
            (x.headers != nullptr && *x.headers != *y.headers)) {
            return false;
        }
    }
    return true;
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
    Require(Same(whole, Run(stream, {split})), "two pieces differ from one");
    std::vector<size_t> cuts;
    for (size_t at = step; at < stream.size(); at += step) {
        cuts.push_back(at);
    }
    Require(Same(whole, Run(stream, cuts)), "small pieces differ from one");
    return 0;
}
