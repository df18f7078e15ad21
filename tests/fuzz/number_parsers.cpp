// The 64-bit, 32-bit and double parsers and writers on any text: no overflow traps, no reads past the end.
#include "ParamStream.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

using namespace VeltorCorelib;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::uint64_t u = ParamText::toUInt64(text);
    std::int64_t i = ParamText::toInt64(text);
    ParamText::toInt32(text);
    ParamText::toUInt32(text);
    double d = ParamText::toDouble(text);

    // Whatever was read, its text form reads back to the same value.
    if (ParamText::toUInt64(ParamText::fromUInt64(u)) != u)
        __builtin_trap();
    ParamStream s = makeParams(i, d);
    std::int64_t i2 = 0;
    s >> i2;
    if (i2 != i)
        __builtin_trap();
    std::string shown = ParamText::fromDouble(d);
    if (shown.empty() || shown.size() >= 330)
        __builtin_trap();

    if (size >= 8) {
        double raw;
        std::memcpy(&raw, data, sizeof raw);
        ParamText::fromDouble(raw);
    }
    return 0;
}
