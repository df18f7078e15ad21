#include "Unicode.h"

#include "SystemBase.h"
#include "platform/Utf.h"

#include <cstring>

namespace VeltorCorelib {

namespace {

const char* const invalidRecord = "@unicode.invalid{Invalid unicode (%)};";

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

// The character at *cursor: Utf::decodeUtf16 with a reason for each way of failing. A failure consumes
// the first unit only, so a caller can resume at the one after an unpaired high surrogate.
std::uint32_t decodeUtf16(const char** cursor, std::size_t length, bool littleEndian,
                          const Utf16Names& names) {
    if (cursor == nullptr || *cursor == nullptr || length == 0)
        VELTOR_UNICODE_INVALID(names.voidReason);
    if (length % 2 != 0)
        VELTOR_UNICODE_INVALID(names.unevenReason);
    std::uint32_t code = 0;
    const std::size_t units = VeltorPlatform::Utf::decodeUtf16(*cursor, length / 2, littleEndian, code);
    if (units == 0) {
        const auto first = static_cast<unsigned char>((*cursor)[littleEndian ? 1 : 0]);
        *cursor += 2;
        // A high surrogate (D8-DB) with nothing after it is cut short; anything else is out of place.
        VELTOR_UNICODE_INVALID(first <= 0xDB && length < 4 ? names.shortReason : names.illegalReason);
    }
    *cursor += 2 * units;
    return code;
}

const Utf16Names utf16leNames = {"void utf16le", "uneven utf16le", "illegal value uft16le",
                                 "too short uft16le"};
const Utf16Names utf16beNames = {"void utf16be", "uneven utf16be", "illegal value uft16be",
                                 "too short uft16be"};

std::string encodeUtf16(std::uint32_t code, bool littleEndian) {
    std::string out;
    VeltorPlatform::Utf::appendUtf16(out, code, littleEndian);
    return out;
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
    std::uint32_t code = 0;
    if (const std::size_t used = VeltorPlatform::Utf::decodeUtf8(*cursor, length, code)) {
        *cursor += used;
        return code;
    }
    // A failure consumes the bytes the lead byte announced, as far as they go and up to a zero byte
    // (which always starts a character of its own), so a caller can resume after the broken sequence.
    const unsigned announced = utf8Length(static_cast<unsigned char>(**cursor));
    std::size_t walked = 1;
    while (walked < announced && walked < length && walked < 4 && (*cursor)[walked] != '\0')
        ++walked;
    const bool tooLong = walked == 4 && announced > 4 && length > 4 && (*cursor)[4] != '\0';
    *cursor += walked;
    VELTOR_UNICODE_INVALID(tooLong ? "> 4 bytes" : "invalid utf8");
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
    std::string out;
    VeltorPlatform::Utf::appendUtf8(out, code);
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
