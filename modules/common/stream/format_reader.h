// The audio formats a source may push, and the reader that cuts a source's byte stream into the
// units the engine stores once and shares between listeners. A unit marked as a sync point is a
// place where a listener's decoder can begin: an MP3 frame header, or an Ogg page of the current
// logical stream once that stream's header pages are known (they go to the listener first).
//
// Readers are plain code over bytes: no I/O, no threads, no exceptions out of Feed. Whatever the
// source sends, their memory stays bounded and the units they produce do not depend on how the
// bytes were split between Feed calls.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta::engine {

// Asf: WMA in its container, which only a station that serves WMA takes. Aac: AAC in ADTS frames.
enum class StreamFormat { Unknown, Mp3, Ogg, Asf, Aac };

struct MediaUnit {
    std::string bytes;       // whole frames (MP3, AAC) or exactly one page (Ogg)
    bool syncPoint = false;  // a listener may start with this unit (after `headers`)
    // Ogg: the logical stream (group) the unit belongs to; it changes at each chain boundary and
    // starts at 1. MP3: 0.
    uint64_t generation = 0;
    // Ogg sync points: the header pages a listener starting here must get first (the object
    // Headers() gives for this generation). Null for other units and for MP3. Carried per unit
    // because one Feed may cross a chain boundary, after which Headers() has moved on.
    std::shared_ptr<const std::string> headers;
    // How long the unit's audio plays, in microseconds, where the format says: the frames'
    // samples (MP3, AAC), or the granule positions an Ogg page of the group's audio stream
    // advances by. 0 for header pages, pages of other streams and formats that do not say.
    uint64_t micros = 0;
};

// Header pages for a stream that has none (frame formats), or none complete yet: one shared
// empty string, never null.
inline std::shared_ptr<const std::string> NoHeaders() {
    static const auto empty = std::make_shared<const std::string>();
    return empty;
}

class FormatReader {
public:
    virtual ~FormatReader() = default;

    // Takes source bytes in pieces of any size and appends every unit completed so far to `out`.
    // Bytes that are not audio of this format (junk, ID3 tags, Ogg pages failing their CRC or
    // belonging to no announced logical stream) are dropped and counted.
    virtual void Feed(std::string_view data, std::vector<MediaUnit>& out) = 0;

    // The header pages of the newest logical stream whose headers are complete: what a listener
    // joining now gets before its first sync unit of Generation(). A new object after each chain
    // boundary, never modified; an empty string (never null) before that and for MP3.
    virtual std::shared_ptr<const std::string> Headers() const = 0;
    // The generation Headers() belongs to; 0 until the first headers are complete, and for MP3.
    // While a new chained stream's header pages are still arriving, units already carry the new
    // generation and this still names the previous one.
    virtual uint64_t Generation() const = 0;

    // Whether any data of this format was seen (an accepted MP3 frame, an Ogg page with a good
    // CRC); lets the engine refuse a source sending something else.
    virtual bool SawAudio() const = 0;
    virtual uint64_t DroppedBytes() const = 0;

    // Ogg: "ARTIST - TITLE", TITLE or ARTIST from the newest logical stream's comment header
    // (UTF-8); "" until it arrives and for MP3.
    virtual std::string Title() const = 0;
    // Bitrate in kbit/s when known (MP3 frame headers, Vorbis identification header, or measured
    // from an Ogg stream that announces none), else 0.
    virtual int Bitrate() const = 0;
    // Sample rate in Hz and channel count of the newest audio, from the same places; 0 until
    // known.
    virtual int SampleRate() const = 0;
    virtual int Channels() const = 0;
    // The codec inside the container, for the status documents ("Opus", "FLAC", "Vorbis"); ""
    // when the format's name says it all.
    virtual const char* CodecName() const { return ""; }
    // What listeners are told when the codec calls for more than the format's content type
    // ("audio/ogg; codecs=opus"); null to keep the format's.
    virtual const char* ContentType() const { return nullptr; }
    // The stream type a directory listing names when the newest audio says more than the
    // format's record ("AAC+" for HE-AAC); null to keep the record's.
    virtual const char* DirectoryType() const { return nullptr; }

    // The station's title changed. A reader that writes its own stream headers (a station that
    // re-encodes) puts it there for listeners joining from now on.
    virtual void TitleChanged(const std::string& /*title*/) {}
};

}  // namespace orvanta::engine
