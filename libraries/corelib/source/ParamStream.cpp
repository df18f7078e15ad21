#include "ParamStream.h"

#include "SharedText.h"

#include <cfloat>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

namespace VeltorCorelib {

const char* paramTypeName(std::uint32_t type) {
    static const char* const names[] = {"bool",    "reserved1",  "reserved2", "int32",    "uint32",
                                        "int64",   "uint64",     "double",    "datetime", "string",
                                        "wstring", "reserved11", "char",      "wchar"};
    return type <= PT_WChar ? names[type] : "unknown";
}

// ---- text forms -------------------------------------------------------------------------------------

namespace ParamText {

template <typename S> static S escapeT(const S& text) {
    S out;
    out.reserve(text.size());
    for (auto c : text) {
        if (c == '\n') {
            out.push_back('\\');
            out.push_back('n');
        } else if (c == '\\') {
            out.push_back('\\');
            out.push_back('\\');
        } else {
            out.push_back(c);
        }
    }
    return out;
}

template <typename S> static S unescapeT(const S& text) {
    S out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            auto next = text[i + 1];
            if (next == 'n') {
                out.push_back('\n');
                ++i;
                continue;
            }
            if (next == '\\') {
                out.push_back('\\');
                ++i;
                continue;
            }
        }
        // Any other backslash is copied and the following character is handled on its own.
        out.push_back(c);
    }
    return out;
}

std::string escape(const std::string& text) {
    return escapeT(text);
}
std::string unescape(const std::string& text) {
    return unescapeT(text);
}
WString escapeWide(const WString& text) {
    return escapeT(text);
}
WString unescapeWide(const WString& text) {
    return unescapeT(text);
}

std::string fromDouble(double value) {
    if (value == 0.0)
        return "0";
    char buffer[330];
    bool exponent =
        value > 1e15 || (value > 0 && value < 1e-15) || value < -1e15 || (value < 0 && value > -1e-15);
    if (exponent) {
        std::snprintf(buffer, sizeof buffer, "%.15e", value);
        return buffer;
    }
    std::snprintf(buffer, sizeof buffer, "%.14f", value);
    std::string text = buffer;
    if (text.find('.') != std::string::npos) {
        while (!text.empty() && text.back() == '0')
            text.pop_back();
        if (!text.empty() && text.back() == '.')
            text.pop_back();
    }
    return text;
}

std::string fromUInt64(std::uint64_t value) {
    if (value == 0)
        return "0";
    std::string digits;
    while (value > 0) {
        digits.push_back(static_cast<char>('0' + value % 10));
        value /= 10;
    }
    return std::string(digits.rbegin(), digits.rend());
}

std::int64_t toInt64(const std::string& text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && text[i] == '-') {
        negative = true;
        ++i;
    }
    // Accumulated unsigned so that an overlong run wraps in 64 bits without undefined behaviour.
    std::uint64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10u + static_cast<std::uint64_t>(text[i] - '0');
    if (negative)
        value = 0u - value;
    return static_cast<std::int64_t>(value);
}

std::uint64_t toUInt64(const std::string& text) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10u + static_cast<std::uint64_t>(text[i] - '0');
    return value;
}

double toDouble(const std::string& text) {
    double value = std::atof(text.c_str());
    if (value > DBL_MAX)
        value = DBL_MAX;
    return value;
}

namespace {
// The shape strtol/strtoul accept in base 10: leading white space, one optional sign, then digits. The
// magnitude saturates just above 32 bits, which is all the callers need to tell overflow apart.
struct DecimalRun {
    bool negative = false;
    std::uint64_t magnitude = 0;
};
DecimalRun scanDecimal(const std::string& text) {
    DecimalRun run;
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        run.negative = text[i++] == '-';
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        run.magnitude = run.magnitude * 10u + static_cast<std::uint64_t>(text[i] - '0');
        if (run.magnitude > 0x1FFFFFFFFull)
            run.magnitude = 0x1FFFFFFFFull;
    }
    return run;
}
} // namespace

// Windows' long is 32 bits; these give its strtol / strtoul results on Linux as well, so a stream reads
// back the same number on both systems.
std::int32_t toInt32(const std::string& text) {
    DecimalRun run = scanDecimal(text);
    if (run.negative)
        return run.magnitude > 0x80000000ull
                   ? INT32_MIN
                   : static_cast<std::int32_t>(0 - static_cast<std::int64_t>(run.magnitude));
    return run.magnitude > 0x7FFFFFFFull ? INT32_MAX : static_cast<std::int32_t>(run.magnitude);
}

std::uint32_t toUInt32(const std::string& text) {
    DecimalRun run = scanDecimal(text);
    if (run.magnitude > 0xFFFFFFFFull)
        return UINT32_MAX;
    std::uint32_t value = static_cast<std::uint32_t>(run.magnitude);
    return run.negative ? 0u - value : value;
}

