// Single-character conversion between code points and UTF-8, UTF-16LE and UTF-16BE bytes, the byte-order
// marks of these encodings, and 16-bit units between host order and a fixed order. Byte strings are
// narrow strings used as byte containers.
#pragma once
#include "Exception.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace VeltorCorelib {

class Unicode {
public:
    VELTOR_ERROR_TYPE(Unicode_Invalid);

    // Encoding numbers, shared with the file objects. Unknown is not an entry of the mark table.
    enum Encoding : std::uint32_t {
        Encoding_Unknown = 0,
        Encoding_Bytes = 1,
        Encoding_Utf8 = 2,
        Encoding_Utf16le = 3,
        Encoding_Utf16be = 4,
    };

    using BomTable = std::map<std::string, std::uint32_t>;
    using BomCandidate = std::pair<std::string, std::uint32_t>;

    // Mark bytes to encoding, ordered by the mark bytes; built on first use.
    static const BomTable& bomTable();
    // The mark of an encoding; empty for plain bytes and any number not in the table.
    static std::string bomFor(std::uint32_t encoding);
    // Every (mark, encoding) whose mark begins with bytes. No candidate: the data carries no mark; one
    // candidate as long as bytes: the mark is complete.
    static std::vector<BomCandidate> bomCandidates(const std::string& bytes);

    // Bytes announced by a UTF-8 lead byte: 1 below 0x80 and for 10xxxxxx, else the leading one bits.
    static unsigned utf8Length(unsigned char leadByte);

    // Decode the next character at *cursor (length bytes available) and advance *cursor past the bytes
    // used. Throw Unicode_Invalid on bad input.
    static std::uint32_t decodeUtf8(const char** cursor, std::size_t length);
    static std::uint32_t decodeUtf16le(const char** cursor, std::size_t length);
    static std::uint32_t decodeUtf16be(const char** cursor, std::size_t length);

    // The first character of a byte string.
    static std::uint32_t utf8ToCode(const std::string& bytes);
    static std::uint32_t utf16leToCode(const std::string& bytes);
    static std::uint32_t utf16beToCode(const std::string& bytes);

    // Encoded bytes of a code point; empty for a surrogate or a value beyond 0x10FFFF. Never throw.
    static std::string codeToUtf8(std::uint32_t code);
    static std::string codeToUtf16le(std::uint32_t code);
    static std::string codeToUtf16be(std::uint32_t code);

    // A 16-bit unit in memory order as a two-byte string.
    static std::string unitBytes(std::uint16_t unit);
    static std::uint16_t swap16(std::uint16_t unit);

    // Swap only when the host order differs from the named order.
    static std::uint16_t toBigEndian16(std::uint16_t unit);
    static std::uint16_t fromBigEndian16(std::uint16_t unit);
    static std::uint16_t toLittleEndian16(std::uint16_t unit);
    static std::uint16_t fromLittleEndian16(std::uint16_t unit);

    // Whether the host stores 16-bit units little-end first: the byte-order system value.
    static bool hostIsLittleEndian();
};

} // namespace VeltorCorelib
