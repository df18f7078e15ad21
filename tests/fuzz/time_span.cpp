// ISO-8601 durations on arbitrary text: never undefined behaviour, always a finite length, and a text
// without 'P' is always a zero span.
#include "FuzzTarget.h"
#include "TimeSpan.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text = fuzzText(data, size);
    VeltorCorelib::TimeSpan span(text);
    double hours = span.hours();
    FUZZ_CHECK(std::isfinite(hours));
    FUZZ_CHECK(text.find('P') != std::string::npos || hours == 0.0);
    return 0;
}
