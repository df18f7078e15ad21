// The UTF-16 decoders against a plain reference for both byte orders: same code point, same bytes
// used, same reason on failure; every accepted character encodes back to the bytes it came from.
#include "Unicode.h"

#include <cstddef>
#include <cstdint>
#include <string>

using VeltorCorelib::Unicode;

namespace {

struct Outcome {
    bool ok = false;
    std::uint32_t code = 0;
    std::size_t used = 0;
    std::string reason;
};

Outcome reference(const unsigned char* data, std::size_t size, bool little) {
    const std::string order = little ? "le" : "be";
    Outcome out;
    auto unitAt = [&](std::size_t at) {
        return little ? std::uint32_t(data[at]) | (std::uint32_t(data[at + 1]) << 8)
                      : (std::uint32_t(data[at]) << 8) | std::uint32_t(data[at + 1]);
    };
    if (size == 0) {
        out.reason = "Invalid unicode (void utf16" + order + ")";
    } else if (size % 2) {
        out.reason = "Invalid unicode (uneven utf16" + order + ")";
    } else if (unitAt(0) < 0xD800 || unitAt(0) > 0xDFFF) {
        out = {true, unitAt(0), 2, ""};
    } else if (unitAt(0) >= 0xDC00) {
        out.reason = "Invalid unicode (illegal value uft16" + order + ")";
    } else if (size < 4) {
        out.reason = "Invalid unicode (too short uft16" + order + ")";
    } else if (unitAt(2) < 0xDC00 || unitAt(2) > 0xDFFF) {
        out.reason = "Invalid unicode (illegal value uft16" + order + ")";
    } else {
        out = {true, 0x10000 + ((unitAt(0) - 0xD800) << 10) + (unitAt(2) - 0xDC00), 4, ""};
    }
    return out;
}

void check(const std::string& bytes, bool little) {
    const Outcome expected =
        reference(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), little);
    const char* start = bytes.empty() ? nullptr : bytes.data();
    const char* cursor = start;
    Outcome actual;
    try {
        actual.code = little ? Unicode::decodeUtf16le(&cursor, bytes.size())
                             : Unicode::decodeUtf16be(&cursor, bytes.size());
        actual.ok = true;
        actual.used = static_cast<std::size_t>(cursor - start);
    } catch (const Unicode::Unicode_Invalid& e) {
        actual.reason = e.getText(false);
    }
    if (actual.ok != expected.ok || actual.code != expected.code || actual.used != expected.used ||
        actual.reason != expected.reason)
        __builtin_trap();
    const std::string again =
        little ? Unicode::codeToUtf16le(actual.code) : Unicode::codeToUtf16be(actual.code);
    if (actual.ok && again != bytes.substr(0, actual.used))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    check(bytes, true);
    check(bytes, false);
    return 0;
}
