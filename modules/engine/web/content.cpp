#include "web/content.h"

#include "base/ascii.h"
#include "base/file_io.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <exception>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace orvanta::engine {
namespace {

// The index page comes from the station's settings; anything but one plain file name could
// reach outside the folder it is looked up in, so such a setting serves no index at all.
bool IsPlainFileName(std::string_view name) {
    if (name.empty() || name == "." || name == ".." || name.size() > 255) {
        return false;
    }
    for (const char c : name) {
        if (c == '/' || c == '\\' || IsControlByte(c)) {
            return false;
        }
    }
    return true;
}

std::string JoinPath(const std::string& folder, std::string_view name) {
    std::string joined = folder;
    if (joined.empty() || joined.back() != '/') {
        joined += '/';
    }
    joined += name;
    return joined;
}

// True when `real` is `root` or lies below it. Comparing with the separator stops
// "/srv/content-old" from passing as inside "/srv/content".
bool IsWithin(const std::string& real, const std::string& root) {
    if (root == "/") {
        return !real.empty() && real.front() == '/';
    }
    return real.size() >= root.size() && real.compare(0, root.size(), root) == 0 &&
           (real.size() == root.size() || real[root.size()] == '/');
}

// What the server may say about a path the system notServed: a permission problem is worth
// telling apart for the log, anything else simply is not there.
ContentStatus StatusForErrno(int error) {
    return error == EACCES || error == EPERM || error == ELOOP ? ContentStatus::Forbidden
                                                               : ContentStatus::NotFound;
}

std::optional<std::string> RealPath(const std::string& path) {
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                               &std::free);
    if (!resolved) {
        return std::nullopt;
    }
    return std::string(resolved.get());
}

struct Target {
    ContentStatus status = ContentStatus::NotFound;
    std::string real;
    struct stat info {};
};

// Resolves every symbolic link in `path` and requires the result to stay below `rootReal`.
Target Locate(const std::string& path, const std::string& rootReal) {
    Target target;
    std::optional<std::string> real = RealPath(path);
    if (!real) {
        target.status = StatusForErrno(errno);
        return target;
    }
    if (!IsWithin(*real, rootReal)) {
        target.status = ContentStatus::Forbidden;
        return target;
    }
    if (::stat(real->c_str(), &target.info) != 0) {
        target.status = StatusForErrno(errno);
        return target;
    }
    target.status = ContentStatus::Found;
    target.real = std::move(*real);
    return target;
}

std::string HexString(uint64_t value) {
    std::array<char, 20> digits{};
    const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value, 16);
    return std::string(digits.data(), result.ptr);
}

// Reads the regular file `target` found. The path was checked before it is opened, so a file
// swapped for a link or a pipe in between must not be followed or waited on: O_NOFOLLOW refuses
// a link in the last place, O_NONBLOCK keeps a pipe from blocking the open, and the descriptor
// must still be the very file that was checked.
ContentFile ReadTarget(const Target& target, bool readBody, uint64_t maxBytes) {
    ContentFile file;
    const FileDescriptor fd(
        ::open(target.real.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
    if (fd.Get() < 0) {
        file.status = StatusForErrno(errno);
        return file;
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_dev != target.info.st_dev || info.st_ino != target.info.st_ino ||
        info.st_size < 0) {
        return file;
    }
    const auto size = static_cast<uint64_t>(info.st_size);
    if (size > maxBytes) {
        file.status = ContentStatus::TooLarge;
        file.size = size;
        return file;
    }
    if (readBody) {
        // Reads only the size fstat gave, so a file growing meanwhile cannot pass the cap and
        // the body always matches the size announced.
        file.body.resize(static_cast<size_t>(size));
        size_t got = 0;
        while (got < file.body.size()) {
            const ssize_t count = ::read(fd.Get(), file.body.data() + got, file.body.size() - got);
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count < 0) {
                return ContentFile{};
            }
            if (count == 0) {
                break;  // shrank since fstat: serve what is there
            }
            got += static_cast<size_t>(count);
        }
        file.body.resize(got);
    }
    file.status = ContentStatus::Found;
    file.path = target.real;
    file.contentType = MimeTypeForPath(target.real);
    file.size = readBody ? file.body.size() : size;
    const uint64_t mtimeNs = static_cast<uint64_t>(info.st_mtim.tv_sec) * 1000000000u +
                             static_cast<uint64_t>(info.st_mtim.tv_nsec);
    file.etag = "\"" + HexString(file.size) + "-" + HexString(mtimeNs) + "\"";
    return file;
}

// True when `real` lies in one of the private folders (each resolved as configured; one that
// does not exist holds nothing).
bool InPrivateFolder(const std::string& real, const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) {
        if (folder.empty()) {
            continue;
        }
        const std::optional<std::string> folderReal = RealPath(folder);
        if (folderReal && IsWithin(real, *folderReal)) {
            return true;
        }
    }
    return false;
}

