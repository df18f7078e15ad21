#include "DateTime.h"

#include "platform/Time.h"

#include <cstdio>
#include <limits>

namespace VeltorCorelib {

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
// Day counts whose milliseconds still fit 64 bits, and the years around them.
constexpr std::int64_t kDayLimit = kMax / kMillisecondsPerDay - 1;
constexpr std::int64_t kYearLimit = 300000000;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

std::int64_t floorMod(std::int64_t a, std::int64_t b) {
    // Not a - floorDiv(a, b) * b: that product overflows near the ends of the range.
    std::int64_t r = a % b;
    return (r != 0 && ((r < 0) != (b < 0))) ? r + b : r;
}

std::int64_t addSat(std::int64_t a, std::int64_t b) {
    std::int64_t result;
    if (__builtin_add_overflow(a, b, &result))
        return b > 0 ? kMax : kMin;
    return result;
}

std::int64_t clamp(std::int64_t value, std::int64_t low, std::int64_t high) {
    return value < low ? low : (value > high ? high : value);
}

const std::int64_t kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

// Carries value into its next larger unit, leaving value in [0, base).
void carry(std::int64_t& value, std::int64_t& larger, std::int64_t base) {
    larger = addSat(larger, floorDiv(value, base));
    value = floorMod(value, base);
}

std::int64_t weeksInYear(std::int64_t year) {
    std::int64_t first = weekdayOfDayCount(dayCount(year, 1, 1));
    return (first == 3 || (first == 2 && isLeapYear(year))) ? 53 : 52;
}

} // namespace

