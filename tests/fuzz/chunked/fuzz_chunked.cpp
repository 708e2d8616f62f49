// A chunked source body arrives in reads of any size, so the decoder must give the same audio
// and the same end state whether fed at once or in two pieces cut where the last input byte
// says, never take more than it is given, and stop exactly at the end of the body.
#include "fuzz_require.h"
#include "http/chunked.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using orvanta::engine::ChunkedDecoder;

namespace {

// The audio, the bytes consumed and the end state, fed in two pieces.
std::string Run(std::string_view data, size_t cut) {
    ChunkedDecoder decoder;
    std::string out;
    size_t consumed = 0;
    for (const std::string_view piece : {data.substr(0, cut), data.substr(cut)}) {
        const bool finished = decoder.Done() || decoder.Failed();
        const size_t before = out.size();
        const size_t taken = decoder.Feed(piece, out);
        Require(taken <= piece.size(), "consumed beyond the piece");
        Require(!finished || (taken == 0 && out.size() == before), "fed on after the end");
        Require(taken == piece.size() || decoder.Done() || decoder.Failed(),
                "stopped early without a reason");
        consumed += taken;
    }
    Require(!(decoder.Done() && decoder.Failed()), "both done and failed");
    Require(out.size() <= consumed, "more body than input");
    Require(!decoder.Done() || data[consumed - 1] == '\n', "done before a line end");
    return std::to_string(consumed) + (decoder.Done() ? "d" : "") + (decoder.Failed() ? "f" : "") +
           '|' + out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string_view data(reinterpret_cast<const char*>(bytes), size);
    const size_t cut = size == 0 ? 0 : bytes[size - 1] % (size + 1);
    Require(Run(data, size) == Run(data, cut), "two pieces differ from one");
    return 0;
}
