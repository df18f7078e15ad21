// Typed parameter streams: an ordered list of values, each kept as a type code and a narrow text, so a
// parameter list can be copied into an exception or a log request and rendered later by '%' formatting.
#pragma once
#include <cstdint>
#include <list>
#include <string>
#include <type_traits>

namespace VeltorCorelib {

using WString = std::u16string; // UTF-16 code units, as on Windows

enum ParamType : std::uint32_t {
    PT_Bool = 0,
    PT_Reserved1 = 1,
    PT_Reserved2 = 2,
    PT_Int32 = 3,
    PT_UInt32 = 4,
    PT_Int64 = 5,
    PT_UInt64 = 6,
    PT_Double = 7,
    PT_DateTime = 8,
    PT_String = 9,
    PT_WString = 10,
    PT_Reserved11 = 11,
    PT_Char = 12,
    PT_WChar = 13,
};

// Name of a type code ("bool", "int32", ...); "unknown" outside 0..13.
const char* paramTypeName(std::uint32_t type);

struct ParamValue {
    std::uint32_t type = PT_Reserved11;
    std::string text;
};

class SharedText;

class PrimitiveStream {
public:
    virtual ~PrimitiveStream() = default;
    virtual bool getValue(ParamValue& out) = 0;
    virtual bool putValue(const ParamValue& value) = 0;
    // String filters; they do nothing here and exist for derived streams.
    virtual void beforeWideWrite(WString&) {}
    virtual void beforeWrite(std::string&) {}
    virtual void afterWideRead(WString&) {}
    virtual void afterRead(std::string&) {}
};

class StreamBase : public PrimitiveStream {
public:
    virtual StreamBase& operator<<(const SharedText& value);
    virtual StreamBase& operator<<(WString value);
    virtual StreamBase& operator<<(std::string value);
    virtual StreamBase& operator<<(const char16_t* value);
    virtual StreamBase& operator<<(const char* value);
    virtual StreamBase& operator<<(double value);
    virtual StreamBase& operator<<(std::uint64_t value);
    virtual StreamBase& operator<<(std::int64_t value);
    virtual StreamBase& operator<<(std::uint32_t value);
    virtual StreamBase& operator<<(std::int32_t value);
    virtual StreamBase& operator<<(char16_t value);
    virtual StreamBase& operator<<(char value);
    virtual StreamBase& operator<<(bool value);

    virtual StreamBase& operator>>(SharedText& value);
    virtual StreamBase& operator>>(WString& value);
    virtual StreamBase& operator>>(std::string& value);
    virtual StreamBase& operator>>(double& value);
    virtual StreamBase& operator>>(std::uint64_t& value);
    virtual StreamBase& operator>>(std::int64_t& value);
    virtual StreamBase& operator>>(std::uint32_t& value);
    virtual StreamBase& operator>>(std::int32_t& value);
    virtual StreamBase& operator>>(char16_t& value);
    virtual StreamBase& operator>>(char& value);
    virtual StreamBase& operator>>(bool& value);

    // Platform integer types that are distinct from the fixed-width ones on one system or the other
    // (long on Windows, long long / unsigned long on Linux) forward to the matching width.
    template <typename T,
              typename = std::enable_if_t<
                  std::is_integral<T>::value && !std::is_same<T, bool>::value &&
                  !std::is_same<T, char>::value && !std::is_same<T, char16_t>::value &&
                  !std::is_same<T, std::int32_t>::value && !std::is_same<T, std::uint32_t>::value &&
                  !std::is_same<T, std::int64_t>::value && !std::is_same<T, std::uint64_t>::value>>
    StreamBase& operator<<(T value) {
        if (std::is_signed<T>::value)
            return sizeof(T) <= 4 ? *this << static_cast<std::int32_t>(value)
                                  : *this << static_cast<std::int64_t>(value);
        return sizeof(T) <= 4 ? *this << static_cast<std::uint32_t>(value)
                              : *this << static_cast<std::uint64_t>(value);
    }
};

class ParamStream : public StreamBase {
public:
    ParamStream();
    ParamStream(const ParamStream& other);
    ParamStream& operator=(const ParamStream& other);
    ~ParamStream() override;

    bool getValue(ParamValue& out) override;
    bool putValue(const ParamValue& value) override;

    using StreamBase::operator<<;
    using StreamBase::operator>>;

    // Replaces each '%' of the text by the rendering of the next value (moves the read cursor).
    std::string format(const std::string& text);
    WString format(const WString& text);

    std::size_t size() const { return count; }
    bool empty() const { return count == 0; }
    void rewind() { cursor = values.begin(); }
    const std::list<ParamValue>& all() const { return values; }

    // Rendering of one value as the formatter shows it.
    static std::string render(const ParamValue& value);
    static WString renderWide(const ParamValue& value);

private:
    std::list<ParamValue> values;
    std::size_t count = 0;
    std::list<ParamValue>::iterator cursor;
};

// Text forms shared by the streams and their users.
namespace ParamText {
std::string escape(const std::string& text);
std::string unescape(const std::string& text);
WString escapeWide(const WString& text);
WString unescapeWide(const WString& text);
std::string fromDouble(double value);
std::string fromUInt64(std::uint64_t value);
// Decimal digits up to the first non-digit, accumulated in 64 bits; an overlong run wraps modulo 2^64
// (never undefined behaviour). toInt64 takes one optional leading '-', toUInt64 no sign at all.
std::int64_t toInt64(const std::string& text);
std::uint64_t toUInt64(const std::string& text);
// atof; an overflowing (infinite) result becomes the largest finite double.
double toDouble(const std::string& text);
// strtol / strtoul with the results of a 32-bit 'long' on every platform (saturating on overflow).
std::int32_t toInt32(const std::string& text);
std::uint32_t toUInt32(const std::string& text);
// Storage of wide units inside a narrow text: two bytes per unit, low byte first.
std::string packWide(const WString& text);
WString unpackWide(const std::string& text);
// Renders a millisecond date-time value (code 8) in the default date-time form.
std::string formatDateTimeValue(std::uint64_t milliseconds);
} // namespace ParamText

// Builds a ParamStream from arguments: makeParams(a, b, c).
inline void appendParams(ParamStream&) {}
template <typename T, typename... Rest>
void appendParams(ParamStream& stream, const T& first, const Rest&... rest) {
    stream << first;
    appendParams(stream, rest...);
}
template <typename... Args> ParamStream makeParams(const Args&... args) {
    ParamStream stream;
    appendParams(stream, args...);
    return stream;
}

} // namespace VeltorCorelib
