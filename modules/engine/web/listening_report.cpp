#include "web/listening_report.h"

#include "web/pages.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace orvanta::engine {

namespace {

constexpr StatsTime kDay = 86400;
constexpr int kWidth = 640;
constexpr const char* kWeekdays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
constexpr const char* kLengthNames[] = {"under 1 min", "1-5 min", "5-15 min",   "15-30 min",
                                        "30-60 min",   "1-2 h",   "2 h or more"};
static_assert(std::size(kLengthNames) == kSessionLengthBounds.size() + 1);
// The titles the change chart draws; the table lists them all.
constexpr size_t kTitlesDrawn = 20;

std::string E(std::string_view text) {
    return HtmlEscape(text);
}

std::string Fixed(double value, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, std::isfinite(value) ? value : 0.0);
    return text;
}

// How a time is written: the day, to the minute (with or without "UTC"), to the second, ISO.
enum class TimeFormat { Day, Minute, MinuteUtc, Second, Iso };

std::string Strftime(StatsTime when, TimeFormat format) {
    const auto seconds = static_cast<std::time_t>(when);
    std::tm utc{};
    char text[40];
    if (::gmtime_r(&seconds, &utc) == nullptr) {
        return {};
    }
    size_t n = 0;
    switch (format) {
        case TimeFormat::Day:
            n = std::strftime(text, sizeof text, "%Y-%m-%d", &utc);
            break;
        case TimeFormat::Minute:
            n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &utc);
            break;
        case TimeFormat::MinuteUtc:
            n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &utc);
            break;
        case TimeFormat::Second:
            n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
            break;
        case TimeFormat::Iso:
            n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
            break;
    }
    return std::string(text, n);
}

std::string DayOf(StatsTime when) {
    return Strftime(when, TimeFormat::Day);
}

// "1 h 05 min", "4 min 10 s".
std::string Span(double seconds) {
    const auto whole = static_cast<int64_t>(std::llround(std::max(0.0, seconds)));
    char text[48];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%lld h %02lld min", static_cast<long long>(whole / 3600),
                      static_cast<long long>(whole / 60 % 60));
    } else {
        std::snprintf(text, sizeof text, "%lld min %02lld s", static_cast<long long>(whole / 60),
                      static_cast<long long>(whole % 60));
    }
    return text;
}

// When a point of the over-time chart begins, as precisely as its spacing asks.
std::string PointTime(StatsTime at, StatsTime step) {
    return Strftime(at, step >= kDay ? TimeFormat::Day : TimeFormat::Minute);
}

std::optional<StatsTime> DayStart(std::string_view text) {
    int y = 0;
    unsigned m = 0;
    unsigned d = 0;
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return std::nullopt;
    }
    const char* s = text.data();
    if (std::from_chars(s, s + 4, y).ptr != s + 4 ||
        std::from_chars(s + 5, s + 7, m).ptr != s + 7 ||
        std::from_chars(s + 8, s + 10, d).ptr != s + 10) {
        return std::nullopt;
    }
    const std::chrono::year_month_day day{std::chrono::year{y}, std::chrono::month{m},
                                          std::chrono::day{d}};
    if (!day.ok()) {
        return std::nullopt;
    }
    return std::chrono::sys_days(day).time_since_epoch().count() * kDay;
}

std::string Svg(int height, std::string_view label, std::string_view desc) {
    return "<svg class=\"chart\" viewBox=\"0 0 " + std::to_string(kWidth) + " " +
           std::to_string(height) + "\" role=\"img\" aria-label=\"" + E(label) + "\"><title>" +
           E(label) + "</title><desc>" + E(desc) + "</desc>";
}

std::string Text(double x, double y, const char* anchor, std::string_view text) {
    return "<text x=\"" + Fixed(x, 1) + "\" y=\"" + Fixed(y, 1) + "\" text-anchor=\"" + anchor +
           "\" font-size=\"13\" fill=\"currentColor\">" + E(text) + "</text>";
}

std::string Rect(double x, double y, double w, double h, double opacity) {
    return "<rect x=\"" + Fixed(x, 1) + "\" y=\"" + Fixed(y, 1) + "\" width=\"" +
           Fixed(std::max(0.0, w), 1) + "\" height=\"" + Fixed(std::max(0.0, h), 1) +
           "\" fill=\"currentColor\" fill-opacity=\"" + Fixed(opacity, 2) + "\"/>";
}

