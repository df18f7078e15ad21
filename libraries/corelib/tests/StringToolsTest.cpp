#include "StringTools.h"

#include <gtest/gtest.h>

using namespace VeltorCorelib;
using StringTools::LineSizeSearcher;
using Lines = std::vector<std::string>;

namespace {
Lines wrap(const std::string& text, unsigned width, bool dropEmpty = true) {
    return StringTools::split(text, LineSizeSearcher(width), StringTools::unlimited, dropEmpty);
}
} // namespace

TEST(StringTools, WrapsAtBreakCharactersAndCutsLongWords) {
    EXPECT_EQ(wrap("one two three four", 9), (Lines{"one two", "three", "four"}));
    // A non-blank break character stays with its line, even one place past the width.
    EXPECT_EQ(wrap("aaa-bbbbb", 5), (Lines{"aaa-", "bbbbb"}));
    EXPECT_EQ(wrap("abcd-ef", 4), (Lines{"abcd-", "ef"}));
    EXPECT_EQ(wrap("path/to/file", 6), (Lines{"path/", "to/", "file"}));
    // No break character at all: hard cut at the width.
    EXPECT_EQ(wrap("abcdefghij", 4), (Lines{"abcd", "efgh", "ij"}));
    // A break at the first position of a piece is not used.
    EXPECT_EQ(wrap("-abcdef", 3), (Lines{"-ab", "cde", "f"}));
    EXPECT_EQ(wrap("hello ", 5), (Lines{"hello"}));
    EXPECT_EQ(wrap("", 5), Lines{});
}

TEST(StringTools, LineFeedsEndLinesAndEmptyPiecesFollowTheFlag) {
    EXPECT_EQ(wrap("ab\ncd", 10), (Lines{"ab", "cd"}));
    EXPECT_EQ(wrap("abc def\nghi", 5), (Lines{"abc", "def", "ghi"}));
    EXPECT_EQ(wrap("\n\nab", 10), (Lines{"ab"}));
    EXPECT_EQ(wrap("\n\nab", 10, false), (Lines{"", "", "ab"}));
    EXPECT_EQ(wrap("ab\n", 10, false), (Lines{"ab", ""}));
    EXPECT_EQ(wrap("a\n\nb", 5, false), (Lines{"a", "", "b"}));
}

TEST(StringTools, MaximumPiecesAndSearcherLimits) {
    LineSizeSearcher one(1);
    EXPECT_EQ(StringTools::split("a b c d", one, 2, true), (Lines{"a", "b c d"}));
    EXPECT_EQ(StringTools::split("a b c d", one, 1, true), (Lines{"a b c d"}));
    // Width 0 finds nothing: the whole text is one piece.
    EXPECT_EQ(StringTools::split("a b", LineSizeSearcher(0), StringTools::unlimited, true), (Lines{"a b"}));

    std::size_t end = 99, skip = 99;
    LineSizeSearcher five(5);
    EXPECT_FALSE(five.find(std::string("abc"), 3, 0, end, skip));
    EXPECT_EQ(end, 99u);
    // A length beyond the text is held to the text.
    ASSERT_TRUE(five.find(std::string("abc"), 1, 100, end, skip));
    EXPECT_EQ(end, 3u);
    EXPECT_EQ(skip, 1u);
    ASSERT_TRUE(five.find(WString(u"hello world"), 0, 11, end, skip));
    EXPECT_EQ(end, 5u);
    EXPECT_EQ(skip, 1u);
}
