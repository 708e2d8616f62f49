#include "stats/stats_store.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <pthread.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace orvanta::engine {

namespace {

// A crash (or kill -9) loses at most what came since the last commit.
constexpr auto kCommitInterval = std::chrono::seconds(1);
// The count of dropped records reaches the log at most this often.
constexpr auto kDropLogInterval = std::chrono::minutes(1);
// How long a write waits for another connection (a report reading) to let go of the file.
constexpr int kBusyTimeoutMs = 2000;
constexpr StatsTime kDay = 24 * 60 * 60;

const StatsSchemaStep kSchema[] = {
    // 1: the four tables and the indexes time-range reports read them by.
    {R"sql(
CREATE TABLE listener_sessions (
    id INTEGER PRIMARY KEY,
    started INTEGER NOT NULL,
    ended INTEGER NOT NULL,
    seconds INTEGER NOT NULL,
    bytes INTEGER NOT NULL,
    kind TEXT NOT NULL,
    tls INTEGER NOT NULL,
    player TEXT NOT NULL,
    address TEXT NOT NULL,
    country TEXT
);
CREATE INDEX listener_sessions_started ON listener_sessions (started);
CREATE INDEX listener_sessions_ended ON listener_sessions (ended);
CREATE TABLE minute_samples (
    minute INTEGER PRIMARY KEY,
    stream INTEGER NOT NULL,
    icy INTEGER NOT NULL,
    hls INTEGER NOT NULL,
    relay INTEGER NOT NULL,
    bytes_out INTEGER NOT NULL,
    source_on_air INTEGER NOT NULL,
    feed TEXT NOT NULL
);
CREATE TABLE titles (
    id INTEGER PRIMARY KEY,
    started INTEGER NOT NULL,
    ended INTEGER NOT NULL,
    title TEXT NOT NULL,
    listeners_at_start INTEGER NOT NULL,
    listeners_at_end INTEGER NOT NULL,
    peak_listeners INTEGER NOT NULL
);
CREATE INDEX titles_started ON titles (started);
CREATE INDEX titles_ended ON titles (ended);
CREATE TABLE source_connections (
    id INTEGER PRIMARY KEY,
    started INTEGER NOT NULL,
    ended INTEGER NOT NULL,
    address TEXT NOT NULL,
    user_agent TEXT NOT NULL,
    format TEXT NOT NULL,
    bitrate INTEGER NOT NULL,
    end_reason TEXT NOT NULL
);
CREATE INDEX source_connections_started ON source_connections (started);
CREATE INDEX source_connections_ended ON source_connections (ended);
)sql"},
};

// A statement prepared for one batch, finalized when it goes.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        m_rc = sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    int Prepared() const { return m_rc; }
    Statement& Bind(int64_t value) {
        sqlite3_bind_int64(m_statement, ++m_column, value);
        return *this;
    }
    Statement& Bind(const std::string& text) {
        sqlite3_bind_text(m_statement, ++m_column, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    // NULL for "", where a column has no value rather than an empty one.
    Statement& BindOrNull(const std::string& text) {
        if (text.empty()) {
            sqlite3_bind_null(m_statement, ++m_column);
            return *this;
        }
        return Bind(text);
    }
    // Runs it and makes it ready for the next row; SQLITE_OK or the failure.
    int Run() {
        const int rc = sqlite3_step(m_statement);
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
        m_column = 0;
        return rc == SQLITE_DONE ? SQLITE_OK : rc;
    }

private:
    sqlite3_stmt* m_statement = nullptr;
    int m_rc = SQLITE_OK;
    int m_column = 0;
};

int64_t Signed(uint64_t value) {
    return value > INT64_MAX ? INT64_MAX : static_cast<int64_t>(value);
}

int Exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

// Ends the transaction a failure left open. SQLite has already rolled back after some failures
// (a full disk at the commit): a ROLLBACK then would only replace the failure's message, which
// the log wants, with its own complaint.
void RollBack(sqlite3* db) {
    if (sqlite3_get_autocommit(db) == 0) {
        Exec(db, "ROLLBACK");
    }
}

bool Damaged(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

std::string UtcStamp(StatsTime now) {
    const time_t seconds = static_cast<time_t>(now);
    tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    return text;
}

}  // namespace

StatsTime StatsNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

const char* ListenerKindName(ListenerKind kind) {
    switch (kind) {
        case ListenerKind::Icy:
            return "icy";
        case ListenerKind::Hls:
            return "hls";
        case ListenerKind::Relay:
            return "relay";
        case ListenerKind::Stream:
            break;
    }
    return "stream";
}

std::span<const StatsSchemaStep> StatsSchema() {
    return kSchema;
}

std::string StatsStore::FilePathIn(const std::string& folder) {
    if (folder.empty() || folder.back() == '/') {
        return folder + kFileName;
    }
    return folder + "/" + kFileName;
}

std::string StatsStore::TruncatedAddress(const std::string& address) {
    unsigned char bytes[16];
    char text[INET6_ADDRSTRLEN];
    if (inet_pton(AF_INET, address.c_str(), bytes) == 1) {
        bytes[3] = 0;
        return inet_ntop(AF_INET, bytes, text, sizeof text) != nullptr ? text : "";
    }
    if (inet_pton(AF_INET6, address.c_str(), bytes) == 1) {
        // An IPv4 listener seen on an IPv6 socket (::ffff:a.b.c.d) is cut as the IPv4 it is.
        static constexpr unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
        if (std::memcmp(bytes, kMapped, sizeof kMapped) == 0) {
            bytes[15] = 0;
            return inet_ntop(AF_INET, bytes + 12, text, sizeof text) != nullptr ? text : "";
        }
        std::memset(bytes + 6, 0, 10);
        return inet_ntop(AF_INET6, bytes, text, sizeof text) != nullptr ? text : "";
    }
    return address;
}

StatsStore::StatsStore(Options options)
    : m_options(std::move(options)), m_path(FilePathIn(m_options.folder)) {
    if (m_options.keepDays <= 0) {
        m_options.keepDays = kDefaultKeepDays;
    }
    if (m_options.queueLimit == 0) {
        m_options.queueLimit = 1;
    }
    if (m_options.schema.empty()) {
        m_options.schema = StatsSchema();
    }
    m_writer = std::thread([this] { Run(); });
    // Named, so what the statistics cost shows apart from the event loop (top -H, /proc).
    pthread_setname_np(m_writer.native_handle(), "ovstats");
}

StatsStore::~StatsStore() {
    Close();
}

std::string StatsStore::FilePath() const {
    return m_path;
}

uint64_t StatsStore::Dropped() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dropped;
}

std::string StatsStore::RetryText() const {
    const auto ms = m_options.retryInterval.count();
    return " (streaming goes on; trying again every " +
           (ms % 1000 == 0 ? std::to_string(ms / 1000) + " s)" : std::to_string(ms) + " ms)");
}

void StatsStore::Log(const std::string& line) const {
    if (m_options.log) {
        m_options.log(line);
    }
}

void StatsStore::Record(ListenerSessionRecord record) noexcept {
    Queue(std::move(record));
}
void StatsStore::RecordSample(MinuteSample sample) noexcept {
    Queue(std::move(sample));
}
void StatsStore::Record(TitleRecord record) noexcept {
    Queue(std::move(record));
}
void StatsStore::Record(SourceConnectionRecord record) noexcept {
    Queue(std::move(record));
}

void StatsStore::Queue(Item item) noexcept {
    try {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closing || m_queue.size() >= m_options.queueLimit) {
            ++m_dropped;
            return;
        }
        m_queue.push_back(std::move(item));
        // The writer takes a full batch at once rather than at the next commit.
        if (m_queue.size() == m_options.queueLimit / 2 + 1) {
            m_wake.notify_one();
        }
    } catch (...) {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_dropped;
    }
}

