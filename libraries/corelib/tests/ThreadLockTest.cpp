#include "ThreadLock.h"
#include "ImsAgent.h"
#include "Logger.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace VeltorCorelib;

TEST(ThreadLock, NestingNeedsOneUnlockPerLock) {
    ThreadLock lock;
    EXPECT_FALSE(lock.unlock()); // never taken
    EXPECT_TRUE(lock.lock(true));
    EXPECT_TRUE(lock.lock(false));
    EXPECT_TRUE(lock.lock(true));
    EXPECT_EQ(lock.getCount(), 3u);
    EXPECT_EQ(lock.getOwner(), VeltorPlatform::currentThreadId());
    EXPECT_TRUE(lock.unlock());
    EXPECT_EQ(lock.getCount(), 2u);
    EXPECT_TRUE(lock.unlock());
    EXPECT_EQ(lock.getCount(), 1u);
    EXPECT_TRUE(lock.unlock());
    EXPECT_EQ(lock.getCount(), 0u);
    EXPECT_EQ(lock.getOwner(), 0u);
    EXPECT_FALSE(lock.unlock()); // free now: "locked by other thread 0"
}

TEST(ThreadLock, OtherThreadsAreRefusedOrWait) {
    ThreadLock lock;
    ASSERT_TRUE(lock.lock(true));
    ASSERT_TRUE(lock.lock(true));

    bool tried = true, released = true;
    std::thread([&] {
        tried = lock.lock(false);
        released = lock.unlock();
    }).join();
    EXPECT_FALSE(tried);
    EXPECT_FALSE(released);
    EXPECT_EQ(lock.getCount(), 2u);
    EXPECT_EQ(lock.getOwner(), VeltorPlatform::currentThreadId());

    // A blocking lock in another thread gets the lock only after the last unlock here.
    std::atomic<bool> acquired{false};
    std::atomic<bool> started{false};
    std::thread waiter([&] {
        started = true;
        lock.lock(true);
        acquired = true;
        lock.unlock();
    });
    while (!started)
        std::this_thread::yield();
    lock.unlock();
    EXPECT_FALSE(acquired.load());
    lock.unlock();
    waiter.join();
    EXPECT_TRUE(acquired.load());
    EXPECT_EQ(lock.getOwner(), 0u);
}

TEST(ThreadLock, ExcludesOtherThreads) {
    ThreadLock lock;
    long counter = 0;
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            ThreadLockGuard guard(lock);
            long seen = counter;
            counter = seen + 1;
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 40000);
}

namespace {
class LockTraces : public ImsAgent {
public:
    LockTraces() : ImsAgent("lock-traces") { id = setMessageHook(false, "debug", "debug", "8", 0); }
    ~LockTraces() override { removeMessageHook(id); }
    int receiveHookedMessage(std::uint64_t, ImsMessage& message) override {
        auto* record = dynamic_cast<Logger::LogMessageParameter*>(message.getParameter());
        if (record != nullptr && record->module == "anonymous" &&
            record->text.rfind("ThreadLock::", 0) == 0) {
            ParamStream values(record->parameters);
            lines.push_back(values.format(record->text));
        }
        return ImsNotHandled;
    }
    std::uint64_t id;
    std::vector<std::string> lines;
};

void setAllLevels(int level) {
    Logger::setProcessLevel(level);
    Logger sender;
    ImsMessage message("debug", "level", std::to_string(level));
    sender.sendMessage(message);
}
} // namespace

TEST(ThreadLock, TracesAtFloodLevel) {
    ThreadLock lock;
    std::string address = std::to_string(reinterpret_cast<std::uintptr_t>(&lock));
    LockTraces traces;
    lock.lock(true);
    lock.unlock();
    EXPECT_TRUE(traces.lines.empty()); // level 7: no traces

    setAllLevels(8);
    traces.lines.clear();
    lock.lock(true);
    lock.lock(false);
    std::uint32_t self = VeltorPlatform::currentThreadId();
    std::thread([&] {
        lock.lock(false);
        lock.unlock();
    }).join();
    lock.unlock();
    lock.unlock();
    std::vector<std::string> lines = traces.lines;
    setAllLevels(7);

    std::string me = std::to_string(self);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "ThreadLock::lock: Going to lock " + address + " (blocking)",
                         "ThreadLock::lock: Locked",
                         "ThreadLock::lock: Going to lock " + address + " (non-blocking)",
                         "ThreadLock::lock: Already locked",
                         "ThreadLock::lock: Going to lock " + address + " (non-blocking)",
                         "ThreadLock::lock: Failed to lock - lock belongs to thread " + me,
                         "ThreadLock::unlock: Going to unlock " + address,
                         "ThreadLock::unlock: Cannot unlock - locked by other thread " + me,
                         "ThreadLock::unlock: Going to unlock " + address,
                         "ThreadLock::unlock: Nested locking (now at level 1 - actual unlock at zero)",
                         "ThreadLock::unlock: Going to unlock " + address,
                         "ThreadLock::unlock: Unlocked",
                     }));
}