std::string_view BaseName(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Whether `target` (the file a request resolved to, asked for as `servedName`) is one of the
// files the engine was told are private: the same file, or a file of the same name.
bool IsPrivateFile(const Target& target, std::string_view servedName, const ContentFolder& folder) {
    const FileIdentity identity{static_cast<uint64_t>(target.info.st_dev),
                                static_cast<uint64_t>(target.info.st_ino)};
    for (const FileIdentity& known : folder.privateIdentities) {
        if (known == identity) {
            return true;
        }
    }
    for (const std::string& path : folder.privateFiles) {
        const std::string_view name = BaseName(path);
        if (name.empty()) {
            continue;
        }
        if (EqualsIgnoreCase(name, BaseName(target.real)) ||
            EqualsIgnoreCase(name, BaseName(servedName))) {
            return true;
        }
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0 && info.st_dev == target.info.st_dev &&
            info.st_ino == target.info.st_ino) {
            return true;
        }
    }
    return false;
}

ContentFile Resolve(const ContentFolder& folder, std::string_view requestPath, bool readBody) {
    ContentFile notServed;
    const std::optional<std::string> relative = NormaliseRequestPath(requestPath);
    if (!relative) {
        notServed.status = ContentStatus::Forbidden;
        return notServed;
    }
    const std::string& indexPage = folder.indexPage;
    // A root that does not exist yet is a station without content, not an error to report.
    const std::optional<std::string> rootReal = RealPath(folder.root);
    struct stat rootInfo {};
    if (!rootReal || ::stat(rootReal->c_str(), &rootInfo) != 0 || !S_ISDIR(rootInfo.st_mode)) {
        return notServed;
    }

    Target target =
        Locate(relative->empty() ? *rootReal : JoinPath(*rootReal, *relative), *rootReal);
    if (target.status != ContentStatus::Found) {
        notServed.status = target.status;
        return notServed;
    }
    std::string_view servedName = *relative;
    if (S_ISDIR(target.info.st_mode)) {
        servedName = indexPage;
        if (!IsPlainFileName(indexPage)) {
            return notServed;
        }
        // The index may itself be a link, so it is checked against the root like any file.
        target = Locate(JoinPath(target.real, indexPage), *rootReal);
        if (target.status != ContentStatus::Found) {
            notServed.status = target.status;
            return notServed;
        }
    } else if (requestPath.back() == '/') {
        // "/page.html/" is not the page: relative links in it would resolve against a folder
        // that does not exist.
        return notServed;
    }
    // Judged by the name that was asked for and by the file it really is: a link named
    // "notes.txt" to Config.ini serves nothing.
    if (!S_ISREG(target.info.st_mode) || !IsServedFileType(target.real) ||
        !IsServedFileType(servedName) || InPrivateFolder(target.real, folder.privateFolders) ||
        IsPrivateFile(target, servedName, folder)) {
        notServed.withheld = true;
        return notServed;
    }
    return ReadTarget(target, readBody, folder.maxBytes);
}

struct MimeType {
    std::string_view extension;
    const char* type;
};

// Only the web's own types, never a key or a certificate (.key, .pem, .crt, .cer, .der, .p12,
// .pfx, .csr): a station keeps its TLS files beside the program often enough.

