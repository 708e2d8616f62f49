#include "engine/handlers/stats_report.h"

#include "engine/http_reply.h"
#include "web/listening_report.h"
#include "web/pages.h"
#include "web/stats_export.h"

#include <cstdio>

namespace orvanta::engine {

namespace {

struct RangeAsked {
    std::string range;
    std::string from;
    std::string to;
};

RangeAsked Asked(const Request& request) {
    const auto query = ParseQuery(request.query);
    return {QueryValue(query, "range").value_or(""), QueryValue(query, "from").value_or(""),
            QueryValue(query, "to").value_or("")};
}

std::optional<ReportRange> RangeOf(const RangeAsked& asked, std::string* problem) {
    return ParseReportRange(asked.range, asked.from, asked.to, StatsNow(), problem);
}

Reply Json(int code, std::string_view reason, const std::string& body) {
    return Reply(PrivateResponse(code, reason, "application/json", body + "\n"));
}

Reply JsonError(int code, std::string_view reason, std::string_view message) {
    return Json(code, reason, "{\"error\":\"" + JsonEscape(message) + "\"}");
}

// An error of an export: JSON for the API, a line of text for the console's links.
Reply ExportError(bool api, int code, std::string_view reason, std::string_view message) {
    return api ? JsonError(code, reason, message)
               : Reply(PrivateResponse(code, reason, "text/plain; charset=utf-8",
                                       std::string(message) + "\n"));
}

std::string Number(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

}  // namespace

Outcome StatsReportPage(const Request& request, const RequestContext& context,
                        RequestActions& actions, const AdminFacts& facts) {
    const RangeAsked asked = Asked(request);
    const bool kept = actions.StatsKept();
    const bool full = context.settings.statsFullAddresses;
    auto page = [asked, kept, full, facts](const ReportRange* range, const ListeningReport* report,
                                           std::string problem) {
        AdminStatsView view;
        view.kept = kept;
        view.fullAddresses = full;
        view.range = range;
        view.report = report;
        view.problem = std::move(problem);
        view.rangeAsked = asked.range;
        view.fromAsked = asked.from;
        view.toAsked = asked.to;
        return Reply(PrivateResponse(200, "OK", "text/html; charset=utf-8",
                                     AdminStatsPage(view, facts), AdminPageHeaders()));
    };
    std::string problem;
    const auto range = RangeOf(asked, &problem);
    if (!kept || !range) {
        return page(range ? &*range : nullptr, nullptr, problem);
    }
    return Outcome::Report([page, days = *range](StatsReader& reader) {
        std::string why;
        const auto report = reader.Report(days.from, days.to, ReportStep(days), &why);
        return page(&days, report ? &*report : nullptr,
                    report ? std::string() : "The statistics could not be read: " + why);
    });
}

Outcome StatsExport(const Request& request, const RequestContext& /*context*/,
                    RequestActions& actions, bool api) {
    if (!actions.StatsKept()) {
        return ExportError(api, 409, "Conflict", "statistics are off");
    }
    const auto query = ParseQuery(request.query);
    const std::string what = QueryValue(query, "what").value_or("sessions");
    const std::string format = QueryValue(query, "format").value_or("csv");
    StatsTable table = StatsTable::Sessions;
    if (what == "samples") {
        table = StatsTable::Samples;
    } else if (what == "titles") {
        table = StatsTable::Titles;
    } else if (what != "sessions") {
        return ExportError(api, 400, "Bad Request", "what: sessions, samples or titles");
    }
    if (format != "csv" && format != "json") {
        return ExportError(api, 400, "Bad Request", "format: csv or json");
    }
    std::string problem;
    const auto range = RangeOf(Asked(request), &problem);
    if (!range) {
        return ExportError(api, 400, "Bad Request", problem);
    }
    return Outcome::Report([api, table, json = format == "json",
                            days = *range](StatsReader& reader) {
        const std::string name = StatsTableName(table);
        StatsExportWriter writer(
            json ? StatsExportWriter::Format::Json : StatsExportWriter::Format::Csv, name,
            days.fromDate, days.toDate);
        bool cut = false;
        std::string why;
        const int64_t rows = reader.Export(
            table, days.from, days.to, kMaxExportRows,
            [&writer](std::span<const StatsCell> cells) { writer.Add(cells); }, &cut, &why);
        if (rows < 0) {
            return ExportError(api, 500, "Internal Server Error",
                               "the statistics could not be read: " + why);
        }
        const std::string file =
            name + "-" + days.fromDate + "-to-" + days.toDate + (json ? ".json" : ".csv");
        auto body = std::make_shared<const std::string>(writer.Finish(cut));
        Reply reply(NoStoreHead(
            200, "OK", json ? "application/json" : "text/csv; charset=utf-8; header=present",
            body->size(),
            "Content-Disposition: attachment; filename=\"" + file + "\"\r\n" +
                (cut ? "X-Rows-Cut: " + std::to_string(kMaxExportRows) + "\r\n" : std::string())));
        reply.body = std::move(body);
        return reply;
    });
}

Outcome StatsSummary(const Request& request, const RequestContext& context,
                     RequestActions& actions) {
    if (!actions.StatsKept()) {
        return JsonError(409, "Conflict", "statistics are off");
    }
    std::string problem;
    const auto range = RangeOf(Asked(request), &problem);
    if (!range) {
        return JsonError(400, "Bad Request", problem);
    }
    return Outcome::Report([days = *range,
                            full = context.settings.statsFullAddresses](StatsReader& reader) {
        std::string why;
        const auto report = reader.Report(days.from, days.to, ReportStep(days), &why);
        if (!report) {
            return JsonError(500, "Internal Server Error",
                             "the statistics could not be read: " + why);
        }
        const ListeningSummary& s = report->summary;
        std::string json =
            "{\"from\":\"" + days.fromDate + "\",\"to\":\"" + days.toDate +
            "\",\"hours\":" + Number(s.hours) + ",\"sessions\":" + std::to_string(s.sessions) +
            ",\"unique_listeners\":" + std::to_string(s.uniqueListeners) + ",\"unique_by\":\"" +
            (full ? "address" : "network") + "\",\"average_seconds\":" + Number(s.averageSeconds) +
            ",\"median_seconds\":" + Number(s.medianSeconds) +
            ",\"peak_listeners\":" + std::to_string(report->peakListeners) + ",\"peak_at\":" +
            (report->samples > 0 ? "\"" + IsoTime(report->peakAt) + "\"" : "null") + "}";
        return Json(200, "OK", json);
    });
}

}  // namespace orvanta::engine
