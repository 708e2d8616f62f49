// The dashboard's chart of the last hour's listeners, drawn on the server as inline SVG: no
// script and no inline style (presentation attributes only), so the console's policy lets it
// in, and it reads the same in a browser without either. Plain code over the counts.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace orvanta::engine {

// How far back the chart reaches.
inline constexpr size_t kListenerChartMinutes = 60;

// "Listeners over the last 60 minutes: now 3, highest 5": what the chart shows, in words.
// `perMinute` as for ListenerChart.
std::string ListenerChartSummary(const std::vector<size_t>& perMinute);

// The chart as an <svg> element: `perMinute` are counts one minute apart, oldest first, the last
// one the count now; only the last kListenerChartMinutes + 1 are drawn, from the right edge
// ("now") leftwards, so a history that began lately fills the right of the chart only. Its text
// alternative is ListenerChartSummary's.
std::string ListenerChart(const std::vector<size_t>& perMinute);

}  // namespace orvanta::engine
