#pragma once
// A lock for the library's process-wide structures, which hosts reach from
// several threads at once: a critical section on Windows, a mutex elsewhere.
// Meant for static storage: the Windows one is set up while the DLL is
// attached, before any host can send a message; the mutex needs no set-up.
#include "platform/platform.h"

#ifndef _WIN32
#include <mutex>
#endif

namespace kmqx {

class ProcessLock {
  public:
#ifdef _WIN32
    ProcessLock() {
        InitializeCriticalSection(&section_);
    }
    ~ProcessLock() {
        DeleteCriticalSection(&section_);
    }
    void Lock() {
        EnterCriticalSection(&section_);
    }
    void Unlock() {
        LeaveCriticalSection(&section_);
    }
#else
    constexpr ProcessLock() = default;
    void Lock() {
        mutex_.lock();
    }
    void Unlock() {
        mutex_.unlock();
    }
#endif
    ProcessLock(const ProcessLock&) = delete;
    ProcessLock& operator=(const ProcessLock&) = delete;

  private:
#ifdef _WIN32
    CRITICAL_SECTION section_;
#else
    std::mutex mutex_;
#endif
};

// Holds a ProcessLock for the lifetime of the guard.
class ProcessLockGuard {
  public:
    explicit ProcessLockGuard(ProcessLock& lock) : lock_(lock) { lock_.Lock(); }
    ~ProcessLockGuard() { lock_.Unlock(); }
    ProcessLockGuard(const ProcessLockGuard&) = delete;
    ProcessLockGuard& operator=(const ProcessLockGuard&) = delete;

  private:
    ProcessLock& lock_;
};

}  // namespace kmqx
