// The C runtime's broken-down time and the platform's calendar fields, in both directions: the same
// on every system, whichever 64-bit time functions it calls.
#pragma once
#include "platform/Time.h"

#include <ctime>

namespace VeltorPlatform {

inline void copyFields(const std::tm& from, CalendarTime& to) {
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

// The fields mktime reads; the week and year days are its output.
inline std::tm toTm(const CalendarTime& fields) {
    std::tm result{};
    result.tm_sec = fields.second;
    result.tm_min = fields.minute;
    result.tm_hour = fields.hour;
    result.tm_mday = fields.monthDay;
    result.tm_mon = fields.month;
    result.tm_year = fields.year;
    result.tm_isdst = fields.isDaylight;
    return result;
}

} // namespace VeltorPlatform
