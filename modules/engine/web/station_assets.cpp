#include "web/station_assets.h"

namespace orvanta::engine {

AssetMatch MatchAsset(std::string_view path, std::string_view name, std::string_view hash) {
    if (!path.starts_with(kAssetFolder)) {
        return AssetMatch::None;
    }
    path.remove_prefix(kAssetFolder.size());
    if (path == name) {
        return AssetMatch::Plain;
    }
    return !hash.empty() && path == VersionedAssetPath(name, hash).substr(kAssetFolder.size())
               ? AssetMatch::Versioned
               : AssetMatch::None;
}

std::string VersionedAssetPath(std::string_view name, std::string_view hash) {
    // The hash goes before the last extension ("hls.light.min.js": "hls.light.min.<hash>.js").
    const size_t dot = name.rfind('.');
    const std::string_view stem = name.substr(0, dot);
    const std::string_view extension = dot == std::string_view::npos ? "" : name.substr(dot);
    return std::string(kAssetFolder) + std::string(stem) + "." + std::string(hash) +
           std::string(extension);
}

std::optional<FoundAsset> FindEmbeddedAsset(std::string_view path) {
    for (const EmbeddedFile& file : EmbeddedFiles()) {
        switch (MatchAsset(path, file.name, file.hash)) {
            case AssetMatch::Plain:
                return FoundAsset{&file, false};
            case AssetMatch::Versioned:
                return FoundAsset{&file, true};
            case AssetMatch::None:
                break;
        }
    }
    return std::nullopt;
}

std::string EmbeddedAssetPath(std::string_view name) {
    for (const EmbeddedFile& file : EmbeddedFiles()) {
        if (file.name == name) {
            return VersionedAssetPath(file.name, file.hash);
        }
    }
    return {};
}

const char* AssetCacheControl(bool versioned) {
    return versioned ? "public, max-age=31536000, immutable" : "no-cache";
}

}  // namespace orvanta::engine
