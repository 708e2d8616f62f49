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
#include <vector>

namespace orvanta::engine {

enum class ContentStatus { Found, NotFound, Forbidden, TooLarge };

struct ContentFile {
    ContentStatus status = ContentStatus::NotFound;
    std::string path;         // the file's real path, symbolic links resolved (when Found)
    std::string contentType;  // from the extension, see MimeTypeForPath (when Found)
    uint64_t size = 0;        // bytes of the file (when Found or TooLarge)
    std::string body;         // the whole file when Found and asked to read it
    std::string etag;         // "\"<size hex>-<mtime ns hex>\"" when Found
    // NotFound for a file that exists but is never served (private, or not of the web's
    // types): worth a log line, where a page that is simply not there is not.
    bool withheld = false;
};

// A request path longer than this is refused before decoding: no file below the content folder
// needs more, and it bounds the work a request can cause.
constexpr size_t kMaxRequestPathBytes = 4096;
constexpr uint64_t kDefaultMaxContentBytes = 8u << 20;

// Turns the path part of a request target, exactly as received (percent-encoded, without the
// query), into a path relative to the content folder: "" for the folder itself, "a/b.html" for a
// file in a subfolder. Repeated slashes collapse and "." segments drop. The path must start with
// '/'. Returns nullopt, to be refused, when it is longer than kMaxRequestPathBytes, has a
// malformed '%' escape, an encoded '/', or after decoding a ".." segment, a segment starting
// with '.' (hidden files: dotfiles, editors' and our own temporary files), a backslash, a NUL or
// other control byte. "%25" decodes to a literal '%' that is never decoded again, so the result
// may hold '%'.
std::optional<std::string> NormaliseRequestPath(std::string_view requestPath);

// A file as the system knows it, whatever its name: a copy or a link keeps no secret from this.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// What the content folder may serve.
struct ContentFolder {
    // The folder, possibly relative to the current folder; one that does not exist or is not a
    // folder serves nothing.
    std::string root;
    // What a request for a folder serves (one plain file name).
    std::string indexPage;
    // Folders never served even when they lie below the root (the log folder), as configured.
    std::vector<std::string> privateFolders;
    uint64_t maxBytes = kDefaultMaxContentBytes;
    // Files the engine was told hold secrets or private data (the configuration, the
    // certificate, its key and trusted certificates, the log files): never served, wherever
    // they lie and however they are reached. Each path is looked at anew for every request, so
    // a renewed certificate is known by what it is now; a file is refused when it is the same
    // file (device and inode), or when it bears the same name in any folder.
    std::vector<std::string> privateFiles;
    // Private files known by identity alone (a log file the engine wrote, since renamed).
    std::vector<FileIdentity> privateIdentities;
};

// Finds the file `requestPath` (as for NormaliseRequestPath) names in the content folder. A
// folder resolves to the index page inside it, NotFound when there is none. A path ending in '/'
// must name a folder. Only regular files of the web's own types are served (IsServedFileType):
// the folder may well be the program's own, holding the configuration with its passwords, the
// caches, logs, language packs and libraries, so anything else is NotFound, as are folders
// without an index, devices, pipes, private files and everything inside a private folder. A path
// refused by NormaliseRequestPath, a target whose real path leaves the root through a symbolic
// link, or a file the server may not read is Forbidden. A file larger than maxBytes is TooLarge,
// with its size. With `readBody` (GET) the body holds the file; without (HEAD) it stays empty.
ContentFile ResolveContent(const ContentFolder& folder, std::string_view requestPath,
                           bool readBody);

// Whether a file of this name is one the content folder may serve: HTML, CSS, JavaScript,
// images, fonts, plain text, XML and XSL, JSON, playlists and audio, by extension, compared
// case-insensitively. Configuration, caches, logs, hives, language packs, libraries, programs,
// keys and certificates (.key, .pem, .crt, .p12 and their kin), temporary files and anything
// without an extension are not.
bool IsServedFileType(std::string_view name);

// The Content-Type for a file name's extension, compared case-insensitively: text types carry
// "; charset=utf-8". Anything unknown, or no extension, is application/octet-stream.
const char* MimeTypeForPath(std::string_view path);

}  // namespace orvanta::engine
