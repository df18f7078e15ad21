#include "ParamStream.h"
#include "SharedText.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <tuple>

using namespace VeltorCorelib;

namespace {

ParamValue value(std::uint32_t type, const std::string& text) {
    ParamValue v;
    v.type = type;
    v.text = text;
    return v;
}

// A stream whose string filters mark what passed through them.
class MarkingStream : public ParamStream {
public:
    void beforeWrite(std::string& text) override { text += "<w"; }
    void beforeWideWrite(WString& text) override { text += u"<W"; }
    void afterRead(std::string& text) override { text += ">r"; }
    void afterWideRead(WString& text) override { text += u">R"; }
};

} // namespace

TEST(ParamStream, FormatFillsPlaceholdersInOrder) {
    ParamStream none;
    EXPECT_EQ(none.format(std::string("%")), "%");

    ParamStream one = makeParams(std::string("X"));
    EXPECT_EQ(one.format(std::string("a%b%c")), "aXbc"); // too few values: the second '%' vanishes
    EXPECT_EQ(one.format(std::string("%")), "X");        // format starts from the first value every time

    // A backslash protects the next character and consumes no value; a lone one at the end stays.
    ParamStream numbers = makeParams(7, 8);
    EXPECT_EQ(numbers.format(std::string("100\\% and %\\")), "100\\% and 7\\");
    std::int32_t next = 0;
    numbers >> next;
    EXPECT_EQ(next, 8);

    // Surplus values are ignored.
    ParamStream many = makeParams(1, 2, 3);
    EXPECT_EQ(many.format(std::string("%-%")), "1-2");

    ParamStream mixed = makeParams(true, false, 'c', std::uint64_t(18446744073709551615ull),
                                   std::int64_t(INT64_MIN), -12, 4294967295u, 2.5, u"w\u00e9");
    EXPECT_EQ(mixed.format(std::string("%|%|%|%|%|%|%|%")),
              "true|false|c|18446744073709551615|-9223372036854775808|-12|4294967295|2.5");
    EXPECT_EQ(mixed.format(WString(u"%,%,%,%,%,%,%,%,%")),
              u"true,false,c,18446744073709551615,-9223372036854775808,-12,4294967295,2.5,w\u00e9");
}

TEST(ParamStream, StringsAreStoredEscapedAndRenderedBack) {
    ParamStream s = makeParams(std::string("a\nb"), std::string("x\\y"), std::string(""));
    ASSERT_EQ(s.size(), 3u);
    auto it = s.all().begin();
    EXPECT_EQ(it->text, "a\\nb");
    EXPECT_EQ((++it)->text, "x\\\\y");
    EXPECT_EQ((++it)->text, "");
    EXPECT_EQ(s.format(std::string("[%][%][%]")), "[a\nb][x\\y][]");

    // Wide strings: same escaping on two-byte units.
    ParamStream w = makeParams(WString(u"a\n\\\u20ac"));
    EXPECT_EQ(w.all().front().text.size(), 2u * 6u);
    WString back;
    w >> back;
    EXPECT_EQ(back, u"a\n\\\u20ac");
    EXPECT_EQ(w.format(WString(u"<%>")), u"<a\n\\\u20ac>");

    // Unescape keeps unknown escapes and a trailing backslash.
    EXPECT_EQ(ParamText::unescape("a\\tb\\"), "a\\tb\\");
    EXPECT_EQ(ParamText::unescape("\\\\n"), "\\n");
    EXPECT_EQ(ParamText::unescapeWide(u"\\n\\x\\"), u"\n\\x\\");
    // NUL bytes are ordinary characters.
    std::string withNul("a\0b", 3);
    EXPECT_EQ(makeParams(withNul).format(std::string("%")), withNul);
}

TEST(ParamStream, DoublesTakeFixedOrExponentForm) {
    // Fixed form up to 1e15 (rounded to 14 decimals), exponent form beyond.
    const std::pair<double, const char*> cases[] = {{0.0, "0"},
                                                    {-0.0, "0"},
                                                    {-3.25, "-3.25"},
                                                    {0.1, "0.1"},
                                                    {1e15, "1000000000000000"},
                                                    {-1e-15, "-0"},
                                                    {6e-15, "0.00000000000001"},
                                                    {4e-15, "0"},
                                                    {2e15, "2.000000000000000e+15"},
                                                    {5e-16, "5.000000000000000e-16"}};
    for (const auto& c : cases)
        EXPECT_EQ(ParamText::fromDouble(c.first), c.second) << c.second;

    EXPECT_EQ(ParamText::toDouble("1e999"), DBL_MAX);
    double d = 0;
    ParamStream s = makeParams(0.1);
    s >> d;
    EXPECT_EQ(d, 0.1);
}

