// A copy of the HLS window in a folder any web server can serve without asking the engine:
// "live.m3u8" and "live/<sequence>.mp3" (or .aac) as the engine itself names them. Each file is
// written under a temporary name and renamed into place, so a reader never sees half of one;
// segments that left the window are removed, so the folder holds exactly the window.
#pragma once

#include "hls/segmenter.h"

#include <cstdint>
#include <deque>
#include <string>
#include <utility>

namespace orvanta::engine {

class OriginFolder {
public:
    explicit OriginFolder(std::string root) : m_root(std::move(root)) {}

    const std::string& Root() const { return m_root; }

    // Brings the folder in line with the window and `playlist`: the segments not written yet,
    // then the playlist, then the removal of what left the window. The first call also removes
    // segments an earlier run left behind. "" when all went well, else what failed.
    std::string Sync(const HlsSegmenter& segmenter, const std::string& playlist);

private:
    std::string m_root;
    bool m_prepared = false;
    // Sequence (ascending) and name under the root of each segment written.
    std::deque<std::pair<uint64_t, std::string>> m_written;
};

}  // namespace orvanta::engine
