#include "DateTime.h"
#include "CorelibTestSupport.h"
#include "ParamStream.h"

#include "platform/Paths.h"
#include "platform/Time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <limits>
#include <memory>

using namespace VeltorCorelib;

namespace {
// Sets VELTOR_TZ for one test (empty removes it) and re-reads the default zone, restoring both afterwards.
class ZoneEnvironment {
public:
    explicit ZoneEnvironment(const std::string& value) : variable(new ScopedVariable("VELTOR_TZ", value)) {
        TimeZone::reloadProcessDefault();
    }
    ~ZoneEnvironment() {
        variable.reset();
        TimeZone::reloadProcessDefault();
    }

private:
    std::unique_ptr<ScopedVariable> variable;
};

std::int64_t utc(std::int64_t y, std::int64_t mo, std::int64_t d, std::int64_t h = 0, std::int64_t mi = 0,
                 std::int64_t s = 0, std::int64_t ms = 0) {
    return DateTimeDetails(y, mo, d, h, mi, s, ms, false).toMilliseconds();
}
} // namespace

TEST(DateTime, DayCountsAndCalendar) {
    // Milliseconds count from 1899-12-31, the day before day 1 (1900-01-01).
    EXPECT_EQ(utc(1970, 1, 1), 2209075200000);
    EXPECT_EQ(utc(1900, 1, 1), 86400000);
    EXPECT_EQ(utc(2038, 1, 19, 3, 14, 8), kUnixEpochMilliseconds + 2147483648000LL);
    const int days[][4] = {{1900, 1, 1, 1},     {1899, 12, 31, 0},    {1899, 12, 30, -1},
                           {2000, 3, 1, 36585}, {2000, 2, 28, 36583}, {2100, 3, 1, 73109},
                           {2100, 2, 28, 73108}};
    for (const auto& d : days)
        EXPECT_EQ(dayCount(d[0], d[1], d[2]), d[3]) << d[0] << "-" << d[1] << "-" << d[2];
    const int months[][3] = {{1900, 2, 28}, {2000, 2, 29}, {2015, 4, 30}, {2015, 13, 0}};
    for (const auto& m : months)
        EXPECT_EQ(daysInMonth(m[0], m[1]), m[2]) << m[0] << "-" << m[1];
    // 1900-02-29 and 2100-02-29 do not exist: the day after the 28th is 1 March.
    for (int year : {1900, 2100, 2016}) {
        DateTimeDetails fields(year, 2, 29, 0, 0, 0, 0, false);
        EXPECT_EQ(fields.getMonth() * 100 + fields.getDay(), year == 2016 ? 229 : 301) << year;
    }
}

TEST(DateTime, WeekdaysWeeksAndDaysOfYear) {
    // {year, month, day, weekday, week, day of year}; 2021-01-03 is a Sunday still in week 53 of 2020.
    const int days[][6] = {{1900, 1, 1, 0, 1, 1},      {1970, 1, 1, 3, 1, 1},     {2026, 12, 6, 6, 49, 340},
                           {2021, 1, 3, 6, 53, 3},     {2021, 1, 4, 0, 1, 4},     {2019, 12, 30, 0, 1, 364},
                           {2015, 12, 31, 3, 53, 365}, {2016, 12, 31, 5, 52, 366}};
    for (const auto& d : days) {
        DateTimeDetails fields(d[0], d[1], d[2], 0, 0, 0, 0, false);
        EXPECT_EQ(fields.getWeekday(), d[3]) << d[0] << "-" << d[1] << "-" << d[2];
        EXPECT_EQ(fields.getWeek(), d[4]) << d[0] << "-" << d[1] << "-" << d[2];
        EXPECT_EQ(fields.getDayOfYear(), d[5]) << d[0] << "-" << d[1] << "-" << d[2];
    }
}

TEST(DateTime, MillisecondsAndFieldsRoundTrip) {
    const std::int64_t samples[] = {
        1,        utc(2000, 2, 29, 23, 59, 59, 999), utc(2100, 3, 1), utc(9999, 12, 31, 23, 59, 59, 999), -1,
        -86400001};
    for (std::int64_t count : samples)
        EXPECT_EQ(DateTimeDetails(count).toMilliseconds(), count) << count;
    EXPECT_EQ(DateTimeDetails(-1).format(true, false, false), "1899-12-30T23:59:59.999Z");
    // 0 is "no time": the default fields.
    EXPECT_EQ(DateTimeDetails(0).format(false, false, false), "1900-01-01T00:00:00Z");
    DateTime instant(utc(2015, 3, 7, 10, 4, 5, 123));
    DateTimeDetails back(instant);
    EXPECT_EQ(back.getYear() * 1000 + back.getMillisecond(), 2015123);
    EXPECT_EQ(DateTime(back).getMilliseconds(), instant.getMilliseconds());
}

