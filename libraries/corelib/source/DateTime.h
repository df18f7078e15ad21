// Points in time: DateTime (milliseconds since 1899-12-31 00:00:00 plus a zone), DateTimeDetails (the
// same instant as calendar fields) and TimeZone (a fixed offset with optional daylight-saving rules).
// Counts are 64-bit everywhere: no wrap in 2038 or any year near it.
#pragma once
#include <cstdint>
#include <string>

namespace VeltorCorelib {

// 1970-01-01 00:00:00 UTC as a DateTime count: what to subtract for seconds since 1970 (after / 1000).
constexpr std::int64_t kUnixEpochMilliseconds = 2209075200000LL;
constexpr std::int64_t kMillisecondsPerDay = 86400000LL;

bool isLeapYear(std::int64_t year);
// 28 to 31; 0 for a month outside 1 to 12.
std::int64_t daysInMonth(std::int64_t year, std::int64_t month);
// Days since 1899-12-31 of a date whose month is 1 to 12: 1900-01-01 is day 1. Earlier dates give
// zero or negative counts on the same (proleptic Gregorian) calendar.
std::int64_t dayCount(std::int64_t year, std::int64_t month, std::int64_t day);
// The year that holds a day count.
std::int64_t yearOfDayCount(std::int64_t days);
// 0 Monday to 6 Sunday: (day count + 6) modulo 7.
std::int64_t weekdayOfDayCount(std::int64_t days);

// One daylight-saving change: the weekday (0 Monday to 6 Sunday) of the given week of the month
// (5 = the last one) at the hour. The start hour is standard time, the end hour daylight time.
// A rule with month 0 is empty.
struct TimeZoneRule {
    std::uint8_t month = 0;
    std::uint8_t week = 0;
    std::uint8_t weekday = 0;
    std::uint8_t hour = 0;

    bool isEmpty() const { return month < 1 || month > 12; }
    bool operator==(const TimeZoneRule& other) const {
        return month == other.month && week == other.week && weekday == other.weekday && hour == other.hour;
    }
    bool operator!=(const TimeZoneRule& other) const { return !(*this == other); }
};

class TimeZone {
public:
    // Daylight states of an instant.
    enum DaylightState {
        Daylight_NotSet = 0,     // the zone is not set
        Daylight_Active = 1,     // daylight-saving time
        Daylight_Standard = 2,   // standard time, or the zone has no daylight-saving rules
        Daylight_AfterStart = 3, // within one daylight offset after the start: local times that do not exist
        Daylight_AfterEnd = 4,   // within one daylight offset after the end: local times that occur twice
    };

    TimeZone();
    // Zone texts, tried in this order: the full rule form "+01:00 (+01:00 3M5W6D2H-10M5W6D3H)"; an
    // offset form "+hh:mm" or "+hhmm" (the offset in effect now, with the rules of the process default
    // zone); a number, minutes when it has fewer than 7 digits and milliseconds otherwise (as the
    // offset form). Text that does not parse gives a zero offset. The zone is set in every case.
    explicit TimeZone(const std::string& text);
    TimeZone(const TimeZone& other);
    TimeZone& operator=(const TimeZone& other);
    virtual ~TimeZone();

    bool isSet() const { return set; }
    std::int64_t getStandardOffset() const { return standardOffset; }
    std::int64_t getDaylightOffset() const { return daylightOffset; }
    const TimeZoneRule& getDaylightStart() const { return daylightStart; }
    const TimeZoneRule& getDaylightEnd() const { return daylightEnd; }

    // The state of an instant. Given a real instant, states 1 and 3 are daylight time. Given local
    // fields minus the standard offset (what fields-to-milliseconds does), states 1 and 4 are.
    DaylightState daylightState(std::int64_t milliseconds) const;
    // The offset from UTC in effect at an instant.
    std::int64_t offsetAt(std::int64_t milliseconds) const;
    // "+hh:mm" when there are no daylight rules, otherwise the full rule form; parses back to this zone.
    std::string getText() const;

    // The process default zone (set): VELTOR_TZ when set and not empty, otherwise the C runtime's
    // local zone, derived again when it was derived an hour or more ago.
    static TimeZone processDefault();
    // Reads VELTOR_TZ and the C runtime's zone again (after either changed).
    static void reloadProcessDefault();