void StatsStore::Close() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closing = true;
    }
    m_wake.notify_one();
    if (m_writer.joinable()) {
        m_writer.join();
    }
}

void StatsStore::Run() {
    m_paused = !Open();
    for (;;) {
        bool closing = false;
        uint64_t dropped = 0;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait_for(lock, kCommitInterval, [this] {
                return m_closing || m_queue.size() > m_options.queueLimit / 2;
            });
            closing = m_closing;
            // A paused store leaves the queue alone: it fills, and what comes then is dropped
            // and counted, which bounds what a long pause holds.
            if (!m_paused || m_tooNew) {
                if (m_pending.empty()) {
                    m_pending.swap(m_queue);
                } else {
                    m_pending.insert(m_pending.end(), std::make_move_iterator(m_queue.begin()),
                                     std::make_move_iterator(m_queue.end()));
                    m_queue.clear();
                }
            }
            dropped = m_dropped;
        }
        const auto now = std::chrono::steady_clock::now();
        if (m_tooNew) {
            m_pending.clear();
        } else if (m_paused && (now >= m_retryAt || closing)) {
            // A disk that is still full opens the file well enough and fails only at the
            // write: the store has resumed once what waited is in the file, and until then it
            // stays paused without another line.
            if (!Open()) {
                m_retryAt = now + m_options.retryInterval;
            } else if (const int rc = m_pending.empty() ? SQLITE_OK : Write(m_pending);
                       rc != SQLITE_OK) {
                Failed(rc, "writing");
            } else {
                m_pending.clear();
                m_paused = false;
                Log("Statistics resumed: writing " + m_path + " again");
            }
        }
        if (m_db != nullptr && !m_pending.empty()) {
            if (const int rc = Write(m_pending); rc == SQLITE_OK) {
                m_pending.clear();
            } else {
                Failed(rc, "writing");
                // A damaged file was replaced by a new one: what was held goes there.
                if (m_db != nullptr && Write(m_pending) == SQLITE_OK) {
                    m_pending.clear();
                }
            }
        }
        if (m_db != nullptr && StatsNow() >= m_nextPrune) {
            if (const int rc = Prune(); rc != SQLITE_OK) {
                Failed(rc, "deleting old rows");
            }
        }
        if (closing) {
            // A paused store never took its queue: that is given up too, and counted.
            std::lock_guard<std::mutex> lock(m_mutex);
            m_dropped += m_pending.size() + m_queue.size();
            dropped = m_dropped;
            m_pending.clear();
            m_queue.clear();
        }
        if (dropped > m_droppedLogged &&
            (closing || m_droppedLogged == 0 || now - m_dropLoggedAt >= kDropLogInterval)) {
            Log("Statistics: " + std::to_string(dropped - m_droppedLogged) +
                " record(s) dropped (the disk could not keep up or was not writable)");
            m_droppedLogged = dropped;
            m_dropLoggedAt = now;
        }
        if (closing) {
            break;
        }
    }
    CloseDatabase();
}

