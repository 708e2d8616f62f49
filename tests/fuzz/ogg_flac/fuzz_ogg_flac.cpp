// FLAC in Ogg: the mapping header and metadata block parsers on their own, then the reader over
// a stream whose first packet is 0x7F "FLAC" + the input's first packet. The header set a joiner
// gets must end where the mapping's count or the block marked last says, whichever comes first,
// and a packet that is not a metadata block before then leaves nobody able to join.
#include "fuzz_require.h"
#include "ogg_codec_support.h"
#include "stream/ogg_codecs.h"

#include <cstddef>
#include <cstdint>
#include <string>

using namespace orvanta::engine;

namespace {
constexpr char kFlacMagic[] = "\x7F\x46LAC";  // 0x7F "FLAC"
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    std::vector<std::string> packets = ogg_fuzz::SplitPackets(input);
    packets[0].insert(0, kFlacMagic);
    const auto head = ParseFlacHead(packets[0]);
    Require(!head || (head->channels >= 1 && head->channels <= 8 && head->sampleRate >= 0 &&
                      head->sampleRate < (1 << 20)),
            "STREAMINFO facts out of range");

    // How many packets the header set takes; 0 when it can never be complete.
    size_t expected = 0;
    if (head) {
        expected = head->lastBlock ? 1 : 0;
        for (size_t i = 1; expected == 0 && i < packets.size(); ++i) {
            const auto block = ParseFlacBlock(packets[i]);
            if (!block) {
                break;
            }
            if (block->type == 4) {
                CommentTitle(std::string_view(packets[i]).substr(4));
            }
            if (block->last || i == head->moreHeaders) {
                expected = i + 1;
            }
        }
    }

    const ogg_fuzz::Laid laid = ogg_fuzz::LayOut(packets, 44100);
    OggReader whole;
    OggReader split;
    Require(ogg_fuzz::Run(laid.bytes, laid.bytes.size(), whole) ==
                ogg_fuzz::Run(laid.bytes, laid.bytes.size() * data[0] / 255, split),
            "two pieces differ from one");
    if (head) {
        Require(whole.SampleRate() == head->sampleRate && whole.Channels() == head->channels,
                "FLAC facts not STREAMINFO's");
        // A lone mapping page completes the set only when the next page comes.
        if (expected > 1 || (expected == 1 && packets.size() > 1)) {
            Require(*whole.Headers() ==
                        std::string_view(laid.bytes).substr(0, laid.packetEnds[expected - 1]),
                    "a joiner's headers end elsewhere than the mapping says");
        } else {
            Require(whole.Headers()->empty(), "headers that cannot be complete were given");
        }
    }
    return 0;
}
