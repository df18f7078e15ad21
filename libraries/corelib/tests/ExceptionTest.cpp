#include "Exception.h"

#include <gtest/gtest.h>

using namespace VeltorCorelib;

namespace {
struct Owner {
    VELTOR_ERROR_TYPE(Hook_Duplicate);
};
} // namespace

TEST(Exception, RecordParserHandlesEscapesAndPlainText) {
    EXPECT_EQ(extractMessageText("@k{a\\}b};"), "a}b");
    EXPECT_EQ(extractMessageText("@k{100\\x};"), "100\\x");
    EXPECT_EQ(extractMessageText("plain words"), "plain words");
    EXPECT_EQ(extractMessageText("@a{one};@b{two};"), "onetwo");
    EXPECT_EQ(extractMessageText("@unterminated{text"), "text");
    EXPECT_EQ(extractMessageText("\\"), "\\");
}

TEST(Exception, HumanAndRawForms) {
    try {
        VELTOR_THROW(Owner::Hook_Duplicate, "@ims.hook.duplicate{Trying to set % hook};", std::string("a"));
    } catch (const Exception& e) {
        EXPECT_EQ(e.getName(), "Hook_Duplicate");
        EXPECT_EQ(e.getText(true), "Hook_Duplicate: Trying to set a hook");
        EXPECT_EQ(e.getText(false), "Trying to set a hook");
        EXPECT_EQ(e.getRawText().rfind("@ims.hook.duplicate{Trying to set % hook}; @logsrc{file=\"ExceptionTest.cpp\" line=", 0), 0u);
    }
    Exception empty;
    EXPECT_EQ(empty.getText(true), "Exception:");
    EXPECT_EQ(empty.getText(false), "");
    EXPECT_EQ(makeSourceRecord("dir\\", 7), " @logsrc{file=\"\" line=7};");
    EXPECT_EQ(makeSourceRecord("plain.cpp", 12), " @logsrc{file=\"plain.cpp\" line=12};");
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
