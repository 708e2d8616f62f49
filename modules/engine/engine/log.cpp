#include "engine/log.h"

#include "base/file_io.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <deque>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <limits>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace orvanta::engine {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr size_t kTimestampBytes = 20;  // "2026-12-05 21:07:40 "
// With kMaxLogLineBytes this keeps a full queue of long lines from taking much memory.
constexpr size_t kMaxQueuedBytes = 8 * 1024 * 1024;
// One write call per this many bytes: few system calls, yet a stalled file holds little.
constexpr size_t kWriteChunkBytes = 64 * 1024;
// How often an idle writer looks for a moved or deleted file.
constexpr auto kCheckInterval = 1s;
// Files written remembered for FilesWritten; an operator switches files a handful of times.
constexpr size_t kMaxFilesRemembered = 1024;
// How often opening a file that could not be opened is tried again, while lines come.
constexpr auto kRetryInterval = 1s;
// How long Close lets the writer write what is queued, and then waits for it to notice.
constexpr auto kFlushTimeout = 1s;
constexpr auto kLeaveGrace = 100ms;
constexpr int64_t kNoDeadline = std::numeric_limits<int64_t>::max();

int64_t Ticks(Clock::time_point time) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
}

// Appends `text` with control characters (and DEL) as spaces, at most `maxBytes` of it, never
// cutting a UTF-8 sequence in two.
void AppendSafe(std::string& out, std::string_view text, size_t maxBytes) {
    if (text.size() > maxBytes) {
        size_t cut = maxBytes;
        // Back up over continuation bytes; at most three for valid UTF-8.
        for (int i = 0; i < 3 && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80;
             ++i) {
            --cut;
        }
        text = text.substr(0, cut);
    }
    const size_t start = out.size();
    out.append(text);
    for (size_t i = start; i < out.size(); ++i) {
        const auto byte = static_cast<unsigned char>(out[i]);
        if (byte < 0x20 || byte == 0x7F) {
            out[i] = ' ';
        }
    }
}

// The local time as "2026-12-05 21:07:40 ". Not cached in thread-local storage: the module is
// unloaded while the console's threads live on, and its thread-local blocks would outlive it.
void AppendTimestamp(std::string& out) {
    char text[kTimestampBytes + 1] = {};
    const time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr ||
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S ", &local) != kTimestampBytes) {
        std::memcpy(text, "0000-00-00 00:00:00 ", sizeof text);
    }
    out.append(text, kTimestampBytes);
}

// The file lines go to, used by the writer thread only.
class LogFile {
public:
    // `opened` hears of every file opened (its device and inode), on the writer thread.
    explicit LogFile(std::function<void(uint64_t, uint64_t)> opened)
        : m_opened(std::move(opened)) {}
    ~LogFile() { CloseFile(); }
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    const std::string& Path() const { return m_path; }
    bool IsOpen() const { return m_fd >= 0; }

    // Another path ("" for none); opened by the next Ready.
    void SetPath(std::string path) {
        CloseFile();
        m_path = std::move(path);
        m_nextAttempt = {};
    }

    // True when the file at the path is open: still the one opened before, or opened now. A
    // file that was moved away or deleted (log rotation) is let go and the path opened afresh.
    bool Ready(Clock::time_point now) {
        if (m_fd >= 0) {
            if (!MovedAway()) {
                return true;
            }
            CloseFile();
            m_nextAttempt = {};
        }
        if (m_path.empty() || now < m_nextAttempt) {
            return false;
        }
        m_nextAttempt = now + kRetryInterval;
        return TryOpen();
    }

    // Writes `bytes`; returns how many reached the file (all of them unless it failed, and then
    // the file is closed and opened again later).
    size_t Append(std::string_view bytes) {
        size_t written = 0;
        if (m_midLine) {
            // A failed write left half a line: end it, so the next line stands on its own.
            if (!WriteAll(m_fd, "\n", &written)) {
                Fail();
                return 0;
            }
            m_midLine = false;
        }
        if (!WriteAll(m_fd, bytes, &written)) {
            m_midLine = written > 0 && bytes[written - 1] != '\n';
            Fail();
        }
        return written;
    }

