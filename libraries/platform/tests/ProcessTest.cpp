#include "platform/Process.h"

#include <gtest/gtest.h>

#include <thread>

TEST(Process, IdsAreStableWithinAThreadAndDifferAcrossThreads) {
    std::uint32_t main = VeltorPlatform::currentThreadId();
    EXPECT_EQ(main, VeltorPlatform::currentThreadId());
    std::uint32_t other = 0;
    std::thread([&] { other = VeltorPlatform::currentThreadId(); }).join();
    EXPECT_NE(main, other);
    EXPECT_NE(VeltorPlatform::currentProcessId(), 0u);
}