constexpr std::array kMimeTypes = {
    MimeType{"html", "text/html; charset=utf-8"},
    MimeType{"htm", "text/html; charset=utf-8"},
    MimeType{"css", "text/css; charset=utf-8"},
    MimeType{"js", "text/javascript; charset=utf-8"},
    MimeType{"mjs", "text/javascript; charset=utf-8"},
    MimeType{"json", "application/json"},
    MimeType{"webmanifest", "application/manifest+json"},
    MimeType{"txt", "text/plain; charset=utf-8"},
    MimeType{"xml", "application/xml"},
    MimeType{"xsl", "application/xslt+xml"},
    MimeType{"png", "image/png"},
    MimeType{"jpg", "image/jpeg"},
    MimeType{"jpeg", "image/jpeg"},
    MimeType{"gif", "image/gif"},
    MimeType{"svg", "image/svg+xml"},
    MimeType{"ico", "image/x-icon"},
    MimeType{"webp", "image/webp"},
    MimeType{"avif", "image/avif"},
    MimeType{"mp3", "audio/mpeg"},
    MimeType{"ogg", "audio/ogg"},
    MimeType{"oga", "audio/ogg"},
    MimeType{"m3u", "audio/x-mpegurl"},
    MimeType{"pls", "audio/x-scpls"},
    MimeType{"m3u8", "application/vnd.apple.mpegurl"},
    MimeType{"xspf", "application/xspf+xml"},
    MimeType{"woff", "font/woff"},
    MimeType{"woff2", "font/woff2"},
    MimeType{"ttf", "font/ttf"},
    MimeType{"otf", "font/otf"},
};

constexpr const char* kDefaultMimeType = "application/octet-stream";

}  // namespace

std::optional<std::string> NormaliseRequestPath(std::string_view requestPath) {
    if (requestPath.empty() || requestPath.size() > kMaxRequestPathBytes ||
        requestPath.front() != '/') {
        return std::nullopt;
    }
    try {
        std::string normalised;
        normalised.reserve(requestPath.size());
        std::string segment;
        // Segments are judged after decoding, so "%2e%2e" is caught as "..".
        const auto endSegment = [&]() {
            // ".." climbs; any other name starting with '.' is hidden (dotfiles, editors' and
            // our own temporary files), nobody's web content.
            if (segment == ".." || (segment.size() > 1 && segment.front() == '.')) {
                return false;
            }
            if (!segment.empty() && segment != ".") {
                if (!normalised.empty()) {
                    normalised += '/';
                }
                normalised += segment;
            }
            segment.clear();
            return true;
        };
        for (size_t i = 1; i < requestPath.size(); ++i) {
            char c = requestPath[i];
            if (c == '/') {
                if (!endSegment()) {
                    return std::nullopt;
                }
                continue;
            }
            if (c == '%') {
                if (i + 2 >= requestPath.size()) {
                    return std::nullopt;
                }
                const int high = HexDigitValue(requestPath[i + 1]);
                const int low = HexDigitValue(requestPath[i + 2]);
                if (high < 0 || low < 0) {
                    return std::nullopt;
                }
                c = static_cast<char>(high * 16 + low);
                i += 2;
                // An encoded slash would make one segment look like two after the check.
                if (c == '/') {
                    return std::nullopt;
                }
            }
            if (c == '\\' || IsControlByte(c)) {
                return std::nullopt;
            }
            segment += c;
        }
        if (!endSegment()) {
            return std::nullopt;
        }
        return normalised;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

ContentFile ResolveContent(const ContentFolder& folder, std::string_view requestPath,
                           bool readBody) {
    try {
        return Resolve(folder, requestPath, readBody);
    } catch (const std::exception&) {
        return ContentFile{};
    }
}

bool IsServedFileType(std::string_view name) {
    return MimeTypeForPath(name) != std::string_view(kDefaultMimeType);
}

const char* MimeTypeForPath(std::string_view path) {
    const std::string_view name = BaseName(path);
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        return kDefaultMimeType;
    }
    const std::string_view extension = name.substr(dot + 1);
    for (const MimeType& mime : kMimeTypes) {
        if (EqualsIgnoreCase(extension, mime.extension)) {
            return mime.type;
        }
    }
    return kDefaultMimeType;
}

}  // namespace orvanta::engine
