#include "hls/origin_folder.h"

#include "hls/playlist.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace orvanta::engine {

namespace {

constexpr mode_t kPublicFile = 0644;  // what a web server reads; nothing secret goes here

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

std::string ReplaceFile(const std::string& path, const std::string& bytes) {
    const std::string temporary = path + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kPublicFile);
    if (fd < 0) {
        return "cannot write " + temporary + ": " + std::strerror(errno);
    }
    const bool written = WriteAll(fd, bytes);
    const int savedErrno = errno;
    ::close(fd);
    if (!written) {
        ::unlink(temporary.c_str());
        return "cannot write " + temporary + ": " + std::strerror(savedErrno);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int renameErrno = errno;
        ::unlink(temporary.c_str());
        return "cannot rename " + temporary + ": " + std::strerror(renameErrno);
    }
    return {};
}

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
            if (sequence && segmenter.Find(*sequence) == nullptr) {
                std::error_code ignored;
                fs::remove(it->path(), ignored);
            }
        }
        m_prepared = true;
    }
    std::string problem;
    for (const HlsSegment& segment : segments) {
        if (!m_written.empty() && segment.sequence <= m_written.back()) {
            continue;
        }
        problem =
            ReplaceFile((fs::path(m_root) / SegmentUri(segment.sequence)).string(), *segment.bytes);
        if (!problem.empty()) {
            return problem;
        }
        m_written.push_back(segment.sequence);
    }
    if (!playlist.empty()) {
        problem = ReplaceFile((fs::path(m_root) / "live.m3u8").string(), playlist);
    }
    // Only after the playlist stopped naming them.
    const uint64_t oldest = segments.empty() ? UINT64_MAX : segments.front().sequence;
    while (!m_written.empty() && m_written.front() < oldest) {
        std::error_code ignored;
        fs::remove(fs::path(m_root) / SegmentUri(m_written.front()), ignored);
        m_written.pop_front();
    }
    return problem;
}

}  // namespace orvanta::engine