    void CloseFile() {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }

private:
    bool TryOpen() {
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(m_path).parent_path(), ignored);
        // Non-blocking only while opening: a named pipe without a reader must not hang us here.
        // 0640: the lines hold listeners' addresses.
        const int fd =
            ::open(m_path.c_str(),
                   O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0640);
        if (fd < 0) {
            return false;
        }
        struct stat info {};
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ||
            ::fstat(fd, &info) != 0) {
            ::close(fd);
            return false;
        }
        if (info.st_dev != m_device || info.st_ino != m_inode) {
            m_midLine = false;  // the half line is in another file
        }
        m_fd = fd;
        m_device = info.st_dev;
        m_inode = info.st_ino;
        m_opened(static_cast<uint64_t>(m_device), static_cast<uint64_t>(m_inode));
        return true;
    }

    // The path is gone or names another file than the open one.
    bool MovedAway() const {
        struct stat info {};
        if (::stat(m_path.c_str(), &info) != 0) {
            // Other errors (a hiccup of a network file system) keep the open file.
            return errno == ENOENT || errno == ENOTDIR;
        }
        return info.st_dev != m_device || info.st_ino != m_inode;
    }

    void Fail() {
        CloseFile();
        m_nextAttempt = Clock::now() + kRetryInterval;
    }

    std::function<void(uint64_t, uint64_t)> m_opened;
    std::string m_path;
    int m_fd = -1;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    bool m_midLine = false;
    Clock::time_point m_nextAttempt{};
};

}  // namespace

struct EventLog::Shared {
    struct Entry {
        std::string line;            // timestamped, with its "\n"; the new path for a switch
        uint64_t droppedBefore = 0;  // lines dropped just before this one, told first
        bool isSwitch = false;       // from Open: later lines go to another file ("" for none)
    };

    explicit Shared(size_t maxLines) : maxQueuedLines(maxLines) {}

    const size_t maxQueuedLines;
    std::mutex mutex;
    std::condition_variable wake;      // the writer: lines, a switch, Close
    std::condition_variable finished;  // Close: the writer is done
    std::deque<Entry> queue;
    size_t queuedBytes = 0;
    std::string target;  // the path of the last switch queued; "" when off
    bool stopping = false;
    bool writerDone = true;
    // Read without the lock as well.
    std::atomic<bool> on{false};
    std::atomic<size_t> queuedLines{0};
    std::atomic<uint64_t> generation{0};  // the writer in charge; an older one has been left
    std::atomic<int64_t> stopDeadline{kNoDeadline};  // Close: after it, lines are dropped
    std::atomic<uint64_t> dropped{0};
    std::atomic<uint64_t> untold{0};  // dropped and not yet told in the file
    // Every file written since construction, by device and inode (under the mutex).
    std::vector<std::pair<uint64_t, uint64_t>> filesWritten;
    // The last lines written, without line ends (under the mutex): a ring of kRecentLogLines
    // whose oldest line is at `recentNext` once it is full.
    std::vector<std::string> recent;
    size_t recentNext = 0;
};

// The writer thread: takes everything queued at once, writes it in large chunks, and keeps
// track of the lines it could not write so that the file tells about them.
class EventLog::Writer {
public:
    Writer(std::shared_ptr<Shared> shared, uint64_t generation)
        : m_shared(std::move(shared)),
          m_generation(generation),
          m_file([shared = m_shared](uint64_t device, uint64_t inode) {
              const std::pair<uint64_t, uint64_t> file{device, inode};
              std::lock_guard lock(shared->mutex);
              auto& files = shared->filesWritten;
              if (std::find(files.begin(), files.end(), file) == files.end() &&
                  files.size() < kMaxFilesRemembered) {
                  files.push_back(file);
              }
          }) {}

    void Run() {
        // A log file that is a pipe whose reader went away must not end the server.
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);

        Shared& s = *m_shared;
        std::deque<Shared::Entry> batch;
        auto nextCheck = Clock::now() + kCheckInterval;
        for (;;) {
            bool stopping = false;
            {
                std::unique_lock lock(s.mutex);
                while (s.queue.empty() && !s.stopping && !Stale()) {
                    if (m_file.Path().empty()) {
                        s.wake.wait(lock);
                    } else if (s.wake.wait_until(lock, nextCheck) == std::cv_status::timeout) {
                        break;
                    }
                }
                if (Stale()) {
                    break;
                }
                batch.swap(s.queue);
                s.queuedLines = 0;
                s.queuedBytes = 0;
                stopping = s.stopping;
            }
            Process(batch);
            batch.clear();
            const auto now = Clock::now();
            if (now >= nextCheck) {
                // Lets go of a rotated file even when no lines come.
                if (m_file.IsOpen()) {
                    m_file.Ready(now);
                }
                nextCheck = now + kCheckInterval;
            }
            if (stopping || Stale()) {
                break;
            }
        }
        Finish();
    }

