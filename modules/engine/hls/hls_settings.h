// What the station's HLS output is told: the [HLS] settings, as plain values.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace orvanta::engine {

// A client counts as an HLS listener this long after its last playlist fetch; then it has left.
inline constexpr std::chrono::milliseconds kHlsListenerWindow = std::chrono::seconds(30);

struct HlsSettings {
    bool enabled = true;
    // Target length of a segment, and segments the playlist keeps (the rewind window).
    int32_t segmentSeconds = 6;
    int32_t window = 10;
    // A folder the playlist and segments are also written to; "" for none.
    std::string originFolder;
};

}  // namespace orvanta::engine
