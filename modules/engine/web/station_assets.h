// The station page's own files: its script, its style sheet and the icons a phone puts on its
// home screen. They are compiled into the engine (cmake/embed_files.cmake writes the table from
// modules/engine/web/assets/), so the page and the engine that serves it are always of one
// build, and nothing has to be found on the disk at run time.
//
// Each file has two addresses under /assets/: its own name ("/assets/player.js"), which an
// operator's own page can include and which browsers check again on each use, and the name
// with the first digits of its hash ("/assets/player.0123456789ab.js"), which the engine's own
// page uses and which may be kept for a year: a new build brings a new address.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace orvanta::engine {

struct EmbeddedFile {
    std::string_view name;  // "player.js"
    std::string_view hash;  // the first 12 hex digits of its SHA-256
    std::string_view body;
};

// Every file compiled in (the generated table).
std::span<const EmbeddedFile> EmbeddedFiles();

inline constexpr std::string_view kAssetFolder = "/assets/";
// hls.js, which is not compiled in but installed beside the engine (see the handler).
inline constexpr std::string_view kHlsLibraryName = "hls.light.min.js";

// How a request path names a file of `name` and `hash`.
enum class AssetMatch { None, Plain, Versioned };
AssetMatch MatchAsset(std::string_view path, std::string_view name, std::string_view hash);

// "/assets/<stem>.<hash>.<extension>".
std::string VersionedAssetPath(std::string_view name, std::string_view hash);

// The compiled-in file `path` names, by either address; nullopt for any other path.
struct FoundAsset {
    const EmbeddedFile* file = nullptr;
    bool versioned = false;
};
std::optional<FoundAsset> FindEmbeddedAsset(std::string_view path);

// The versioned address of the compiled-in file `name` ("" when there is none of that name).
std::string EmbeddedAssetPath(std::string_view name);

// Cache-Control for an asset: a versioned address never changes its body; a plain one is
// checked again on each use (its hash is its ETag, so the check costs no body).
const char* AssetCacheControl(bool versioned);

}  // namespace orvanta::engine
