#include "platform/Time.h"

#include "CalendarFields.h"

#include <ctime>

namespace VeltorPlatform {

namespace {

bool representable(std::int64_t seconds) {
    return static_cast<std::int64_t>(static_cast<time_t>(seconds)) == seconds;
}
} // namespace

void getSystemTimeUtc(SystemTimeUtc& fields) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::tm utc{};
    ::gmtime_r(&now.tv_sec, &utc);
    fields.year = utc.tm_year + 1900;
    fields.month = utc.tm_mon + 1;
    fields.day = utc.tm_mday;
    fields.hour = utc.tm_hour;
    fields.minute = utc.tm_min;
    fields.second = utc.tm_sec;
    fields.millisecond = static_cast<int>(now.tv_nsec / 1000000);
}

std::int64_t timeNow() {
    return static_cast<std::int64_t>(::time(nullptr));
}

void timeZoneSet() {
    ::tzset();
}

bool localTime(std::int64_t seconds, CalendarTime& fields) {
    if (!representable(seconds))
        return false;
    time_t value = static_cast<time_t>(seconds);
    std::tm local{};
    if (::localtime_r(&value, &local) == nullptr)
        return false;
    copyFields(local, fields);
    return true;
}

bool utcTime(std::int64_t seconds, CalendarTime& fields) {
    if (!representable(seconds))
        return false;
    time_t value = static_cast<time_t>(seconds);
    std::tm utc{};
    if (::gmtime_r(&value, &utc) == nullptr)
        return false;
    copyFields(utc, fields);
    return true;
}

std::int64_t makeTime(CalendarTime& fields) {
    std::tm local = toTm(fields);
    time_t result = ::mktime(&local);
    if (result == static_cast<time_t>(-1))
        return -1;
    copyFields(local, fields);
    return static_cast<std::int64_t>(result);
}

} // namespace VeltorPlatform
