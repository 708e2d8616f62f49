#include "web/listener_chart.h"

#include "web/pages.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace orvanta::engine {

namespace {

// The drawing's own units (the page scales it to its width): the plot inside room for labels.
constexpr int kWidth = 640;
constexpr int kHeight = 220;
constexpr int kLeft = 48;
constexpr int kRight = 624;
constexpr int kTop = 14;
constexpr int kBottom = 184;

// The counts drawn: the latest kListenerChartMinutes + 1.
std::vector<size_t> Drawn(const std::vector<size_t>& perMinute) {
    const size_t keep = std::min(perMinute.size(), kListenerChartMinutes + 1);
    return {perMinute.end() - static_cast<std::ptrdiff_t>(keep), perMinute.end()};
}

// The top of the scale: 1, 2 or 5 times a power of ten, at least `highest` and at least 1, so
// the labels are round numbers and a quiet hour is no flat line along the top.
size_t ScaleTop(size_t highest) {
    for (size_t power = 1;; power *= 10) {
        for (const size_t step : {size_t{1}, size_t{2}, size_t{5}}) {
            if (step * power >= highest) {
                return step * power;
            }
        }
        if (power > std::numeric_limits<size_t>::max() / 50) {
            return highest;  // no round number above it fits
        }
    }
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::string Label(int x, int y, const char* anchor, const std::string& text) {
    return "<text x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" text-anchor=\"" +
           anchor + "\" font-size=\"13\" fill=\"currentColor\">" + HtmlEscape(text) + "</text>";
}

std::string Line(int x1, int y1, int x2, int y2, const char* opacity) {
    return "<line x1=\"" + std::to_string(x1) + "\" y1=\"" + std::to_string(y1) + "\" x2=\"" +
           std::to_string(x2) + "\" y2=\"" + std::to_string(y2) +
           "\" stroke=\"currentColor\" stroke-opacity=\"" + opacity + "\"/>";
}

}  // namespace

std::string ListenerChartSummary(const std::vector<size_t>& perMinute) {
    const std::string opening =
        "Listeners over the last " + std::to_string(kListenerChartMinutes) + " minutes: ";
    if (perMinute.empty()) {
        return opening + "none counted yet";
    }
    const std::vector<size_t> drawn = Drawn(perMinute);
    return opening + "now " + std::to_string(drawn.back()) + ", highest " +
           std::to_string(*std::max_element(drawn.begin(), drawn.end()));
}

std::string ListenerChart(const std::vector<size_t>& perMinute) {
    const std::string summary = HtmlEscape(ListenerChartSummary(perMinute));
    const std::vector<size_t> drawn = Drawn(perMinute);
    const size_t top = ScaleTop(drawn.empty() ? 0 : *std::max_element(drawn.begin(), drawn.end()));
    std::string svg = "<svg class=\"chart\" viewBox=\"0 0 " + std::to_string(kWidth) + " " +
                      std::to_string(kHeight) + "\" role=\"img\" aria-label=\"" + summary +
                      "\"><title>" + summary +
                      "</title><desc>One count a minute, the newest on the right.</desc>";
    // The scale: its bottom and top lines, labelled, and a faint line halfway.
    const int middle = (kTop + kBottom) / 2;
    svg += Line(kLeft, kBottom, kRight, kBottom, "0.6") + Line(kLeft, kTop, kRight, kTop, "0.25") +
           Line(kLeft, middle, kRight, middle, "0.15");
    svg += Label(kLeft - 8, kBottom + 4, "end", "0") +
           Label(kLeft - 8, kTop + 4, "end", std::to_string(top));
    // The time axis: an hour ago, half an hour ago, now.
    const int labelsAt = kBottom + 22;
    svg += Label(kLeft, labelsAt, "start", std::to_string(kListenerChartMinutes) + " min ago") +
           Label((kLeft + kRight) / 2, labelsAt, "middle",
                 std::to_string(kListenerChartMinutes / 2) + " min ago") +
           Label(kRight, labelsAt, "end", "now");
    if (!drawn.empty()) {
        const double step = static_cast<double>(kRight - kLeft) / kListenerChartMinutes;
        const double perListener = static_cast<double>(kBottom - kTop) / static_cast<double>(top);
        std::string points;
        double x = 0;
        double y = 0;
        for (size_t i = 0; i < drawn.size(); ++i) {
            const size_t minutesAgo = drawn.size() - 1 - i;
            x = kRight - step * static_cast<double>(minutesAgo);
            y = kBottom - perListener * static_cast<double>(drawn[i]);
            points += (points.empty() ? "" : " ") + Number(x) + "," + Number(y);
        }
        svg += "<polyline points=\"" + points +
               "\" fill=\"none\" stroke=\"currentColor\" stroke-width=\"2.5\" "
               "stroke-linejoin=\"round\"/>";
        // The count now, marked: alone it is the whole chart.
        svg += "<circle cx=\"" + Number(x) + "\" cy=\"" + Number(y) +
               "\" r=\"4\" fill=\"currentColor\"/>";
    }
    return svg + "</svg>";
}

}  // namespace orvanta::engine
