// The one UTF-8 / UTF-16 coder of the system: the registry file, shortcuts, the text classes and the
// escaping of names all judge and convert text here, so they agree on what is valid.
//
// Valid UTF-8 is the shortest form of a code point that is no surrogate and not beyond U+10FFFF.
// UTF-16 comes as bytes (two per unit) in a stated order, as it stands in files.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace VeltorPlatform {
namespace Utf {

// A code point UTF-8 and UTF-16 can carry: no surrogate, not beyond U+10FFFF.
inline bool encodable(std::uint32_t code) {
    return code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
}

// Length (1 to 4) of the valid UTF-8 sequence at the start of text[0, size), its code point in `code`;
// 0 when the bytes there are no valid UTF-8 (a stray continuation byte, an overlong form, a surrogate,
// a value beyond U+10FFFF, a sequence cut off by the end) or size is 0.
std::size_t decodeUtf8(const char* text, std::size_t size, std::uint32_t& code);
// Every byte belongs to a valid UTF-8 sequence.
bool isUtf8(const char* text, std::size_t size);
inline bool isUtf8(const std::string& text) {
    return isUtf8(text.data(), text.size());
}
// Appends the UTF-8 form of `code`; false, and nothing appended, when it is not encodable.
bool appendUtf8(std::string& out, std::uint32_t code);

// `text` made printable on one line of a terminal: control characters, bytes that are no UTF-8 text
// and the characters that move or hide others are written as escapes ("\n", "\t", "\r", "\xHH",
// "\u0085", "\u202E"); with `backslashes`, a backslash is written "\\" too; with `lineFeeds`, the
// line feeds of a text of several lines stay.
std::string printable(const std::string& text, bool backslashes, bool lineFeeds = false);

// Units (1 or 2) of the UTF-16 character at the start of bytes[0, 2 * units), its code point in
// `code`; 0 for an unpaired surrogate or no unit at all.
std::size_t decodeUtf16(const char* bytes, std::size_t units, bool littleEndian, std::uint32_t& code);
// Appends the UTF-16 form of `code` (one unit or a surrogate pair); false, and nothing appended, when
// it is not encodable.
bool appendUtf16(std::string& out, std::uint32_t code, bool littleEndian);

// UTF-16 text (bytes[0, 2 * units)) as UTF-8 appended to `out`, up to an unpaired surrogate: the
// number of units converted, `units` when everything was.
std::size_t utf16ToUtf8(const char* bytes, std::size_t units, bool littleEndian, std::string& out);
// UTF-8 text as UTF-16 bytes; a byte that is no valid UTF-8 becomes U+FFFD.
std::string utf8ToUtf16(const std::string& text, bool littleEndian);

} // namespace Utf
} // namespace VeltorPlatform
