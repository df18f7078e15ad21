// The UTF-8 decoder against a plain rule-by-rule reference: same code point, same bytes used, same
// reason on failure; and every accepted character encodes back to exactly the bytes it came from.
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

bool continuation(unsigned char b, unsigned char low = 0x80, unsigned char high = 0xBF) {
    return b >= low && b <= high;
}

Outcome reference(const unsigned char* data, std::size_t size) {
    Outcome out;
    if (size == 0) {
        out.reason = "Invalid unicode (void utf8)";
        return out;
    }
    unsigned announced = 1;
    if (data[0] >= 0xC0) {
        announced = 0;
        for (unsigned bit = 7; bit < 8 && (data[0] >> bit) & 1; --bit)
            ++announced;
    }
    std::size_t n = 0;
    while (n < announced && n < size) {
        if (data[n] == 0 && n > 0)
            break;
        if (n == 4) {
            out.reason = "Invalid unicode (> 4 bytes)";
            return out;
        }
        ++n;
        if (data[n - 1] == 0)
            break;
    }
    const unsigned char* b = data;
    bool valid = false;
    std::uint32_t code = 0;
    if (n == 1 && b[0] < 0x80) {
        valid = true;
        code = b[0];
    } else if (n == 2 && b[0] >= 0xC2 && b[0] <= 0xDF && continuation(b[1])) {
        valid = true;
        code = ((b[0] & 0x1Fu) << 6) | (b[1] & 0x3Fu);
    } else if (n == 3 && b[0] >= 0xE0 && b[0] <= 0xEF) {
        const unsigned char low = b[0] == 0xE0 ? 0xA0 : 0x80;
        const unsigned char high = b[0] == 0xED ? 0x9F : 0xBF;
        valid = continuation(b[1], low, high) && continuation(b[2]);
        code = ((b[0] & 0x0Fu) << 12) | ((b[1] & 0x3Fu) << 6) | (b[2] & 0x3Fu);
    } else if (n == 4 && b[0] >= 0xF0 && b[0] <= 0xF4) {
        const unsigned char low = b[0] == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = b[0] == 0xF4 ? 0x8F : 0xBF;
        valid = continuation(b[1], low, high) && continuation(b[2]) && continuation(b[3]);
        code = ((b[0] & 0x07u) << 18) | ((b[1] & 0x3Fu) << 12) | ((b[2] & 0x3Fu) << 6) | (b[3] & 0x3Fu);
    }
    if (!valid) {
        out.reason = "Invalid unicode (invalid utf8)";
        return out;
    }
    out.ok = true;
    out.code = code;
    out.used = n;
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Outcome expected = reference(data, size);
    // A copy of exactly `size` bytes, so reading past the end is caught by the sanitizer.
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const char* start = size ? bytes.data() : nullptr;
    const char* cursor = start;
    Outcome actual;
    try {
        actual.code = Unicode::decodeUtf8(&cursor, size);
        actual.ok = true;
        actual.used = static_cast<std::size_t>(cursor - start);
    } catch (const Unicode::Unicode_Invalid& e) {
        actual.reason = e.getText(false);
    }
    if (actual.ok != expected.ok || actual.code != expected.code || actual.used != expected.used ||
        actual.reason != expected.reason)
        __builtin_trap();
    if (actual.ok && Unicode::codeToUtf8(actual.code) != bytes.substr(0, actual.used))
        __builtin_trap();
    return 0;
}