bool StatsStore::Open() {
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::error_code ec;
        std::filesystem::create_directories(m_options.folder, ec);
        // Created private before SQLite sees it: the file holds listeners' addresses. SQLite
        // gives its journal files the same mode.
        const int fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) {
            const std::string why = std::strerror(errno);
            if (!m_paused) {
                Log("Statistics paused: cannot open " + m_path + ": " + why + RetryText());
            }
            return false;
        }
        ::fchmod(fd, 0600);
        ::close(fd);
        int rc = sqlite3_open_v2(m_path.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
        if (rc == SQLITE_OK) {
            sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
            rc = Exec(m_db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
        }
        if (rc == SQLITE_OK) {
            rc = Migrate();
        }
        if (rc == SQLITE_OK && !m_tooNew) {
            rc = Prune();
        }
        if (rc == SQLITE_OK && m_tooNew) {
            CloseDatabase();
            return false;
        }
        if (rc == SQLITE_OK) {
            return true;
        }
        if (!Damaged(rc) || attempt > 0) {
            Failed(rc, "opening");
            return false;
        }
        Failed(rc, "opening");  // moved aside: the next turn starts a new file
    }
    return false;
}

void StatsStore::CloseDatabase() {
    if (m_db != nullptr) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

int StatsStore::Migrate() {
    int version = 0;
    sqlite3_stmt* query = nullptr;
    if (const int rc = sqlite3_prepare_v2(m_db, "PRAGMA user_version", -1, &query, nullptr);
        rc != SQLITE_OK) {
        return rc;
    }
    const int step = sqlite3_step(query);
    if (step == SQLITE_ROW) {
        version = sqlite3_column_int(query, 0);
    }
    sqlite3_finalize(query);
    if (step != SQLITE_ROW) {
        return step;
    }
    const int latest = static_cast<int>(m_options.schema.size());
    if (version > latest) {
        m_tooNew = true;
        Log("Statistics off: " + m_path + " was written by a later version (schema " +
            std::to_string(version) + ", this one knows " + std::to_string(latest) +
            "); it is left as it is");
        return SQLITE_OK;
    }
    for (int next = version + 1; next <= latest; ++next) {
        int rc = Exec(m_db, "BEGIN IMMEDIATE");
        if (rc == SQLITE_OK) {
            rc = Exec(m_db, m_options.schema[static_cast<size_t>(next - 1)].sql);
        }
        if (rc == SQLITE_OK) {
            rc = Exec(m_db, ("PRAGMA user_version=" + std::to_string(next)).c_str());
        }
        if (rc == SQLITE_OK) {
            rc = Exec(m_db, "COMMIT");
        }
        if (rc != SQLITE_OK) {
            const std::string why = sqlite3_errmsg(m_db);
            RollBack(m_db);
            // Said once: a paused store tries again later, and the step fails the same way.
            if (!Damaged(rc) && !m_paused) {
                Log("Statistics: bringing " + m_path + " to schema " + std::to_string(next) +
                    " failed: " + why);
            }
            return rc;
        }
    }
    return SQLITE_OK;
}

int StatsStore::Prune() {
    const StatsTime now = StatsNow();
    // Never a row of today (UTC), whatever the setting says.
    const StatsTime cutoff = std::min(now - m_options.keepDays * kDay, now - now % kDay);
    int rc = Exec(m_db, "BEGIN IMMEDIATE");
    for (const char* sql :
         {"DELETE FROM listener_sessions WHERE ended < ?",
          "DELETE FROM minute_samples WHERE minute < ?", "DELETE FROM titles WHERE ended < ?",
          "DELETE FROM source_connections WHERE ended < ?"}) {
        if (rc != SQLITE_OK) {
            break;
        }
        Statement erase(m_db, sql);
        rc = erase.Prepared() == SQLITE_OK ? erase.Bind(cutoff).Run() : erase.Prepared();
    }
    if (rc == SQLITE_OK) {
        rc = Exec(m_db, "COMMIT");
    }
    if (rc != SQLITE_OK) {
        RollBack(m_db);
        return rc;
    }
    m_nextPrune = now + kDay;
    return SQLITE_OK;
}

int StatsStore::Write(const std::vector<Item>& items) {
    int rc = Exec(m_db, "BEGIN IMMEDIATE");
    if (rc != SQLITE_OK) {
        return rc;
    }
    Statement session(m_db,
                      "INSERT INTO listener_sessions (started, ended, seconds, bytes, kind, tls, "
                      "player, address, country) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    Statement sample(m_db,
                     "INSERT OR REPLACE INTO minute_samples (minute, stream, icy, hls, relay, "
                     "bytes_out, source_on_air, feed) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    Statement title(m_db,
                    "INSERT INTO titles (started, ended, title, listeners_at_start, "
                    "listeners_at_end, peak_listeners) VALUES (?, ?, ?, ?, ?, ?)");
    Statement source(m_db,
                     "INSERT INTO source_connections (started, ended, address, user_agent, "
                     "format, bitrate, end_reason) VALUES (?, ?, ?, ?, ?, ?, ?)");
    for (const Statement* s : {&session, &sample, &title, &source}) {
        if (rc == SQLITE_OK) {
            rc = s->Prepared();
        }
    }
    for (size_t i = 0; rc == SQLITE_OK && i < items.size(); ++i) {
        const Item& item = items[i];
        if (const auto* l = std::get_if<ListenerSessionRecord>(&item)) {
            rc = session.Bind(l->start)
                     .Bind(l->end)
                     .Bind(std::max<StatsTime>(0, l->end - l->start))
                     .Bind(Signed(l->bytes))
                     .Bind(std::string(ListenerKindName(l->kind)))
                     .Bind(l->tls ? 1 : 0)
                     .Bind(l->player)
                     .Bind(m_options.fullAddresses ? l->address : TruncatedAddress(l->address))
                     .BindOrNull(m_options.countryOf ? m_options.countryOf(l->address) : "")
                     .Run();
        } else if (const auto* m = std::get_if<MinuteSample>(&item)) {
            rc = sample.Bind(m->minute)
                     .Bind(m->stream)
                     .Bind(m->icy)
                     .Bind(m->hls)
                     .Bind(m->relay)
                     .Bind(Signed(m->bytesOut))
                     .Bind(m->sourceOnAir ? 1 : 0)
                     .Bind(m->feed)
                     .Run();
        } else if (const auto* t = std::get_if<TitleRecord>(&item)) {
            rc = title.Bind(t->start)
                     .Bind(t->end)
                     .Bind(t->title)
                     .Bind(t->listenersAtStart)
                     .Bind(t->listenersAtEnd)
                     .Bind(t->peakListeners)
                     .Run();
        } else if (const auto* s = std::get_if<SourceConnectionRecord>(&item)) {
            rc = source.Bind(s->start)
                     .Bind(s->end)
                     .Bind(s->address)
                     .Bind(s->userAgent)
                     .Bind(s->format)
                     .Bind(s->bitrate)
                     .Bind(s->endReason)
                     .Run();
        }
    }
    if (rc == SQLITE_OK) {
        rc = Exec(m_db, "COMMIT");
    }
    if (rc != SQLITE_OK) {
        RollBack(m_db);
    }
    return rc;
}

void StatsStore::Failed(int code, const std::string& what) {
    const std::string why = m_db != nullptr ? sqlite3_errmsg(m_db) : sqlite3_errstr(code);
    CloseDatabase();
    if (Damaged(code)) {
        // Kept for a look (and whatever can be saved from it), out of the way of a new file.
        const std::string stamp = UtcStamp(StatsNow());
        std::string aside = m_path + ".corrupt-" + stamp;
        for (int n = 2; std::filesystem::exists(aside) && n < 100; ++n) {
            aside = m_path + ".corrupt-" + stamp + "-" + std::to_string(n);
        }
        std::error_code ec;
        std::filesystem::rename(m_path, aside, ec);
        std::filesystem::rename(m_path + "-wal", aside + "-wal", ec);
        std::filesystem::remove(m_path + "-shm", ec);
        Log("Statistics file " + m_path + " is damaged (" + why + ", " + what + "): moved to " +
            aside + "; a new one is started");
        if (what != "opening") {
            m_paused = !Open();
            m_retryAt = std::chrono::steady_clock::now() + m_options.retryInterval;
        }
        return;
    }
    if (!m_paused) {
        Log("Statistics paused: " + what + " " + m_path + " failed: " + why + RetryText());
    }
    m_paused = true;
    m_retryAt = std::chrono::steady_clock::now() + m_options.retryInterval;
}

}  // namespace orvanta::engine