// A table of a chart's numbers, in a region that scrolls sideways on a phone (focusable, so a
// keyboard scrolls it too); long ones fold away under their caption.
std::string Table(std::string_view caption, const std::vector<std::string>& heads,
                  const std::vector<std::vector<std::string>>& rows, bool folded) {
    std::string html;
    if (folded) {
        html += "<details><summary>" + E(caption) + ": the numbers</summary>";
    }
    html += "<div class=\"wide\" role=\"region\" aria-label=\"" + E(caption) +
            "\" tabindex=\"0\"><table><caption>" + E(caption) + "</caption><thead><tr>";
    for (const std::string& head : heads) {
        html += "<th scope=\"col\">" + E(head) + "</th>";
    }
    html += "</tr></thead><tbody>";
    for (const auto& row : rows) {
        html += "<tr>";
        for (size_t i = 0; i < row.size(); ++i) {
            html +=
                (i == 0 ? "<th scope=\"row\">" : "<td>") + E(row[i]) + (i == 0 ? "</th>" : "</td>");
        }
        html += "</tr>";
    }
    html += "</tbody></table></div>";
    if (folded) {
        html += "</details>";
    }
    return html;
}

// Horizontal bars, one a row, each labelled and with its value; negative values go left of a
// middle line (the titles' gains and losses).
std::string BarChart(std::string_view label, std::string_view desc,
                     const std::vector<std::string>& names, const std::vector<double>& values,
                     const std::vector<std::string>& shown) {
    constexpr int kRow = 24;
    constexpr double kNames = 170;
    constexpr double kValues = 70;
    const int height = static_cast<int>(names.size()) * kRow + 8;
    double most = 0;
    bool negative = false;
    for (double v : values) {
        most = std::max(most, std::abs(v));
        negative = negative || v < 0;
    }
    const double room = kWidth - kNames - kValues;
    const double zero = negative ? kNames + room / 2 : kNames;
    const double scale = most > 0 ? (negative ? room / 2 : room) / most : 0;
    std::string svg = Svg(height, label, desc);
    for (size_t i = 0; i < names.size(); ++i) {
        const double y = static_cast<double>(i) * kRow + 4;
        std::string name = names[i].size() > 24 ? names[i].substr(0, 23) + "..." : names[i];
        svg += Text(kNames - 8, y + 16, "end", name);
        const double w = std::abs(values[i]) * scale;
        svg += Rect(values[i] < 0 ? zero - w : zero, y + 3, w, kRow - 6, 0.75);
        svg += Text(kWidth - kValues + 8, y + 16, "start", shown[i]);
    }
    if (negative) {
        svg += "<line x1=\"" + Fixed(zero, 1) + "\" y1=\"0\" x2=\"" + Fixed(zero, 1) + "\" y2=\"" +
               std::to_string(height) + "\" stroke=\"currentColor\" stroke-opacity=\"0.5\"/>";
    }
    return svg + "</svg>";
}

std::string OverTime(const ListeningReport& report, const ReportRange& range) {
    const std::string per = report.step >= kDay ? "day" : report.step >= 3600 ? "hour" : "minute";
    std::string html = "<h2>Listeners over time</h2>";
    if (report.overTime.empty()) {
        return html + "<p>No minute samples in this range.</p>";
    }
    double highest = 0;
    for (const ListenersAt& point : report.overTime) {
        highest = std::max(highest, point.listeners);
    }
    const double top = std::max(1.0, std::ceil(highest));
    const std::string label = "Listeners per " + per + ", averaged, " + range.fromDate + " to " +
                              range.toDate + " UTC: highest " + Fixed(highest, 1);
    constexpr double kLeft = 48;
    constexpr double kRight = 624;
    constexpr double kTop = 14;
    constexpr double kBottom = 184;
    std::string svg =
        Svg(220, label, "The average of the minute samples in each " + per + ", oldest left.");
    svg +=
        "<line x1=\"48\" y1=\"184\" x2=\"624\" y2=\"184\" stroke=\"currentColor\" "
        "stroke-opacity=\"0.6\"/><line x1=\"48\" y1=\"14\" x2=\"624\" y2=\"14\" "
        "stroke=\"currentColor\" stroke-opacity=\"0.25\"/>";
    svg +=
        Text(kLeft - 8, kBottom + 4, "end", "0") + Text(kLeft - 8, kTop + 4, "end", Fixed(top, 0));
    svg += Text(kLeft, kBottom + 22, "start", PointTime(range.from, report.step)) +
           Text(kRight, kBottom + 22, "end", PointTime(range.to - report.step, report.step));
    const double span =
        static_cast<double>(std::max<StatsTime>(report.step, range.to - range.from - report.step));
    std::string points;
    for (const ListenersAt& point : report.overTime) {
        const double x =
            kLeft + (kRight - kLeft) * static_cast<double>(point.at - range.from) / span;
        const double y = kBottom - (kBottom - kTop) * point.listeners / top;
        points += (points.empty() ? "" : " ") + Fixed(x, 1) + "," + Fixed(y, 1);
    }
    svg += "<polyline points=\"" + points +
           "\" fill=\"none\" stroke=\"currentColor\" stroke-width=\"2\" "
           "stroke-linejoin=\"round\"/></svg>";
    std::vector<std::vector<std::string>> rows;
    for (const ListenersAt& point : report.overTime) {
        rows.push_back({PointTime(point.at, report.step), Fixed(point.listeners, 1)});
    }
    return html + svg +
           Table("Listeners per " + per + " (UTC)", {"From", "Listeners (average)"}, rows, true);
}

