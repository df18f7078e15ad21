// Command-line parser: option definitions, the token grammar, the recorded options and the help text.
// Errors come back as text, never as exceptions.
#pragma once
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace VeltorCorelib {

class CmdParser {
public:
    enum Kind : std::int32_t {
        Positional = 0, // one plain token
        Flag = 1,       // nothing
        Value = 2,      // the next token, whatever it is
        Choice = 3,     // the next token, one of the allowed values
        Assignment = 4, // name=value without dashes; with dashes like Value
        RestOfLine = 5, // the next token and every token after it
    };

    struct Definition {
        std::int32_t sequence = 0;
        std::int32_t kind = Flag;
        char shortForm = 0;
        std::string name;
        std::set<std::string> allowedValues;
        std::string help;
    };

    struct Recorded {
        Definition definition;
        std::string value;
    };

    // Width of the help text's extra lines.
    static unsigned helpWidth;

    CmdParser();

    // Only the first call has an effect.
    void init(const std::string& applicationName, bool standardOptions, bool undefinedAsArguments,
              bool configurationOption);
    bool addOption(const std::string& help, std::int32_t kind, char shortForm, const std::string& name,
                   const std::set<std::string>& allowedValues = {});
    bool addFlag(const std::string& help, char shortForm, const std::string& name) {
        return addOption(help, Flag, shortForm, name);
    }
    bool addValueOption(const std::string& help, char shortForm, const std::string& name,
                        const std::set<std::string>& allowedValues = {}) {
        return addOption(help, Value, shortForm, name, allowedValues);
    }
    void addHelpLine(const std::string& text);

    // ignoreList: comma-separated tokens that are skipped wherever a token is handled on its own.
    bool parse(int argc, const char* const* argv, std::string& message, const std::string& ignoreList = "");

    bool isSet(const std::string& name) const;
    bool isSetShort(char shortForm) const;
    // The value of the first occurrence; false and value unchanged when the option was not given.
    bool getValue(const std::string& name, std::string& value) const;

    std::string helpText() const;

    const std::vector<std::string>& getTokens() const { return tokens; }
    const std::string& getExecutable() const { return executable; }
    const std::vector<Recorded>& getArguments() const { return arguments; }
    const std::vector<Recorded>& getOptions() const { return options; }
    const std::string& getVersion() const { return version; }
    const std::string& getRevision() const { return revision; }
    int getNameWidth() const { return nameWidth; }

    // The escape step applied to every command-line token.
    static std::string unescapeToken(const std::string& token);

private:
    struct Cursor;
    bool handleToken(Cursor& cursor, const std::vector<std::string>& ignore);
    bool handleOption(Cursor& cursor);
    bool consumeValue(Cursor& cursor, const Definition& definition, const std::string& name);
    bool handleAssignment(Cursor& cursor);
    bool handleArgument(Cursor& cursor, const std::string& token);
    const Definition* findLong(const std::string& name) const;
    const Definition* findShort(char shortForm) const;
    void record(const Definition& definition, const std::string& value);

    std::vector<std::string> tokens;
    std::vector<Definition> table; // kept in table order
    int nameWidth = 4;
    std::vector<Definition> positionals;
    bool undefinedAsArguments = false;
    std::string applicationName;
    std::vector<Recorded> options; // in table order, then command-line order
    std::vector<Recorded> arguments;
    std::size_t currentArgument = 0;
    std::string executable;
    std::string version;
    std::string revision;
    bool initialised = false;
    std::vector<std::string> helpLines;
};

} // namespace VeltorCorelib
