// Opus in Ogg: the identification header parser on its own, then the reader over a stream whose
// first packet is "OpusHead" + the input's first packet and whose second is "OpusTags" + its
// second. Whenever the identification header is good and audio follows the two headers, a
// joiner must get exactly those two packets' pages, and the facts must be those of Opus.
#include "fuzz_require.h"
#include "ogg_codec_support.h"
#include "stream/ogg_codecs.h"

#include <cstddef>
#include <cstdint>
#include <string>

using namespace orvanta::engine;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    std::vector<std::string> packets = ogg_fuzz::SplitPackets(input);
    packets[0].insert(0, "OpusHead");
    if (packets.size() > 1) {
        packets[1].insert(0, "OpusTags");
        CommentTitle(packets[1].substr(8));
    }
    const auto head = ParseOpusHead(packets[0]);
    Require(!head || (head->channels >= 1 && head->channels <= 255), "channels out of range");

    const ogg_fuzz::Laid laid = ogg_fuzz::LayOut(packets, kOpusRate);
    OggReader whole;
    OggReader split;
    Require(ogg_fuzz::Run(laid.bytes, laid.bytes.size(), whole) ==
                ogg_fuzz::Run(laid.bytes, laid.bytes.size() * data[0] / 255, split),
            "two pieces differ from one");
    if (head) {
        Require(whole.SampleRate() == kOpusRate && whole.Channels() == head->channels,
                "Opus facts not the header's");
        Require(std::string_view(whole.ContentType()) == "audio/ogg; codecs=opus",
                "Opus content type");
        if (packets.size() > 2) {
            Require(*whole.Headers() == std::string_view(laid.bytes).substr(0, laid.packetEnds[1]),
                    "a joiner's headers are not the identification and comment pages");
        }
    }
    return 0;
}
