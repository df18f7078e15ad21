// A recursive lock between the threads of one process, with blocking and non-blocking acquisition.
// Every step is traced at level "flood" through the process-wide logger (Logger::processLogger()), so the
// traces show only when that logger and the process-wide level are both at 8.
#pragma once
#include "platform/ThreadLock.h"

#include <atomic>
#include <cstdint>

namespace VeltorCorelib {

class ThreadLock {
public:
    ThreadLock();
    // A lock still held by the destroying thread is released completely.
    virtual ~ThreadLock();
    ThreadLock(const ThreadLock&) = delete;
    ThreadLock& operator=(const ThreadLock&) = delete;

    // True when the calling thread holds the lock afterwards. A thread that already holds it only counts
    // one level more; non-blocking gives false at once when another thread holds it.
    bool lock(bool blocking = true);
    // Releases one level; false when the lock was never taken or another thread holds it.
    bool unlock();

    // Owner thread id (0 when free) and nesting count, for diagnostics and tests.
    std::uint32_t getOwner() const { return owner.load(); }
    std::uint32_t getCount() const { return count; }

private:
    std::atomic<bool> initialised{false};
    // Read by other threads to refuse early; written only by the thread holding the platform lock.
    std::atomic<std::uint32_t> owner{0};
    std::uint32_t count = 0;
    // Built with the object rather than on the first lock, so two threads taking a fresh lock at the same
    // moment cannot both set it up.
    VeltorPlatform::RecursiveThreadLock platformLock;
};

// Holds a ThreadLock (blocking) for the lifetime of a scope.
class ThreadLockGuard {
public:
    explicit ThreadLockGuard(ThreadLock& lock) : lock(lock) { lock.lock(true); }
    ~ThreadLockGuard() { lock.unlock(); }
    ThreadLockGuard(const ThreadLockGuard&) = delete;
    ThreadLockGuard& operator=(const ThreadLockGuard&) = delete;

private:
    ThreadLock& lock;
};

} // namespace VeltorCorelib
