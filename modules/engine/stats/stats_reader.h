// What the reports ask of the statistics file, over a read-only connection of its own: the
// writer goes on while a report reads (the file is in WAL mode). One reader per thread.
#pragma once

#include "stats/stats_store.h"

#include <array>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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

// Listeners (stream and HLS; relays are left out) in a span of time, averaged over the minute
// samples in it.
struct ListenersAt {
    StatsTime at = 0;  // the span's first second
    double listeners = 0;
};

// A family of players (PlayerFamilyName), by the sessions that began within the range.
struct PlayerShare {
    std::string family;
    int64_t sessions = 0;
    double hours = 0;  // the whole length of those sessions
};

// A title played within the range, with the listeners when it began and ended and at most.
struct TitlePlayed {
    StatsTime start = 0;
    StatsTime end = 0;
    std::string title;
    int64_t atStart = 0;
    int64_t atEnd = 0;
    int64_t peak = 0;
};

// Session lengths counted in these buckets: under 1 min, 1-5, 5-15, 15-30, 30-60 min, 1-2 h,
// 2 h and more. The bounds are the buckets' upper ends, in seconds.
inline constexpr std::array<int64_t, 6> kSessionLengthBounds = {60, 300, 900, 1800, 3600, 7200};

// Everything the reports page shows of a range.
struct ListeningReport {
    ListeningSummary summary;
    // The most listeners of any minute sample in the range, and the first minute they were
    // counted; zero and zero with no samples.
    int64_t peakListeners = 0;
    StatsTime peakAt = 0;
    int64_t samples = 0;
    // Listeners over time, one point per `step` seconds that has samples, oldest first.
    StatsTime step = 60;
    std::vector<ListenersAt> overTime;
    // By weekday (Monday first) and hour of the day, UTC: listeners averaged over the samples
    // of that hour, and how many samples there were.
    std::array<std::array<double, 24>, 7> weekHours{};
    std::array<std::array<int64_t, 24>, 7> weekHourSamples{};
    // Sessions begun within the range, by kSessionLengthBounds.
    std::array<int64_t, kSessionLengthBounds.size() + 1> lengths{};
    // The families with the most sessions, at most kMaxPlayers.
    std::vector<PlayerShare> players;
    // The countries with the most sessions (`family` holds the ISO code), at most kMaxPlayers;
    // none when no session of the range has a country (no database configured).
    std::vector<PlayerShare> countries;
    // The titles begun within the range, latest first, at most kMaxTitles; `titlesCut` when
    // there were more.
    std::vector<TitlePlayed> titles;
    bool titlesCut = false;

    static constexpr int kMaxPlayers = 10;
    static constexpr int kMaxTitles = 200;
};

// What an export reads: listener sessions and titles begun within the range, minute samples
// of it.
enum class StatsTable { Sessions, Samples, Titles };
const char* StatsTableName(StatsTable table);

// One value of an exported row, as SQLite holds it (times as "2024-05-01T18:30:07Z").
struct StatsCell {
    enum class Type { Null, Number, Text };
    Type type = Type::Null;
    std::string_view text;  // valid during the call it is handed to
};
// Takes the column names (as Text cells) first, then each row.
using StatsRowSink = std::function<void(std::span<const StatsCell> cells)>;

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
    // Everything the reports page shows of [from, to); `step`: the spacing of overTime, 60
    // (per minute) or a multiple of it.
    std::optional<ListeningReport> Report(StatsTime from, StatsTime to, StatsTime step,
                                          std::string* problem = nullptr);
    // The rows of `table` within [from, to), oldest first, to `sink`: the names, then at most
    // `limit` rows. The number of rows given, -1 on failure; `cut` says whether there were more.
    int64_t Export(StatsTable table, StatsTime from, StatsTime to, int64_t limit,
                   const StatsRowSink& sink, bool* cut = nullptr, std::string* problem = nullptr);
    // The file's schema version (PRAGMA user_version); -1 when it cannot be read.
    int SchemaVersion(std::string* problem = nullptr);

private:
    bool Open(std::string* problem);

    std::string m_path;
    sqlite3* m_db = nullptr;
};

}  // namespace orvanta::engine
