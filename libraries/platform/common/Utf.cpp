#include "platform/Utf.h"

namespace VeltorPlatform {
namespace Utf {

namespace {

std::uint32_t unitAt(const char* bytes, std::size_t index, bool littleEndian) {
    const auto first = static_cast<unsigned char>(bytes[2 * index]);
    const auto second = static_cast<unsigned char>(bytes[2 * index + 1]);
    return littleEndian ? first | (second << 8) : (first << 8) | second;
}

void appendUnit(std::string& out, std::uint32_t unit, bool littleEndian) {
    const char low = static_cast<char>(unit & 0xFF);
    const char high = static_cast<char>(unit >> 8);
    out.push_back(littleEndian ? low : high);
    out.push_back(littleEndian ? high : low);
}

} // namespace

std::size_t decodeUtf8(const char* text, std::size_t size, std::uint32_t& code) {
    if (size == 0)
        return 0;
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = 0;
    std::uint32_t value = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (size < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (next & 0x3F);
    }
    // The shortest form only: an overlong one would let one text pass for another.
    static const std::uint32_t smallest[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < smallest[length] || !encodable(value))
        return 0;
    code = value;
    return length;
}

bool isUtf8(const char* text, std::size_t size) {
    std::uint32_t code = 0;
    for (std::size_t at = 0; at < size;) {
        const std::size_t length = decodeUtf8(text + at, size - at, code);
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

namespace {

// Characters that are text to UTF-8 but act on a terminal or on what a reader sees: the C1 controls
// (U+009B starts an escape sequence, U+0085 ends a line), the marks that reorder text (U+202E shows
// "exe.txt" as "txt.exe"), invisible spaces and joiners, and the separators that end a line in some
// viewers.
bool actsOnText(std::uint32_t code) {
    return code < 0xA0 || code == 0x061C || (code >= 0x200B && code <= 0x200F) ||
           (code >= 0x2028 && code <= 0x202E) || (code >= 0x2060 && code <= 0x2069) || code == 0xFEFF;
}

} // namespace

std::string printable(const std::string& text, bool backslashes, bool lineFeeds) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        if (c == '\\' && backslashes) {
            out += "\\\\";
            ++at;
            continue;
        }
        if (c >= 0x20 && c < 0x7F) {
            // A run of characters that stand as they are goes in one piece: most names are nothing else.
            std::size_t end = at + 1;
            while (end < text.size() && text[end] >= 0x20 && text[end] < 0x7F &&
                   !(text[end] == '\\' && backslashes))
                ++end;
            out.append(text, at, end - at);
            at = end;
            continue;
        }
        std::uint32_t point = 0;
        const std::size_t length = c >= 0x80 ? decodeUtf8(&text[at], text.size() - at, point) : 0;
        if (length != 0) {
            if (actsOnText(point)) {
                out += "\\u";
                for (int shift = 12; shift >= 0; shift -= 4)
                    out += digits[(point >> shift) & 0xF];
            } else {
                out.append(text, at, length);
            }
            at += length;
            continue;
        }
        if (c == '\n')
            out += lineFeeds ? "\n" : "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else
            out.append("\\x").append(1, digits[c >> 4]).append(1, digits[c & 0xF]);
        ++at;
    }
    return out;
}

bool appendUtf8(std::string& out, std::uint32_t code) {
    if (!encodable(code))
        return false;
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
    return true;
}

std::size_t decodeUtf16(const char* bytes, std::size_t units, bool littleEndian, std::uint32_t& code) {
    if (units == 0)
        return 0;
    const std::uint32_t high = unitAt(bytes, 0, littleEndian);
    if (high < 0xD800 || high > 0xDFFF) {
        code = high;
        return 1;
    }
    if (high > 0xDBFF || units < 2)
        return 0;
    const std::uint32_t low = unitAt(bytes, 1, littleEndian);
    if (low < 0xDC00 || low > 0xDFFF)
        return 0;
    code = 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
    return 2;
}

bool appendUtf16(std::string& out, std::uint32_t code, bool littleEndian) {
    if (!encodable(code))
        return false;
    if (code < 0x10000) {
        appendUnit(out, code, littleEndian);
    } else {
        appendUnit(out, 0xD800 + ((code - 0x10000) >> 10), littleEndian);
        appendUnit(out, 0xDC00 + ((code - 0x10000) & 0x3FF), littleEndian);
    }
    return true;
}

std::size_t utf16ToUtf8(const char* bytes, std::size_t units, bool littleEndian, std::string& out) {
    out.reserve(out.size() + units);
    std::uint32_t code = 0;
    std::size_t at = 0;
    while (at < units) {
        const std::size_t used = decodeUtf16(bytes + 2 * at, units - at, littleEndian, code);
        if (used == 0)
            break;
        appendUtf8(out, code);
        at += used;
    }
    return at;
}

std::string utf8ToUtf16(const std::string& text, bool littleEndian) {
    std::string out;
    out.reserve(text.size() * 2);
    std::uint32_t code = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = decodeUtf8(text.data() + at, text.size() - at, code);
        appendUtf16(out, length != 0 ? code : 0xFFFD, littleEndian);
        at += length != 0 ? length : 1;
    }
    return out;
}

} // namespace Utf
} // namespace VeltorPlatform
