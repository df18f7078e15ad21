#include "ProcessLock.h"
#include "CorelibTestSupport.h"

#include <gtest/gtest.h>

using VeltorCorelib::ProcessLock;

namespace {

namespace fs = std::filesystem;

std::string uniqueName(const char* tag) {
    return std::string("sorvik-test/") + tag + ":" + std::to_string(VeltorPlatform::currentProcessId());
}

bool waitForFile(const fs::path& path) {
    // A synchronisation bound, not a time measurement: the other side is expected long before.
    for (int i = 0; i < 6000; ++i) {
        std::error_code error;
        if (fs::exists(path, error))
            return true;
        VeltorPlatform::sleepMs(10);
    }
    return false;
}

// Child: takes the lock named in its argument ("<directory>|<name>"), says so with the file "locked",
// holds it until the file "release" appears, then releases it.
int holdLockMode() {
    const std::string argument = ChildProcessSupport::argument();
    const std::size_t bar = argument.find('|');
    const fs::path directory = argument.substr(0, bar);
    ProcessLock lock(argument.substr(bar + 1));
    if (!lock.lock(0))
        return 10;
    std::ofstream(directory / "locked") << "yes";
    if (!waitForFile(directory / "release"))
        return 11;
    return lock.unlock() ? 0 : 12;
}
SORVIK_CHILD_MODE("hold-lock", holdLockMode);

// Child: takes the lock and ends at once without releasing it or running any destructor.
int vanishMode() {
    ProcessLock lock(ChildProcessSupport::argument());
    if (!lock.lock(0))
        return 10;
    VeltorPlatform::exitFromSignal(0);
}
SORVIK_CHILD_MODE("lock-and-vanish", vanishMode);

} // namespace

TEST(ProcessLock, NamePreparationAndMissingName) {
    EXPECT_EQ("Global\\C__dir_sub", ProcessLock::prepareName("C:/dir\\sub"));
    EXPECT_EQ("Global\\plain", ProcessLock::prepareName("plain"));

    ProcessLock unnamed;
    EXPECT_THROW(unnamed.lock(10), ProcessLock::HaveNoName);
    EXPECT_FALSE(unnamed.unlock());
}

TEST(ProcessLock, NestingCountsWithinOneObjectOnly) {
    const std::string name = uniqueName("nest");
    ProcessLock first(name), second(name);
    ASSERT_TRUE(first.lock(100));
    EXPECT_EQ(1u, first.lastAttempts());
    ASSERT_TRUE(first.lock(100));
    EXPECT_EQ(0u, first.lastAttempts()); // the second lock only counts
    EXPECT_EQ(2u, first.lockCount());

    // Another object of this process does not share the count: busy for the whole timeout.
    EXPECT_FALSE(second.lock(30));
    EXPECT_EQ(4u, second.lastAttempts()); // 30 / 10 + 1
    EXPECT_FALSE(second.unlock());

    EXPECT_TRUE(first.unlock());
    EXPECT_EQ(1u, first.lockCount());
    EXPECT_FALSE(second.lock(5)); // one unlock of two leaves it held
    EXPECT_EQ(1u, second.lastAttempts());
    EXPECT_TRUE(first.unlock());
    EXPECT_EQ(0u, first.lockCount());
    EXPECT_FALSE(first.unlock()); // nothing left to release
}

TEST(ProcessLock, TwoProcessesContend) {
    TempDir dir("lock");
    const std::string name = uniqueName("procs");
    ChildProcessSupport::Child child("hold-lock", dir.path.string() + "|" + name);
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(waitForFile(dir.path / "locked"));

    ProcessLock mine(name);
    EXPECT_FALSE(mine.lock(50));

    std::ofstream(dir.path / "release") << "go";
    // Waits without limit until the child lets go.
    EXPECT_TRUE(mine.lock(0));
    EXPECT_EQ(0, child.wait());
    EXPECT_TRUE(mine.unlock());
}

TEST(ProcessLock, AProcessThatEndsReleasesItsLock) {
    const std::string name = uniqueName("exit");
    ChildProcessSupport::Child child("lock-and-vanish", name);
    ASSERT_TRUE(child.started());
    EXPECT_EQ(0, child.wait());
    ProcessLock mine(name);
    EXPECT_TRUE(mine.lock(10));
}

#ifndef _WIN32
// A lock file that someone planted (here a directory at its name; the refusal itself is the named mutex's)
// is a failure the caller sees as such, with the reason, not a lock that stays busy: without a time limit
// the call gives up at once.
TEST(ProcessLock, ARefusedLockFileFailsInsteadOfWaiting) {
    const std::string name = uniqueName("planted");
    const fs::path planted = VeltorPlatform::NamedMutex::lockFilePath(ProcessLock::prepareName(name));
    {
        ProcessLock probe(uniqueName("probe")); // creates the lock directory when it is missing
        ASSERT_TRUE(probe.lock(0));
    }
    fs::create_directory(planted);
    ProcessLock lock(name);
    EXPECT_FALSE(lock.lock(0));
    EXPECT_EQ(1u, lock.lastAttempts());
    EXPECT_NE(std::string::npos, lock.lastErrorDetail().find(planted.string()));
    EXPECT_FALSE(lock.lock(20));
    EXPECT_EQ(3u, lock.lastAttempts()); // with a time limit it keeps trying until the time is up
    fs::remove(planted);
    fs::remove(VeltorPlatform::NamedMutex::lockFilePath(ProcessLock::prepareName(uniqueName("probe"))));
    EXPECT_TRUE(lock.lock(0));
    EXPECT_EQ("", lock.lastErrorDetail());
}
#endif
