#include "platform/Paths.h"
#include "platform/Time.h"

#include <gtest/gtest.h>

#include <string>

using namespace VeltorPlatform;

TEST(Paths, CurrentWindowsAndLongNames) {
    std::string current;
    ASSERT_TRUE(getCurrentDirectory(current));
    ASSERT_FALSE(current.empty());
    char small[4];
    std::uint32_t needed = getLongPathName(current.c_str(), small, sizeof small);
    if (current.size() + 1 > sizeof small) {
        EXPECT_GE(needed, current.size() + 1);
    }
    std::string buffer(needed, '\0');
    std::uint32_t length = getLongPathName(current.c_str(), &buffer[0], needed);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, needed);
    EXPECT_EQ(getLongPathName((current + "/no-such-entry-here").c_str(), &buffer[0], needed), 0u);
    EXPECT_EQ(getLongPathName("", &buffer[0], needed), 0u);

    char windows[300];
    std::uint32_t windowsLength = getWindowsDirectory(windows, sizeof windows);
    if (kPathStyle == PathStyle::Windows) {
        EXPECT_GT(windowsLength, 2u);
        EXPECT_EQ(windows[1], ':');
    } else {
        EXPECT_EQ(windowsLength, 0u);
    }

    std::uint32_t error = 0;
    EXPECT_FALSE(setCurrentDirectory(current + "/no-such-entry-here", error));
    EXPECT_TRUE(error == 2 || error == 3) << error;
    EXPECT_TRUE(setCurrentDirectory(current, error));
}

TEST(Time, CalendarConversionsHaveNoWrapIn2038) {
    // (The clock itself is the black-box suite's: every age it judges counts from the real now.)
    CalendarTime fields;
    ASSERT_TRUE(utcTime(2147483648LL, fields)); // one second past the 32-bit limit
    EXPECT_EQ(fields.year, 138);
    EXPECT_EQ(fields.month, 0);
    EXPECT_EQ(fields.monthDay, 19);
    EXPECT_EQ(fields.hour, 3);
    EXPECT_EQ(fields.minute, 14);
    EXPECT_EQ(fields.second, 8);

    timeZoneSet();
    const std::int64_t later = 4102444800LL + 12 * 3600; // 2100-01-01 12:00 UTC
    CalendarTime local;
    ASSERT_TRUE(localTime(later, local));
    EXPECT_EQ(local.year, 200 - (local.month == 11 ? 1 : 0));
    CalendarTime again = local;
    EXPECT_EQ(makeTime(again), later);
}
