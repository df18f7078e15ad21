#include "platform/Time.h"

#include <windows.h>

#include <ctime>
#include <time.h>

namespace VeltorPlatform {

namespace {
void copyFields(const std::tm& from, CalendarTime& to) {
    to.second = from.tm_sec;
    to.minute = from.tm_min;
    to.hour = from.tm_hour;
    to.monthDay = from.tm_mday;
    to.month = from.tm_mon;
    to.year = from.tm_year;
    to.weekDay = from.tm_wday;
    to.yearDay = from.tm_yday;
    to.isDaylight = from.tm_isdst;
}
} // namespace

void getSystemTimeUtc(SystemTimeUtc& fields) {
    SYSTEMTIME now;
    ::GetSystemTime(&now);
    fields.year = now.wYear;
    fields.month = now.wMonth;
    fields.day = now.wDay;
    fields.hour = now.wHour;
    fields.minute = now.wMinute;
    fields.second = now.wSecond;
    fields.millisecond = now.wMilliseconds;
}

// The 64-bit forms of the runtime's functions: the 32-bit ones wrap in 2038.
std::int64_t timeNow() {
    return static_cast<std::int64_t>(::_time64(nullptr));
}

void timeZoneSet() {
    ::_tzset();
}

bool localTime(std::int64_t seconds, CalendarTime& fields) {
    __time64_t value = seconds;
    std::tm local{};
    if (::_localtime64_s(&local, &value) != 0)
        return false;
    copyFields(local, fields);
    return true;
}

bool utcTime(std::int64_t seconds, CalendarTime& fields) {
    __time64_t value = seconds;
    std::tm utc{};
    if (::_gmtime64_s(&utc, &value) != 0)
        return false;
    copyFields(utc, fields);
    return true;
}

std::int64_t makeTime(CalendarTime& fields) {
    std::tm local{};
    local.tm_sec = fields.second;
    local.tm_min = fields.minute;
    local.tm_hour = fields.hour;
    local.tm_mday = fields.monthDay;
    local.tm_mon = fields.month;
    local.tm_year = fields.year;
    local.tm_isdst = fields.isDaylight;
    __time64_t result = ::_mktime64(&local);
    if (result == -1)
        return -1;
    copyFields(local, fields);
    return static_cast<std::int64_t>(result);
}

} // namespace VeltorPlatform
