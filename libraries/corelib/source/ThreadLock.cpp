#include "ThreadLock.h"

#include "Logger.h"
#include "platform/Process.h"

#include <cstdint>

namespace VeltorCorelib {

namespace {

// Writing a trace broadcasts a record, and the broadcast takes the message service's own ThreadLock,
// whose traces would broadcast again without end. A thread therefore writes no lock traces while it is
// already writing one.
thread_local bool writingTrace = false;

Logger* traceLogger() {
    if (writingTrace)
        return nullptr;
    Logger* logger = Logger::processLoggerIfBuilt();
    return logger != nullptr && logger->wouldLog(Logger::LevelFlood) ? logger : nullptr;
}

void trace(Logger* logger, const char* text, const ParamStream& parameters) {
    struct Flag {
        Flag() { writingTrace = true; }
        ~Flag() { writingTrace = false; }
    } flag;
    logger->flood(text, parameters);
}

std::uint64_t addressOf(const ThreadLock* lock) {
    return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(lock));
}

} // namespace

ThreadLock::ThreadLock() = default;

ThreadLock::~ThreadLock() {
    if (count > 1)
        count = 1;
    if (count != 0)
        unlock();
}

bool ThreadLock::lock(bool blocking) {
    if (Logger* logger = traceLogger())
        trace(logger, "ThreadLock::lock: Going to lock % (%)",
              makeParams(addressOf(this), std::string(blocking ? "blocking" : "non-blocking")));
    initialised = true;
    std::uint32_t self = VeltorPlatform::currentThreadId();
    std::uint32_t holder = owner.load();
    if (holder != 0) {
        if (holder == self) {
            ++count;
            if (Logger* logger = traceLogger())
                trace(logger, "ThreadLock::lock: Already locked", ParamStream());
            return true;
        }
        if (!blocking) {
            if (Logger* logger = traceLogger())
                trace(logger, "ThreadLock::lock: Failed to lock - lock belongs to thread %",
                      makeParams(static_cast<std::uint64_t>(holder)));
            return false;
        }
    }
    if (blocking)
        platformLock.enter();
    else if (!platformLock.tryEnter())
        return false;
    ++count;
    owner = self;
    if (Logger* logger = traceLogger())
        trace(logger, "ThreadLock::lock: Locked", ParamStream());
    return true;
}

bool ThreadLock::unlock() {
    if (Logger* logger = traceLogger())
        trace(logger, "ThreadLock::unlock: Going to unlock %", makeParams(addressOf(this)));
    if (!initialised)
        return false;
    std::uint32_t holder = owner.load();
    if (holder != VeltorPlatform::currentThreadId()) {
        if (Logger* logger = traceLogger())
            trace(logger, "ThreadLock::unlock: Cannot unlock - locked by other thread %",
                  makeParams(static_cast<std::uint64_t>(holder)));
        return false;
    }
    --count;
    if (count == 0) {
        owner = 0;
        platformLock.leave();
        if (Logger* logger = traceLogger())
            trace(logger, "ThreadLock::unlock: Unlocked", ParamStream());
    } else {
        if (Logger* logger = traceLogger())
            trace(logger, "ThreadLock::unlock: Nested locking (now at level % - actual unlock at zero)",
                  makeParams(count));
    }
    return true;
}

} // namespace VeltorCorelib
