// LMonitor: the owner of a mutex, the base of LThread.
#pragma once

#include <mutex>
#include <semaphore.h>

namespace orvanta {

class LMonitor {
public:
    // An unnamed mutex with no name (null); with a name, one shared by every process that
    // opens the same name. Throws LException when the named one cannot be created or opened.
    explicit LMonitor(const char* name = nullptr);
    virtual ~LMonitor();
    LMonitor(const LMonitor&) = delete;
    LMonitor& operator=(const LMonitor&) = delete;

    void Lock();
    void Unlock();

private:
    std::mutex m_local;
    sem_t* m_named = nullptr;
};

}  // namespace orvanta
