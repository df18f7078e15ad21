#include "DateTime.h"
#include "Wildcard.h"

#include "platform/SystemInfo.h"
#include "platform/Time.h"

#include <cstdio>
#include <limits>

namespace VeltorCorelib {

namespace {

constexpr std::int64_t kHour = 3600000;
constexpr std::int64_t kMinute = 60000;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Offsets beyond any real zone (a number text may give any value) are held to about 31 years, and
// instants to the range whose day counts the calendar handles, so sums of the two never overflow.
constexpr std::int64_t kOffsetLimit = 1000000000000LL;
constexpr std::int64_t kInstantLimit = 9000000000000000000LL;

std::int64_t clampTo(std::int64_t value, std::int64_t limit) {
    return value < -limit ? -limit : (value > limit ? limit : value);
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

// Decimal digits with an optional sign; runs too long for 64 bits saturate. digits receives how many
// digits were read (0: no number).
std::int64_t readInteger(const std::string& text, std::size_t& digits) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    std::uint64_t value = 0;
    const std::uint64_t limit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    digits = 0;
    for (; i < text.size() && isDigit(text[i]); ++i, ++digits) {
        std::uint64_t digit = static_cast<std::uint64_t>(text[i] - '0');
        value = value > (limit - digit) / 10 ? limit : value * 10 + digit;
    }
    std::int64_t result = static_cast<std::int64_t>(value);
    return negative ? -result : result;
}

// The instant (local time of the zone's calendar, as milliseconds) at which a rule fires in a year.
std::int64_t ruleLocalTime(const TimeZoneRule& rule, std::int64_t year) {
    const std::int64_t first = dayCount(year, rule.month, 1);
    const std::int64_t last = first + daysInMonth(year, rule.month) - 1;
    std::int64_t weekday = rule.weekday > 6 ? 6 : rule.weekday;
    std::int64_t day = first + ((weekday - weekdayOfDayCount(first)) % 7 + 7) % 7;
    std::int64_t week = rule.week < 1 ? 1 : (rule.week > 5 ? 5 : rule.week);
    day += 7 * (week - 1);
    while (day > last)
        day -= 7;
    return day * kMillisecondsPerDay + static_cast<std::int64_t>(rule.hour) * kHour;
}

} // namespace

// ---- The process default zone ------------------------------------------------------------------

struct TimeZoneDefault {
    bool initialized = false;
    bool fromEnvironment = false;
    bool derived = false;
    std::int64_t derivedAt = 0;
    TimeZone zone;

    static TimeZoneDefault& get() {
        static TimeZoneDefault state;
        return state;
    }

