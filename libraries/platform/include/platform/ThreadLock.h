// A recursive lock between the threads of one process: a critical section on Windows, a recursive
// pthread mutex on POSIX. The object is built ready to use and torn down by its destructor; it needs no
// heap memory of its own.
#pragma once

namespace VeltorPlatform {

class RecursiveThreadLock {
public:
    RecursiveThreadLock();
    ~RecursiveThreadLock();
    RecursiveThreadLock(const RecursiveThreadLock&) = delete;
    RecursiveThreadLock& operator=(const RecursiveThreadLock&) = delete;

    // Waits as long as needed.
    void enter();
    // Takes the lock only when that needs no waiting; true when taken.
    bool tryEnter();
    // Releases one level; only the owning thread may call it.
    void leave();

private:
    // Room for CRITICAL_SECTION (24 bytes on 32-bit, 40 on 64-bit Windows) or pthread_mutex_t (40 bytes
    // on 64-bit Linux); each implementation checks the size at compile time.
    alignas(8) unsigned char storage[64];
};

} // namespace VeltorPlatform
