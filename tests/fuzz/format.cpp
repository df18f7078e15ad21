// '%' formatting, narrow and wide, on hostile texts and stored values of every type code.
#include "FuzzTarget.h"
#include "ParamStream.h"

using namespace VeltorCorelib;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Layout: [count] then count values as [type][length][text bytes], then the text to format.
    std::size_t pos = 0;
    ParamStream stream;
    std::size_t count = size > 0 ? data[pos++] % 8 : 0;
    for (std::size_t i = 0; i < count && pos + 2 <= size; ++i) {
        ParamValue value;
        value.type = data[pos++] % 16;
        std::size_t length = data[pos++] % 32;
        if (length > size - pos)
            length = size - pos;
        value.text.assign(reinterpret_cast<const char*>(data + pos), length);
        pos += length;
        stream.putValue(value);
    }
    std::string text = fuzzText(data + pos, size - pos);
    stream.format(text);

    WString wide;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        wide.push_back(static_cast<char16_t>(static_cast<std::uint8_t>(text[i]) |
                                             (static_cast<std::uint8_t>(text[i + 1]) << 8)));
    stream.format(wide);

    // Every reader on whatever is stored.
    ParamStream copy(stream);
    std::string s;
    WString w;
    double d;
    std::uint64_t u64;
    std::int64_t i64;
    std::uint32_t u32;
    std::int32_t i32;
    char16_t wc;
    char c;
    bool b;
    copy >> s >> w >> d >> u64 >> i64 >> u32 >> i32 >> wc >> c >> b;

    // Escaping round trips.
    FUZZ_CHECK(ParamText::unescape(ParamText::escape(text)) == text);
    FUZZ_CHECK(ParamText::unescapeWide(ParamText::escapeWide(wide)) == wide);
    return 0;
}
