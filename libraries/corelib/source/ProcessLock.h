// A lock between the processes of one machine, identified by a name. It is held exactly while this
// object keeps the named machine-wide mutex object it created ("Global\" + the name with '/', ':' and
// '\' turned into '_'); other processes, and other ProcessLock objects of this process with the same
// name, see it busy meanwhile. One object nests: locking it again from the process that holds it only
// counts, and the lock goes when the count returns to 0.
//
// Meant for one thread per object. Contention is reported by the results, never thrown.
//
// The application frame holds one as a member; its destructor releases it only when held:
//     if (processLock.lockCount() > 0) processLock.unlock();
// and a user that cannot go on without it throws LockFailed:
//     if (!lock.lock(10000)) throw ProcessLock::LockFailed();
#pragma once
#include "Exception.h"

#include "platform/NamedMutex.h"

#include <cstdint>
#include <string>

namespace VeltorCorelib {

class ProcessLock {
public:
    // Thrown by lock() when the name is empty: no message, no parameters, no source record.
    VELTOR_ERROR_TYPE(HaveNoName);
    // Thrown by the users of a lock when lock() returned false.
    VELTOR_ERROR_TYPE(LockFailed);

    ProcessLock();
    explicit ProcessLock(const std::string& name);
    // A held lock is released completely, whatever its count.
    virtual ~ProcessLock();
    ProcessLock(const ProcessLock&) = delete;
    ProcessLock& operator=(const ProcessLock&) = delete;

    // Waits at most timeoutMs milliseconds (timeout / 10 + 1 attempts, 10 ms apart); 0 waits without
    // limit, until acquired or until the system reports an error other than "busy". True when held.
    // Throws HaveNoName for an empty name.
    bool lock(std::uint64_t timeoutMs);
    // False when never locked or not held by this process; otherwise counts down and releases at 0.
    bool unlock();

    const std::string& getName() const { return name; }
    // "Global\" + the name with '/', ':' and '\' replaced by '_' (the name of the mutex object).
    static std::string prepareName(const std::string& name);
    // The nesting count: above 0 while held.
    std::uint32_t lockCount() const { return count; }
    // The attempts to create the mutex object made by the last lock() (0 when it only counted).
    std::uint64_t lastAttempts() const { return attempts; }
    // Why the last attempt of the last lock() did not acquire: 183 while another holds the object; any
    // other number when the system refused or failed (a lock file that is a link or someone else's, a
    // lock directory others may write), with the platform's explanation in lastErrorDetail(). 0 after
    // an acquisition.
    std::uint32_t lastError() const { return error; }
    const std::string& lastErrorDetail() const { return errorDetail; }

private:
    enum class Attempt { Acquired, Busy, Error };
    void prepare();
    Attempt tryOnce();
    bool heldByThisProcess() const;

    std::string name;
    bool namePrepared = false;
    std::uint32_t ownerProcess = 0;
    std::uint32_t count = 0;
    VeltorPlatform::NamedMutex mutex;
    std::uint64_t attempts = 0;
    std::uint32_t error = 0;
    std::string errorDetail;
};

} // namespace VeltorCorelib
