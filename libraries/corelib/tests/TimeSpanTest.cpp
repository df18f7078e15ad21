#include "TimeSpan.h"

#include <gtest/gtest.h>

using VeltorCorelib::TimeSpan;

TEST(TimeSpan, DateAndTimeDesignators) {
    EXPECT_EQ(TimeSpan("PT10H").getMilliseconds(), 36000000);
    EXPECT_DOUBLE_EQ(TimeSpan("PT10H").hours(), 10.0);
    EXPECT_DOUBLE_EQ(TimeSpan("P1D").hours(), 24.0);
    EXPECT_DOUBLE_EQ(TimeSpan("P1DT12H").hours(), 36.0);
    EXPECT_DOUBLE_EQ(TimeSpan("P1Y").hours(), 8765.82);
    EXPECT_DOUBLE_EQ(TimeSpan("P1M").hours(), 730.485);
    EXPECT_EQ(TimeSpan("PT1M").getMilliseconds(), 60000);
    EXPECT_DOUBLE_EQ(TimeSpan("xP2D").hours(), 48.0);
    EXPECT_DOUBLE_EQ(TimeSpan("p2d").hours(), 0.0); // a lower-case P opens nothing
}

TEST(TimeSpan, UnusableTextGivesZeroOrIsSkipped) {
    for (const char* text : {"10H", "", "P", "PT5D", "P5H", "P2W"})
        EXPECT_DOUBLE_EQ(TimeSpan(text).hours(), 0.0) << text;
    EXPECT_DOUBLE_EQ(TimeSpan("P1W2D").hours(), 12 * 24.0); // the week's digit joins the next number
    EXPECT_EQ(TimeSpan("P1Y2Y").getYears(), 2);
    EXPECT_DOUBLE_EQ(TimeSpan("P1D1D").hours(), 48.0);
    EXPECT_DOUBLE_EQ(TimeSpan("P1.5D").hours(), 24.0); // read as atoi reads it
}

TEST(TimeSpan, FractionalSeconds) {
    EXPECT_EQ(TimeSpan("PT1.5S").getMilliseconds(), 1500);
    EXPECT_EQ(TimeSpan("PT1.25S").getMilliseconds(), 1250);
    EXPECT_EQ(TimeSpan("PT-1.5S").getMilliseconds(), -1500);
    EXPECT_EQ(TimeSpan("PT1.2345S").getMilliseconds(), 1234);
    EXPECT_EQ(TimeSpan("PT2S").getMilliseconds(), 2000);
}

TEST(TimeSpan, OverlongNumbersSaturateInsteadOfWrapping) {
    TimeSpan huge("P99999999999999999999D");
    EXPECT_GT(huge.hours(), 1e9);
    TimeSpan hugeNegative("P-99999999999999999999D");
    EXPECT_LT(hugeNegative.hours(), -1e9);
    EXPECT_GT(TimeSpan("PT99999999999999999999H99999999999999999999M").hours(), 1e9);
}
