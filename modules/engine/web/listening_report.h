// The reports page's figures and charts over a ListeningReport: the summary, listeners over time,
// the week by hour, session lengths, players and titles. Each chart is inline SVG with presentation
// attributes only (the console's policy allows no script and no inline style), a text alternative,
// and its numbers as a table beside it, which a screen reader reads and a person can copy.
#pragma once

#include "stats/stats_reader.h"

#include <optional>
#include <string>
#include <string_view>

namespace orvanta::engine {

// The days a report covers, in UTC: [from, to) in Unix seconds, and as the form shows them.
struct ReportRange {
    StatsTime from = 0;
    StatsTime to = 0;
    std::string fromDate;  // "2024-05-01"
    std::string toDate;    // the last day, included
    std::string preset;    // "today", "7d", "30d", or "" for dates of the operator's own
};

// The longest range a report or an export covers, in days.
inline constexpr int kMaxReportDays = 1000;

// The range a query asks for (`range`=today|7d|30d, or `from` and `to` as YYYY-MM-DD, both
// days included; nothing: today), days counted in UTC with `now` in the last. Nothing, with the
// reason in `problem`, for dates that are no dates, the wrong way round or too far apart.
std::optional<ReportRange> ParseReportRange(std::string_view range, std::string_view from,
                                            std::string_view to, StatsTime now,
                                            std::string* problem);

// The spacing of the listeners-over-time chart for a range: a minute for a day or less, an
// hour up to a month, a day beyond.
StatsTime ReportStep(const ReportRange& range);

// "2024-05-01T18:30:07Z", as exports and the API give times.
std::string IsoTime(StatsTime when);

// The report's sections as HTML: the summary table, then each chart with its table.
// `fullAddresses`: the store keeps whole addresses (else listeners are counted by network).
std::string ListeningReportHtml(const ListeningReport& report, const ReportRange& range,
                                bool fullAddresses);

}  // namespace orvanta::engine
