// The engine's event log: one timestamped line per event (start and stop, sources and listeners
// coming and going, title changes, refusals) in a file the operator chose. The event loop must
// never wait for the disk, so Write only formats the line and queues it; a writer thread owned
// by the log does every file operation. When the writer cannot keep up or the file cannot be
// written, lines are dropped and counted, and the file later says how many.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace orvanta::engine {

// Longest untrusted text LogSafe keeps, and longest line Write keeps (a line holds several such
// texts plus the event's own words).
inline constexpr size_t kMaxLogTextBytes = 1024;
inline constexpr size_t kMaxLogLineBytes = 4096;
// Lines the log keeps in memory for the web console, whether or not the file takes them.
inline constexpr size_t kRecentLogLines = 500;

// Write, IsOpen and DroppedLines are safe from any thread. Open and Close may be called from any
// thread as well; they are serialized among themselves.
class EventLog {
public:
    static constexpr size_t kDefaultMaxQueuedLines = 10000;

    // Off: nothing is written and no file is created until Open. `maxQueuedLines` bounds the
    // lines waiting for the writer (the queued bytes are bounded as well).
    explicit EventLog(size_t maxQueuedLines = kDefaultMaxQueuedLines);
    // Close().
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    // Lines written from now on go to folder/fileName; the folder is created when missing. The
    // same values again change nothing; other values switch files after the lines already
    // queued. An empty folder or name turns logging off. Never waits for the disk (the writer
    // opens the file), so it may be called on the event loop: a file that cannot be opened
    // costs the lines written meanwhile, and opening is retried every second while lines come.
    void Open(const std::string& folder, const std::string& fileName);
    // Off, like Open("", ""), and the writer thread ends: waits until what was queued is
    // written, giving up (and counting the rest as dropped) after about a second. A writer stuck
    // in the file system is left behind and ends on its own when its call returns.
    void Close();
    // Logging is on (whether or not the file could be opened yet).
    bool IsOpen() const;

    // Queues "2026-12-05 21:07:40 " (local time, taken now), the text with control characters
    // as spaces (one event, one line) cut to kMaxLogLineBytes, and "\n". Nothing when off. Never
    // waits for the disk nor throws; a line that does not fit in the queue is dropped.
    void Write(std::string_view text) noexcept;
    // Lines dropped since construction: queue full, out of memory, file not writable, or still
    // queued when Close gave up.
    uint64_t DroppedLines() const;
    // Every file lines went to since construction, as (device, inode): what the engine wrote
    // stays private even once renamed or no longer the log file.
    std::vector<std::pair<uint64_t, uint64_t>> FilesWritten() const;
    // The last kRecentLogLines lines written while logging was on, oldest first, as the file
    // has them but without their line ends. Kept in memory since construction, across Open
    // and Close, and whether or not the file could be written.
    std::vector<std::string> RecentLines() const;

private:
    struct Shared;
    class Writer;

    // Shared with the writer thread, which may outlive this object when left behind by Close.
    std::shared_ptr<Shared> m_shared;
    std::mutex m_controlMutex;  // Open and Close; guards m_writer
    std::thread m_writer;
};

// Untrusted text (user agents, titles) made safe for one log line: control characters become
// spaces, and the text is cut to kMaxLogTextBytes without splitting a UTF-8 sequence. No text gets
// treatment of its own: callers never pass secrets (passwords, Authorization headers) here.
std::string LogSafe(std::string_view text);

}  // namespace orvanta::engine
