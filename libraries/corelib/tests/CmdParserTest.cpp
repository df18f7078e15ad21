#include "CmdParser.h"

#include <gtest/gtest.h>

#include <vector>

using VeltorCorelib::CmdParser;

namespace {

struct Parsed {
    bool ok;
    std::string message;
};

Parsed parse(CmdParser& parser, std::vector<const char*> args, const std::string& ignore = "--nodetach") {
    args.insert(args.begin(), "prog");
    std::string message;
    bool ok = parser.parse(static_cast<int>(args.size()), args.data(), message, ignore);
    return {ok, message};
}

CmdParser cleanerLike() {
    CmdParser parser;
    parser.init("Sorvik", true, false, false);
    parser.addValueOption("Specify allowed file age", 0, "period");
    parser.addFlag("Display additional information", 0, "verbose");
    parser.addFlag("Flag x", 'x', "");
    parser.addValueOption("Value v", 'v', "");
    return parser;
}

} // namespace

TEST(CmdParser, ValuesFlagsAndQuotes) {
    CmdParser parser = cleanerLike();
    ASSERT_TRUE(parse(parser, {"--period", "-1", "--verbose"}).ok);
    std::string value = "unchanged";
    EXPECT_TRUE(parser.getValue("period", value));
    EXPECT_EQ(value, "-1"); // a value that starts with a dash is still the value
    EXPECT_TRUE(parser.isSet("verbose"));

    ASSERT_TRUE(parse(parser, {"--period", "\"PT1H\"", "--period", "P2D"}).ok);
    EXPECT_TRUE(parser.getValue("period", value));
    EXPECT_EQ(value, "PT1H"); // first occurrence, quotes removed
    ASSERT_TRUE(parse(parser, {"--period", "\"\""}).ok);
    parser.getValue("period", value);
    EXPECT_EQ(value, "");
    ASSERT_TRUE(parse(parser, {"--period", ""}).ok); // an empty token right after a value option is its value
    EXPECT_TRUE(parser.isSet("period"));
    ASSERT_TRUE(parse(parser, {"", "-", "--nodetach", "--verbose"}).ok);
    EXPECT_EQ(parser.getTokens().size(), 5u); // ignored tokens still count as tokens
}

TEST(CmdParser, ErrorTexts) {
    CmdParser parser = cleanerLike();
    const std::pair<std::vector<const char*>, const char*> cases[] = {
        {{"nothing=1"}, "Unknown option 'nothing'"},
        {{"-vx"}, "Option 'v' requires argument but is located inside an options token"},
        {{"--", "--verbose"}, "Too many arguments"}};
    for (const auto& c : cases) {
        Parsed result = parse(parser, c.first);
        EXPECT_FALSE(result.ok) << c.second;
        EXPECT_EQ(result.message, c.second);
    }
    Parsed group = parse(parser, {"-?q"});
    EXPECT_FALSE(group.ok);
    EXPECT_EQ(group.message, "Unknown option 'q'");
    EXPECT_TRUE(parser.isSetShort('?')); // recorded before the faulty letter
    ASSERT_TRUE(parse(parser, {"-xv", "3"}).ok);
    EXPECT_TRUE(parser.isSetShort('x'));

    CmdParser noName;
    std::string message;
    EXPECT_TRUE(noName.parse(0, nullptr, message, ""));
    CmdParser named;
    named.init("App", false, false, false);
    EXPECT_FALSE(named.parse(0, nullptr, message, ""));
    EXPECT_EQ(message, "Missing executable argument");
}

