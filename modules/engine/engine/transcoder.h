// A station that serves its own encoding of what the source sends instead of the source's bytes
// (the WMA module): the formats it takes from a source, the one it serves, and the reader that
// turns a source's bytes into the station's stream. The engine calls it on its own thread only.
#pragma once

#include "stream/format_reader.h"

#include <memory>

namespace orvanta::engine {

class StreamTranscoder {
public:
    virtual ~StreamTranscoder() = default;

    // The format listeners get.
    virtual StreamFormat Output() const = 0;
    // Whether a source may push this format.
    virtual bool Accepts(StreamFormat source) const = 0;
    // The reader for one source; its units are the station's stream. Readers of one transcoder
    // follow one another seamlessly where they can (the same stream headers, times that go on),
    // so listeners stay through a change of source; SeamlessAfter tells the station when not.
    virtual std::unique_ptr<FormatReader> MakeReader(StreamFormat source) = 0;
    // Whether listeners of a source of format `before` can go on with one of format `after`.
    virtual bool SeamlessAfter(StreamFormat before, StreamFormat after) const = 0;
};

}  // namespace orvanta::engine
