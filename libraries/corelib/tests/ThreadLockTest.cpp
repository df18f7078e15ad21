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

TEST(ThreadLock, AnotherThreadWaitsForTheLastUnlock) {
    ThreadLock lock;
    ASSERT_TRUE(lock.lock(true));
    ASSERT_TRUE(lock.lock(true));
    std::atomic<bool> acquired{false};
    std::atomic<bool> started{false};
    bool refused = false;
    std::thread waiter([&] {
        // Neither a non-blocking lock nor an unlock is granted to a thread that does not hold it.
        refused = !lock.lock(false) && !lock.unlock();
        started = true;
        lock.lock(true);
        acquired = true;
        lock.unlock();
    });
    while (!started)
        std::this_thread::yield();
    EXPECT_TRUE(refused);
    EXPECT_EQ(lock.getCount(), 2u);
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

// A lock destroyed while its thread still holds it nested is released completely, in one step, so that the
// platform lock is never torn down held (where another thread could not take it again). The flood-level
// traces show the release.
TEST(ThreadLock, DestructorReleasesANestedHoldCompletely) {
    std::unique_ptr<ThreadLock> lock(new ThreadLock);
    ASSERT_TRUE(lock->lock(true));
    ASSERT_TRUE(lock->lock(true));
    ASSERT_TRUE(lock->lock(false));
    // The process-wide level and, by the "debug"/"level" broadcast, the process logger's own.
    const auto setLevels = [](int level) {
        Logger::setProcessLevel(level);
        ImsMessage message("debug", "level", std::to_string(level));
        Logger().sendMessage(message);
    };
    RecordCatcher catcher("anonymous");
    setLevels(8);
    catcher.seen.clear(); // the broadcast of the level takes locks of its own
    lock.reset();
    setLevels(7);
    const std::vector<std::string> traces = catcher.texts();
    ASSERT_EQ(traces.size(), 2u);
    EXPECT_EQ(traces[1], "ThreadLock::unlock: Unlocked");
}
