#include "Unicode.h"

#include "SystemBase.h"

#include <cstring>

namespace VeltorCorelib {

namespace {

const char* const invalidRecord = "@unicode.invalid{Invalid unicode (%)};";

// Byte classes and transitions of Höhrmann's UTF-8 decoding automaton: the first 256 entries map a byte
// to its class, the rest is the transition table indexed by state * 16 + class. State 0 accepts, 1 rejects.
const std::uint8_t utf8Automaton[] = {
    // 0x00-0x7F
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 0x80-0x8F, 0x90-0x9F
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9,
    // 0xA0-0xBF
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
    // 0xC0-0xC1, 0xC2-0xDF
    8, 8, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    // 0xE0, 0xE1-0xEC, 0xED, 0xEE-0xEF, 0xF0, 0xF1-0xF3, 0xF4, 0xF5-0xFF
    10, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 4, 3, 3, 11, 6, 6, 6, 5, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8,
    // transitions: states 0 to 8
    0, 1, 2, 3, 5, 8, 7, 1, 1, 1, 4, 6, 1, 1, 1, 1, // 0 accept
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, // 1 reject
    1, 0, 1, 1, 1, 1, 1, 0, 1, 0, 1, 1, 1, 1, 1, 1, // 2 one continuation left
    1, 2, 1, 1, 1, 1, 1, 2, 1, 2, 1, 1, 1, 1, 1, 1, // 3 two left
    1, 1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1, // 4 after E0: A0-BF only (no overlong)
    1, 2, 1, 1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, // 5 after ED: 80-9F only (no surrogates)
    1, 1, 1, 1, 1, 1, 1, 3, 1, 3, 1, 1, 1, 1, 1, 1, // 6 after F0: 90-BF only (no overlong)
    1, 3, 1, 1, 1, 1, 1, 3, 1, 3, 1, 1, 1, 1, 1, 1, // 7 after F1-F3: three left
    1, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, // 8 after F4: 80-8F only (nothing above 0x10FFFF)
};

const std::uint32_t utf8Accept = 0;

[[noreturn]] void throwInvalid(const char* reason, const std::string& source) {
    throw Unicode::Unicode_Invalid(invalidRecord, source, makeParams(std::string(reason)));
}

#define VELTOR_UNICODE_INVALID(reason) throwInvalid(reason, VELTOR_SOURCE)

struct Utf16Names {
    const char* voidReason;
    const char* unevenReason;
    const char* illegalReason;
    const char* shortReason;
};

std::uint16_t readUnit(const char* bytes, bool littleEndian) {
    std::uint16_t unit;
    std::memcpy(&unit, bytes, 2);
    return littleEndian ? Unicode::fromLittleEndian16(unit) : Unicode::fromBigEndian16(unit);
}

std::uint32_t decodeUtf16(const char** cursor, std::size_t length, bool littleEndian,
                          const Utf16Names& names) {
    if (cursor == nullptr || *cursor == nullptr || length == 0)
        VELTOR_UNICODE_INVALID(names.voidReason);
    if (length % 2 != 0)
        VELTOR_UNICODE_INVALID(names.unevenReason);
    const std::uint16_t high = readUnit(*cursor, littleEndian);
    *cursor += 2;
    if (high < 0xD800 || high > 0xDFFF)
        return high;
    if (high > 0xDBFF)
        VELTOR_UNICODE_INVALID(names.illegalReason);
    if (length < 4)
        VELTOR_UNICODE_INVALID(names.shortReason);
    const std::uint16_t low = readUnit(*cursor, littleEndian);
    // A high surrogate must be followed by a low one; anything else would be folded into a wrong code
    // point and swallow the character that follows. The unit stays unread so a caller can resume there.
    if (low < 0xDC00 || low > 0xDFFF)
        VELTOR_UNICODE_INVALID(names.illegalReason);
    *cursor += 2;
    return ((std::uint32_t(high & 0x3FF) << 10) | (low & 0x3FF)) + 0x10000;
}

const Utf16Names utf16leNames = {"void utf16le", "uneven utf16le", "illegal value uft16le",
                                 "too short uft16le"};
const Utf16Names utf16beNames = {"void utf16be", "uneven utf16be", "illegal value uft16be",
                                 "too short uft16be"};

bool encodable(std::uint32_t code) {
    return code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
}

std::string encodeUtf16(std::uint32_t code, bool littleEndian) {
    if (!encodable(code))
        return std::string();
    auto unit = [littleEndian](std::uint32_t value) {
        const std::uint16_t v = static_cast<std::uint16_t>(value);
        return Unicode::unitBytes(littleEndian ? Unicode::toLittleEndian16(v) : Unicode::toBigEndian16(v));
    };
    if (code < 0x10000)
        return unit(code);
    const std::uint32_t v = code - 0x10000;
    return unit(0xD800 + (v >> 10)) + unit(0xDC00 + (v & 0x3FF));
}

} // namespace

const Unicode::BomTable& Unicode::bomTable() {
    static const BomTable table = {
        {std::string("\xEF\xBB\xBF", 3), Encoding_Utf8},
        {std::string("\xFF\xFE", 2), Encoding_Utf16le},
        {std::string("\xFE\xFF", 2), Encoding_Utf16be},
    };
    return table;
}

std::string Unicode::bomFor(std::uint32_t encoding) {
    for (const auto& entry : bomTable())
        if (entry.second == encoding)
            return entry.first;
    return std::string();
}

std::vector<Unicode::BomCandidate> Unicode::bomCandidates(const std::string& bytes) {
    std::vector<BomCandidate> result;
    for (const auto& entry : bomTable())
        if (entry.first.compare(0, bytes.size(), bytes) == 0 && bytes.size() <= entry.first.size())
            result.emplace_back(entry.first, entry.second);
    return result;
}

unsigned Unicode::utf8Length(unsigned char leadByte) {
    if (leadByte < 0x80 || (leadByte & 0xC0) == 0x80)
        return 1;
    unsigned count = 0;
    for (unsigned mask = 0x80; mask != 0 && (leadByte & mask) != 0; mask >>= 1)
        ++count;
    return count;
}

std::uint32_t Unicode::decodeUtf8(const char** cursor, std::size_t length) {
    if (cursor == nullptr || *cursor == nullptr || length == 0)
        VELTOR_UNICODE_INVALID("void utf8");
    const unsigned announced = utf8Length(static_cast<unsigned char>(**cursor));
    std::uint32_t state = utf8Accept;
    std::uint32_t code = 0;
    for (std::size_t walked = 0; walked < announced && walked < length; ++walked) {
        const unsigned char byte = static_cast<unsigned char>((*cursor)[0]);
        // A zero byte ends the walk; as the first byte it is the character U+0000 itself.
        if (byte == 0 && walked > 0)
            break;
        if (walked == 4)
            VELTOR_UNICODE_INVALID("> 4 bytes");
        const std::uint32_t type = utf8Automaton[byte];
        code = state != utf8Accept ? (byte & 0x3Fu) | (code << 6) : (0xFFu >> type) & byte;
        state = utf8Automaton[256 + state * 16 + type];
        ++*cursor;
        if (byte == 0)
            break;
    }
    if (state != utf8Accept)
        VELTOR_UNICODE_INVALID("invalid utf8");
    return code;
}

std::uint32_t Unicode::decodeUtf16le(const char** cursor, std::size_t length) {
    return decodeUtf16(cursor, length, true, utf16leNames);
}

std::uint32_t Unicode::decodeUtf16be(const char** cursor, std::size_t length) {
    return decodeUtf16(cursor, length, false, utf16beNames);
}

std::uint32_t Unicode::utf8ToCode(const std::string& bytes) {
    const char* cursor = bytes.empty() ? nullptr : bytes.data();
    return decodeUtf8(&cursor, bytes.size());
}

std::uint32_t Unicode::utf16leToCode(const std::string& bytes) {
    const char* cursor = bytes.empty() ? nullptr : bytes.data();
    return decodeUtf16le(&cursor, bytes.size());
}

std::uint32_t Unicode::utf16beToCode(const std::string& bytes) {
    const char* cursor = bytes.empty() ? nullptr : bytes.data();
    return decodeUtf16be(&cursor, bytes.size());
}

std::string Unicode::codeToUtf8(std::uint32_t code) {
    // Surrogates and values beyond 0x10FFFF have no valid UTF-8 form; a decoder would refuse the bytes.
    if (!encodable(code))
        return std::string();
    std::string out;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
    return out;
}

std::string Unicode::codeToUtf16le(std::uint32_t code) {
    return encodeUtf16(code, true);
}

std::string Unicode::codeToUtf16be(std::uint32_t code) {
    return encodeUtf16(code, false);
}

std::string Unicode::unitBytes(std::uint16_t unit) {
    char bytes[2];
    std::memcpy(bytes, &unit, 2);
    return std::string(bytes, 2);
}

std::uint16_t Unicode::swap16(std::uint16_t unit) {
    return static_cast<std::uint16_t>((unit << 8) | (unit >> 8));
}

std::uint16_t Unicode::toBigEndian16(std::uint16_t unit) {
    return hostIsLittleEndian() ? swap16(unit) : unit;
}

std::uint16_t Unicode::fromBigEndian16(std::uint16_t unit) {
    return hostIsLittleEndian() ? swap16(unit) : unit;
}

std::uint16_t Unicode::toLittleEndian16(std::uint16_t unit) {
    return hostIsLittleEndian() ? unit : swap16(unit);
}

std::uint16_t Unicode::fromLittleEndian16(std::uint16_t unit) {
    return hostIsLittleEndian() ? unit : swap16(unit);
}

bool Unicode::hostIsLittleEndian() { return SystemBase::hostIsLittleEndian(); }

} // namespace VeltorCorelib
