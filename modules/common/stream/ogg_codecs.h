// The header packets of the codecs the Ogg reader knows beyond Vorbis: what an Opus
// identification header and a FLAC mapping header say, and the comment structure all of them
// share. Plain functions over one reassembled packet, so each can be fuzzed on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvanta::engine {

// Opus decodes at 48 kHz whatever the encoder was fed, and Opus granule positions count 48 kHz
// samples.
inline constexpr int kOpusRate = 48000;

// "OpusHead": the identification header. Null unless the magic, a version of the major version
// 0 and at least one channel are there.
struct OpusHead {
    int channels = 0;
    // Samples at 48 kHz the decoder discards at its start. A listener joining mid-stream gets the
    // header unchanged: its decoder then drops a few milliseconds of the audio it joins at, which
    // lets it settle, and the granule positions stay those of the source's stream.
    uint32_t preSkip = 0;
    // What the encoder was fed, for information only; 0 when not said.
    uint32_t inputRate = 0;
};
std::optional<OpusHead> ParseOpusHead(std::string_view packet);

// The first packet of an Ogg FLAC stream: 0x7F "FLAC", the mapping's version, the count of
// header packets that follow, "fLaC", then the STREAMINFO metadata block. Null unless all of
// that is there and the block is STREAMINFO.
struct FlacHead {
    int sampleRate = 0;
    int channels = 0;
    // Metadata packets after this one; 0 means the encoder did not say, and the headers end at
    // the block marked last.
    size_t moreHeaders = 0;
    // STREAMINFO is the only metadata block.
    bool lastBlock = false;
};
std::optional<FlacHead> ParseFlacHead(std::string_view packet);

// A FLAC header packet after the first: one metadata block. Null when the packet is not one
// (shorter than a block header, or an audio frame, whose sync code opens with 0xFF).
struct FlacBlock {
    int type = 0;  // 4: the comments
    bool last = false;
};
std::optional<FlacBlock> ParseFlacBlock(std::string_view packet);

// TITLE and ARTIST of a comment structure (vendor string, then KEY=value fields, all with 32-bit
// little-endian lengths), the first of each, as UTF-8; "ARTIST - TITLE" when both are there.
std::string CommentTitle(std::string_view data);

}  // namespace orvanta::engine
