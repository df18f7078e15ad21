// The command-line parser on arbitrary token vectors (tokens separated by NUL bytes), with the options
// of the cleaner, a choice, an assignment and a rest-of-line option defined.
#include "CmdParser.h"
#include "FuzzTarget.h"
#include "Logger.h"

#include <sstream>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> tokens{"sorvik"};
    std::istringstream input(fuzzText(data, size));
    for (std::string token; std::getline(input, token, '\0');)
        tokens.push_back(token);
    std::vector<const char*> argv;
    for (const std::string& token : tokens)
        argv.push_back(token.c_str());

    VeltorCorelib::CmdParser parser;
    parser.init("Sorvik", true, size % 2 == 0, size % 3 == 0);
    parser.addValueOption("Specify allowed file age", 0, "period");
    parser.addFlag("Display additional information", 0, "verbose");
    parser.addFlag("Flag", 'x', "");
    parser.addOption("Choice", VeltorCorelib::CmdParser::Choice, 'm', "mode", {"a", "b"});
    parser.addOption("Assign", VeltorCorelib::CmdParser::Assignment, 0, "key");
    parser.addOption("Rest", VeltorCorelib::CmdParser::RestOfLine, 'r', "");
    parser.addHelpLine(tokens.back());
    std::string message;
    bool ok = parser.parse(static_cast<int>(argv.size()), argv.data(), message, "--nodetach,x");
    FUZZ_CHECK(parser.getTokens().size() == tokens.size());
    FUZZ_CHECK(ok || !message.empty()); // every failure says why
    std::string value;
    parser.getValue("period", value);
    FUZZ_CHECK(!parser.helpText().empty() && parser.helpText().back() == '\n');
    int level = VeltorCorelib::Logger::getProcessLevel();
    FUZZ_CHECK(level >= 0 && level <= 8);
    return 0;
}
