// The status panel's value texts that do not need a window, shared with the headless status
// line so that both show the same numbers the same way.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace orvanta {

inline constexpr double kBytesPerMegabyte = 1048576.0;
inline constexpr long long kSecondsPerDay = 24 * 60 * 60;

// A byte total in megabytes with three decimals: "1.000 Mbytes" for 1048576.
inline std::string FormatMegabytes(int64_t bytes) {
    char text[64];
    std::snprintf(text, sizeof text, "%3.3f Mbytes",
                  static_cast<double>(bytes) / kBytesPerMegabyte);
    return text;
}

// Time on air as the clock time of the day it would be after that many seconds from midnight:
// whole days are not shown, so 25 h 3 min 4 s reads "01:03:04".
inline std::string FormatOnAirTime(long long seconds) {
    const long long ofDay = seconds < 0 ? 0 : seconds % kSecondsPerDay;
    char text[16];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", ofDay / 3600, ofDay / 60 % 60,
                  ofDay % 60);
    return text;
}

// The header's listener counter: current listeners of the allowed maximum, "( 3 / 10 )".
inline std::string FormatListenerCounter(int32_t listeners, int32_t maxClient) {
    char text[48];
    std::snprintf(text, sizeof text, "( %2d / %2d )", listeners, maxClient);
    return text;
}

}  // namespace orvanta
