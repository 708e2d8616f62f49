// The SHOUTcast v1 source login on the source port (listen port + 1): a bare password line,
// then a block of "icy-name:..." lines and a blank line, then audio until the connection closes.
//
// Real encoders differ in ways that break a strict reader: butt and libshout send the password,
// the headers and often the first audio in one write before reading the reply; darkice and
// libshout end lines with LF only; NSV-era tools end them with CR CR LF; libshout probes with
// "!POKE" first and sends its title updates to this port as HTTP; Liquidsoap may add a user
// name and a stream id to the password. The functions here sort that out over the bytes read so
// far, without state, so the connection code only moves bytes and writes replies.
#pragma once

#include "http/request.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta::engine {

// Long enough for any password a console accepts; a longer first line is not a login.
constexpr size_t kMaxIcyLineBytes = 1024;

struct LineResult {
    ParseStatus status = ParseStatus::Incomplete;
    size_t consumed = 0;  // bytes of the line and its '\n'; 0 unless Complete
    std::string line;     // without '\n' and without up to two '\r' before it
};

// The first line of `data`: Complete once a '\n' is within the first maxBytes bytes,
// TooLarge when maxBytes bytes have come without one, else Incomplete.
LineResult ReadLine(std::string_view data, size_t maxBytes = kMaxIcyLineBytes);

// A first line starting with GET, POST, HEAD, OPTIONS, SOURCE or PUT and a space belongs to the
// HTTP reader: libshout sends its title updates for ICY streams to the source port.
bool LooksLikeHttpRequestLine(std::string_view line);

// libshout's capability probe "!POKE": it must be refused, but never counted as a failed login.
bool IsPokeProbe(std::string_view line);

// Whether the first line is no login at all but garbage (a scanner, a client on the wrong
// port): empty, or holding a control byte other than tab that `password` does not hold. It is
// refused like a wrong password but is no guess, so it is not counted against the address.
bool IsGarbageLoginLine(std::string_view line, std::string_view password);

// Whether the login line carries the station's source password. Tried in turn, all compared in
// constant time: the whole line; the line without a trailing ":#<digits>" stream id
// ("pw:#2"); and for each of those containing ':', the part after the first ':' as in
// "user:password" (any user name is accepted, as there is one source password). A password
// holding ':' therefore matches both typed alone and after a user name. An empty configured
// password matches nothing: a station without a password takes no source.
bool IcyPasswordMatches(std::string_view line, std::string_view password);

struct HeaderBlockResult {
    ParseStatus status = ParseStatus::Incomplete;
    size_t consumed = 0;          // bytes up to and including the blank line; 0 unless Complete
    std::vector<Header> headers;  // filled only when Complete
};

// The header block after the password line: "name:value" lines, the space after ':' optional,
// name and value trimmed of spaces and tabs, ended by an empty line (which may come at once).
// Lines end in LF, CRLF or CR CR LF. A line without ':', with an empty name, or with a control
// character other than tab is skipped, so a stray line from an odd encoder costs nothing and no
// value can carry a CR into the headers we send listeners. maxHeaders bounds the lines read,
// skipped ones included; more is TooLarge, as is no blank line within maxBytes bytes.
HeaderBlockResult ParseHeaderBlock(std::string_view data, size_t maxBytes = kDefaultMaxHeadBytes,
                                   size_t maxHeaders = kDefaultMaxHeaders);

// A bitrate above this many kbit/s is a typo or garbage, not audio, and is read as unknown.
constexpr int kMaxBitrateKbps = 100000;
constexpr int kMaxSampleRate = 768000;
constexpr int kMaxChannels = 255;

struct SourceInfo {
    std::string name, genre, url, description;
    std::string contentType;  // lower case, parameters dropped; "" when the source sent none
    int bitrate = 0;          // kbit/s; 0 when unknown
    int sampleRate = 0;       // Hz; 0 when unknown
    int channels = 0;         // 0 when unknown
    int isPublic = -1;        // 1 listed in the directory, 0 not, -1 not said
    std::string audioInfo;    // ice-audio-info exactly as sent, "" when none
    std::string userAgent;    // the encoder's User-Agent, "" when none (v1 sources send none)
};

// The stream description from a v1 header block or an Icecast-style request. Names compare
// case-insensitively; for each field the first non-empty value among its spellings wins:
// icy-name/ice-name, icy-genre/ice-genre, icy-url/ice-url, icy-description/ice-description,
// icy-pub/icy-public/ice-public ("1", "0", "yes", "no", "true", "false"), content-type.
// The bitrate is the first positive icy-br or ice-bitrate, else the "bitrate=" (libshout) or
// "ice-bitrate=" (butt) key of ice-audio-info, whose "k=v;k=v" values are URL-encoded. The
// sample rate and channels come from icy-sr / ice-samplerate and ice-channels headers, else
// from the samplerate/ice-samplerate and channels/ice-channels keys of ice-audio-info.
// A v1 source that sends no content-type means audio/mpeg; that default is the caller's,
// because an Icecast-style source without one is refused instead.
SourceInfo SourceInfoFromHeaders(const std::vector<Header>& headers);

}  // namespace orvanta::engine
