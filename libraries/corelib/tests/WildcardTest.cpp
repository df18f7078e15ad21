#include "Wildcard.h"

#include <gtest/gtest.h>

#include <string>

using VeltorCorelib::matchWildcard;

TEST(Wildcard, PatternTable) {
    struct Case {
        const char* text;
        const char* pattern;
        bool match;
    } cases[] = {
        {"", "", true},
        {"", "*", true},
        {"", "?", false},
        {"", "*a", false},
        {"a", "", false},
        {"abc", "*", true},
        {"abc", "?*", true},
        {"abc", "a?c", true},
        {"abc", "ab", false},
        {"ab", "abc", false},
        {"abc", "a***b***c***", true},
        {"abc", "**?**?**?**?**", false},
        // The head before the first star honours '?' too.
        {"xa123", "?a*", true},
        {"xb123", "?a*", false},
        // Backtracking to the last suitable occurrence.
        {"aXbXc", "*X*c", true},
        {"aXbXcXc", "*Xc", true},
        {"mississippi", "m*iss*ppi", true},
        {"mississippi", "m*iss*ppx", false},
        {"aaab", "*a?", true},
        {"aaaa", "*b*", false},
        {"server.LOG", "*.log", false}, // case-sensitive
    };
    for (const Case& c : cases)
        EXPECT_EQ(matchWildcard(c.text, c.pattern), c.match) << c.text << " ~ " << c.pattern;
}

TEST(Wildcard, StartAndLength) {
    // Past the end of the text counts as the empty text.
    EXPECT_TRUE(matchWildcard("abc", "*", 7));
    EXPECT_FALSE(matchWildcard("abc", "c", 3));
    EXPECT_TRUE(matchWildcard("prefix-name.log", "name.log", 7));
    EXPECT_FALSE(matchWildcard("prefix-name.log", "name.log", 6));
    EXPECT_FALSE(matchWildcard("abc", "*", 0, 0));
    // Only zero matters: any other length does not shorten the text.
    EXPECT_FALSE(matchWildcard("abc", "ab", 0, 2));
    EXPECT_TRUE(matchWildcard("abc", "abc", 0, 1));
    // Bytes above 127 and embedded zero bytes are plain characters.
    EXPECT_TRUE(matchWildcard(std::string("a\0\xe9", 3), std::string("a?\xe9", 3)));
}
