// A duration read from ISO-8601 duration text ("PT10H", "P1D"). Years and months are kept apart from
// the fixed units because they have no fixed length; only hours() gives them one.
#pragma once
#include <cstdint>
#include <string>

namespace VeltorCorelib {

class TimeSpan {
public:
    TimeSpan() = default;
    // Never fails: text it cannot use gives a zero span, unusable characters are skipped.
    explicit TimeSpan(const std::string& text);
    virtual ~TimeSpan() = default;

    // Years at 8765.82 hours (365.2425 days), months at a twelfth of that, the rest exactly.
    double hours() const;

    std::int64_t getYears() const { return years; }
    std::int64_t getMonths() const { return months; }
    std::int64_t getMilliseconds() const { return milliseconds; }

private:
    std::int64_t years = 0;
    std::int64_t months = 0;
    std::int64_t milliseconds = 0;
};

} // namespace VeltorCorelib