TEST(DateTime, NormalizationCarriesBothWays) {
    DateTimeDetails borrowed(2016, 3, 0, -1, -1, -1, -1, false);
    EXPECT_EQ(borrowed.format(true, false, false), "2016-02-28T22:58:58.999Z");
    DateTimeDetails january(2016, 0, 1, 0, 0, 0, 0, false);
    EXPECT_EQ(january.format(false, false, false), "2015-12-01T00:00:00Z");
    DateTimeDetails over(2015, 14, 31, 24, 75, 61, 1500, false);
    EXPECT_EQ(over.format(true, false, false), "2016-03-03T01:16:02.500Z");
    DateTimeDetails edited(2015, 1, 1, 0, 0, 0, 0, false);
    edited.setDay(32);
    EXPECT_FALSE(edited.isNormalized());
    EXPECT_EQ(edited.toMilliseconds(), utc(2015, 2, 1));
    edited.normalize();
    EXPECT_EQ(edited.getMonth(), 2);
}

TEST(DateTime, IsoFormats) {
    DateTime epoch(2209075200000);
    EXPECT_EQ(epoch.format(true, false, false), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(DateTimeDetails(epoch).format(true, true, false), "19700101T000000.000Z");
    EXPECT_EQ(DateTimeDetails(utc(2015, 3, 7, 10, 4, 5, 123)).format(true, false, true),
              "2015-03-07T10:04:05.123Z");
    EXPECT_EQ(DateTimeDetails(utc(812, 5, 6)).format(false, false, false), "0812-05-06T00:00:00Z");
    // Date-time parameters of the parameter streams print the same way.
    ParamValue value;
    value.type = PT_DateTime;
    value.text = std::to_string(utc(2015, 3, 7, 10, 4, 5, 123));
    EXPECT_EQ(ParamStream::render(value), "2015-03-07T10:04:05.123Z");
}

TEST(DateTime, NowComesFromTheUtcClock) {
    // The same instant as the C library's clock, not a zone's hours or a wrong epoch away from it.
    const std::int64_t library =
        static_cast<std::int64_t>(std::time(nullptr)) * 1000 + kUnixEpochMilliseconds;
    EXPECT_LE(std::llabs(DateTime::now() - library), 2000LL);
}

TEST(TimeZone, OffsetAndRuleTexts) {
    const std::pair<const char*, std::int64_t> offsets[] = {{"+01:00", 3600000},
                                                            {"+0100", 3600000},
                                                            {"-05:30", -19800000},
                                                            {"+01:0", 0},
                                                            {"01:00", 0},
                                                            {"+0a:00", 0},
                                                            {"+", 0}};
    for (const auto& o : offsets)
        EXPECT_EQ(TimeZone::parseOffset(o.first), o.second) << o.first;
    EXPECT_EQ(TimeZone::offsetText(-19800000), "-05:30");
    EXPECT_EQ(TimeZone::offsetText(3600000, true), "+0100");
    EXPECT_EQ(TimeZone::offsetText(std::numeric_limits<std::int64_t>::min()).substr(0, 1), "-");
    EXPECT_EQ(TimeZone::ruleText(TimeZone::parseRule("3M5W6D2H")), "3M5W6D2H");
    TimeZoneRule odd = TimeZone::parseRule("999M-1W99999999999999999999999DH");
    EXPECT_EQ(TimeZone::ruleText(odd), "0M0W0D0H");
    EXPECT_TRUE(TimeZone::parseRule("").isEmpty());
}

TEST(TimeZone, ZoneTextsAndDaylightStates) {
    TimeZone none;
    EXPECT_FALSE(none.isSet());
    EXPECT_EQ(none.daylightState(utc(2015, 7, 1)), TimeZone::Daylight_NotSet);

    TimeZone central("+01:00 (+01:00 3M5W6D2H-10M5W6D3H)");
    // 2015: daylight time from 29 March 01:00 UTC to 25 October 01:00 UTC.
    const std::pair<std::int64_t, TimeZone::DaylightState> states[] = {
        {utc(2015, 3, 29, 0, 59, 59, 999), TimeZone::Daylight_Standard},
        {utc(2015, 3, 29, 1), TimeZone::Daylight_AfterStart},
        {utc(2015, 3, 29, 2), TimeZone::Daylight_Active},
        {utc(2015, 10, 25, 0, 59), TimeZone::Daylight_Active},
        {utc(2015, 10, 25, 1, 30), TimeZone::Daylight_AfterEnd},
        {utc(2015, 10, 25, 2), TimeZone::Daylight_Standard}};
    for (const auto& st : states)
        EXPECT_EQ(central.daylightState(st.first), st.second) << st.first;
    EXPECT_EQ(central.offsetAt(utc(2015, 7, 15)), 7200000);
    EXPECT_EQ(central.offsetAt(utc(2015, 12, 15)), 3600000);

    // Local fields in the zone: summer subtracts both offsets, winter only the standard one.
    DateTimeDetails summer(2015, 7, 15, 12, 0, 0, 0, true);
    summer.setZoned(true, central);
    EXPECT_EQ(summer.toMilliseconds(), utc(2015, 7, 15, 10));
    DateTimeDetails winter(2015, 12, 15, 12, 0, 0, 0, false);
    winter.setZoned(true, central);
    EXPECT_EQ(winter.toMilliseconds(), utc(2015, 12, 15, 11));
    EXPECT_EQ(winter.format(false, false, true), "2015-12-15T12:00:00+01:00 (+01:00 3M5W6D2H-10M5W6D3H)");

    TimeZone south("+10:00 (+01:00 10M1W6D2H-4M1W6D3H)");
    EXPECT_EQ(south.daylightState(utc(2015, 1, 15)), TimeZone::Daylight_Active);
    EXPECT_EQ(south.daylightState(utc(2015, 7, 15)), TimeZone::Daylight_Standard);

    TimeZone sameDay("+01:00 (+01:00 3M5W6D2H-3M5W6D3H)");
    EXPECT_EQ(sameDay.daylightState(utc(2015, 7, 15)), TimeZone::Daylight_Standard);
}

TEST(TimeZone, OffsetAndNumberFormsAndVeltorTz) {
    {
        ZoneEnvironment fixed("+02:00");
        TimeZone zone = TimeZone::processDefault();
        EXPECT_TRUE(zone.isSet());
        EXPECT_EQ(zone.getStandardOffset(), 7200000);
        EXPECT_EQ(DateTime().getZone().getStandardOffset(), 7200000);
        // Overlong numbers saturate (offsets are held to about 31 years); a sign and four characters or
        // more is the offset form, which the last one is not.
        const std::pair<const char*, std::int64_t> texts[] = {{"60", 3600000},
                                                              {"-90", -5400000},
                                                              {"3600000", 3600000},
                                                              {"garbage", 0},
                                                              {"99999999999999999999999999", 1000000000000LL},
                                                              {"-99999999999999999999999999", 0}};
        for (const auto& t : texts)
            EXPECT_EQ(TimeZone(t.first).getStandardOffset(), t.second) << t.first;
        EXPECT_TRUE(TimeZone("garbage").isSet());
    }
    {
        // An offset text means the offset in effect now: in daylight time it includes the daylight part.
        ZoneEnvironment rules("+01:00 (+01:00 3M5W6D2H-10M5W6D3H)");
        TimeZone zone("+0300");
        TimeZone::DaylightState state = TimeZone::processDefault().daylightState(DateTime::now());
        bool summer = state == TimeZone::Daylight_Active || state == TimeZone::Daylight_AfterStart;
        EXPECT_EQ(zone.getStandardOffset(), summer ? 7200000 : 10800000);
        EXPECT_EQ(zone.getDaylightOffset(), 3600000);
        EXPECT_EQ(TimeZone::ruleText(zone.getDaylightStart()), "3M5W6D2H");
    }
}

TEST(TimeZone, DefaultZoneFollowsTheRuntimeWithoutVeltorTz) {
    {
        ScopedVariable tz("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
        ZoneEnvironment unset("");
        TimeZone zone = TimeZone::processDefault();
        EXPECT_TRUE(zone.isSet());
        if (VeltorPlatform::kPathStyle == VeltorPlatform::PathStyle::Posix) {
            // The runtime's changes are found again as rules: last Sunday of March 02:00 standard
            // time, last Sunday of October 03:00 daylight time.
            EXPECT_EQ(zone.getText(), "+01:00 (+01:00 3M5W6D2H-10M5W6D3H)");
        } else {
            // What the runtime makes of TZ is its own; the zone must agree with its local time now.
            VeltorPlatform::CalendarTime local;
            const std::int64_t seconds = VeltorPlatform::timeNow();
            ASSERT_TRUE(VeltorPlatform::localTime(seconds, local));
            DateTimeDetails fields(local.year + 1900, local.month + 1, local.monthDay, local.hour,
                                   local.minute, local.second, 0, false);
            EXPECT_EQ(zone.offsetAt(seconds * 1000 + kUnixEpochMilliseconds),
                      fields.toMilliseconds() - (seconds * 1000 + kUnixEpochMilliseconds));
        }
        DateTimeDetails summer(2015, 7, 15, 12, 0, 0, 0, false);
        summer.setZoned(true, zone);
        EXPECT_EQ(summer.toMilliseconds(), utc(2015, 7, 15, 12) - zone.offsetAt(utc(2015, 7, 15, 12)));
    }
    VeltorPlatform::timeZoneSet();
}
