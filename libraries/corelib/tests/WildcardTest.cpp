#include "Wildcard.h"

#include <gtest/gtest.h>

#include <string>

using VeltorCorelib::matchWildcard;

TEST(Wildcard, EmptyTextAndEmptyPattern) {
    EXPECT_TRUE(matchWildcard("", ""));
    EXPECT_TRUE(matchWildcard("", "*"));
    EXPECT_TRUE(matchWildcard("", "***"));
    EXPECT_FALSE(matchWildcard("", "?"));
    EXPECT_FALSE(matchWildcard("", "a"));
    EXPECT_FALSE(matchWildcard("", "*a"));
    EXPECT_FALSE(matchWildcard("a", ""));
    // Past the end of the text counts as the empty text.
    EXPECT_TRUE(matchWildcard("abc", "*", 3));
    EXPECT_TRUE(matchWildcard("abc", "*", 7));
    EXPECT_FALSE(matchWildcard("abc", "c", 3));
}

TEST(Wildcard, StarsQuestionMarksAndWholeNames) {
    EXPECT_TRUE(matchWildcard("abc", "*"));
    EXPECT_TRUE(matchWildcard("abc", "?*"));
    EXPECT_FALSE(matchWildcard("abc", "a?"));
    EXPECT_TRUE(matchWildcard("abc", "a?c"));
    EXPECT_TRUE(matchWildcard("abc", "?b?"));
    EXPECT_FALSE(matchWildcard("abc", "ab"));
    EXPECT_FALSE(matchWildcard("ab", "abc"));
    EXPECT_TRUE(matchWildcard("abc", "a**c"));
    EXPECT_TRUE(matchWildcard("abc", "a***b***c***"));
    EXPECT_TRUE(matchWildcard("abc", "**?**"));
    EXPECT_FALSE(matchWildcard("abc", "**?**?**?**?**"));
    // The head before the first star honours '?' too.
    EXPECT_TRUE(matchWildcard("xa123", "?a*"));
    EXPECT_FALSE(matchWildcard("xb123", "?a*"));
}

TEST(Wildcard, BacktracksToTheLastSuitableOccurrence) {
    EXPECT_TRUE(matchWildcard("aXbXc", "*X*c"));
    EXPECT_TRUE(matchWildcard("aXbXcXc", "*Xc"));
    EXPECT_TRUE(matchWildcard("mississippi", "*sip*"));
    EXPECT_TRUE(matchWildcard("mississippi", "m*iss*ppi"));
    EXPECT_FALSE(matchWildcard("mississippi", "m*iss*ppx"));
    EXPECT_TRUE(matchWildcard("aaab", "*a?"));
    EXPECT_FALSE(matchWildcard("aaaa", "*b*"));
}

TEST(Wildcard, CaseSensitiveNamesOfTheRuleTable) {
    EXPECT_FALSE(matchWildcard("server.LOG", "*.log"));
    EXPECT_TRUE(matchWildcard("server.log", "*.log"));
    EXPECT_TRUE(matchWildcard("cgisess_", "cgisess_*"));
    EXPECT_TRUE(matchWildcard("cgisess_4f2a", "cgisess_*"));
    EXPECT_FALSE(matchWildcard("cgisess", "cgisess_*"));
    EXPECT_FALSE(matchWildcard("CGISESS_1", "cgisess_*"));
    EXPECT_TRUE(matchWildcard("top___.csv", "top_*_*_*.csv"));
    EXPECT_TRUE(matchWildcard("top_a_b_c.csv", "top_*_*_*.csv"));
    EXPECT_TRUE(matchWildcard("top_a_b_c_d.csv", "top_*_*_*.csv"));
    EXPECT_FALSE(matchWildcard("top_a_b.csv", "top_*_*_*.csv"));
    EXPECT_FALSE(matchWildcard("TOP_a_b_c.csv", "top_*_*_*.csv"));
    EXPECT_FALSE(matchWildcard("top_a_b_c.csvx", "top_*_*_*.csv"));
}

TEST(Wildcard, StartAndLength) {
    EXPECT_TRUE(matchWildcard("prefix-name.log", "name.log", 7));
    EXPECT_FALSE(matchWildcard("prefix-name.log", "name.log", 6));
    EXPECT_FALSE(matchWildcard("abc", "*", 0, 0));
    // Only zero matters: any other length does not shorten the text.
    EXPECT_FALSE(matchWildcard("abc", "ab", 0, 2));
    EXPECT_TRUE(matchWildcard("abc", "abc", 0, 1));
    // Bytes above 127 and embedded zero bytes are plain characters.
    EXPECT_TRUE(matchWildcard(std::string("a\0\xe9", 3), std::string("a?\xe9", 3)));
}
