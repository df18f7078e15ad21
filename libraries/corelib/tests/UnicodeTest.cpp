#include "Unicode.h"

#include <gtest/gtest.h>

using namespace VeltorCorelib;

namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values)
        out += static_cast<char>(v);
    return out;
}

// The reason text of the failure, or "no error".
template <typename F> std::string failure(F&& call) {
    try {
        call();
    } catch (const Unicode::Unicode_Invalid& e) {
        EXPECT_EQ(e.getMessage(), "@unicode.invalid{Invalid unicode (%)};");
        EXPECT_EQ(e.getName(), "Unicode_Invalid");
        return e.getText(false);
    }
    return "no error";
}

} // namespace

TEST(Unicode, Utf8DecoderAcceptsValidAndAdvances) {
    const std::string text = bytes({0xC3, 0xA9, 'x'});
    const char* cursor = text.data();
    EXPECT_EQ(Unicode::decodeUtf8(&cursor, text.size()), 0xE9u);
    EXPECT_EQ(cursor, text.data() + 2);
    EXPECT_EQ(Unicode::decodeUtf8(&cursor, 1), uint32_t('x'));
    // A zero byte is a character of its own and is consumed.
    const std::string zero(2, '\0');
    cursor = zero.data();
    EXPECT_EQ(Unicode::decodeUtf8(&cursor, 2), 0u);
    EXPECT_EQ(cursor, zero.data() + 1);
}

TEST(Unicode, Utf8DecoderRefusesMalformedInput) {
    const std::pair<std::string, const char*> cases[] = {{bytes({0xC0, 0x80}), "invalid utf8"},
                                                         {bytes({0x80}), "invalid utf8"},
                                                         {bytes({0xE0, 0x80, 0xAF}), "invalid utf8"},
                                                         {bytes({0xED, 0xA0, 0x80}), "invalid utf8"},
                                                         {bytes({0xF4, 0x90, 0x80, 0x80}), "invalid utf8"},
                                                         {bytes({0xE2, 0x82}), "invalid utf8"},
                                                         {bytes({0xC3, 0x00}), "invalid utf8"},
                                                         {bytes({0xF8, 0x88, 0x80, 0x80, 0x80}), "> 4 bytes"},
                                                         {"", "void utf8"}};
    for (const auto& c : cases)
        EXPECT_EQ(failure([&] { Unicode::utf8ToCode(c.first); }),
                  std::string("Invalid unicode (") + c.second + ")");
    EXPECT_EQ(failure([] { Unicode::decodeUtf8(nullptr, 3); }), "Invalid unicode (void utf8)");
    // A truncated sequence never reads past the given length.
    const std::string cut = bytes({0xF0, 0x9F, 0x98, 0x80});
    const char* cursor = cut.data();
    EXPECT_EQ(failure([&] { Unicode::decodeUtf8(&cursor, 2); }), "Invalid unicode (invalid utf8)");
    EXPECT_EQ(cursor, cut.data() + 2);
}

TEST(Unicode, Utf16DecodersAndTheirFailures) {
    const std::string pair = bytes({0x3D, 0xD8, 0x00, 0xDE, 0x41, 0x00});
    const char* cursor = pair.data();
    EXPECT_EQ(Unicode::decodeUtf16le(&cursor, pair.size()), 0x1F600u);
    EXPECT_EQ(cursor, pair.data() + 4);
    EXPECT_EQ(Unicode::decodeUtf16le(&cursor, 2), 0x41u);
    EXPECT_EQ(Unicode::utf16beToCode(bytes({0xD8, 0x3D, 0xDE, 0x00})), 0x1F600u);
    EXPECT_EQ(Unicode::utf16beToCode(bytes({0x00, 0xE9})), 0xE9u);

    const std::pair<std::string, const char*> cases[] = {{bytes({0x00, 0xDC}), "illegal value uft16"},
                                                         {bytes({0x3D, 0xD8}), "too short uft16"},
                                                         {bytes({0x3D, 0xD8, 0x00}), "uneven utf16"},
                                                         {"", "void utf16"}};
    for (const auto& c : cases) {
        std::string reversed = c.first;
        if (reversed.size() >= 2)
            std::swap(reversed[0], reversed[1]);
        EXPECT_EQ(failure([&] { Unicode::utf16leToCode(c.first); }),
                  std::string("Invalid unicode (") + c.second + "le)");
        EXPECT_EQ(failure([&] { Unicode::utf16beToCode(reversed); }),
                  std::string("Invalid unicode (") + c.second + "be)");
    }

    // A high surrogate followed by anything but a low one is refused, and the following unit is kept.
    const std::string lone = bytes({0x3D, 0xD8, 0x41, 0x00});
    cursor = lone.data();
    EXPECT_EQ(failure([&] { Unicode::decodeUtf16le(&cursor, lone.size()); }),
              "Invalid unicode (illegal value uft16le)");
    EXPECT_EQ(cursor, lone.data() + 2);
    EXPECT_EQ(Unicode::decodeUtf16le(&cursor, 2), 0x41u);
}

TEST(Unicode, EncodersAndRoundTrip) {
    // Surrogates and codes beyond the last plane have no encoding.
    for (std::uint32_t code : {0xD800u, 0xDC00u, 0xDFFFu, 0x110000u}) {
        EXPECT_EQ(Unicode::codeToUtf8(code), "") << code;
        EXPECT_EQ(Unicode::codeToUtf16le(code), "") << code;
        EXPECT_EQ(Unicode::codeToUtf16be(code), "") << code;
    }
    // Every other code survives the way there and back (the decoders refuse overlong forms).
    for (std::uint32_t code = 0; code <= 0x10FFFF; code += (code < 0x11000 ? 1 : 97)) {
        if (code >= 0xD800 && code <= 0xDFFF)
            continue;
        ASSERT_EQ(Unicode::utf8ToCode(Unicode::codeToUtf8(code)), code);
        ASSERT_EQ(Unicode::utf16leToCode(Unicode::codeToUtf16le(code)), code);
        ASSERT_EQ(Unicode::utf16beToCode(Unicode::codeToUtf16be(code)), code);
    }
}

TEST(Unicode, MarksAndLengths) {
    const std::string marks[] = {"", "", bytes({0xEF, 0xBB, 0xBF}), bytes({0xFF, 0xFE}), bytes({0xFE, 0xFF}),
                                 ""};
    for (int kind : {0, 1, 2, 3, 4, 9})
        EXPECT_EQ(Unicode::bomFor(kind), marks[kind == 9 ? 5 : kind]) << kind;

    auto one = Unicode::bomCandidates(bytes({0xEF}));
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].second, 2u);
    EXPECT_EQ(Unicode::bomCandidates(bytes({0xFF, 0xFE})).size(), 1u);
    EXPECT_TRUE(Unicode::bomCandidates(bytes({0xEF, 0xBB, 0xBF, 0x41})).empty());
    EXPECT_TRUE(Unicode::bomCandidates(bytes({0xEF, 0xBA})).empty());
    EXPECT_TRUE(Unicode::bomCandidates("A").empty());
    EXPECT_EQ(Unicode::bomCandidates("").size(), 3u);

    const std::pair<unsigned, unsigned> lengths[] = {{0x41, 1}, {0x80, 1}, {0xBF, 1}, {0xC3, 2},
                                                     {0xE2, 3}, {0xF0, 4}, {0xFF, 8}};
    for (const auto& l : lengths)
        EXPECT_EQ(Unicode::utf8Length(l.first), l.second) << l.first;
}
