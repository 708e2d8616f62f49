// The engine's HTTP answers: the status line, the headers every answer carries, and the small
// helpers that keep text from outside out of header syntax.
#pragma once

#include <string>
#include <string_view>

namespace orvanta::engine {

inline constexpr char kServerName[] = "Orvanta Server";

// Browsers may read the stream and the status from pages of other sites (web players).
inline constexpr char kCorsHeaders[] =
    "Access-Control-Allow-Origin: *\r\n"
    "Access-Control-Allow-Methods: GET, OPTIONS, HEAD\r\n"
    "Access-Control-Allow-Headers: Content-Type, Icy-Metadata, Range\r\n"
    "Access-Control-Expose-Headers: Icy-MetaInt, Icy-Br, Icy-Description, Icy-Genre, Icy-Name, "
    "Ice-Audio-Info, Icy-Url, Icy-Sr, Icy-Vbr, Icy-Pub\r\n";

// A whole answer that closes the connection: status line, Server, Content-Type (when given),
// Content-Length of `body`, no caching, CORS, nosniff, then `extraHeaders` (each ending in
// CRLF), the blank line and the body.
std::string Response(int code, std::string_view reason, std::string_view contentType,
                     std::string_view body, std::string_view extraHeaders = {});
// As Response, but nothing on the way may keep it (the operator's console).
std::string PrivateResponse(int code, std::string_view reason, std::string_view contentType,
                            std::string_view body, std::string_view extraHeaders = {});
// The head of such an answer for a body of `contentLength` bytes that goes after it (or not at
// all, for HEAD, which carries the length the body would have).
std::string ResponseHead(int code, std::string_view reason, std::string_view contentType,
                         size_t contentLength, std::string_view extraHeaders = {});
// The head of an answer no cache may keep, not even the client's (Cache-Control: no-store):
// otherwise as ResponseHead.
std::string NoStoreHead(int code, std::string_view reason, std::string_view contentType,
                        size_t contentLength, std::string_view extraHeaders = {});
// The head of an answer caches may keep: as Response, but with `cacheControl` and a strong
// `etag`, and Content-Length `contentLength` (the body goes after it, or not at all for HEAD
// and 304, which carry the length the body would have).
std::string CacheableHead(int code, std::string_view reason, std::string_view contentType,
                          size_t contentLength, std::string_view cacheControl,
                          std::string_view etag);
// Whether an If-None-Match header value names `etag` (or is "*"): the client's copy is current.
bool EtagMatches(std::string_view ifNoneMatch, std::string_view etag);
// A short plain-text answer whose body is the reason.
std::string PlainError(int code, std::string_view reason, std::string_view extraHeaders = {});
// The status code of an answer Response made (0 for anything else).
int StatusOf(std::string_view answer);
// Turns an answer these functions made into one that leaves the connection open for the
// client's next request (HTTP/1.1, "Connection: keep-alive", the idle time it may wait), when it
// is worth keeping: a success, a redirect, a 304 or a 404. False, and `answer` unchanged, for
// anything else (refusals close, as does every answer made elsewhere).
bool KeepConnectionOpen(std::string& answer, int idleSeconds);

// Text from outside (a source's name, a realm) made safe for a header value: no line breaks
// or other control bytes.
std::string HeaderSafe(std::string_view text);

}  // namespace orvanta::engine
