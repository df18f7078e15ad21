#include "platform/NamedMutex.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <string>

using VeltorPlatform::MutexAttempt;
using VeltorPlatform::NamedMutex;

namespace {
std::string uniqueName(const char* tag) {
    return std::string("Global\\sorvik-test-") + tag + "-" +
           std::to_string(VeltorPlatform::currentProcessId());
}
} // namespace

TEST(NamedMutex, CreatorHoldsUntilCloseAndOthersOfTheSameProcessSeeBusy) {
    const std::string name = uniqueName("hold");
    NamedMutex first, second;
    std::uint32_t error = 99;
    EXPECT_EQ(MutexAttempt::Acquired, first.tryCreate(name, error));
    EXPECT_EQ(0u, error);
    EXPECT_TRUE(first.isHeld());

    EXPECT_EQ(MutexAttempt::Busy, second.tryCreate(name, error));
    EXPECT_EQ(183u, error);
    EXPECT_FALSE(second.isHeld());

    // Holding one already: a second create on the same object is refused without side effects.
    EXPECT_EQ(MutexAttempt::Error, first.tryCreate(name, error));
    EXPECT_EQ(5u, error);
    EXPECT_TRUE(first.isHeld());

    EXPECT_TRUE(first.close());
    EXPECT_FALSE(first.isHeld());
    EXPECT_TRUE(first.close());
    EXPECT_EQ(MutexAttempt::Acquired, second.tryCreate(name, error));

    // Names differ: no exclusion.
    NamedMutex other;
    EXPECT_EQ(MutexAttempt::Acquired, other.tryCreate(uniqueName("other"), error));
}

TEST(NamedMutex, DestructorReleases) {
    const std::string name = uniqueName("scope");
    std::uint32_t error = 0;
    {
        NamedMutex scoped;
        ASSERT_EQ(MutexAttempt::Acquired, scoped.tryCreate(name, error));
    }
    NamedMutex later;
    EXPECT_EQ(MutexAttempt::Acquired, later.tryCreate(name, error));
}

#ifndef _WIN32
TEST(NamedMutex, LockFileNamesKeepSeparatorsApartAndStayShort) {
    const std::string a = NamedMutex::lockFilePath("Global\\a_b");
    const std::string b = NamedMutex::lockFilePath("Global\\a/b");
    EXPECT_NE(a, b);
    EXPECT_NE(std::string::npos, a.find("veltor-mutex-Global%5Ca_b"));
    EXPECT_NE(std::string::npos, b.find("veltor-mutex-Global%5Ca%2Fb"));
    const std::string longA = NamedMutex::lockFilePath("Global\\" + std::string(400, 'x') + "a");
    const std::string longB = NamedMutex::lockFilePath("Global\\" + std::string(400, 'x') + "b");
    EXPECT_NE(longA, longB);
    EXPECT_LE(longA.substr(longA.rfind('/') + 1).size(), 200u);

    // Long names still lock and exclude.
    std::uint32_t error = 0;
    NamedMutex first, second;
    const std::string name = uniqueName(std::string(300, 'y').c_str());
    EXPECT_EQ(MutexAttempt::Acquired, first.tryCreate(name, error));
    EXPECT_EQ(MutexAttempt::Busy, second.tryCreate(name, error));
}
#endif
