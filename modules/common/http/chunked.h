// Incremental reader of a "Transfer-Encoding: chunked" source body, as Liquidsoap sends when its
// chunked option is on: "<hex size>[;ext]CRLF<data>CRLF" repeated, then "0CRLF", optional
// trailer lines and a blank line when the source stops.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orvanta::engine {

class ChunkedDecoder {
public:
    // A source's chunks carry a few KiB of audio; a size beyond this is garbage or an attack.
    static constexpr size_t kMaxChunkSize = 16 * 1024 * 1024;
    // Bounds the size line with its extensions, and all trailer lines together.
    static constexpr size_t kMaxSizeLineBytes = 4096;
    static constexpr size_t kMaxTrailerBytes = 16384;

    // Decodes as much of `data` as it can, appending the body bytes to `out`, and returns the
    // bytes consumed: all of them unless the body ends (the bytes after its final blank line
    // belong to the caller) or the bytes are not a chunked body (the offending byte and the
    // rest are not consumed). The input may be split anywhere: feeding the bytes one by one
    // gives the same output and state as feeding them at once. After Done or Failed it
    // consumes nothing more.
    //
    // Line ends may be CRLF, LF or CR CR LF. Sizes are hex in either case, leading zeros
    // allowed; spaces or tabs may follow the size; extensions after ';' and trailer lines are
    // skipped.
    size_t Feed(std::string_view data, std::string& out);

    bool Done() const { return m_state == State::kDone; }
    bool Failed() const { return m_state == State::kFailed; }

private:
    enum class State {
        kSize,         // hex digits of a chunk size
        kSizeSpace,    // white space after the size
        kExtension,    // ";..." up to the end of the size line
        kSizeLineEnd,  // CRs before the size line's LF
        kData,         // chunk bytes
        kDataEnd,      // the CRLF after a chunk's bytes
        kTrailer,      // trailer lines after the last chunk, up to a blank line
        kDone,
        kFailed,
    };

    // Takes one byte of the framing (anything but chunk data); false when it cannot be there.
    bool Step(char c);
    void EndSizeLine();

    State m_state = State::kSize;
    size_t m_chunkLeft = 0;      // the size being read, then the data bytes still to come
    size_t m_digits = 0;         // hex digits read on the current size line
    size_t m_lineBytes = 0;      // bytes of the current size line
    int m_crs = 0;               // CRs just before an expected LF
    bool m_lineHasText = false;  // the current trailer line is not blank
    size_t m_trailerBytes = 0;
};

}  // namespace orvanta::engine
