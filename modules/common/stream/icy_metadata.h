// In-stream ICY metadata (the title blocks interleaved with MP3 audio for listeners that asked
// for them) and the text helpers that prepare what goes into them.
#pragma once

#include <string>
#include <string_view>

namespace orvanta::engine {

// The station's title format with every "%t" replaced by the title; an empty format gives the
// title itself. Replacement is one pass: a "%t" inside the title stays as it is.
std::string ApplyTitleFormat(std::string_view format, std::string_view title);
// The same with "%s" and the station's home page.
std::string ApplyUrlFormat(std::string_view format, std::string_view homepage);

// Valid UTF-8 is kept, less a leading byte order mark. Anything else is taken as Windows-1252
// (Latin-1 with printable characters at 0x80-0x9F; its five unassigned bytes map to the C1
// controls of the same value) and converted, since titles without a charset come from
// Latin-1-era sources.
std::string ToUtf8(std::string_view bytes);

// The bytes one metadata block occupies in the stream: a length byte L, then
// "StreamTitle='<title>';" and, when `url` is not empty, "StreamUrl='<url>';", NUL-padded to L*16
// bytes. L is chosen so at least one NUL follows the text (readers that treat the block as a C
// string stay inside it), which caps the text at 255*16-1 bytes. What would break the block is
// neutralised: control characters become spaces, and a space goes between an apostrophe and a
// following ';' (players end a value at the first "';"). When the title and the URL do not fit
// together the URL is left out (a cut URL is useless); a title too long alone is cut at a UTF-8
// character boundary. An empty title still gives "StreamTitle='';", which tells a fresh listener
// there is no title yet.
std::string BuildIcyMetadataBlock(std::string_view title, std::string_view url);

// The single 0x00 byte that means "no change".
const std::string& EmptyIcyMetadataBlock();

}  // namespace orvanta::engine
