// The ADTS reader keeps what every frame reader keeps (frame_reader_fuzz.h), cut where the
// first input byte says. Every 7-byte window also goes through the header parser, whose frame
// lengths must be steppable.
#include "frame_reader_fuzz.h"
#include "fuzz_require.h"
#include "stream/adts.h"

#include <cstddef>
#include <cstdint>

using namespace orvanta::engine;

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
    CheckFrameReader<AdtsReader, AdtsFrames>(data, size);
    return 0;
}
