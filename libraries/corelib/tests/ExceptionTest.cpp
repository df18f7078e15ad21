#include "Exception.h"

#include <gtest/gtest.h>

using namespace VeltorCorelib;

namespace {
struct Owner {
    VELTOR_ERROR_TYPE(Hook_Duplicate);
};
} // namespace

TEST(Exception, RecordParserHandlesEscapesAndPlainText) {
    // A backslash escapes the next character; a second one keeps the flag; a trailing one is dropped
    // inside a record and kept outside.
    const std::pair<std::string, std::string> cases[] = {
        {"@k{a\\}b};", "a}b"},
        {"@k{100\\x};", "100\\x"},
        {"plain words", "plain words"},
        {"@a{one};@b{two};", "onetwo"},
        {"@unterminated{text", "text"},
        {"\\", "\\"},
        {"@k{a\\\\}};", "a}"},
        {"@k{a\\", "a"},
        {";;@key.only", ""},
        {std::string("@k{a\0b};", 8), std::string("a\0b", 3)}};
    for (const auto& c : cases)
        EXPECT_EQ(extractMessageText(c.first), c.second) << c.first;
}

TEST(Exception, ContainedTreeIsCopiedDeeply) {
    Exception leaf("@leaf{Leaf %};", makeParams(3));
    Owner::Hook_Duplicate middle(makeSourceRecord("m.cpp", 1), leaf);
    Exception top(makeSourceRecord("t.cpp", 2), middle);
    Exception copy = top;
    top = Exception();
    EXPECT_EQ(copy.getText(true), "Exception:\nHook_Duplicate:\nException: Leaf 3");
    ASSERT_EQ(copy.getContained().size(), 1u);
    EXPECT_EQ(copy.getContained()[0].getContained()[0].getText(false), "Leaf 3");
}

TEST(Exception, ParametersAreFilledInAfterTheRecords) {
    EXPECT_TRUE(Exception().isMessageEmpty());
    // Parameters are filled in after the keys are gone: a value that looks like a record stays as it is.
    Exception recordLike("@k{Got %};", makeParams(std::string("@x{y};")));
    EXPECT_EQ(recordLike.getText(false), "Got @x{y};");
    // Rendering does not use up the exception's own parameters.
    EXPECT_EQ(recordLike.getText(false), "Got @x{y};");
}

TEST(Exception, RawTextAndSourceRecords) {
    Exception e("@k{Text %};", makeSourceRecord("C:\\src\\lib\\File.cpp", 42), makeParams(5));
    e.addSource(makeSourceRecord("Other.cpp", 7));
    EXPECT_EQ(e.getRawText(),
              "@k{Text %}; @logsrc{file=\"File.cpp\" line=42}; @logsrc{file=\"Other.cpp\" line=7};");
    EXPECT_EQ(makeSourceRecord("dir\\", 7), " @logsrc{file=\"\" line=7};");
    EXPECT_EQ(makeSourceRecord("x.cpp", 4294967295u), " @logsrc{file=\"x.cpp\" line=4294967295};");
    buildRevision = 12;
    EXPECT_EQ(makeSourceRecord("x.cpp", 1), " @logsrc{file=\"x.cpp\" line=1 rev=12};");
    buildRevision = 0;
    EXPECT_TRUE(Exception("@k{m};").getSources().empty());
}

TEST(Exception, WrappingThrowKeepsTheCaughtError) {
    try {
        try {
            VELTOR_THROW(Owner::Hook_Duplicate, "@k{Inner %};", 1);
        } catch (const Owner::Hook_Duplicate& inner) {
            VELTOR_THROW_WRAPPED(Owner::Hook_Duplicate, inner);
        }
        FAIL() << "nothing thrown";
    } catch (const Exception& outer) {
        EXPECT_EQ(outer.getSources().size(), 1u);
        EXPECT_EQ(outer.getText(true), "Hook_Duplicate:\nHook_Duplicate: Inner 1");
    }
}
