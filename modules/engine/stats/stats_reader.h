// What the reports ask of the statistics file, over a read-only connection of its own: the
// writer goes on while a report reads (the file is in WAL mode). One reader per thread.
#pragma once

#include "stats/stats_store.h"

#include <optional>
#include <string>

struct sqlite3;

namespace orvanta::engine {

// Listening in a time range. Relays are other servers, not people: they are left out.
struct ListeningSummary {
    // Hours listened within the range: sessions that overlap it count the part inside.
    double hours = 0;
    // Sessions that began within the range, the distinct addresses they came from (as stored:
    // networks, unless whole addresses are kept), and their length, average and median.
    int64_t sessions = 0;
    int64_t uniqueListeners = 0;
    double averageSeconds = 0;
    double medianSeconds = 0;
};

class StatsReader {
public:
    // The file at `path` (StatsStore::FilePathIn), opened at the first question.
    explicit StatsReader(std::string path);
    ~StatsReader();
    StatsReader(const StatsReader&) = delete;
    StatsReader& operator=(const StatsReader&) = delete;

    // [from, to), Unix seconds. Nothing, with the reason in `problem`, when the file cannot
    // be read.
    std::optional<ListeningSummary> Listening(StatsTime from, StatsTime to,
                                              std::string* problem = nullptr);
    // The file's schema version (PRAGMA user_version); -1 when it cannot be read.
    int SchemaVersion(std::string* problem = nullptr);

private:
    bool Open(std::string* problem);

    std::string m_path;
    sqlite3* m_db = nullptr;
};

}  // namespace orvanta::engine
