#include "engine/report_runner.h"

#include <utility>

namespace orvanta::engine {

ReportRunner::ReportRunner(std::string path, size_t threads) : m_path(std::move(path)) {
    for (size_t i = 0; i < threads; ++i) {
        m_threads.emplace_back([this] { Run(); });
    }
}

ReportRunner::~ReportRunner() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        m_jobs.clear();
    }
    m_wake.notify_all();
    for (std::thread& thread : m_threads) {
        thread.join();
    }
}

void ReportRunner::Post(Job job) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void ReportRunner::Run() {
    StatsReader reader(m_path);
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            if (m_stopping) {
                return;
            }
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job(reader);
    }
}

}  // namespace orvanta::engine
