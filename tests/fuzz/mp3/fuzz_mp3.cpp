// The MP3 reader keeps what every frame reader keeps (frame_reader_fuzz.h), cut where the
// first input byte says. Every 4-byte window also goes through the header parser, whose frame
// lengths must be steppable.
#include "frame_reader_fuzz.h"
#include "fuzz_require.h"
#include "stream/mp3.h"

#include <cstddef>
#include <cstdint>

using namespace orvanta::engine;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    for (size_t i = 0; i + 4 <= size; ++i) {
        if (const auto header = ParseMp3FrameHeader(data + i, 4)) {
            Require(header->frameBytes >= 24 && header->frameBytes <= 2881 &&
                        header->bitrateKbps > 0 && header->sampleRate >= 8000 &&
                        (header->channels == 1 || header->channels == 2),
                    "header fields");
        }
    }
    CheckFrameReader<Mp3Reader, Mp3Frames>(data, size);
    return 0;
}