std::string packWide(const WString& text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char16_t unit : text) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>((unit >> 8) & 0xFF));
    }
    return out;
}

WString unpackWide(const std::string& text) {
    WString out;
    out.reserve(text.size() / 2);
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(text[i]) |
                                            (static_cast<unsigned char>(text[i + 1]) << 8)));
    return out;
}

} // namespace ParamText

namespace {

std::string wideToNarrow(const WString& text) {
    std::string out;
    char buffer[MB_LEN_MAX];
    for (char16_t unit : text) {
        std::mbstate_t state{};
        std::size_t n = std::wcrtomb(buffer, static_cast<wchar_t>(unit), &state);
        if (n == static_cast<std::size_t>(-1))
            out.push_back('?'); // not representable in the current locale
        else
            out.append(buffer, n);
    }
    return out;
}

WString narrowToWide(const std::string& text) {
    WString out;
    out.reserve(text.size());
    for (char c : text) {
        wchar_t w = 0;
        std::mbstate_t state{};
        std::size_t n = std::mbrtowc(&w, &c, 1, &state);
        out.push_back(n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2)
                          ? static_cast<char16_t>(static_cast<unsigned char>(c))
                          : static_cast<char16_t>(w));
    }
    return out;
}

bool boolFromText(const std::string& text) {
    return !(text.empty() || text == "0");
}

std::int32_t parseLong(const std::string& text) {
    return ParamText::toInt32(text);
}

} // namespace

// ---- StreamBase ---------------------------------------------------------------------------------------

static StreamBase& put(StreamBase& stream, std::uint32_t type, std::string text) {
    ParamValue value;
    value.type = type;
    value.text = std::move(text);
    stream.putValue(value);
    return stream;
}

StreamBase& StreamBase::operator<<(const SharedText& value) {
    if (value.isWide())
        return put(*this, PT_WString, ParamText::packWide(ParamText::escapeWide(value.wideText())));
    return put(*this, PT_String, ParamText::escape(value.narrow()));
}
StreamBase& StreamBase::operator<<(WString value) {
    beforeWideWrite(value);
    return put(*this, PT_WString, ParamText::packWide(ParamText::escapeWide(value)));
}
StreamBase& StreamBase::operator<<(std::string value) {
    beforeWrite(value);
    return put(*this, PT_String, ParamText::escape(value));
}
StreamBase& StreamBase::operator<<(const char16_t* value) {
    return put(*this, PT_WString,
               ParamText::packWide(ParamText::escapeWide(value ? WString(value) : WString())));
}
StreamBase& StreamBase::operator<<(const char* value) {
    return put(*this, PT_String, ParamText::escape(value ? std::string(value) : std::string()));
}
StreamBase& StreamBase::operator<<(double value) {
    return put(*this, PT_Double, ParamText::fromDouble(value));
}
StreamBase& StreamBase::operator<<(std::uint64_t value) {
    return put(*this, PT_UInt64, ParamText::fromUInt64(value));
}
StreamBase& StreamBase::operator<<(std::int64_t value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value));
    return put(*this, PT_Int64, buffer);
}
StreamBase& StreamBase::operator<<(std::uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%u", static_cast<unsigned>(value));
    return put(*this, PT_UInt32, buffer);
}
StreamBase& StreamBase::operator<<(std::int32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(value));
    return put(*this, PT_Int32, buffer);
}
StreamBase& StreamBase::operator<<(char16_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(static_cast<std::uint16_t>(value)));
    return put(*this, PT_WChar, buffer);
}
StreamBase& StreamBase::operator<<(char value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(static_cast<signed char>(value)));
    return put(*this, PT_Char, buffer);
}
StreamBase& StreamBase::operator<<(bool value) {
    // "1" only for a value that is exactly 1; a bool can hold nothing else.
    return put(*this, PT_Bool, value ? "1" : "0");
}

// Reads consume the next value whatever its type; a missing or mistyped value leaves the target alone.
template <typename F> static StreamBase& take(StreamBase& stream, std::uint32_t type, F assign) {
    ParamValue value;
    if (stream.getValue(value) && value.type == type)
        assign(value.text);
    return stream;
}

