#include "ProcessLock.h"

#include "platform/Process.h"

namespace VeltorCorelib {

namespace {
const unsigned kRetryMs = 10;
}

ProcessLock::ProcessLock() = default;

ProcessLock::ProcessLock(const std::string& name) : name(name) {}

ProcessLock::~ProcessLock() {
    if (count > 1)
        count = 1;
    if (count != 0)
        unlock();
}

std::string ProcessLock::prepareName(const std::string& name) {
    std::string prepared = "Global\\";
    prepared.reserve(prepared.size() + name.size());
    for (char c : name)
        prepared += (c == '/' || c == ':' || c == '\\') ? '_' : c;
    return prepared;
}

void ProcessLock::prepare() {
    if (namePrepared)
        return;
    if (name.empty())
        throw HaveNoName();
    name = prepareName(name);
    namePrepared = true;
}

bool ProcessLock::heldByThisProcess() const {
    return count > 0 && ownerProcess == VeltorPlatform::currentProcessId();
}

ProcessLock::Attempt ProcessLock::tryOnce() {
    ++attempts;
    errorDetail.clear();
    switch (mutex.tryCreate(name, error)) {
    case VeltorPlatform::MutexAttempt::Acquired:
        ++count;
        ownerProcess = VeltorPlatform::currentProcessId();
        return Attempt::Acquired;
    case VeltorPlatform::MutexAttempt::Busy:
        return Attempt::Busy;
    default:
        errorDetail = VeltorPlatform::namedMutexErrorDetail();
        return Attempt::Error;
    }
}

bool ProcessLock::lock(std::uint64_t timeoutMs) {
    attempts = 0;
    error = 0;
    errorDetail.clear();
    if (timeoutMs != 0) {
        const std::uint64_t tries = timeoutMs / kRetryMs + 1;
        for (std::uint64_t i = 0; i < tries; ++i) {
            prepare();
            if (heldByThisProcess()) {
                ++count;
                return true;
            }
            if (tryOnce() == Attempt::Acquired)
                return true;
            // Busy or failing alike: the object may come free, or the failure pass, before the time is up.
            VeltorPlatform::sleepMs(kRetryMs);
        }
        return false;
    }
    prepare();
    if (heldByThisProcess()) {
        ++count;
        return true;
    }
    for (;;) {
        switch (tryOnce()) {
        case Attempt::Acquired:
            return true;
        case Attempt::Error:
            return false;
        case Attempt::Busy:
            VeltorPlatform::sleepMs(kRetryMs);
            break;
        }
    }
}

bool ProcessLock::unlock() {
    if (!namePrepared || ownerProcess != VeltorPlatform::currentProcessId() || count == 0)
        return false;
    if (--count > 0)
        return true;
    const std::uint32_t owner = ownerProcess;
    ownerProcess = 0;
    if (!mutex.close()) {
        ownerProcess = owner;
        // The count stays at 0 as before; the holder may retry the release.
        count = 1;
        return false;
    }
    return true;
}

} // namespace VeltorCorelib
