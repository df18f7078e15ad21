// The UTF-8 and UTF-16 decoders against plain rule-by-rule references: same code point, same bytes used,
// same reason on failure; and every accepted character encodes back to exactly the bytes it came from.
#include "Unicode.h"
#include "FuzzTarget.h"

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

Outcome referenceUtf8(const unsigned char* data, std::size_t size) {
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

Outcome referenceUtf16(const unsigned char* data, std::size_t size, bool little) {
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

// Decodes one character of `bytes` (a copy of exactly the input, so reading past its end is caught by the
// sanitizer), compares with the reference and encodes the character back.
template <typename Decode, typename Encode>
void check(const std::string& bytes, const Outcome& expected, Decode decode, Encode encode) {
    const char* start = bytes.empty() ? nullptr : bytes.data();
    const char* cursor = start;
    Outcome actual;
    try {
        actual.code = decode(&cursor, bytes.size());
        actual.ok = true;
        actual.used = static_cast<std::size_t>(cursor - start);
    } catch (const Unicode::Unicode_Invalid& e) {
        actual.reason = e.getText(false);
    }
    FUZZ_CHECK(actual.ok == expected.ok && actual.code == expected.code && actual.used == expected.used &&
               actual.reason == expected.reason);
    FUZZ_CHECK(!actual.ok || encode(actual.code) == bytes.substr(0, actual.used));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes = fuzzText(data, size);
    check(bytes, referenceUtf8(data, size), Unicode::decodeUtf8, Unicode::codeToUtf8);
    check(bytes, referenceUtf16(data, size, true), Unicode::decodeUtf16le, Unicode::codeToUtf16le);
    check(bytes, referenceUtf16(data, size, false), Unicode::decodeUtf16be, Unicode::codeToUtf16be);
    return 0;
}
