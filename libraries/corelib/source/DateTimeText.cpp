// Interim rendering of date-time parameter values; replaced by the real date-time formatter.
#include "ParamStream.h"

#include <cstdio>

namespace VeltorCorelib {
namespace ParamText {

std::string formatDateTimeValue(std::uint64_t milliseconds) {
    // Milliseconds since 1899-12-31 00:00:00; days from the civil-from-days algorithm.
    std::int64_t ms = static_cast<std::int64_t>(milliseconds);
    std::int64_t days = ms / 86400000 - 25568; // days since 1970-01-01
    std::int64_t rest = ms % 86400000;
    days += 719468;
    std::int64_t era = days / 146097;
    std::int64_t doe = days - era * 146097;
    std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    std::int64_t y = yoe + era * 400;
    std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    std::int64_t mp = (5 * doy + 2) / 153;
    std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
    std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2)
        ++y;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%03lld", (long long)y,
                  (long long)m, (long long)d, (long long)(rest / 3600000), (long long)(rest / 60000 % 60),
                  (long long)(rest / 1000 % 60), (long long)(rest % 1000));
    return buffer;
}

} // namespace ParamText
} // namespace VeltorCorelib
