#include "ThreadLock.h"
#include "CorelibTestSupport.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
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
    for (unsigned level = 3; level > 0; --level) {
        EXPECT_EQ(lock.getCount(), level);
        EXPECT_EQ(lock.getOwner(), VeltorPlatform::currentThreadId());
        EXPECT_TRUE(lock.unlock());
    }
    EXPECT_EQ(lock.getCount(), 0u);
    EXPECT_EQ(lock.getOwner(), 0u);
    EXPECT_FALSE(lock.unlock()); // free now: "locked by other thread 0"
}

// (A non-blocking lock and an unlock from another thread are refused: see the traces below.)
TEST(ThreadLock, AnotherThreadWaitsForTheLastUnlock) {
    ThreadLock lock;
    ASSERT_TRUE(lock.lock(true));
    ASSERT_TRUE(lock.lock(true));
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
// The formatted lock traces of the process-wide logger at level 8, written while the call runs.
template <typename Call> std::vector<std::string> lockTraces(Call call) {
    RecordCatcher catcher("anonymous");
    setLogLevels(8);
    catcher.seen.clear(); // the broadcast of the level takes locks of its own
    call();
    std::vector<std::string> lines;
    for (const std::string& text : catcher.texts())
        if (text.rfind("ThreadLock::", 0) == 0)
            lines.push_back(text);
    setLogLevels(7);
    return lines;
}
} // namespace

TEST(ThreadLock, TracesAtFloodLevel) {
    ThreadLock lock;
    const std::string address = std::to_string(reinterpret_cast<std::uintptr_t>(&lock));
    RecordCatcher quiet("anonymous");
    lock.lock(true);
    lock.unlock();
    EXPECT_TRUE(quiet.seen.empty()); // level 7: no traces

    const std::string me = std::to_string(VeltorPlatform::currentThreadId());
    EXPECT_EQ(lockTraces([&] {
                  lock.lock(true);
                  lock.lock(false);
                  std::thread([&] {
                      lock.lock(false);
                      lock.unlock();
                  }).join();
                  lock.unlock();
                  lock.unlock();
              }),
              (std::vector<std::string>{
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

// A lock destroyed while its thread still holds it nested is released completely, in one step, so that the
// platform lock is never torn down held (where another thread could not take it again).
TEST(ThreadLock, DestructorReleasesANestedHoldCompletely) {
    std::string address;
    std::unique_ptr<ThreadLock> lock(new ThreadLock);
    address = std::to_string(reinterpret_cast<std::uintptr_t>(lock.get()));
    ASSERT_TRUE(lock->lock(true));
    ASSERT_TRUE(lock->lock(true));
    ASSERT_TRUE(lock->lock(false));
    EXPECT_EQ(lockTraces([&] { lock.reset(); }),
              (std::vector<std::string>{"ThreadLock::unlock: Going to unlock " + address,
                                        "ThreadLock::unlock: Unlocked"}));
}