TEST(CmdParser, ChoicesRestOfLineAssignmentsAndUndefinedArguments) {
    CmdParser parser;
    parser.init("App", false, true, false);
    EXPECT_FALSE(parser.addOption("no values", CmdParser::Choice, 'c', "color"));
    EXPECT_TRUE(parser.addOption("Colour", CmdParser::Choice, 'c', "color", {"red", "blue"}));
    EXPECT_FALSE(parser.addOption("again", CmdParser::Choice, 'c', "color", {"red"}));
    EXPECT_FALSE(parser.addOption("nameless", CmdParser::Flag, 0, ""));
    EXPECT_TRUE(parser.addOption("Key", CmdParser::Assignment, 0, "key"));
    EXPECT_TRUE(parser.addOption("Rest", CmdParser::RestOfLine, 'r', ""));
    std::string message;
    const char* bad[] = {"app", "--color", "green"};
    EXPECT_FALSE(parser.parse(3, bad, message));
    EXPECT_EQ(message, "Invalid argument to 'color' option");
    const char* good[] = {"app", "key=a=b", "free", "--unknown", "-r", "x", "--color", "y"};
    ASSERT_TRUE(parser.parse(8, good, message));
    std::string value;
    parser.getValue("key", value);
    EXPECT_EQ(value, "key=a=b");
    ASSERT_EQ(parser.getArguments().size(), 2u);
    EXPECT_EQ(parser.getArguments()[1].value, "--unknown");
    ASSERT_EQ(parser.getOptions().size(), 2u);
    EXPECT_EQ(parser.getOptions().back().value, "x --color y");
}

TEST(CmdParser, EscapeStep) {
    const std::pair<const char*, const char*> cases[] = {{"a\\\"b", "a\"b"}, {"a\\'b", "a\\b"},
                                                         {"\\0x", "0x"},     {"a\\nb", "a\\nb"},
                                                         {"end\\", "end\\"}, {"\\\\\"", "\\\\\""}};
    for (const auto& c : cases)
        EXPECT_EQ(CmdParser::unescapeToken(c.first), c.second) << c.first;
}

TEST(CmdParser, HelpLayout) {
    CmdParser parser;
    parser.init("App", true, false, true);
    parser.addOption("Pick", CmdParser::Choice, 0, "mode", {"fast", "slow"});
    // 60 - 12 + 9 = 57 characters per piece of the allowed values.
    parser.addOption("Level", CmdParser::Choice, 'l', "",
                     {"alpha-one", "bravo-two", "charlie-three", "delta-four", "echo-five", "foxtrot-six"});
    parser.addOption("Assign", CmdParser::Assignment, 0, "key");
    parser.addOption("Rest", CmdParser::RestOfLine, 'r', "rest");
    parser.addOption("File", CmdParser::Positional, 0, "");
    parser.addHelpLine("This extra line is long enough that it has to be wrapped at a blank somewhere.");
    EXPECT_EQ(parser.getNameWidth(), 12);
    // The lines of the standard options are the program's own help, checked from the outside.
    const std::string help = parser.helpText();
    EXPECT_EQ(help.rfind("Usage: App [options] <File>\n", 0), 0u);
    const std::string expected =
        "  -c <arg>           : Specify configuration file explicitly\n"
        "  --mode <arg>       : Pick\n"
        "                       (One of: fast, slow)\n"
        "  -l <arg>           : Level\n"
        "                       (One of: alpha-one, bravo-two, charlie-three, delta-four,\n"
        "                       echo-five, foxtrot-six)\n"
        "  key=<value>        : Assign\n"
        "  -r <arg>\n"
        "    --rest <arg>     : Rest\n"
        "\n"
        "This extra line is long enough that it has to be wrapped at\n"
        "a blank somewhere.\n";
    EXPECT_EQ(help.substr(help.find("  -c <arg>")), expected);
}

TEST(CmdParser, HelpLineWrappingKeepsIndentAndNeverLoops) {
    CmdParser parser;
    parser.addHelpLine("  indented words words words words words words words-words-words words words");
    parser.addHelpLine(std::string(100, 'x'));                              // no break: kept whole
    parser.addHelpLine(std::string(50, ' ') + std::string(80, 'y') + " z"); // long indent
    std::string help = parser.helpText();
    // The options-less help still separates the extra lines by a blank line; a remainder that the
    // indent keeps as long as before stops the wrapping instead of looping.
    EXPECT_EQ(help, "Usage:\n\n"
                    "  indented words words words words words words words-words-\n"
                    "  words words words\n" +
                        std::string(100, 'x') + "\n" + std::string(49, ' ') + "\n" + std::string(50, ' ') +
                        std::string(80, 'y') + " z\n");
}
