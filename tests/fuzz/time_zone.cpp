// Zone, offset and rule texts of any content: no overflow, no reads past the end, and every set zone
// prints a text that reads back to the same offsets and rules.
#include "DateTime.h"
#include "FuzzTarget.h"

#include <cstring>

using namespace VeltorCorelib;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text = fuzzText(data, size);
    std::int64_t offset = TimeZone::parseOffset(text);
    const std::int64_t largestOffset = 99 * 3600000LL + 99 * 60000LL;
    FUZZ_CHECK(offset <= largestOffset && offset >= -largestOffset);
    TimeZoneRule rule = TimeZone::parseRule(text);
    FUZZ_CHECK(TimeZone::parseRule(TimeZone::ruleText(rule)) == rule);

    TimeZone zone(text);
    FUZZ_CHECK(zone.isSet());
    TimeZone again(zone.getText());
    auto printable = [](std::int64_t offset) {
        return offset % 60000 == 0 && offset > -360000000 && offset < 360000000;
    };
    if (!zone.getDaylightStart().isEmpty() && !zone.getDaylightEnd().isEmpty() &&
        printable(zone.getStandardOffset()) && printable(zone.getDaylightOffset())) {
        FUZZ_CHECK(again.getStandardOffset() == zone.getStandardOffset() &&
                   again.getDaylightOffset() == zone.getDaylightOffset() &&
                   again.getDaylightStart() == zone.getDaylightStart() &&
                   again.getDaylightEnd() == zone.getDaylightEnd());
    }

    // Instants and fields of any value: states stay in range, fields convert back.
    if (size >= 8) {
        std::int64_t instant;
        std::memcpy(&instant, data, sizeof instant);
        int state = zone.daylightState(instant);
        FUZZ_CHECK(state >= 0 && state <= 4);
        DateTimeDetails fields(instant);
        const std::int64_t limit = 9000000000000000000LL;
        FUZZ_CHECK(instant == 0 || instant <= -limit || instant >= limit ||
                   fields.toMilliseconds() == instant);
        fields.format(true, false, true);
        if (size >= 56) {
            std::int64_t v[7];
            std::memcpy(v, data, sizeof v);
            DateTimeDetails built(v[0], v[1], v[2], v[3], v[4], v[5], v[6], (data[0] & 1) != 0);
            FUZZ_CHECK(built.getMonth() >= 1 && built.getMonth() <= 12 && built.getDay() >= 1 &&
                       built.getDay() <= 31);
            built.setZoned(true, zone);
            built.toMilliseconds();
        }
    }
    return 0;
}