std::string WeekHours(const ListeningReport& report) {
    std::string html = "<h2>Week by hour</h2>";
    if (report.samples == 0) {
        return html + "<p>No minute samples in this range.</p>";
    }
    double highest = 0;
    for (const auto& day : report.weekHours) {
        highest = std::max(highest, *std::max_element(day.begin(), day.end()));
    }
    constexpr double kLeft = 48;
    constexpr double kCell = 23;
    constexpr double kRow = 24;
    std::string svg = Svg(
        7 * 24 + 30, "Average listeners by weekday and hour (UTC): highest " + Fixed(highest, 1),
        "Darker cells: more listeners; empty cells: no samples.");
    for (size_t day = 0; day < 7; ++day) {
        const double y = static_cast<double>(day) * kRow;
        svg += Text(kLeft - 8, y + 17, "end", kWeekdays[day]);
        for (size_t hour = 0; hour < 24; ++hour) {
            if (report.weekHourSamples[day][hour] == 0) {
                continue;
            }
            const double share = highest > 0 ? report.weekHours[day][hour] / highest : 0;
            svg += Rect(kLeft + static_cast<double>(hour) * kCell + 1, y + 1, kCell - 2, kRow - 2,
                        0.08 + 0.87 * share);
        }
    }
    for (int hour = 0; hour < 24; hour += 6) {
        svg += Text(kLeft + hour * kCell, 7 * kRow + 20, "start", std::to_string(hour) + ":00");
    }
    svg += "</svg>";
    std::vector<std::string> heads{"Weekday"};
    for (int hour = 0; hour < 24; ++hour) {
        heads.push_back(std::to_string(hour));
    }
    std::vector<std::vector<std::string>> rows;
    for (size_t day = 0; day < 7; ++day) {
        std::vector<std::string> row{kWeekdays[day]};
        for (size_t hour = 0; hour < 24; ++hour) {
            row.push_back(report.weekHourSamples[day][hour] == 0
                              ? "-"
                              : Fixed(report.weekHours[day][hour], 1));
        }
        rows.push_back(std::move(row));
    }
    return html + svg + Table("Average listeners by weekday and hour (UTC)", heads, rows, true);
}

std::string Lengths(const ListeningReport& report) {
    std::string html = "<h2>Session lengths</h2>";
    std::vector<std::string> names(std::begin(kLengthNames), std::end(kLengthNames));
    std::vector<double> values;
    std::vector<std::string> shown;
    std::vector<std::vector<std::string>> rows;
    for (size_t i = 0; i < report.lengths.size(); ++i) {
        values.push_back(static_cast<double>(report.lengths[i]));
        shown.push_back(std::to_string(report.lengths[i]));
        rows.push_back({names[i], shown.back()});
    }
    return html +
           BarChart("Sessions by length: " + std::to_string(report.summary.sessions) + " in all",
                    "One bar per length, shortest first.", names, values, shown) +
           Table("Sessions by length", {"Length", "Sessions"}, rows, false);
}

// Sessions by a name (a player family, a country), most first: a bar chart and its table.
std::string Shares(const std::vector<PlayerShare>& shares, std::string_view what,
                   std::string_view caption, std::string_view column) {
    std::vector<std::string> names;
    std::vector<double> values;
    std::vector<std::string> shown;
    std::vector<std::vector<std::string>> rows;
    for (const PlayerShare& share : shares) {
        names.push_back(share.family);
        values.push_back(static_cast<double>(share.sessions));
        shown.push_back(std::to_string(share.sessions));
        rows.push_back({share.family, shown.back(), Fixed(share.hours, 2)});
    }
    return BarChart("Sessions by " + std::string(what) + ": most " + shares.front().family,
                    "One bar per " + std::string(what) + ", most sessions first.", names, values,
                    shown) +
           Table(std::string(caption), {std::string(column), "Sessions", "Hours"}, rows, false);
}

std::string Players(const ListeningReport& report) {
    std::string html = "<h2>Players</h2>";
    if (report.players.empty()) {
        return html + "<p>No sessions began in this range.</p>";
    }
    return html + Shares(report.players, "player family", "Player families", "Family");
}

