#include "stats/stats_reader.h"

#include <sqlite3.h>
#include <string>
#include <utility>

namespace orvanta::engine {

namespace {

// A query's statement with its parameters bound, finalized when it goes.
class Query {
public:
    Query(sqlite3* db, const char* sql) { m_rc = sqlite3_prepare_v2(db, sql, -1, &m_s, nullptr); }
    ~Query() { sqlite3_finalize(m_s); }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    Query& Bind(int64_t value) {
        if (m_rc == SQLITE_OK) {
            sqlite3_bind_int64(m_s, ++m_column, value);
        }
        return *this;
    }
    // The next row; false at the end or on failure (Failed() then says so).
    bool Next() {
        if (m_rc != SQLITE_OK) {
            return false;
        }
        const int rc = sqlite3_step(m_s);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
            m_rc = rc;
        }
        return rc == SQLITE_ROW;
    }
    bool Failed() const { return m_rc != SQLITE_OK; }
    int64_t Int(int column) const { return sqlite3_column_int64(m_s, column); }
    double Real(int column) const { return sqlite3_column_double(m_s, column); }
    std::string_view Text(int column) const {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_s, column));
        return text != nullptr
                   ? std::string_view(text, static_cast<size_t>(sqlite3_column_bytes(m_s, column)))
                   : std::string_view();
    }
    int Columns() const { return sqlite3_column_count(m_s); }
    const char* Name(int column) const { return sqlite3_column_name(m_s, column); }
    int Type(int column) const { return sqlite3_column_type(m_s, column); }

private:
    sqlite3_stmt* m_s = nullptr;
    int m_rc = SQLITE_OK;
    int m_column = 0;
};

// Listeners of a minute sample: people, so relays are left out.
constexpr char kSampleListeners[] = "(stream + icy + hls)";
// A time as exports show it: ISO 8601, UTC.
#define ORV_ISO_TIME(column) "strftime('%Y-%m-%dT%H:%M:%SZ', " column ", 'unixepoch') AS " column

// The queries of an export, oldest first: ?1 and ?2 the range, ?3 the limit.
const char* ExportSql(StatsTable table) {
    switch (table) {
        case StatsTable::Samples:
            return "SELECT " ORV_ISO_TIME("minute") ", stream, icy, hls, relay, bytes_out, "
                   "source_on_air, feed FROM minute_samples WHERE minute >= ?1 AND minute < ?2 "
                   "ORDER BY minute LIMIT ?3";
        case StatsTable::Titles:
            return "SELECT " ORV_ISO_TIME("started") ", " ORV_ISO_TIME("ended") ", title, "
                   "listeners_at_start, listeners_at_end, peak_listeners, "
                   "listeners_at_end - listeners_at_start AS change FROM titles "
                   "WHERE started >= ?1 AND started < ?2 ORDER BY started, id LIMIT ?3";
        case StatsTable::Sessions:
            break;
    }
    return "SELECT " ORV_ISO_TIME("started") ", " ORV_ISO_TIME("ended") ", seconds, bytes, kind, "
           "tls, player, address, country FROM listener_sessions WHERE started >= ?1 AND "
           "started < ?2 ORDER BY started, id LIMIT ?3";
}
#undef ORV_ISO_TIME

}  // namespace

const char* StatsTableName(StatsTable table) {
    switch (table) {
        case StatsTable::Samples:
            return "samples";
        case StatsTable::Titles:
            return "titles";
        case StatsTable::Sessions:
            break;
    }
    return "sessions";
}

StatsReader::StatsReader(std::string path) : m_path(std::move(path)) {}

StatsReader::~StatsReader() {
    sqlite3_close_v2(m_db);
}

