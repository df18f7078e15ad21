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

#ifndef _WIN32
#include <csignal>
#include <unistd.h>

namespace {
volatile std::sig_atomic_t deliveries = 0;
void countDelivery(int) {
    deliveries = deliveries + 1;
}
} // namespace

TEST(Process, TheSignalHandlerIsOneShotAndAClosedOutputStopsNothing) {
    // The first signal reaches the handler; the second finds the default action and ends the process.
    EXPECT_EXIT(
        {
            VeltorPlatform::installSignalHandler(VeltorPlatform::kSigTerm, countDelivery);
            std::raise(VeltorPlatform::kSigTerm);
            if (deliveries != 1)
                _exit(1);
            std::raise(VeltorPlatform::kSigTerm);
            _exit(2);
        },
        ::testing::KilledBySignal(SIGTERM), "");
    EXPECT_EXIT(
        {
            VeltorPlatform::ignoreClosedOutput();
            int ends[2];
            if (pipe(ends) != 0)
                _exit(1);
            close(ends[0]);
            _exit(write(ends[1], "x", 1) < 0 ? 0 : 2);
        },
        ::testing::ExitedWithCode(0), "");
}
#endif