TEST(ParamStream, NumbersReadBackAndParsersNeverOverflow) {
    const std::pair<const char*, std::int64_t> signedTexts[] = {
        {"-", 0}, {"", 0}, {"+5", 0}, {"12ab", 12}, {" 5", 0}, {"-9223372036854775808", INT64_MIN}};
    for (const auto& t : signedTexts)
        EXPECT_EQ(ParamText::toInt64(t.first), t.second) << t.first;
    EXPECT_EQ(ParamText::toUInt64("18446744073709551615"), UINT64_MAX);
    EXPECT_EQ(ParamText::toUInt64("-1"), 0u);
    // Overlong runs wrap modulo 2^64.
    EXPECT_EQ(ParamText::toUInt64("18446744073709551616"), 0u);
    EXPECT_EQ(ParamText::toUInt64("99999999999999999999"), 7766279631452241919ull);
    EXPECT_EQ(ParamText::toUInt64(std::string(400, '9') + "x"), ParamText::toUInt64(std::string(400, '9')));

    // The 32-bit readers behave alike on every platform.
    EXPECT_EQ(ParamText::toInt32("3000000000"), INT32_MAX);
    EXPECT_EQ(ParamText::toInt32("-3000000000"), INT32_MIN);
    EXPECT_EQ(ParamText::toInt32(" -17x"), -17);
    EXPECT_EQ(ParamText::toUInt32("-1"), UINT32_MAX);
    EXPECT_EQ(ParamText::toUInt32("4294967296"), UINT32_MAX);

    ParamStream s = makeParams(INT32_MIN, UINT32_MAX, std::int64_t(INT64_MIN), UINT64_MAX, char(-5),
                               char16_t(0xFFFF), true);
    std::int32_t i32 = 0;
    std::uint32_t u32 = 0;
    std::int64_t i64 = 0;
    std::uint64_t u64 = 0;
    char c = 0;
    char16_t w = 0;
    bool b = false;
    s >> i32 >> u32 >> i64 >> u64 >> c >> w >> b;
    EXPECT_EQ(std::make_tuple(i32, u32, i64, u64, c, w, b),
              std::make_tuple(INT32_MIN, UINT32_MAX, std::int64_t(INT64_MIN), std::uint64_t(UINT64_MAX),
                              char(-5), char16_t(0xFFFF), true));

    // Bool text: only empty and "0" are false.
    ParamStream bools;
    bools.putValue(value(PT_Bool, "00"));
    bools.putValue(value(PT_Bool, "0"));
    bools.putValue(value(PT_Bool, "1"));
    bool b1 = false, b2 = true;
    bools >> b1 >> b2;
    EXPECT_TRUE(b1);
    EXPECT_FALSE(b2);
    EXPECT_EQ(bools.format(std::string("%%%")), "truefalsetrue");
}

TEST(ParamStream, PutValueRulesAndMistypedReads) {
    ParamStream s;
    EXPECT_FALSE(s.putValue(value(PT_Int32, "")));
    EXPECT_FALSE(s.putValue(value(14, "1")));
    EXPECT_TRUE(s.putValue(value(PT_String, "")));
    EXPECT_TRUE(s.putValue(value(PT_Reserved11, "ignored")));
    EXPECT_EQ(s.size(), 2u);
    EXPECT_EQ(s.format(std::string("[%][%]")), "[][]");

    // A read of the wrong type consumes the value and leaves the destination alone.
    ParamStream t = makeParams(std::string("text"), 5);
    std::int32_t number = 99;
    t >> number;
    EXPECT_EQ(number, 99);
    t >> number;
    EXPECT_EQ(number, 5);
    t >> number; // nothing left
    EXPECT_EQ(number, 5);
    ParamValue out = value(PT_Char, "keep");
    EXPECT_FALSE(t.getValue(out));
    EXPECT_EQ(out.text, "keep");

    // The first value appended to an empty stream becomes the read position; a copy reads from the start.
    ParamStream u;
    u << 1;
    std::int32_t first = 0;
    u >> first;
    EXPECT_EQ(first, 1);
    u << 2;
    ParamStream copy(u);
    copy >> first;
    EXPECT_EQ(first, 1);
}

TEST(ParamStream, FiltersApplyToStringObjectsOnly) {
    MarkingStream s;
    s << std::string("a") << "b" << WString(u"c") << u"d";
    EXPECT_EQ(s.format(std::string("%,%,%,%")), "a<w,b,c<W,d");
    s.rewind();
    std::string a, b;
    WString c, d;
    s >> a >> b >> c >> d;
    EXPECT_EQ(a, "a<w>r");
    EXPECT_EQ(b, "b>r");
    EXPECT_EQ(c, u"c<W>R");
    EXPECT_EQ(d, u"d>R");
}

TEST(ParamStream, SharedTextKeepsWidthAndCountsReferences) {
    std::size_t before = SharedText::liveEntries();
    {
        SharedText narrow(std::string("n\\"));
        SharedText wide(WString(u"w\n"));
        SharedText copy(narrow);
        EXPECT_EQ(SharedText::liveEntries(), before + 2);
        EXPECT_EQ(copy.narrow(), "n\\");
        EXPECT_EQ(copy.wideText(), WString());
        EXPECT_EQ(wide.narrow(), "");

        ParamStream s;
        s << narrow << wide;
        EXPECT_EQ(s.all().front().type, PT_String);
        EXPECT_EQ(s.all().back().type, PT_WString);
        SharedText r1, r2;
        s >> r1 >> r2;
        EXPECT_EQ(r1.narrow(), "n\\");
        EXPECT_TRUE(r2.isWide());
        EXPECT_EQ(r2.wideText(), u"w\n");
        copy = wide;
        EXPECT_EQ(copy.wideText(), u"w\n");
    }
    EXPECT_EQ(SharedText::liveEntries(), before);
}