StreamBase& StreamBase::operator>>(SharedText& out) {
    ParamValue value;
    if (!getValue(value))
        return *this;
    if (value.type == PT_String) {
        std::string text = ParamText::unescape(value.text);
        afterRead(text);
        out.assign(text);
    } else if (value.type == PT_WString) {
        WString text = ParamText::unescapeWide(ParamText::unpackWide(value.text));
        afterWideRead(text);
        out.assign(text);
    }
    return *this;
}
StreamBase& StreamBase::operator>>(WString& out) {
    return take(*this, PT_WString, [&](const std::string& t) {
        WString text = ParamText::unescapeWide(ParamText::unpackWide(t));
        afterWideRead(text);
        out = text;
    });
}
StreamBase& StreamBase::operator>>(std::string& out) {
    return take(*this, PT_String, [&](const std::string& t) {
        std::string text = ParamText::unescape(t);
        afterRead(text);
        out = text;
    });
}
StreamBase& StreamBase::operator>>(double& out) {
    return take(*this, PT_Double, [&](const std::string& t) { out = ParamText::toDouble(t); });
}
StreamBase& StreamBase::operator>>(std::uint64_t& out) {
    return take(*this, PT_UInt64, [&](const std::string& t) { out = ParamText::toUInt64(t); });
}
StreamBase& StreamBase::operator>>(std::int64_t& out) {
    return take(*this, PT_Int64, [&](const std::string& t) { out = ParamText::toInt64(t); });
}
StreamBase& StreamBase::operator>>(std::uint32_t& out) {
    return take(*this, PT_UInt32, [&](const std::string& t) { out = ParamText::toUInt32(t); });
}
StreamBase& StreamBase::operator>>(std::int32_t& out) {
    return take(*this, PT_Int32,
                [&](const std::string& t) { out = static_cast<std::int32_t>(parseLong(t)); });
}
StreamBase& StreamBase::operator>>(char16_t& out) {
    return take(*this, PT_WChar,
                [&](const std::string& t) { out = static_cast<char16_t>(parseLong(t) & 0xFFFF); });
}
StreamBase& StreamBase::operator>>(char& out) {
    return take(*this, PT_Char, [&](const std::string& t) { out = static_cast<char>(parseLong(t) & 0xFF); });
}
StreamBase& StreamBase::operator>>(bool& out) {
    return take(*this, PT_Bool, [&](const std::string& t) { out = boolFromText(t); });
}

// ---- ParamStream --------------------------------------------------------------------------------------

ParamStream::ParamStream() : cursor(values.end()) {}

ParamStream::ParamStream(const ParamStream& other)
    : StreamBase(other), values(other.values), count(other.count), cursor(values.begin()) {}

ParamStream& ParamStream::operator=(const ParamStream& other) {
    if (this != &other) {
        values = other.values;
        count = other.count;
    }
    cursor = values.begin();
    return *this;
}

ParamStream::~ParamStream() = default;

bool ParamStream::getValue(ParamValue& out) {
    if (cursor == values.end())
        return false;
    out = *cursor;
    ++cursor;
    return true;
}

bool ParamStream::putValue(const ParamValue& value) {
    if (value.type > PT_WChar)
        return false;
    if (value.text.empty() && value.type != PT_String && value.type != PT_WString)
        return false;
    bool wasEmpty = values.empty();
    values.push_back(value);
    ++count;
    if (wasEmpty)
        cursor = values.begin();
    return true;
}

std::string ParamStream::render(const ParamValue& value) {
    switch (value.type) {
    case PT_Bool:
        return boolFromText(value.text) ? "true" : "false";
    case PT_Reserved1:
    case PT_Reserved2:
    case PT_Int32:
    case PT_UInt32:
    case PT_Int64:
    case PT_UInt64:
    case PT_Double:
        return value.text;
    case PT_DateTime:
        return ParamText::formatDateTimeValue(ParamText::toUInt64(value.text));
    case PT_String:
        return ParamText::unescape(value.text);
    case PT_WString:
        return wideToNarrow(ParamText::unescapeWide(ParamText::unpackWide(value.text)));
    case PT_Char:
        return std::string(1, static_cast<char>(parseLong(value.text) & 0xFF));
    case PT_WChar:
        return wideToNarrow(WString(1, static_cast<char16_t>(parseLong(value.text) & 0xFFFF)));
    default:
        return std::string();
    }
}

WString ParamStream::renderWide(const ParamValue& value) {
    switch (value.type) {
    case PT_Bool:
        return boolFromText(value.text) ? u"true" : u"false";
    case PT_WString:
        return ParamText::unescapeWide(ParamText::unpackWide(value.text));
    case PT_WChar:
        return WString(1, static_cast<char16_t>(parseLong(value.text) & 0xFFFF));
    default:
        return narrowToWide(render(value));
    }
}

template <typename S, typename R> static S formatT(ParamStream& stream, const S& text, R renderOne) {
    if (stream.empty())
        return text;
    stream.rewind();
    S out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = text[i];
        if (c == '%') {
            ParamValue value;
            if (stream.getValue(value))
                out += renderOne(value);
        } else if (c == '\\') {
            out.push_back(c);
            if (i + 1 < text.size())
                out.push_back(text[++i]);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string ParamStream::format(const std::string& text) {
    return formatT(*this, text, &ParamStream::render);
}

WString ParamStream::format(const WString& text) {
    return formatT(*this, text, &ParamStream::renderWide);
}

} // namespace VeltorCorelib
