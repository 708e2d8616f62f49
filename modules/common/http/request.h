// Reading HTTP request heads as listeners, Icecast-style sources and metadata tools send them on
// the listen port, and the small text helpers around them: query strings, Basic credentials and
// password comparison.
//
// Everything here is a pure function over bytes the caller has read so far. Nothing blocks,
// throws or keeps state, every size has a hard cap, and a result depends only on the bytes it
// was given: parsing a longer read never changes a decision already made on a shorter one.
#pragma once

#include "base/ascii.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvanta::engine {

struct Header {
    std::string name;   // as sent; compare with EqualsIgnoreCase
    std::string value;  // leading and trailing spaces and tabs removed
};

struct Request {
    std::string method;   // upper-case letters only: GET, PUT, SOURCE, ...
    std::string target;   // as sent, without the surrounding spaces
    std::string version;  // "HTTP/1.0", "HTTP/1.1", or "" when the request line had none
    std::string path;     // target before '?', percent-decoded (may hold any byte, even NUL)
    std::string query;    // raw text after the first '?'
    std::vector<Header> headers;
    // A POST's body, whole (at most kMaxPostBodyBytes): forms of the web console. Empty for
    // every other method, whose bodies (a source's audio) go to whoever takes the connection.
    std::string body;

    // The value of the first header of that name, compared case-insensitively; null if none.
    const std::string* Find(std::string_view name) const;
};

enum class ParseStatus { Incomplete, Complete, Invalid, TooLarge };

struct HeadResult {
    ParseStatus status = ParseStatus::Incomplete;
    size_t consumed = 0;  // bytes of the head, blank line included; 0 unless Complete
    Request request;      // filled only when Complete
    std::string error;    // short English reason for the log when Invalid or TooLarge
};

constexpr size_t kDefaultMaxHeadBytes = 16384;
constexpr size_t kMaxPostBodyBytes = 16384;
constexpr size_t kDefaultMaxHeaders = 100;

// Reads a request line and header lines up to the blank line at the start of `data`. Bytes after
// the blank line (a source's first audio, a pipelined request) are left to the caller.
//
// Lines end in LF, CRLF or CR CR LF. Blank lines before the request line are skipped, as a
// keep-alive client may leave a stray CRLF after a body.
//
// The request line is a method of A-Z letters (at most 16), a space, the target, and optionally
// a space and "HTTP/1.0" or "HTTP/1.n" (n 1..9, read as HTTP/1.1). Without a version the head
// still ends at the blank line. The version is the last space-separated word, so a target may
// hold raw spaces: butt puts the source password unencoded into its admin.cgi URL. Extra
// spaces around the target are dropped. Control characters anywhere make the line Invalid.
//
// Header lines are "name: value" with a token name directly followed by ':'. A line without
// ':', with white space before ':', starting with white space (obsolete folding), or with a
// control character other than tab is Invalid: HTTP clients never send these, and guessing
// at them is how a request gets read differently by two parsers.
//
// Incomplete: no blank line yet, fewer than maxBytes bytes read, and nothing wrong so far.
// TooLarge: no blank line within maxBytes bytes, or more than maxHeaders header lines.
// Invalid and TooLarge are reported as soon as the offending complete line is read, without
// waiting for the blank line, so garbage is refused at once.
HeadResult ParseRequestHead(std::string_view data, size_t maxBytes = kDefaultMaxHeadBytes,
                            size_t maxHeaders = kDefaultMaxHeaders);

// "%XX" (either case of hex) becomes that byte; a '%' not followed by two hex digits stays as it
// is. With plusIsSpace, '+' becomes a space (query strings); paths keep their '+'.
std::string PercentDecode(std::string_view text, bool plusIsSpace);

constexpr size_t kMaxQueryPairs = 64;

// Splits a query at '&' into name and value at the first '=' ("url=" and "url" both give an
// empty value), both decoded with plusIsSpace. Empty pieces are skipped; pairs after the
// first kMaxQueryPairs are ignored.
std::vector<std::pair<std::string, std::string>> ParseQuery(std::string_view query);

// The value of the first pair whose decoded name is exactly `name`.
std::optional<std::string> QueryValue(const std::vector<std::pair<std::string, std::string>>& pairs,
                                      std::string_view name);

// The same lookup over the raw query, giving the value exactly as sent. butt and Liquidsoap put
// the password into admin.cgi unencoded, so a password holding '+' or '%' only matches in this
// form; callers accept either form. A raw password holding '&' cannot be told apart from the
// next parameter and is cut there.
std::optional<std::string_view> RawQueryValue(std::string_view query, std::string_view name);

// The value of cookie `name` in a Cookie header ("a=1; b=2"), exactly as sent; nothing when the
// header names no such cookie. Pairs without '=' are skipped; the first of a repeated name wins,
// as browsers send the most specific path first.
std::optional<std::string_view> CookieValue(std::string_view header, std::string_view name);

constexpr size_t kMaxBase64Input = 8192;

// Standard alphabet; '=' padding optional but, when present, it must end a group of four.
// White space, the URL-safe alphabet and input over kMaxBase64Input characters are refused.
std::optional<std::string> Base64Decode(std::string_view text);

struct BasicCredentials {
    std::string user;
    std::string password;
};

// An Authorization value "Basic <base64 of user:password>": the scheme in any case, then one or
// more spaces or tabs. Split at the first ':', so the password may itself hold ':'. Nothing
// when the scheme differs, the base64 is bad or the decoded text has no ':'.
std::optional<BasicCredentials> ParseBasicAuth(std::string_view headerValue);

// Equality whose running time does not depend on the bytes compared, only on the longer length,
// so a wrong password reveals nothing about how much of it was right.
bool ConstantTimeEquals(std::string_view a, std::string_view b);

// Whether the player asked for in-stream titles: an Icy-MetaData header (any case) whose value
// is a decimal number above zero. Browsers send none and must get plain audio.
bool WantsIcyMetadata(const Request& request);

}  // namespace orvanta::engine