private:
    bool Stale() const { return m_shared->generation.load() != m_generation; }

    void Process(std::deque<Shared::Entry>& batch) {
        size_t next = 0;
        try {
            while (next < batch.size()) {
                if (Stale() || Ticks(Clock::now()) > m_shared->stopDeadline.load()) {
                    break;
                }
                Shared::Entry& entry = batch[next];
                if (entry.isSwitch) {
                    Flush();
                    m_file.SetPath(std::move(entry.line));
                    // At once, so that the file (and its folder) exist when logging starts.
                    m_file.Ready(Clock::now());
                } else {
                    Add(entry);
                }
                ++next;
                if (m_pending.size() >= kWriteChunkBytes) {
                    Flush();
                }
            }
            Flush();
        } catch (const std::exception&) {
            // Out of memory: what was not written is lost, and told later.
            Discard(0);
        }
        Lose(static_cast<uint64_t>(
            std::count_if(batch.begin() + static_cast<std::ptrdiff_t>(next), batch.end(),
                          [](const Shared::Entry& entry) { return !entry.isSwitch; })));
    }

    void Add(const Shared::Entry& entry) {
        const uint64_t told = m_untold + entry.droppedBefore;
        if (told > 0) {
            m_pending.append(entry.line, 0, kTimestampBytes);
            m_pending += "log: " + std::to_string(told) + " lines dropped\n";
            m_notices.emplace_back(m_pending.size(), told);
            m_untold = 0;
        }
        m_pending += entry.line;
    }

    void Flush() {
        if (m_pending.empty()) {
            return;
        }
        size_t written = 0;
        if (!Stale() && m_file.Ready(Clock::now())) {
            written = m_file.Append(m_pending);
        }
        Discard(written);
    }

    // Forgets the pending bytes, counting the lines from `from` on as lost (a notice among them
    // is to be told again).
    void Discard(size_t from) {
        if (from < m_pending.size()) {
            auto lost = static_cast<uint64_t>(std::count(
                m_pending.begin() + static_cast<std::ptrdiff_t>(from), m_pending.end(), '\n'));
            for (const auto& [end, told] : m_notices) {
                if (end > from) {
                    --lost;
                    m_untold += told;
                }
            }
            Lose(lost);
        }
        m_pending.clear();
        m_notices.clear();
    }

    void Lose(uint64_t lines) {
        m_untold += lines;
        m_shared->dropped += lines;
    }

    void Finish() {
        Shared& s = *m_shared;
        if (Stale()) {
            // Left behind by Close: the next writer or line tells.
            s.untold += m_untold;
            return;
        }
        // Drops no later line will tell: said last.
        const uint64_t told = m_untold + s.untold.exchange(0);
        if (told > 0) {
            bool said = false;
            try {
                std::string notice;
                AppendTimestamp(notice);
                notice += "log: " + std::to_string(told) + " lines dropped\n";
                said = m_file.Ready(Clock::now()) && m_file.Append(notice) == notice.size();
            } catch (const std::exception&) {
            }
            if (!said) {
                s.untold += told;
            }
        }
        m_file.CloseFile();
        std::lock_guard lock(s.mutex);
        if (!Stale()) {
            s.writerDone = true;
            s.finished.notify_all();
        }
    }

    std::shared_ptr<Shared> m_shared;
    const uint64_t m_generation;
    LogFile m_file;
    std::string m_pending;                               // lines on their way to the file
    std::vector<std::pair<size_t, uint64_t>> m_notices;  // in m_pending: end, lines it tells
    uint64_t m_untold = 0;                               // dropped here, not yet told
};

EventLog::EventLog(size_t maxQueuedLines)
    : m_shared(std::make_shared<Shared>(std::max<size_t>(maxQueuedLines, 1))) {
    // Reads the time zone now rather than on the event loop's first Write.
    tzset();
}

EventLog::~EventLog() {
    Close();
}

void EventLog::Open(const std::string& folder, const std::string& fileName) {
    std::lock_guard control(m_controlMutex);
    Shared& s = *m_shared;
    std::unique_lock lock(s.mutex, std::defer_lock);
    try {
        const std::string path = folder.empty() || fileName.empty()
                                     ? std::string()
                                     : (std::filesystem::path(folder) / fileName).string();
        lock.lock();
        if (path == s.target) {
            return;
        }
        s.queue.push_back(Shared::Entry{path, 0, true});
        s.target = path;
        s.on = !path.empty();
        if (!m_writer.joinable()) {
            s.writerDone = false;
            m_writer = std::thread([shared = m_shared, generation = s.generation.load()] {
                try {
                    Writer(shared, generation).Run();
                } catch (...) {
                    // Only the lock could throw here; Close then stops waiting after its timeout.
                }
            });
        }
        s.wake.notify_one();
    } catch (const std::exception&) {
        // No memory or no thread: stays off.
        if (!lock.owns_lock()) {
            lock.lock();
        }
        s.on = false;
        s.target.clear();
        if (!m_writer.joinable()) {
            s.queue.clear();
            s.queuedLines = 0;
            s.queuedBytes = 0;
            s.writerDone = true;
        }
    }
}

