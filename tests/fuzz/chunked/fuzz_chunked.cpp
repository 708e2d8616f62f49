// A chunked source body arrives in reads of any size, so the decoder must give the same audio
// and the same end state whether fed at once, in three pieces cut anywhere, or byte by byte,
// and consume exactly the body and nothing after it. Every body an encoder could write for
// some audio, in any of the line-end and size spellings we accept, must decode back to it.
#include "fuzz_require.h"
#include "http/chunked.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <numeric>
#include <string>
#include <string_view>
#include <vector>

using orvanta::engine::ChunkedDecoder;

namespace {

struct Outcome {
    std::string out;
    size_t consumed = 0;
    bool done = false;
    bool failed = false;

    bool operator==(const Outcome&) const = default;
};

// Feeds the pieces in turn, as reads would deliver them.
Outcome FeedPieces(std::string_view data, const size_t* cuts, size_t cutCount) {
    ChunkedDecoder decoder;
    Outcome outcome;
    size_t start = 0;
    for (size_t i = 0; i <= cutCount; ++i) {
        const size_t end = i < cutCount ? cuts[i] : data.size();
        const std::string_view piece = data.substr(start, end - start);
        const bool finished = decoder.Done() || decoder.Failed();
        const size_t before = outcome.out.size();
        const size_t taken = decoder.Feed(piece, outcome.out);
        Require(taken <= piece.size(), "consumed beyond the piece");
        Require(!finished || (taken == 0 && outcome.out.size() == before), "fed on after the end");
        Require(taken == piece.size() || decoder.Done() || decoder.Failed(),
                "stopped early without a reason");
        outcome.consumed += taken;
        start = end;
    }
    outcome.done = decoder.Done();
    outcome.failed = decoder.Failed();
    return outcome;
}

void CheckSplits(std::string_view data, size_t seed) {
    const Outcome whole = FeedPieces(data, nullptr, 0);
    Require(!(whole.done && whole.failed), "both done and failed");
    Require(whole.out.size() <= whole.consumed, "more body than input");
    Require(whole.done || whole.failed || whole.consumed == data.size(), "input left over");
    Require(!whole.done || data[whole.consumed - 1] == '\n', "done before a line end");

    size_t cuts[2] = {seed % (data.size() + 1), (seed / 7919) % (data.size() + 1)};
    std::sort(cuts, cuts + 2);
    Require(FeedPieces(data, cuts, 2) == whole, "three pieces differ from one");

    if (!data.empty() && data.size() <= 4096) {
        std::vector<size_t> everyByte(data.size() - 1);
        std::iota(everyByte.begin(), everyByte.end(), size_t{1});
        Require(FeedPieces(data, everyByte.data(), everyByte.size()) == whole,
                "byte by byte differs from at once");
    }
}

// Writes `audio` as a chunked body, taking chunk sizes and spellings from the audio itself.
std::string Encode(std::string_view audio) {
    static constexpr const char* kLineEnds[] = {"\r\n", "\n", "\r\r\n"};
    std::string body;
    size_t position = 0;
    size_t turn = 0;
    while (position < audio.size()) {
        const auto shape = static_cast<unsigned char>(audio[position]);
        const size_t length = std::min<size_t>(1 + shape % 97, audio.size() - position);
        char size[24];
        if ((shape & 1) != 0) {
            std::snprintf(size, sizeof size, "%zx", length);
        } else {
            std::snprintf(size, sizeof size, "%03zX", length);
        }
        body += size;
        body += (shape & 2) != 0 ? " ;name=\"v\"" : "";
        body += kLineEnds[turn++ % 3];
        body.append(audio.substr(position, length));
        body += kLineEnds[turn++ % 3];
        position += length;
    }
    body += "0\r\nX-End: 1\n\r\n";
    return body;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string_view data(reinterpret_cast<const char*>(bytes), size);
    size_t seed = 0;
    for (size_t i = 0; i < std::min<size_t>(size, 8); ++i) {
        seed = seed * 131 + bytes[size - 1 - i];
    }
    CheckSplits(data, seed);

    const std::string body = Encode(data);
    ChunkedDecoder decoder;
    std::string out;
    const std::string trailing = body + "GET / HTTP/1.1\r\n";
    Require(decoder.Feed(trailing, out) == body.size(), "encoded body not consumed exactly");
    Require(decoder.Done() && out == data, "encoded body did not decode back");
    CheckSplits(body, seed);
    return 0;
}
