// Static files from the station's content folder, served on the listen port for GET and HEAD.
//
// A request path is hostile until proven otherwise: it is decoded exactly once, any ".." segment,
// encoded slash, backslash or control byte refuses it, and the file it names must still lie below
// the content folder once every symbolic link is resolved. Nothing here throws, keeps state or
// touches a socket.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvanta::engine {

enum class ContentStatus { Found, NotFound, Forbidden, TooLarge };

struct ContentFile {
    ContentStatus status = ContentStatus::NotFound;
    std::string path;         // the file's real path, symbolic links resolved (when Found)
    std::string contentType;  // from the extension, see MimeTypeForPath (when Found)
    uint64_t size = 0;        // bytes of the file (when Found or TooLarge)
    std::string body;         // the whole file when Found and asked to read it
    std::string etag;         // "\"<size hex>-<mtime ns hex>\"" when Found
};

// A request path longer than this is refused before decoding: no file below the content folder
// needs more, and it bounds the work a request can cause.
constexpr size_t kMaxRequestPathBytes = 4096;
constexpr uint64_t kDefaultMaxContentBytes = 8u << 20;

// Turns the path part of a request target, exactly as received (percent-encoded, without the
// query), into a path relative to the content folder: "" for the folder itself, "a/b.html" for a
// file in a subfolder. Repeated slashes collapse and "." segments drop. The path must start with
// '/'. Returns nullopt, to be refused, when it is longer than kMaxRequestPathBytes, has a
// malformed '%' escape, an encoded '/', or after decoding a ".." segment, a backslash, a NUL or
// other control byte. "%25" decodes to a literal '%' that is never decoded again, so the result
// may hold '%'.
std::optional<std::string> NormaliseRequestPath(std::string_view requestPath);

// Finds the file `requestPath` (as for NormaliseRequestPath) names below `root`, the content
// folder, which may be relative to the current folder; a root that does not exist or is not a
// folder gives NotFound for everything. A folder resolves to `indexPage` inside it, NotFound when
// there is none. A path ending in '/' must name a folder. Only regular files are served: folders
// without an index, devices and pipes are NotFound. A path refused by NormaliseRequestPath, a
// target whose real path leaves the root through a symbolic link, or a file the server may not
// read is Forbidden. A file larger than `maxBytes` is TooLarge, with its size. With `readBody`
// (GET) the body holds the file; without (HEAD) it stays empty.
ContentFile ResolveContent(const std::string& root, std::string_view requestPath,
                           const std::string& indexPage, bool readBody,
                           uint64_t maxBytes = kDefaultMaxContentBytes);

// The Content-Type for a file name's extension, compared case-insensitively: text types carry
// "; charset=utf-8". Anything unknown, or no extension, is application/octet-stream.
const char* MimeTypeForPath(std::string_view path);

}  // namespace orvanta::engine