bool isLeapYear(std::int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

std::int64_t daysInMonth(std::int64_t year, std::int64_t month) {
    switch (month) {
    case 4:
    case 6:
    case 9:
    case 11:
        return 30;
    case 2:
        return isLeapYear(year) ? 29 : 28;
    default:
        return month >= 1 && month <= 12 ? 31 : 0;
    }
}

std::int64_t dayCount(std::int64_t year, std::int64_t month, std::int64_t day) {
    // Floor division keeps the count right before 1900 too; truncation would miss leap days there.
    const std::int64_t monthLimit = kYearLimit * 12;
    std::int64_t monthIndex = clamp(month, -monthLimit, monthLimit) - 1;
    year = clamp(addSat(clamp(year, -kYearLimit, kYearLimit), floorDiv(monthIndex, 12)), -kYearLimit, kYearLimit);
    monthIndex = floorMod(monthIndex, 12);
    std::int64_t before = kDaysBefore[monthIndex] + (monthIndex >= 2 && isLeapYear(year) ? 1 : 0);
    std::int64_t previous = year - 1;
    std::int64_t count = (year - 1900) * 365 + floorDiv(previous, 4) - floorDiv(previous, 100) +
                         floorDiv(previous, 400) - 460 + before;
    return addSat(count, day);
}

std::int64_t yearOfDayCount(std::int64_t days) {
    days = clamp(days, -kDayLimit, kDayLimit);
    std::int64_t year = 1900 + floorDiv(days * 400, 146097);
    while (year > -kYearLimit && dayCount(year, 1, 1) > days)
        --year;
    while (year < kYearLimit && dayCount(year + 1, 1, 1) <= days)
        ++year;
    return year;
}

std::int64_t weekdayOfDayCount(std::int64_t days) {
    return floorMod(days + 6, 7);
}

// ---- DateTime -----------------------------------------------------------------------------------

DateTime::DateTime() : milliseconds(0), zone(TimeZone::processDefault()) {}

DateTime::DateTime(std::int64_t count) : milliseconds(count), zone(TimeZone::processDefault()) {}

DateTime::DateTime(std::int64_t count, const TimeZone& inZone)
    : milliseconds(count), zone(inZone.isSet() ? inZone : TimeZone::processDefault()) {}

DateTime::DateTime(const DateTimeDetails& details)
    : milliseconds(details.toMilliseconds()), zone(details.getZone()) {}

DateTime::DateTime(const DateTime& other) = default;
DateTime& DateTime::operator=(const DateTime& other) = default;
DateTime::~DateTime() = default;

std::int64_t DateTime::now() {
    VeltorPlatform::SystemTimeUtc utc;
    VeltorPlatform::getSystemTimeUtc(utc);
    // Straight from the fields: the clock's fields are in range, and this runs while the default zone
    // is being set up, so it must not ask for that zone.
    return dayCount(utc.year, utc.month, utc.day) * kMillisecondsPerDay +
           ((static_cast<std::int64_t>(utc.hour) * 60 + utc.minute) * 60 + utc.second) * 1000 +
           utc.millisecond;
}

std::string DateTime::format(bool withMilliseconds, bool basic, bool withZone) const {
    return DateTimeDetails(*this).format(withMilliseconds, basic, withZone);
}

// ---- DateTimeDetails ----------------------------------------------------------------------------

DateTimeDetails::DateTimeDetails()
    : year(1900), month(1), day(1), hour(0), minute(0), second(0), millisecond(0), week(1), weekday(0),
      dayOfYear(1), normalized(true), zoned(false), zone() {}

DateTimeDetails::DateTimeDetails(const DateTime& instant) : DateTimeDetails() {
    if (instant.getZone().isSet())
        zone = instant.getZone();
    fromMilliseconds(instant.getMilliseconds());
}

DateTimeDetails::DateTimeDetails(std::int64_t count) : DateTimeDetails() {
    fromMilliseconds(count);
}

DateTimeDetails::DateTimeDetails(std::int64_t inYear, std::int64_t inMonth, std::int64_t inDay,
                                 std::int64_t inHour, std::int64_t inMinute, std::int64_t inSecond,
                                 std::int64_t inMillisecond, bool inZoned)
    : year(inYear), month(inMonth), day(inDay), hour(inHour), minute(inMinute), second(inSecond),
      millisecond(inMillisecond), week(1), weekday(0), dayOfYear(1), normalized(false), zoned(inZoned),
      zone(TimeZone::processDefault()) {
    normalize();
}

DateTimeDetails::DateTimeDetails(const DateTimeDetails& other) = default;
DateTimeDetails& DateTimeDetails::operator=(const DateTimeDetails& other) = default;
DateTimeDetails::~DateTimeDetails() = default;

void DateTimeDetails::fromMilliseconds(std::int64_t count) {
    // 0 is the "no time" value of the system: it keeps the default fields.
    if (count == 0)
        return;
    setFromDays(floorDiv(count, kMillisecondsPerDay), floorMod(count, kMillisecondsPerDay));
}

void DateTimeDetails::setFromDays(std::int64_t days, std::int64_t rest) {
    days = clamp(days, -kDayLimit, kDayLimit);
    year = yearOfDayCount(days);
    dayOfYear = days - dayCount(year, 1, 1) + 1;
    const bool leap = isLeapYear(year);
    month = 12;
    while (month > 1 && dayOfYear <= kDaysBefore[month - 1] + (month > 2 && leap ? 1 : 0))
        --month;
    day = dayOfYear - kDaysBefore[month - 1] - (month > 2 && leap ? 1 : 0);
    hour = rest / 3600000;
    minute = rest / 60000 % 60;
    second = rest / 1000 % 60;
    millisecond = rest % 1000;
    weekday = weekdayOfDayCount(days);
    week = (dayOfYear - weekday + 9) / 7;
    if (week < 1)
        week = weeksInYear(year - 1);
    else if (week > weeksInYear(year))
        week = 1;
    normalized = true;
    zoned = false;
}

void DateTimeDetails::normalize() {
    // Every field carries into the next larger one, below and above its range; the date is then
    // rebuilt from its day count, so huge values cost no loops.
    carry(millisecond, second, 1000);
    carry(second, minute, 60);
    carry(minute, hour, 60);
    std::int64_t extraDays = 0;
    carry(hour, extraDays, 24);
    std::int64_t days = dayCount(year, month, 1);
    days = addSat(addSat(days, addSat(day, -1)), extraDays);
    const bool wasZoned = zoned;
    setFromDays(days, ((hour * 60 + minute) * 60 + second) * 1000 + millisecond);
    zoned = wasZoned;
}

std::int64_t DateTimeDetails::toMilliseconds() const {
    if (!normalized) {
        DateTimeDetails copy(*this);
        copy.normalize();
        return copy.toMilliseconds();
    }
    std::int64_t days = dayCount(year, month, day);
    std::int64_t count =
        days * kMillisecondsPerDay + ((hour * 60 + minute) * 60 + second) * 1000 + millisecond;
    if (zoned && zone.isSet()) {
        count = addSat(count, -zone.getStandardOffset());
        TimeZone::DaylightState state = zone.daylightState(count);
        if (state == TimeZone::Daylight_Active || state == TimeZone::Daylight_AfterEnd)
            count = addSat(count, -zone.getDaylightOffset());
    }
    return count;
}

std::string DateTimeDetails::format(bool withMilliseconds, bool basic, bool withZone) const {
    if (!normalized) {
        DateTimeDetails copy(*this);
        copy.normalize();
        return copy.format(withMilliseconds, basic, withZone);
    }
    char buffer[96];
    const char* dateSeparator = basic ? "" : "-";
    const char* timeSeparator = basic ? "" : ":";
    unsigned long long absoluteYear =
        year < 0 ? 0ull - static_cast<unsigned long long>(year) : static_cast<unsigned long long>(year);
    int length = std::snprintf(buffer, sizeof buffer, "%s%04llu%s%02d%s%02dT%02d%s%02d%s%02d",
                               year < 0 ? "-" : "", absoluteYear, dateSeparator, static_cast<int>(month),
                               dateSeparator, static_cast<int>(day), static_cast<int>(hour), timeSeparator,
                               static_cast<int>(minute), timeSeparator, static_cast<int>(second));
    std::string text(buffer, length > 0 ? static_cast<std::size_t>(length) : 0);
    if (withMilliseconds) {
        std::snprintf(buffer, sizeof buffer, ".%03d", static_cast<int>(millisecond));
        text += buffer;
    }
    if (!zoned)
        text += 'Z';
    else if (withZone && zone.isSet())
        text += zone.getText();
    return text;
}

} // namespace VeltorCorelib
