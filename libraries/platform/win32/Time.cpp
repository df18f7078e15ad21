#include "platform/Time.h"

#include "CalendarFields.h"

#include <windows.h>

#include <ctime>
#include <time.h>

namespace VeltorPlatform {

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
    std::tm local = toTm(fields);
    __time64_t result = ::_mktime64(&local);
    if (result == -1)
        return -1;
    copyFields(local, fields);
    return static_cast<std::int64_t>(result);
}

} // namespace VeltorPlatform
