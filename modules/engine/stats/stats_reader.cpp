#include "stats/stats_reader.h"

#include <sqlite3.h>
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

private:
    sqlite3_stmt* m_s = nullptr;
    int m_rc = SQLITE_OK;
    int m_column = 0;
};

}  // namespace

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

}  // namespace orvanta::engine
