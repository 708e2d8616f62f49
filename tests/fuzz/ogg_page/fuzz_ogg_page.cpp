// The Ogg reader must make the same units of a stream whole or split where the first input byte
// says. Every unit is exactly one page with a good CRC, sync points carry their header set, and
// nothing is both emitted and dropped. Mutations almost never keep a CRC right, so when the first
// byte is odd the CRC of every complete page-like run is fixed first, letting the fuzzer reach
// the packet and header logic.
#include "fuzz_require.h"
#include "stream/ogg.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using namespace orvanta::engine;

namespace {

// Everything that must not depend on how the bytes arrived; checks each unit on the way.
std::string Run(std::string_view stream, size_t split) {
    OggReader reader;
    std::vector<MediaUnit> units;
    reader.Feed(stream.substr(0, split), units);
    reader.Feed(stream.substr(split), units);
    Require(reader.Headers() != nullptr, "null headers");
    std::string summary = reader.Title() + '|' + *reader.Headers() + '|' +
                          std::to_string(reader.DroppedBytes()) + '|' +
                          std::to_string(reader.Bitrate());
    uint64_t emitted = 0;
    uint64_t lastGeneration = 0;
    for (const MediaUnit& unit : units) {
        OggPage page;
        Require(ParseOggPage(unit.bytes, page) == OggParse::kPage && page.size == unit.bytes.size(),
                "a unit is not exactly one good page");
        Require(unit.syncPoint == (unit.headers != nullptr) &&
                    (!unit.syncPoint || !unit.headers->empty()),
                "sync point without headers");
        Require(unit.generation >= 1 && unit.generation >= lastGeneration, "generation order");
        lastGeneration = unit.generation;
        emitted += unit.bytes.size();
        summary +=
            '|' + std::to_string(unit.generation) + (unit.syncPoint ? "s" : "-") + unit.bytes;
    }
    Require(reader.Generation() <= lastGeneration, "generation ahead of the units");
    Require(emitted + reader.DroppedBytes() <= stream.size(), "bytes both emitted and dropped");
    return summary;
}

// Writes the right CRC into each "OggS" run whose header and body are all there.
void RepairCrcs(std::string& stream) {
    for (size_t at = stream.find("OggS"); at != std::string::npos;
         at = stream.find("OggS", at + 1)) {
        const std::string_view rest = std::string_view(stream).substr(at);
        const size_t segments = rest.size() < 27 ? 0 : static_cast<unsigned char>(rest[26]);
        if (rest.size() < 27 + segments) {
            break;
        }
        size_t total = 27 + segments;
        for (size_t i = 0; i < segments; ++i) {
            total += static_cast<unsigned char>(rest[27 + i]);
        }
        if (rest.size() >= total) {
            std::string page(rest.substr(0, total));
            page.replace(22, 4, 4, '\0');
            const uint32_t crc = OggCrc32(page);
            for (size_t i = 0; i < 4; ++i) {
                stream[at + 22 + i] = static_cast<char>((crc >> (8 * i)) & 0xFF);
            }
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
    Require(Run(stream, stream.size()) == Run(stream, stream.size() * data[0] / 255),
            "two pieces differ from one");
    return 0;
}
