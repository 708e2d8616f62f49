// A fallback or intro file is cut by the station's readers, then replayed: an intro whole, with
// its Ogg pages given serial numbers of their own and an end page. Whatever a file holds, what
// comes out is audio of one format with a duration, and every Ogg page of the intro still
// parses with a good CRC.
#include "engine/fallback.h"
#include "fuzz_require.h"
#include "stream/format_table.h"
#include "stream/ogg.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace orvanta::engine;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string why;
    const auto file = CutAudio(
        bytes, [](StreamFormat format) { return InfoOf(format).direct; }, &why);
    if (!file) {
        Require(!why.empty(), "refused without a reason");
        return 0;
    }
    Require(file->micros > 0 && !file->units.empty(), "accepted without audio");
    uint64_t micros = 0;
    size_t unitBytes = 0;
    for (const MediaUnit& unit : file->units) {
        Require(!unit.bytes.empty(), "an empty unit");
        micros += unit.micros;
        unitBytes += unit.bytes.size();
    }
    Require(micros == file->micros && unitBytes <= size, "units and the file disagree");

    const auto intro = MakeIntro(file.get());
    Require(intro != nullptr && intro->format == file->format, "no intro of the file's format");
    Require(intro->bytes.size() == unitBytes, "the intro is not the units whole");
    if (!file->ogg) {
        return 0;
    }
    std::string_view rest = intro->bytes;
    OggPage page;
    while (!rest.empty()) {
        Require(ParseOggPage(rest, page) == OggParse::kPage, "an intro page does not parse");
        rest.remove_prefix(page.size);
    }
    Require((page.flags & kOggEos) != 0, "the intro's last page does not end its stream");
    return 0;
}