bool StatsReader::Open(std::string* problem) {
    if (m_db != nullptr) {
        return true;
    }
    if (sqlite3_open_v2(m_path.c_str(), &m_db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        if (problem != nullptr) {
            *problem = m_path + ": " + sqlite3_errmsg(m_db);
        }
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        return false;
    }
    sqlite3_busy_timeout(m_db, 2000);
    return true;
}

int StatsReader::SchemaVersion(std::string* problem) {
    if (!Open(problem)) {
        return -1;
    }
    Query query(m_db, "PRAGMA user_version");
    if (!query.Next()) {
        if (problem != nullptr) {
            *problem = sqlite3_errmsg(m_db);
        }
        return -1;
    }
    return static_cast<int>(query.Int(0));
}

std::optional<ListeningSummary> StatsReader::Listening(StatsTime from, StatsTime to,
                                                       std::string* problem) {
    if (!Open(problem)) {
        return std::nullopt;
    }
    ListeningSummary summary;
    // One read transaction, so the figures agree with each other while the writer goes on.
    sqlite3_exec(m_db, "BEGIN", nullptr, nullptr, nullptr);
    Query hours(m_db,
                "SELECT TOTAL(MIN(ended, ?2) - MAX(started, ?1)) FROM listener_sessions "
                "WHERE started < ?2 AND ended > ?1 AND kind <> 'relay'");
    Query counts(m_db,
                 "SELECT COUNT(*), COUNT(DISTINCT address), TOTAL(seconds) FROM listener_sessions "
                 "WHERE started >= ?1 AND started < ?2 AND kind <> 'relay'");
    bool ok = hours.Bind(from).Bind(to).Next() && counts.Bind(from).Bind(to).Next();
    if (ok) {
        summary.hours = hours.Real(0) / 3600.0;
        summary.sessions = counts.Int(0);
        summary.uniqueListeners = counts.Int(1);
        if (summary.sessions > 0) {
            summary.averageSeconds = counts.Real(2) / static_cast<double>(summary.sessions);
            // The middle one, or the mean of the middle two.
            Query middle(m_db,
                         "SELECT seconds FROM listener_sessions WHERE started >= ?1 AND "
                         "started < ?2 AND kind <> 'relay' ORDER BY seconds LIMIT ?3 OFFSET ?4");
            middle.Bind(from)
                .Bind(to)
                .Bind(2 - summary.sessions % 2)
                .Bind((summary.sessions - 1) / 2);
            double sum = 0;
            int taken = 0;
            while (middle.Next()) {
                sum += middle.Real(0);
                ++taken;
            }
            ok = !middle.Failed() && taken > 0;
            summary.medianSeconds = taken > 0 ? sum / taken : 0;
        }
    }
    if (!ok && problem != nullptr) {
        *problem = sqlite3_errmsg(m_db);
    }
    sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    if (!ok) {
        return std::nullopt;
    }
    return summary;
}

std::optional<ListeningReport> StatsReader::Report(StatsTime from, StatsTime to, StatsTime step,
                                                   std::string* problem) {
    ListeningReport report;
    auto summary = Listening(from, to, problem);
    if (!summary) {
        return std::nullopt;
    }
    report.summary = *summary;
    report.step = std::max<StatsTime>(60, step);
    const std::string n = kSampleListeners;
    // The rest in one read transaction too; the summary may be a moment older, which a report
    // of whole days does not notice.
    sqlite3_exec(m_db, "BEGIN", nullptr, nullptr, nullptr);
    Query peak(m_db, ("SELECT minute, " + n +
                      " AS n, (SELECT COUNT(*) FROM minute_samples WHERE minute >= ?1 AND minute "
                      "< ?2) FROM minute_samples WHERE minute >= ?1 AND minute < ?2 "
                      "ORDER BY n DESC, minute LIMIT 1")
                         .c_str());
    bool ok = true;
    if (peak.Bind(from).Bind(to).Next()) {
        report.peakAt = peak.Int(0);
        report.peakListeners = peak.Int(1);
        report.samples = peak.Int(2);
    }
    ok = ok && !peak.Failed();
    Query overTime(m_db, ("SELECT (minute - ?1) / ?3, AVG(" + n +
                          ") FROM minute_samples WHERE minute >= ?1 AND minute < ?2 "
                          "GROUP BY 1 ORDER BY 1")
                             .c_str());
    overTime.Bind(from).Bind(to).Bind(report.step);
    while (overTime.Next()) {
        report.overTime.push_back({from + overTime.Int(0) * report.step, overTime.Real(1)});
    }
    ok = ok && !overTime.Failed();
    // 1970-01-01 was a Thursday: day 0 is weekday 3 counting from Monday.
    Query week(m_db, ("SELECT (minute / 86400 + 3) % 7, minute % 86400 / 3600, AVG(" + n +
                      "), COUNT(*) FROM minute_samples WHERE minute >= ?1 AND minute < ?2 "
                      "GROUP BY 1, 2")
                         .c_str());
    week.Bind(from).Bind(to);
    while (week.Next()) {
        const auto day = static_cast<size_t>(week.Int(0));
        const auto hour = static_cast<size_t>(week.Int(1));
        if (day < 7 && hour < 24) {
            report.weekHours[day][hour] = week.Real(2);
            report.weekHourSamples[day][hour] = week.Int(3);
        }
    }
    ok = ok && !week.Failed();
    std::string bucket = "CASE";
    for (size_t i = 0; i < kSessionLengthBounds.size(); ++i) {
        bucket += " WHEN seconds < " + std::to_string(kSessionLengthBounds[i]) + " THEN " +
                  std::to_string(i);
    }
    bucket += " ELSE " + std::to_string(kSessionLengthBounds.size()) + " END";
    Query lengths(m_db, ("SELECT " + bucket +
                         ", COUNT(*) FROM listener_sessions WHERE started >= ?1 AND started < ?2 "
                         "AND kind <> 'relay' GROUP BY 1")
                            .c_str());
    lengths.Bind(from).Bind(to);
    while (lengths.Next()) {
        const auto at = static_cast<size_t>(lengths.Int(0));
        if (at < report.lengths.size()) {
            report.lengths[at] = lengths.Int(1);
        }
    }
    ok = ok && !lengths.Failed();
    // Sessions begun within the range by `column` (rows where it is NULL left out), most first.
    const auto shares = [&](std::string_view column, std::vector<PlayerShare>& into) {
        const std::string name(column);
        Query query(m_db, ("SELECT " + name +
                           ", COUNT(*), TOTAL(seconds) FROM listener_sessions "
                           "WHERE started >= ?1 AND started < ?2 AND kind <> 'relay' AND " +
                           name + " IS NOT NULL GROUP BY " + name + " ORDER BY 2 DESC, 1 LIMIT ?3")
                              .c_str());
        query.Bind(from).Bind(to).Bind(ListeningReport::kMaxPlayers);
        while (query.Next()) {
            into.push_back({std::string(query.Text(0)), query.Int(1), query.Real(2) / 3600.0});
        }
        return !query.Failed();
    };
    ok = ok && shares("player", report.players);
    ok = ok && shares("country", report.countries);
    Query titles(m_db,
                 "SELECT started, ended, title, listeners_at_start, listeners_at_end, "
                 "peak_listeners FROM titles WHERE started >= ?1 AND started < ?2 "
                 "ORDER BY started DESC, id DESC LIMIT ?3");
    titles.Bind(from).Bind(to).Bind(ListeningReport::kMaxTitles + 1);
    while (titles.Next()) {
        if (report.titles.size() == static_cast<size_t>(ListeningReport::kMaxTitles)) {
            report.titlesCut = true;
            break;
        }
        report.titles.push_back({titles.Int(0), titles.Int(1), std::string(titles.Text(2)),
                                 titles.Int(3), titles.Int(4), titles.Int(5)});
    }
    ok = ok && !titles.Failed();
    if (!ok && problem != nullptr) {
        *problem = sqlite3_errmsg(m_db);
    }
    sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    if (!ok) {
        return std::nullopt;
    }
    return report;
}

int64_t StatsReader::Export(StatsTable table, StatsTime from, StatsTime to, int64_t limit,
                            const StatsRowSink& sink, bool* cut, std::string* problem) {
    if (cut != nullptr) {
        *cut = false;
    }
    if (!Open(problem)) {
        return -1;
    }
    Query rows(m_db, ExportSql(table));
    rows.Bind(from).Bind(to).Bind(limit + 1);
    std::vector<StatsCell> cells(static_cast<size_t>(std::max(0, rows.Columns())));
    for (size_t i = 0; i < cells.size(); ++i) {
        cells[i] = {StatsCell::Type::Text, rows.Name(static_cast<int>(i))};
    }
    if (!rows.Failed()) {
        sink(cells);
    }
    int64_t given = 0;
    while (rows.Next()) {
        if (given == limit) {
            if (cut != nullptr) {
                *cut = true;
            }
            break;
        }
        for (size_t i = 0; i < cells.size(); ++i) {
            const int column = static_cast<int>(i);
            const int type = rows.Type(column);
            cells[i] = {type == SQLITE_NULL   ? StatsCell::Type::Null
                        : type == SQLITE_TEXT ? StatsCell::Type::Text
                                              : StatsCell::Type::Number,
                        rows.Text(column)};
        }
        sink(cells);
        ++given;
    }
    if (rows.Failed()) {
        if (problem != nullptr) {
            *problem = sqlite3_errmsg(m_db);
        }
        return -1;
    }
    return given;
}

}  // namespace orvanta::engine
