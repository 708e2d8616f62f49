// The station's listening statistics, kept for months in one SQLite file (stats.sqlite) in the
// state folder: listener sessions, per-minute samples, titles played and source connections.
// The engine's event loop hands over plain records and never waits for the disk: a thread of the
// store's own writes them in batches, committed about every second, so a crash costs at most the
// last second or two. A full queue drops records and counts them; a disk that cannot be written
// pauses the store (streaming goes on), and a damaged file is moved aside for a new one.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <variant>
#include <vector>

struct sqlite3;

namespace orvanta::engine {

// Unix seconds, UTC: what every record and query of the store counts in.
using StatsTime = int64_t;
StatsTime StatsNow();

// How a listener listened: a stream with or without titles in it (ICY metadata), HLS, or
// another server relaying the station.
enum class ListenerKind { Stream, Icy, Hls, Relay };
const char* ListenerKindName(ListenerKind kind);

struct ListenerSessionRecord {
    StatsTime start = 0;
    StatsTime end = 0;
    uint64_t bytes = 0;
    ListenerKind kind = ListenerKind::Stream;
    bool tls = false;
    std::string player;   // PlayerFamilyName
    std::string address;  // whole: the store cuts it unless it keeps whole addresses
};

// One minute of the station: listeners at its end by kind, bytes sent during it, and what was
// on air.
struct MinuteSample {
    StatsTime minute = 0;  // its first second
    uint32_t stream = 0;
    uint32_t icy = 0;
    uint32_t hls = 0;
    uint32_t relay = 0;
    uint64_t bytesOut = 0;
    bool sourceOnAir = false;
    std::string feed;  // "live", "fallback file", "fallback stream", ""
};

struct TitleRecord {
    StatsTime start = 0;
    StatsTime end = 0;
    std::string title;
    uint32_t listenersAtStart = 0;
    uint32_t listenersAtEnd = 0;
    uint32_t peakListeners = 0;
};

struct SourceConnectionRecord {
    StatsTime start = 0;
    StatsTime end = 0;
    std::string address;  // sources are the station's own encoders: kept whole
    std::string userAgent;
    std::string format;
    int32_t bitrate = 0;
    std::string endReason;
};

// One step of the file's shape, from the version before it to its own (its place in the list,
// counting from 1). Each runs in a transaction of its own together with the new version number.
struct StatsSchemaStep {
    const char* sql;
};
// The store's own steps, oldest first.
std::span<const StatsSchemaStep> StatsSchema();

class StatsStore {
public:
    static constexpr const char* kFileName = "stats.sqlite";
    static constexpr int kDefaultKeepDays = 400;
    static constexpr size_t kDefaultQueueLimit = 20000;

    struct Options {
        std::string folder;
        // Rows that ended more than this many days ago are deleted (at open, then daily);
        // zero or less: kDefaultKeepDays. Never rows of the current day.
        int keepDays = kDefaultKeepDays;
        // Listener addresses as they came; otherwise IPv4 cut to /24 and IPv6 to /48.
        bool fullAddresses = false;
        // The country code of a listener's whole address ("": unknown), asked on the writer
        // thread before the address is cut; none: sessions keep no country.
        std::function<std::string(const std::string& address)> countryOf;
        // Records waiting for the writer at most; more are dropped and counted.
        size_t queueLimit = kDefaultQueueLimit;
        // How often a paused store tries the disk again.
        std::chrono::milliseconds retryInterval{std::chrono::seconds(30)};
        // One line per event worth the operator's eye; called from the writer thread.
        std::function<void(const std::string&)> log;
        // The file's shape; empty: StatsSchema().
        std::span<const StatsSchemaStep> schema;
    };

    // Starts the writer, which opens (or creates) the file; nothing here waits for the disk.
    explicit StatsStore(Options options);
    // Close().
    ~StatsStore();
    StatsStore(const StatsStore&) = delete;
    StatsStore& operator=(const StatsStore&) = delete;

    // Queue a record: never waits for the disk, never throws. Safe from any thread.
    void Record(ListenerSessionRecord record) noexcept;
    void Record(TitleRecord record) noexcept;
    void Record(SourceConnectionRecord record) noexcept;
    // One minute of the station, from the engine's minute timer: a sample of a minute already
    // kept replaces it.
    void RecordSample(MinuteSample sample) noexcept;

    // Writes what is queued and ends the writer. A store paused by the disk gives up on what
    // it holds (the count goes to the log).
    void Close();

    // Records dropped since the start: the queue was full, or the store closed paused.
    uint64_t Dropped() const;
    // The file's whole path.
    std::string FilePath() const;
    static std::string FilePathIn(const std::string& folder);

    // The address as the store keeps it: IPv4 (also when mapped into IPv6) with the last byte
    // 0 (/24), IPv6 with all but the first 48 bits 0; anything else unchanged.
    static std::string TruncatedAddress(const std::string& address);

private:
    using Item =
        std::variant<ListenerSessionRecord, MinuteSample, TitleRecord, SourceConnectionRecord>;
    void Queue(Item item) noexcept;
    void Run();
    // Opens the file (moving a damaged one aside), brings its shape up to date and deletes
    // what is past keeping. False: paused, or the file is of a later version.
    bool Open();
    void CloseDatabase();
    // One transaction with every item; an SQLite result code other than SQLITE_OK on failure.
    int Write(const std::vector<Item>& items);
    int Migrate();
    int Prune();
    // What a failure of SQLite with `code` means for the store: the file moved aside and a
    // new one started, or a pause.
    void Failed(int code, const std::string& what);
    void Log(const std::string& line) const;
    // How a pause's log line says when the store tries again.
    std::string RetryText() const;

    Options m_options;
    std::string m_path;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<Item> m_queue;
    bool m_closing = false;
    uint64_t m_dropped = 0;

    // Writer thread only.
    sqlite3* m_db = nullptr;
    bool m_paused = false;
    bool m_tooNew = false;
    std::chrono::steady_clock::time_point m_retryAt;
    StatsTime m_nextPrune = 0;
    uint64_t m_droppedLogged = 0;
    std::chrono::steady_clock::time_point m_dropLoggedAt{};
    std::vector<Item> m_pending;  // taken from the queue, not yet committed

    std::thread m_writer;
};

}  // namespace orvanta::engine
