// The HLS media playlist of the live window, and the names its segments go by.
#pragma once

#include "hls/segmenter.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvanta::engine {

// Where players ask for the playlist, and the folder its segments sit in beside it.
inline constexpr char kHlsPlaylistPath[] = "/live.m3u8";
inline constexpr char kHlsSegmentFolder[] = "/live/";

// "live/<sequence>.mp3": relative, so the playlist works the same from the engine, from a cache
// in front of it and from a copy in the origin folder.
std::string SegmentUri(uint64_t sequence);

// The sequence number in a request path "/live/<sequence>.mp3": decimal digits only, no sign,
// no leading zero, no more than fits in 64 bits, nothing before or after. Anything else is not
// a segment of ours.
std::optional<uint64_t> ParseSegmentPath(std::string_view path);

// The playlist of the segments published so far (version 3: durations with decimals), empty
// when there are none. Every segment carries its date and time; discontinuities are tagged
// where they are and counted when they left the window.
std::string RenderPlaylist(const HlsSegmenter& segmenter);

}  // namespace orvanta::engine
