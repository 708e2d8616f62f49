// The threads the console's reports and exports run on, so a query over months of statistics
// never holds up the event loop. Each thread keeps a reader of the statistics file of its own
// (a SQLite connection serves one thread at a time); jobs wait in a short queue.
#pragma once

#include "stats/stats_reader.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orvanta::engine {

class ReportRunner {
public:
    using Job = std::function<void(StatsReader&)>;

    // `threads` threads reading the file at `path` (opened at their first job).
    ReportRunner(std::string path, size_t threads);
    // Ends the threads after the jobs under way; jobs still waiting are dropped.
    ~ReportRunner();
    ReportRunner(const ReportRunner&) = delete;
    ReportRunner& operator=(const ReportRunner&) = delete;

    // Queues `job` for the next free thread. Never waits; the caller bounds the queue.
    void Post(Job job);

private:
    void Run();

    std::string m_path;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

}  // namespace orvanta::engine