    static TimeZone parse(const std::string& text, const TimeZone& base, std::int64_t nowMilliseconds);
    static TimeZone deriveFromRuntime(std::int64_t nowSeconds);
};

TimeZone TimeZoneDefault::parse(const std::string& text, const TimeZone& base, std::int64_t nowMilliseconds) {
    TimeZone zone;
    zone.set = true;
    if (matchWildcard(text, "???:?? (???:?? *M*W*D*H-*M*W*D*H)")) {
        std::size_t space = text.find(' ');
        std::size_t open = text.find('(', space);
        std::size_t secondSpace = text.find(' ', open + 1);
        std::size_t dash = text.find('-', secondSpace + 1);
        std::size_t close = text.rfind(')');
        zone.standardOffset = TimeZone::parseOffset(text.substr(0, space));
        zone.daylightOffset = TimeZone::parseOffset(text.substr(open + 1, secondSpace - open - 1));
        zone.daylightStart = TimeZone::parseRule(text.substr(secondSpace + 1, dash - secondSpace - 1));
        zone.daylightEnd = TimeZone::parseRule(text.substr(dash + 1, close - dash - 1));
        return zone;
    }
    zone.daylightOffset = base.daylightOffset;
    zone.daylightStart = base.daylightStart;
    zone.daylightEnd = base.daylightEnd;
    if (matchWildcard(text, "+????*") || matchWildcard(text, "-????*")) {
        zone.standardOffset = TimeZone::parseOffset(text);
    } else {
        std::size_t digits = 0;
        std::int64_t number = readInteger(text, digits);
        if (digits < 7) {
            // At most six digits: minutes, and small enough not to overflow.
            zone.standardOffset = number * kMinute;
        } else {
            zone.standardOffset = number;
        }
    }
    zone.standardOffset = clampTo(zone.standardOffset, kOffsetLimit);
    // The text gives the offset in effect now; in daylight time that includes the daylight offset.
    TimeZone::DaylightState state = zone.daylightState(nowMilliseconds);
    if (state == TimeZone::Daylight_Active || state == TimeZone::Daylight_AfterStart)
        zone.standardOffset -= zone.daylightOffset;
    return zone;
}

TimeZone TimeZoneDefault::deriveFromRuntime(std::int64_t nowSeconds) {
    using VeltorPlatform::CalendarTime;
    const std::int64_t epochDays = kUnixEpochMilliseconds / kMillisecondsPerDay;
    // Local offset in seconds at an instant, and whether the runtime calls it daylight time.
    auto sample = [&](std::int64_t seconds, std::int64_t& offset, bool& daylight) {
        CalendarTime local;
        if (!VeltorPlatform::localTime(seconds, local))
            return false;
        std::int64_t localSeconds =
            (dayCount(local.year + 1900, local.month + 1, local.monthDay) - epochDays) * 86400 +
            local.hour * 3600 + local.minute * 60 + local.second;
        offset = localSeconds - seconds;
        daylight = local.isDaylight > 0;
        return true;
    };

    TimeZone zone;
    zone.set = true;
    std::int64_t offsetNow = 0;
    bool daylightNow = false;
    if (!sample(nowSeconds, offsetNow, daylightNow))
        return zone;

    // Find this year's changes: one sample per day, then halve the day in which the state flips.
    const std::int64_t year = yearOfDayCount(floorDiv(nowSeconds, 86400) + epochDays);
    const std::int64_t yearStart = (dayCount(year, 1, 1) - epochDays) * 86400 + 43200;
    std::int64_t standard = offsetNow;
    std::int64_t daylightOffset = 0;
    std::int64_t starts = -1;
    std::int64_t ends = -1;
    std::int64_t previousOffset = 0;
    bool previousDaylight = false;
    bool havePrevious = false;
    for (std::int64_t dayIndex = 0; dayIndex <= 366; ++dayIndex) {
        std::int64_t at = yearStart + dayIndex * 86400;
        std::int64_t offset = 0;
        bool daylight = false;
        if (!sample(at, offset, daylight))
            continue;
        if (!daylight)
            standard = offset;
        else
            daylightOffset = offset;
        if (havePrevious && daylight != previousDaylight) {
            std::int64_t low = at - 86400;
            std::int64_t high = at;
            while (high - low > 1) {
                std::int64_t middle = low + (high - low) / 2;
                std::int64_t middleOffset = 0;
                bool middleDaylight = previousDaylight;
                if (!sample(middle, middleOffset, middleDaylight) || middleDaylight == previousDaylight)
                    low = middle;
                else
                    high = middle;
            }
            (daylight ? starts : ends) = high;
        }
        previousOffset = offset;
        previousDaylight = daylight;
        havePrevious = true;
    }
    (void)previousOffset;
    if (starts < 0 || ends < 0 || daylightOffset == 0) {
        zone.standardOffset = offsetNow * 1000;
        return zone;
    }
    zone.standardOffset = standard * 1000;
    zone.daylightOffset = (daylightOffset - standard) * 1000;
    // The start is written in standard time, the end in daylight time.
    auto toRule = [&](std::int64_t utcSeconds, std::int64_t localOffset) {
        DateTimeDetails fields((utcSeconds + localOffset) * 1000 + kUnixEpochMilliseconds);
        TimeZoneRule rule;
        rule.month = static_cast<std::uint8_t>(fields.getMonth());
        rule.week =
            static_cast<std::uint8_t>(fields.getDay() + 7 > daysInMonth(fields.getYear(), fields.getMonth())
                                          ? 5
                                          : (fields.getDay() - 1) / 7 + 1);
        rule.weekday = static_cast<std::uint8_t>(fields.getWeekday());
        rule.hour = static_cast<std::uint8_t>(fields.getHour());
        return rule;
    };
    zone.daylightStart = toRule(starts, standard);
    zone.daylightEnd = toRule(ends, daylightOffset);
    return zone;
}

TimeZone TimeZone::processDefault() {
    TimeZoneDefault& state = TimeZoneDefault::get();
    if (!state.initialized) {
        state.initialized = true;
        std::string text;
        if (VeltorPlatform::getEnvironment("VELTOR_TZ", text) && !text.empty()) {
            // Offset and number forms in VELTOR_TZ have no rules to borrow: they give a fixed offset.
            TimeZone none;
            state.zone = TimeZoneDefault::parse(text, none, DateTime::now());
            state.fromEnvironment = true;
        } else {
            VeltorPlatform::timeZoneSet();
        }
    }
    if (!state.fromEnvironment) {
        std::int64_t now = VeltorPlatform::timeNow();
        // Derived again after an hour: the system's zone or its daylight period may have changed.
        if (!state.derived || now - state.derivedAt >= 3600 || now < state.derivedAt) {
            state.zone = TimeZoneDefault::deriveFromRuntime(now);
            state.derived = true;
            state.derivedAt = now;
        }
    }
    return state.zone;
}

void TimeZone::reloadProcessDefault() {
    TimeZoneDefault& state = TimeZoneDefault::get();
    state = TimeZoneDefault();
}

// ---- TimeZone -----------------------------------------------------------------------------------

TimeZone::TimeZone() : set(false), standardOffset(0), daylightOffset(0) {}

TimeZone::TimeZone(const std::string& text) : TimeZone() {
    *this = TimeZoneDefault::parse(text, processDefault(), DateTime::now());
}

TimeZone::TimeZone(const TimeZone& other) = default;
TimeZone& TimeZone::operator=(const TimeZone& other) = default;
TimeZone::~TimeZone() = default;

TimeZone::DaylightState TimeZone::daylightState(std::int64_t milliseconds) const {
    if (!set)
        return Daylight_NotSet;
    if (daylightStart.isEmpty() || daylightEnd.isEmpty())
        return Daylight_Standard;
    milliseconds = clampTo(milliseconds, kInstantLimit);
    const std::int64_t standardOffset = clampTo(this->standardOffset, kOffsetLimit);
    const std::int64_t daylightOffset = clampTo(this->daylightOffset, kOffsetLimit);
    const std::int64_t year = yearOfDayCount(floorDiv(milliseconds + standardOffset, kMillisecondsPerDay));
    const std::int64_t start = ruleLocalTime(daylightStart, year) - standardOffset;
    const std::int64_t end = ruleLocalTime(daylightEnd, year) - standardOffset - daylightOffset;
    if (start == end)
        return Daylight_Standard;
    const std::int64_t width = daylightOffset > 0 ? daylightOffset : 0;
    if (milliseconds >= start && milliseconds - start < width)
        return Daylight_AfterStart;
    if (milliseconds >= end && milliseconds - end < width)
        return Daylight_AfterEnd;
    // A start later than the end in the year: the southern hemisphere, daylight time spans new year.
    bool inside = start < end ? (milliseconds >= start && milliseconds < end)
                              : (milliseconds >= start || milliseconds < end);
    return inside ? Daylight_Active : Daylight_Standard;
}

std::int64_t TimeZone::offsetAt(std::int64_t milliseconds) const {
    DaylightState state = daylightState(milliseconds);
    if (state == Daylight_Active || state == Daylight_AfterStart)
        return clampTo(standardOffset, kOffsetLimit) + clampTo(daylightOffset, kOffsetLimit);
    return standardOffset;
}

std::string TimeZone::getText() const {
    if (daylightStart.isEmpty() || daylightEnd.isEmpty())
        return offsetText(standardOffset);
    return offsetText(standardOffset) + " (" + offsetText(daylightOffset) + " " + ruleText(daylightStart) +
           "-" + ruleText(daylightEnd) + ")";
}

std::int64_t TimeZone::parseOffset(const std::string& text) {
    if (text.empty() || (text[0] != '+' && text[0] != '-'))
        return 0;
    std::size_t minutesAt;
    if (text.size() == 6 && text[3] == ':')
        minutesAt = 4;
    else if (text.size() == 5)
        minutesAt = 3;
    else
        return 0;
    if (!isDigit(text[1]) || !isDigit(text[2]) || !isDigit(text[minutesAt]) || !isDigit(text[minutesAt + 1]))
        return 0;
    std::int64_t hours = (text[1] - '0') * 10 + (text[2] - '0');
    std::int64_t minutes = (text[minutesAt] - '0') * 10 + (text[minutesAt + 1] - '0');
    std::int64_t value = hours * kHour + minutes * kMinute;
    return text[0] == '-' ? -value : value;
}

TimeZoneRule TimeZone::parseRule(const std::string& text) {
    TimeZoneRule rule;
    std::string collected;
    for (char c : text) {
        char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        if (upper != 'M' && upper != 'W' && upper != 'D' && upper != 'H') {
            collected += c;
            continue;
        }
        std::size_t digits = 0;
        std::int64_t number = readInteger(collected, digits);
        std::uint8_t value = number >= 0 && number <= 255 ? static_cast<std::uint8_t>(number) : 0;
        collected.clear();
        switch (upper) {
        case 'M':
            rule.month = value;
            break;
        case 'W':
            rule.week = value;
            break;
        case 'D':
            rule.weekday = value;
            break;
        default:
            rule.hour = value;
            break;
        }
    }
    return rule;
}

std::string TimeZone::offsetText(std::int64_t milliseconds, bool basic) {
    std::uint64_t magnitude = milliseconds < 0 ? 0ull - static_cast<std::uint64_t>(milliseconds)
                                               : static_cast<std::uint64_t>(milliseconds);
    std::uint64_t minutes = magnitude / 60000;
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%c%02llu%s%02llu", milliseconds < 0 ? '-' : '+',
                  static_cast<unsigned long long>(minutes / 60), basic ? "" : ":",
                  static_cast<unsigned long long>(minutes % 60));
    return buffer;
}

std::string TimeZone::ruleText(const TimeZoneRule& rule) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%uM%uW%uD%uH", unsigned(rule.month), unsigned(rule.week),
                  unsigned(rule.weekday), unsigned(rule.hour));
    return buffer;
}

} // namespace VeltorCorelib
