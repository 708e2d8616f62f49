// The ID3v2.4 tag at the head of every HLS segment. Packed audio carries no timestamps of its
// own, so players place each segment by the 33-bit, 90 kHz timestamp of its first sample in a
// PRIV frame the players look for by owner; the title on air rides along in TIT2 so players
// that read timed metadata see the song change with the audio.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orvanta::engine {

// Owner of the PRIV frame players take the segment's start time from.
inline constexpr char kTimestampOwner[] = "com.apple.streaming.transportStreamTimestamp";
// Longest title a tag carries, in bytes of UTF-8; longer ones are cut at a character boundary.
inline constexpr size_t kMaxTagTitleBytes = 1024;

// `title` as segments and the playlist carry it: control bytes (line ends, NUL) dropped, cut to
// kMaxTagTitleBytes on a UTF-8 character boundary.
std::string SegmentTitle(std::string_view title);

// The whole tag: header, PRIV with `timestamp90k` (only its low 33 bits count), and TIT2 with
// `title` when it is not empty after control bytes are dropped and it is cut to
// kMaxTagTitleBytes. Sizes are syncsafe, as ID3v2.4 wants for the tag and each frame.
std::string BuildSegmentTag(uint64_t timestamp90k, std::string_view title);

// `value` (below 2^28) as four syncsafe bytes, seven bits each, highest first.
void AppendSyncsafe(std::string& out, uint32_t value);

}  // namespace orvanta::engine