void EventLog::Close() {
    std::lock_guard control(m_controlMutex);
    Shared& s = *m_shared;
    std::unique_lock lock(s.mutex);
    s.on = false;
    s.target.clear();
    if (!m_writer.joinable()) {
        return;
    }
    const auto deadline = Clock::now() + kFlushTimeout;
    s.stopDeadline = Ticks(deadline);
    s.stopping = true;
    s.wake.notify_one();
    const bool done =
        s.finished.wait_until(lock, deadline + kLeaveGrace, [&] { return s.writerDone; });
    if (!done) {
        // The writer is stuck in the file system (a hung network mount, a pipe nobody reads).
        // Waiting longer could stall whoever closes; it leaves once its call returns.
        ++s.generation;
        uint64_t lost = 0;
        for (const auto& entry : s.queue) {
            lost += entry.isSwitch ? 0 : 1;
        }
        s.dropped += lost;
        s.queue.clear();
        s.queuedLines = 0;
        s.queuedBytes = 0;
    }
    s.stopping = false;
    s.stopDeadline = kNoDeadline;
    s.writerDone = true;
    lock.unlock();
    if (done) {
        m_writer.join();
    } else {
        m_writer.detach();
    }
}

bool EventLog::IsOpen() const {
    return m_shared->on.load();
}

std::vector<std::pair<uint64_t, uint64_t>> EventLog::FilesWritten() const {
    std::lock_guard lock(m_shared->mutex);
    return m_shared->filesWritten;
}

std::vector<std::string> EventLog::RecentLines() const {
    std::lock_guard lock(m_shared->mutex);
    const std::vector<std::string>& ring = m_shared->recent;
    std::vector<std::string> lines;
    lines.reserve(ring.size());
    const size_t oldest = ring.size() < kRecentLogLines ? 0 : m_shared->recentNext;
    for (size_t i = 0; i < ring.size(); ++i) {
        lines.push_back(ring[(oldest + i) % ring.size()]);
    }
    return lines;
}

uint64_t EventLog::DroppedLines() const {
    return m_shared->dropped.load();
}

void EventLog::Write(std::string_view text) noexcept {
    Shared& s = *m_shared;
    if (!s.on.load(std::memory_order_relaxed)) {
        return;
    }
    auto drop = [&s] {
        ++s.dropped;
        ++s.untold;
    };
    // Full: drop before formatting, so that a flood costs little.
    if (s.queuedLines.load(std::memory_order_relaxed) >= s.maxQueuedLines) {
        drop();
        return;
    }
    try {
        std::string line;
        line.reserve(kTimestampBytes + std::min(text.size(), kMaxLogLineBytes) + 1);
        AppendTimestamp(line);
        AppendSafe(line, text, kMaxLogLineBytes);
        line += '\n';
        std::lock_guard lock(s.mutex);
        if (!s.on) {
            return;
        }
        // Kept before the queue's limits apply: what the file misses, the console still shows.
        std::string_view kept(line.data(), line.size() - 1);
        if (s.recent.size() < kRecentLogLines) {
            s.recent.emplace_back(kept);
        } else {
            s.recent[s.recentNext].assign(kept);
            s.recentNext = (s.recentNext + 1) % kRecentLogLines;
        }
        if (s.queuedLines >= s.maxQueuedLines || s.queuedBytes + line.size() > kMaxQueuedBytes) {
            drop();
            return;
        }
        const size_t bytes = line.size();
        const bool wasEmpty = s.queue.empty();
        s.queue.push_back(Shared::Entry{std::move(line), 0, false});
        s.queue.back().droppedBefore = s.untold.exchange(0);
        ++s.queuedLines;
        s.queuedBytes += bytes;
        // The writer waits only while the queue is empty.
        if (wasEmpty) {
            s.wake.notify_one();
        }
    } catch (...) {
        drop();
    }
}

std::string LogSafe(std::string_view text) {
    std::string safe;
    AppendSafe(safe, text, kMaxLogTextBytes);
    return safe;
}

}  // namespace orvanta::engine
