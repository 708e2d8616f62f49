// A pushed ASF stream, bare or framed in the streaming handshake's chunks, whatever its bytes:
// the reader makes the same units however they arrive (whole, or in two pieces split where the
// first input byte says), every unit is one packet of the size its headers give, and what it
// keeps stays bounded.
#include "fuzz_require.h"
#include "stream/asf.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using namespace orvanta::engine;

namespace {

// The units' bytes, checking each on the way.
std::string Run(std::string_view stream, size_t cut) {
    AsfReader reader;
    std::vector<MediaUnit> units;
    reader.Feed(stream.substr(0, cut), units);
    reader.Feed(stream.substr(cut), units);
    std::string summary;
    for (const MediaUnit& unit : units) {
        AsfStreamFacts facts;
        Require(unit.headers != nullptr &&
                    ParseAsfHeader(*unit.headers, facts) == AsfParse::kDone &&
                    facts.headerBytes == unit.headers->size(),
                "a unit whose headers do not parse");
        Require(unit.bytes.size() == facts.packetBytes, "a unit that is not one packet");
        Require(AsfPacketPlausible(unit.bytes), "an implausible packet let through");
        summary += unit.bytes + '|';
    }
    Require(!units.empty() == reader.SawAudio(), "audio seen and units disagree");
    return summary;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view stream(reinterpret_cast<const char*>(data), size);
    Require(Run(stream, size) == Run(stream, size == 0 ? 0 : data[0] % (size + 1)),
            "a split changed the units");
    // The facts of any header, and the packet check of any slice, stay in range.
    AsfStreamFacts facts;
    if (ParseAsfHeader(stream, facts) == AsfParse::kDone) {
        Require(facts.headerBytes <= size && facts.packetBytes >= kAsfMinPacketBytes &&
                    facts.packetBytes <= kAsfMaxPacketBytes,
                "header facts out of range");
    }
    AsfPacketPlausible(stream);
    return 0;
}
