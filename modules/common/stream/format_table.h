// One record per audio format: everything the engine asks of a format, so that the handlers,
// the station, HLS and the directory read a property instead of naming a format, and a new
// format is one record here and its reader behind FormatReader.
#pragma once

#include "stream/format_reader.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <orvanta/service_module.h>
#include <span>
#include <string_view>

namespace orvanta::engine {

// One frame as HLS cuts segments of it.
struct HlsFrame {
    size_t bytes = 0;  // the whole frame
    uint32_t samples = 0;
    int sampleRate = 0;
    // The encoder settings a player's decoder is set up for; a change ends the segment and the
    // next one starts with a discontinuity.
    uint32_t shape = 0;
    // The codec as playlists name it ("mp4a.40.2"); a static string.
    const char* codecs = "";
};

// How HLS packs a format: segments of whole frames as the source sent them, each behind the ID3
// tag with its timestamp.
struct HlsPacking {
    // Of segment names, "live/<sequence>.<extension>".
    const char* extension = "";
    // What segments are served as.
    const char* contentType = "";
    // The frame at p, when the `size` bytes hold all of it.
    std::optional<HlsFrame> (*frameAt)(const unsigned char* p, size_t size) = nullptr;
};

struct FormatInfo {
    StreamFormat format = StreamFormat::Unknown;
    // For messages: "MP3", "Ogg Vorbis", "AAC".
    const char* name = "";
    // What listeners and the status documents are told.
    const char* contentType = "application/octet-stream";
    // What a source may announce, lower case, parameters stripped.
    std::span<const std::string_view> contentTypes;
    // Whether a source's first bytes are this format (see SniffFormat). Null: never sniffed.
    bool (*sniff)(std::string_view firstBytes) = nullptr;
    // Sources announce other formats under its content types too (encoders that label AAC
    // audio/mpeg): a source's first bytes decide when they sniff as another format.
    bool looseLabel = false;
    // Null: no reader (Unknown).
    std::unique_ptr<FormatReader> (*makeReader)() = nullptr;
    // A station that does not re-encode takes sources of it as they are.
    bool direct = false;
    // Listeners who ask get ICY titles interleaved into the stream.
    bool icyMetadata = false;
    // SHOUTcast-style directories list it, and a registered public stream says icy-pub:1.
    bool shoutcastDirectory = false;
    // HLS segments may be cut from it, packed so; null: no HLS.
    const HlsPacking* hls = nullptr;
    // The stream carries its own titles (comment or stream headers); a new one replaces the
    // title an update set.
    bool titlesInStream = false;
    // Listeners get titles only from the stream's own headers, which the engine passes on
    // untouched: an update reaches the status pages, not them.
    bool titlesUntouched = false;
    // Players may fetch it over the MMS-over-HTTP handshake.
    bool mmsh = false;
    // The stream type the directory's registration names.
    const char* directoryType = "MP3";
    // The station Format setting's bit (ORVANTA_FORMAT_*) under which listeners get it: what
    // the module serving it announces to the console, which picks a module by that bit.
    uint32_t stationFormat = 0;
};

// The record for `format`; Unknown's record has no reader, sniffer or content types and every
// property off.
const FormatInfo& InfoOf(StreamFormat format);

// The known formats' records, in the order sniffing tries them.
std::span<const FormatInfo> KnownFormats();

// The station Format bits of every format a station that does not re-encode serves: what a
// module of this engine without a transcoder announces.
uint32_t DirectFormatMask();

// Lookups over the records.

// audio/mpeg, audio/mp3, audio/x-mpeg, audio/mpeg3 -> Mp3; application/ogg, audio/ogg, video/ogg,
// application/x-ogg, audio/vorbis -> Ogg; video/x-ms-asf, audio/x-ms-wma, application/vnd.ms-asf
// -> Asf; audio/aac, audio/aacp, audio/x-aac -> Aac; case-insensitive, parameters after ';' and
// surrounding blanks ignored; anything else Unknown.
StreamFormat FormatFromContentType(std::string_view contentType);

// From the first bytes a source sent (give at least 4; a few KiB make the MP3 answer surer):
// "OggS" -> Ogg; an ASF header object -> Asf; an ADTS frame header (after an ID3v2 tag the bytes
// hold whole) whose successor, when in reach, is a compatible header -> Aac; an ID3v2 tag, or a
// valid MP3 frame header whose successor (when the bytes reach it) is a compatible header -> Mp3;
// else Unknown. Sources commonly forget the content type.
StreamFormat SniffFormat(std::string_view firstBytes);

// "audio/mpeg", "application/ogg", "application/vnd.ms-asf", "audio/aac";
// "application/octet-stream" for Unknown.
const char* ContentTypeOf(StreamFormat format);

// A reader for the format; null for Unknown.
std::unique_ptr<FormatReader> MakeFormatReader(StreamFormat format);

}  // namespace orvanta::engine
