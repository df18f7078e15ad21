// ISO-8601 durations on arbitrary text: never undefined behaviour, always a finite length, and a text
// without 'P' is always a zero span.
#include "TimeSpan.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    VeltorCorelib::TimeSpan span(text);
    double hours = span.hours();
    if (!std::isfinite(hours))
        std::abort();
    if (text.find('P') == std::string::npos && hours != 0.0)
        std::abort();
    return 0;
}
