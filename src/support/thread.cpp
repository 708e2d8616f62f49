#include "support/thread.h"

#include "support/exception.h"

#include <system_error>

namespace orvanta {

LThread::LThread() : LMonitor(nullptr) {}

LThread::~LThread() {
    Stop();
}

std::thread::native_handle_type LThread::Start() {
    if (m_thread.joinable()) {
        Stop();
    }
    m_running.store(true, std::memory_order_release);
    try {
        m_thread = std::thread([this] { m_exitCode.store(Run(), std::memory_order_release); });
    } catch (const std::system_error&) {
        m_running.store(false, std::memory_order_release);
        throw LException("LThread - fail to create Thread Proc");
    }
    return m_thread.native_handle();
}

void LThread::Stop() {
    if (!m_thread.joinable()) {
        return;
    }
    m_running.store(false, std::memory_order_release);
    m_thread.join();
}

unsigned LThread::Run() {
    return 0;
}

}  // namespace orvanta
