// What the station's HLS output is told: the [HLS] settings, as plain values.
#pragma once

#include <cstdint>
#include <string>

namespace orvanta::engine {

struct HlsSettings {
    bool enabled = true;
    // Target length of a segment, and segments the playlist keeps (the rewind window).
    int32_t segmentSeconds = 6;
    int32_t window = 10;
    // A folder the playlist and segments are also written to; "" for none.
    std::string originFolder;
};

}  // namespace orvanta::engine
