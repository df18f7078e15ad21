// Clocks and the C runtime's local-time conversions, always with 64-bit second counts (no wrap in 2038).
#pragma once
#include <cstdint>

namespace VeltorPlatform {

// The calendar fields of the system clock in UTC (GetSystemTime).
struct SystemTimeUtc {
    int year = 0;  // e.g. 2026
    int month = 0; // 1 to 12
    int day = 0;   // 1 to 31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};
void getSystemTimeUtc(SystemTimeUtc& fields);

// The fields of the C runtime's struct tm.
struct CalendarTime {
    int second = 0;
    int minute = 0;
    int hour = 0;
    int monthDay = 1;   // 1 to 31
    int month = 0;      // 0 to 11
    int year = 0;       // years since 1900
    int weekDay = 0;    // 0 is Sunday
    int yearDay = 0;    // 0 to 365
    int isDaylight = 0; // positive in daylight-saving time, 0 in standard time, negative when unknown
};

// Seconds since 1970-01-01 00:00:00 UTC (_time64).
std::int64_t timeNow();
// Reads the local zone again from the environment (_tzset).
void timeZoneSet();
// Local fields of a second count (_localtime64_s); false when the runtime cannot convert it
// (Windows refuses counts before 1970).
bool localTime(std::int64_t seconds, CalendarTime& fields);
// UTC fields of a second count (_gmtime64_s); false when it cannot be converted.
bool utcTime(std::int64_t seconds, CalendarTime& fields);
// Second count of local fields (_mktime64); the fields are normalized in place; -1 when they cannot be
// converted.
std::int64_t makeTime(CalendarTime& fields);

} // namespace VeltorPlatform