// Only where a country database is configured: the sessions then carry a country.
std::string Countries(const ListeningReport& report) {
    if (report.countries.empty()) {
        return {};
    }
    return "<h2>Countries</h2>" + Shares(report.countries, "country", "Countries", "Country");
}

std::string Titles(const ListeningReport& report) {
    std::string html = "<h2>Titles</h2>";
    if (report.titles.empty()) {
        return html + "<p>No title began in this range.</p>";
    }
    const size_t drawn = std::min(report.titles.size(), kTitlesDrawn);
    std::vector<std::string> names;
    std::vector<double> values;
    std::vector<std::string> shown;
    for (size_t i = 0; i < drawn; ++i) {
        const TitlePlayed& title = report.titles[i];
        const int64_t change = title.atEnd - title.atStart;
        names.push_back(title.title.empty() ? "(no title)" : title.title);
        values.push_back(static_cast<double>(change));
        shown.push_back((change > 0 ? "+" : "") + std::to_string(change));
    }
    std::vector<std::vector<std::string>> rows;
    for (const TitlePlayed& title : report.titles) {
        const int64_t change = title.atEnd - title.atStart;
        rows.push_back({title.title.empty() ? "(no title)" : title.title,
                        Strftime(title.start, TimeFormat::Second), std::to_string(title.atStart),
                        std::to_string(title.atEnd), std::to_string(title.peak),
                        (change > 0 ? "+" : "") + std::to_string(change)});
    }
    html += BarChart(
        "Listeners gained or lost during each of the latest " + std::to_string(drawn) + " titles",
        "Bars right of the line: gained; left: lost. Latest first.", names, values, shown);
    html += Table("Titles, latest first (UTC)",
                  {"Title", "Began", "At start", "At end", "Peak", "Change"}, rows,
                  report.titles.size() > kTitlesDrawn);
    if (report.titlesCut) {
        html += "<p>Only the latest " + std::to_string(report.titles.size()) +
                " titles are shown; the export has them all.</p>";
    }
    return html;
}

std::string Row(std::string_view name, std::string_view value) {
    return "<tr><th scope=\"row\">" + E(name) + "</th><td>" + E(value) + "</td></tr>";
}

}  // namespace

std::optional<ReportRange> ParseReportRange(std::string_view range, std::string_view from,
                                            std::string_view to, StatsTime now,
                                            std::string* problem) {
    const StatsTime today = now - now % kDay;
    ReportRange result;
    if (!from.empty() || !to.empty()) {
        const auto first = DayStart(from);
        const auto last = DayStart(to.empty() ? DayOf(today) : to);
        if (!first || !last) {
            *problem = "Dates are written YYYY-MM-DD, for example 2024-05-01.";
            return std::nullopt;
        }
        if (*last < *first) {
            *problem = "The first day comes after the last.";
            return std::nullopt;
        }
        result.from = *first;
        result.to = *last + kDay;
    } else {
        const int days = range == "30d" ? 30 : range == "7d" ? 7 : 1;
        result.preset = days == 30 ? "30d" : days == 7 ? "7d" : "today";
        result.from = today - (days - 1) * kDay;
        result.to = today + kDay;
    }
    if (result.to - result.from > kMaxReportDays * kDay) {
        *problem = "A report covers at most " + std::to_string(kMaxReportDays) + " days.";
        return std::nullopt;
    }
    result.fromDate = DayOf(result.from);
    result.toDate = DayOf(result.to - kDay);
    return result;
}

StatsTime ReportStep(const ReportRange& range) {
    const StatsTime span = range.to - range.from;
    return span <= kDay ? 60 : span <= 31 * kDay ? 3600 : kDay;
}

std::string IsoTime(StatsTime when) {
    return Strftime(when, TimeFormat::Iso);
}

std::string ListeningReportHtml(const ListeningReport& report, const ReportRange& range,
                                bool fullAddresses) {
    const ListeningSummary& s = report.summary;
    std::string html = "<h2>Summary</h2><table>";
    html += Row("Total listening hours", Fixed(s.hours, 2));
    html += Row("Sessions", std::to_string(s.sessions));
    html += Row(fullAddresses ? "Unique listeners (addresses)"
                              : "Unique listeners (networks: /24 for IPv4, /48 for IPv6)",
                std::to_string(s.uniqueListeners));
    html += Row("Average session", Span(s.averageSeconds));
    html += Row("Median session", Span(s.medianSeconds));
    html += Row("Peak listeners", report.samples == 0
                                      ? "no minute samples"
                                      : std::to_string(report.peakListeners) + " at " +
                                            Strftime(report.peakAt, TimeFormat::MinuteUtc));
    html += "</table>";
    html += OverTime(report, range) + WeekHours(report) + Lengths(report) + Players(report) +
            Countries(report) + Titles(report);
    return html;
}

}  // namespace orvanta::engine
