#include "TimeSpan.h"

#include <gtest/gtest.h>

using VeltorCorelib::TimeSpan;

TEST(TimeSpan, PartsOfTheText) {
    const std::int64_t day = 86400000;
    const struct {
        const char* text;
        std::int64_t years, months, milliseconds;
    } cases[] = {
        {"PT10H", 0, 0, 36000000},
        {"P1D", 0, 0, day},
        {"PT1M", 0, 0, 60000},
        {"xP2D", 0, 0, 2 * day},
        // Unusable text gives zero or is skipped; a week's digit joins the next number.
        {"10H", 0, 0, 0},
        {"", 0, 0, 0},
        {"PT5D", 0, 0, 0},
        {"P5H", 0, 0, 0},
        {"P2W", 0, 0, 0},
        {"P1W2D", 0, 0, 12 * day},
        {"P1Y2Y", 2, 0, 0},
        {"P1.5D", 0, 0, day}, // read as atoi reads it
        // Fractions of a second: three digits, with the sign of the number, also when its whole part is 0.
        {"PT1.5S", 0, 0, 1500},
        {"PT-1.5S", 0, 0, -1500},
        {"PT-0.5S", 0, 0, -500},
        {"PT1.2345S", 0, 0, 1234},
        // Only an upper-case P opens a duration and only an upper-case T the time part; the designator
        // letters themselves count in either case.
        {"p2d", 0, 0, 0},
        {"pt1h", 0, 0, 0},
        {"Pt1H", 0, 0, 0},
        {"PT1h", 0, 0, 3600000},
        {"P1y2m3dT1m", 1, 2, 3 * day + 60000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const TimeSpan span(c.text);
        EXPECT_EQ(span.getYears(), c.years);
        EXPECT_EQ(span.getMonths(), c.months);
        EXPECT_EQ(span.getMilliseconds(), c.milliseconds);
    }
    EXPECT_DOUBLE_EQ(TimeSpan("P1Y").hours(), 8765.82);
    EXPECT_DOUBLE_EQ(TimeSpan("P1M").hours(), 730.485);
    EXPECT_DOUBLE_EQ(TimeSpan("P1DT12H").hours(), 36.0);
}

TEST(TimeSpan, OverlongNumbersSaturateInsteadOfWrapping) {
    EXPECT_GT(TimeSpan("P99999999999999999999D").hours(), 1e9);
    EXPECT_LT(TimeSpan("P-99999999999999999999D").hours(), -1e9);
    EXPECT_GT(TimeSpan("PT99999999999999999999H99999999999999999999M").hours(), 1e9);
}
