#include "hls/origin_folder.h"

#include "base/file_io.h"
#include "hls/playlist.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace orvanta::engine {

namespace {

constexpr mode_t kPublicFile = 0644;  // what a web server reads; nothing secret goes here

// Writes `bytes` to `path` whole (a web server never reads half a playlist). Not synced to the
// disk: the engine makes every file again at the next segment, and its event loop must not
// wait for the disk. "" or the problem.
std::string Publish(const std::string& path, std::string_view bytes) {
    std::string reason;
    return ReplaceFile(path, bytes, 07777, kPublicFile, reason, false) ? std::string()
                                                                       : path + ": " + reason;
}

}  // namespace

std::string OriginFolder::Sync(const HlsSegmenter& segmenter, const std::string& playlist) {
    namespace fs = std::filesystem;
    const auto& segments = segmenter.Segments();
    const fs::path folder = fs::path(m_root) / "live";
    if (!m_prepared) {
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec) {
            return "cannot create " + folder.string() + ": " + ec.message();
        }
        // Segments of an earlier run are not in this window.
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            const auto sequence = ParseSegmentPath("/live/" + name);
            const HlsSegment* kept = sequence ? segmenter.Find(*sequence) : nullptr;
            if (sequence && (kept == nullptr || SegmentUri(*kept) != "live/" + name)) {
                std::error_code ignored;
                fs::remove(it->path(), ignored);
            }
        }
        m_prepared = true;
    }
    std::string problem;
    for (const HlsSegment& segment : segments) {
        if (!m_written.empty() && segment.sequence <= m_written.back().first) {
            continue;
        }
        const std::string uri = SegmentUri(segment);
        problem = Publish((fs::path(m_root) / uri).string(), *segment.bytes);
        if (!problem.empty()) {
            return problem;
        }
        m_written.push_back({segment.sequence, uri});
    }
    if (!playlist.empty()) {
        problem = Publish((fs::path(m_root) / "live.m3u8").string(), playlist);
    }
    // Only after the playlist stopped naming them.
    const uint64_t oldest = segments.empty() ? UINT64_MAX : segments.front().sequence;
    while (!m_written.empty() && m_written.front().first < oldest) {
        std::error_code ignored;
        fs::remove(fs::path(m_root) / m_written.front().second, ignored);
        m_written.pop_front();
    }
    return problem;
}

}  // namespace orvanta::engine
