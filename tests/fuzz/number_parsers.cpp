// The 64-bit, 32-bit and double parsers and writers on any text: no overflow traps, no reads past the end.
#include "FuzzTarget.h"
#include "ParamStream.h"

#include <cstring>

using namespace VeltorCorelib;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text = fuzzText(data, size);
    std::uint64_t u = ParamText::toUInt64(text);
    std::int64_t i = ParamText::toInt64(text);
    ParamText::toInt32(text);
    ParamText::toUInt32(text);
    double d = ParamText::toDouble(text);

    // Whatever was read, its text form reads back to the same value.
    FUZZ_CHECK(ParamText::toUInt64(ParamText::fromUInt64(u)) == u);
    ParamStream s = makeParams(i, d);
    std::int64_t i2 = 0;
    s >> i2;
    FUZZ_CHECK(i2 == i);
    std::string shown = ParamText::fromDouble(d);
    FUZZ_CHECK(!shown.empty() && shown.size() < 330);

    if (size >= 8) {
        double raw;
        std::memcpy(&raw, data, sizeof raw);
        ParamText::fromDouble(raw);
    }
    return 0;
}
