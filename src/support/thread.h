// LThread: a worker thread whose body is the subclass's Run.
#pragma once

#include "support/monitor.h"

#include <atomic>
#include <thread>

namespace orvanta {

// A subclass's Run loops while IsRunning() is true and calls ClearRunning() as its last act,
// so a thread that ends by itself also reads as not running.
//
// A subclass must call Stop() in its own destructor: by the time ~LThread runs, the subclass
// part the thread executes is already gone.
class LThread : public LMonitor {
public:
    LThread();
    ~LThread() override;

    // Starts the thread and returns its handle. Throws LException (running false afterwards)
    // when the thread cannot be created. A thread that ended by itself and was not stopped is
    // joined first.
    virtual std::thread::native_handle_type Start();
    // Asks the thread to end and waits for it; nothing when there is no thread. Never call it
    // from the thread itself.
    virtual void Stop();
    virtual bool IsRunning() const { return m_running.load(std::memory_order_acquire); }

    // Run's result once the thread has ended.
    unsigned ExitCode() const { return m_exitCode.load(std::memory_order_acquire); }
    bool HasThread() const { return m_thread.joinable(); }

protected:
    // The thread's body; its result becomes the exit code. The base returns 0 at once.
    virtual unsigned Run();
    void ClearRunning() { m_running.store(false, std::memory_order_release); }

private:
    std::atomic<bool> m_running{false};
    std::atomic<unsigned> m_exitCode{0};
    std::thread m_thread;
};

}  // namespace orvanta
