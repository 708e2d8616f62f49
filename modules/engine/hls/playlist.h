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
// The one-variant master playlist that names the live playlist's codec (CODECS is a master
// playlist's attribute): for players that set up their decoder before the first segment.
inline constexpr char kHlsMasterPath[] = "/live/master.m3u8";

// "live/<sequence>.mp3" (or .aac, as the segment's packing names it): relative, so the playlist
// works the same from the engine, from a cache in front of it and from a copy in the origin
// folder.
std::string SegmentUri(uint64_t sequence, std::string_view extension = "mp3");
std::string SegmentUri(const HlsSegment& segment);

// The sequence number in a request path "/live/<sequence>.<extension>": decimal digits only, no
// sign, no leading zero, no more than fits in 64 bits, an extension some format's HLS packing
// names ("mp3", "aac"), nothing before or after; `extension`, when given, gets it. Anything else
// is not a segment of ours (whether that segment has that extension is the caller's to check).
std::optional<uint64_t> ParseSegmentPath(std::string_view path,
                                         std::string_view* extension = nullptr);

// The playlist of the segments published so far (version 3: durations with decimals), empty
// when there are none. Every segment carries its date and time; discontinuities are tagged
// where they are and counted when they left the window.
std::string RenderPlaylist(const HlsSegmenter& segmenter);

// The master playlist: the live playlist as its one variant, with the newest segment's codec
// ("mp4a.40.2", "mp4a.40.5" for HE-AAC, "mp4a.40.34" for MP3) and the highest bitrate in the
// window; empty when there are no segments.
std::string RenderMasterPlaylist(const HlsSegmenter& segmenter);

}  // namespace orvanta::engine
