#include "support/monitor.h"

#include "support/exception.h"

#include <cerrno>
#include <fcntl.h>
#include <string>

namespace orvanta {

namespace {
// POSIX names hold one leading slash and no other.
std::string SemaphoreName(const char* name) {
    std::string result = "/";
    for (const char* p = name; *p != '\0'; ++p) {
        result += (*p == '/' || *p == '\\') ? '_' : *p;
    }
    return result;
}
}  // namespace

LMonitor::LMonitor(const char* name) {
    if (name == nullptr) {
        return;
    }
    const std::string semName = SemaphoreName(name);
    m_named = ::sem_open(semName.c_str(), O_CREAT | O_EXCL, 0600, 1);
    if (m_named == SEM_FAILED && errno == EEXIST) {
        m_named = ::sem_open(semName.c_str(), 0);
        if (m_named == SEM_FAILED) {
            m_named = nullptr;
            throw LException(" LMonitor - Mutex open failed.");
        }
    } else if (m_named == SEM_FAILED) {
        m_named = nullptr;
        throw LException(" LMonitor - Mutex creation failed.");
    }
}

LMonitor::~LMonitor() {
    if (m_named != nullptr) {
        ::sem_close(m_named);
    }
}

void LMonitor::Lock() {
    if (m_named == nullptr) {
        m_local.lock();
        return;
    }
    while (::sem_wait(m_named) != 0 && errno == EINTR) {
    }
}

void LMonitor::Unlock() {
    if (m_named == nullptr) {
        m_local.unlock();
        return;
    }
    ::sem_post(m_named);
}

}  // namespace orvanta
