#include "TimeSpan.h"

#include <limits>

namespace VeltorCorelib {

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

// Reads the buffer as atoi does (optional '-', digits up to the first other character), saturating
// instead of overflowing on absurdly long digit runs.
std::int64_t readNumber(const std::string& buffer, std::size_t from, std::size_t to) {
    std::size_t i = from;
    bool negative = false;
    if (i < to && buffer[i] == '-') {
        negative = true;
        ++i;
    }
    std::int64_t value = 0;
    for (; i < to && buffer[i] >= '0' && buffer[i] <= '9'; ++i) {
        int digit = buffer[i] - '0';
        if (value > (kMax - digit) / 10) {
            value = kMax;
            // Skip the remaining digits: the value is saturated.
            continue;
        }
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

std::int64_t saturatingMul(std::int64_t value, std::int64_t factor) {
    if (value > 0 && value > kMax / factor)
        return kMax;
    if (value < 0 && value < kMin / factor)
        return kMin;
    return value * factor;
}

std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
    if (b > 0 && a > kMax - b)
        return kMax;
    if (b < 0 && a < kMin - b)
        return kMin;
    return a + b;
}

} // namespace

TimeSpan::TimeSpan(const std::string& text) {
    std::size_t start = text.find('P');
    if (start == std::string::npos || start + 1 >= text.size())
        return;
    bool timePart = false;
    std::string buffer;
    for (std::size_t i = start + 1; i < text.size(); ++i) {
        char c = text[i];
        if (c == '-' || c == '.' || (c >= '0' && c <= '9')) {
            buffer.push_back(c);
            continue;
        }
        if (c == 'T') {
            buffer.clear();
            timePart = true;
            continue;
        }
        char letter = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        if (letter != 'Y' && letter != 'M' && letter != 'D' && letter != 'H' && letter != 'S')
            continue; // skipped, the buffer stays
        std::int64_t value = readNumber(buffer, 0, buffer.size());
        if (!timePart) {
            if (letter == 'Y')
                years = value;
            else if (letter == 'M')
                months = value;
            else if (letter == 'D')
                milliseconds = saturatingAdd(milliseconds, saturatingMul(value, 86400000));
        } else {
            if (letter == 'M') {
                milliseconds = saturatingAdd(milliseconds, saturatingMul(value, 60000));
            } else if (letter == 'H') {
                milliseconds = saturatingAdd(milliseconds, saturatingMul(value, 3600000));
            } else if (letter == 'S') {
                std::size_t dot = buffer.find('.');
                if (dot == std::string::npos) {
                    milliseconds = saturatingAdd(milliseconds, saturatingMul(value, 1000));
                } else {
                    std::int64_t whole = readNumber(buffer, 0, dot);
                    milliseconds = saturatingAdd(milliseconds, saturatingMul(whole, 1000));
                    // First three fraction digits, padded with zeros on the right.
                    std::int64_t fraction = 0;
                    std::size_t digits = 0;
                    for (std::size_t j = dot + 1; j < buffer.size() && digits < 3; ++j) {
                        if (buffer[j] < '0' || buffer[j] > '9')
                            break;
                        fraction = fraction * 10 + (buffer[j] - '0');
                        ++digits;
                    }
                    for (; digits < 3; ++digits)
                        fraction *= 10;
                    bool negative = !buffer.empty() && buffer[0] == '-';
                    milliseconds = saturatingAdd(milliseconds, negative ? -fraction : fraction);
                }
            }
        }
        buffer.clear();
    }
}

double TimeSpan::hours() const {
    double calendar = static_cast<double>(years) * 8765.82 + static_cast<double>(months) * 730.485;
    return calendar + static_cast<double>(milliseconds) / 3600000.0;
}

} // namespace VeltorCorelib