    // "+hh:mm", "-hh:mm", "+hhmm", "-hhmm" as milliseconds east of UTC; anything else 0.
    static std::int64_t parseOffset(const std::string& text);
    // "3M5W6D2H": each letter stores the number collected before it (values outside 0 to 255 give 0).
    static TimeZoneRule parseRule(const std::string& text);
    // "+hh:mm" / "-hh:mm" (basic: without the colon); whole minutes.
    static std::string offsetText(std::int64_t milliseconds, bool basic = false);
    static std::string ruleText(const TimeZoneRule& rule);

private:
    friend struct TimeZoneDefault;
    bool set;
    std::int64_t standardOffset;
    std::int64_t daylightOffset;
    TimeZoneRule daylightStart;
    TimeZoneRule daylightEnd;
};

class DateTimeDetails;

class DateTime {
public:
    DateTime();
    explicit DateTime(std::int64_t milliseconds);
    DateTime(std::int64_t milliseconds, const TimeZone& zone);
    explicit DateTime(const DateTimeDetails& details);
    DateTime(const DateTime& other);
    DateTime& operator=(const DateTime& other);
    virtual ~DateTime();

    // The current UTC time from the system clock, to the millisecond.
    static std::int64_t now();

    std::int64_t getMilliseconds() const { return milliseconds; }
    void setMilliseconds(std::int64_t value) { milliseconds = value; }
    const TimeZone& getZone() const { return zone; }

    // The fields' format() of this instant.
    std::string format(bool withMilliseconds = true, bool basic = false, bool withZone = false) const;

private:
    std::int64_t milliseconds;
    TimeZone zone;
};

class DateTimeDetails {
public:
    // 1900-01-01 00:00:00.000, week 1, weekday 0, day of year 1, normalized, not zoned, zone not set.
    DateTimeDetails();
    explicit DateTimeDetails(const DateTime& instant);
    explicit DateTimeDetails(std::int64_t milliseconds);
    // Normalized at once; carries the process default zone. Values out of range carry into the next
    // larger unit both ways (minute 75 is an hour and 15 minutes, day 0 the last of the month before).
    DateTimeDetails(std::int64_t year, std::int64_t month, std::int64_t day, std::int64_t hour,
                    std::int64_t minute, std::int64_t second, std::int64_t millisecond, bool zoned);
    DateTimeDetails(const DateTimeDetails& other);
    DateTimeDetails& operator=(const DateTimeDetails& other);
    virtual ~DateTimeDetails();

    // Milliseconds since 1899-12-31 00:00:00 UTC; zoned fields are taken as local time in the zone.
    std::int64_t toMilliseconds() const;
    // Brings every field into range and recomputes week, weekday and day of year.
    void normalize();
    // ISO 8601: 2015-03-07T10:04:05.123Z (extended) or 20150307T100405.123Z (basic). Fields that are
    // not zoned end in 'Z'; zoned fields are followed by the zone's text when withZone is given.
    std::string format(bool withMilliseconds, bool basic, bool withZone) const;

    std::int64_t getYear() const { return year; }
    std::int64_t getMonth() const { return month; }
    std::int64_t getDay() const { return day; }
    std::int64_t getHour() const { return hour; }
    std::int64_t getMinute() const { return minute; }
    std::int64_t getSecond() const { return second; }
    std::int64_t getMillisecond() const { return millisecond; }
    // ISO 8601 week number (the week holding 4 January is week 1).
    std::int64_t getWeek() const { return week; }
    // 0 Monday to 6 Sunday.
    std::int64_t getWeekday() const { return weekday; }
    std::int64_t getDayOfYear() const { return dayOfYear; }
    bool isNormalized() const { return normalized; }
    bool isZoned() const { return zoned; }
    const TimeZone& getZone() const { return zone; }

    // Setting a field leaves the details not normalized until normalize() (conversion normalizes a copy).
    void setYear(std::int64_t value) { year = value, normalized = false; }
    void setMonth(std::int64_t value) { month = value, normalized = false; }
    void setDay(std::int64_t value) { day = value, normalized = false; }
    void setHour(std::int64_t value) { hour = value, normalized = false; }
    void setMinute(std::int64_t value) { minute = value, normalized = false; }
    void setSecond(std::int64_t value) { second = value, normalized = false; }
    void setMillisecond(std::int64_t value) { millisecond = value, normalized = false; }
    void setZoned(bool value, const TimeZone& inZone) { zoned = value, zone = inZone; }

private:
    void fromMilliseconds(std::int64_t count);
    void setFromDays(std::int64_t days, std::int64_t rest);

    std::int64_t year;
    std::int64_t month;
    std::int64_t day;
    std::int64_t hour;
    std::int64_t minute;
    std::int64_t second;
    std::int64_t millisecond;
    std::int64_t week;
    std::int64_t weekday;
    std::int64_t dayOfYear;
    bool normalized;
    bool zoned;
    TimeZone zone;
};

} // namespace VeltorCorelib
