#include "CmdParser.h"

#include "Logger.h"
#include "StringTools.h"

#include <algorithm>

namespace VeltorCorelib {

unsigned CmdParser::helpWidth = 60;

namespace {

// The build passes the project's version (top CMakeLists.txt), so the program and its packages agree.
#ifndef VELTOR_VERSION_TEXT
#error "VELTOR_VERSION_TEXT must be defined by the build"
#endif
const char* const kVersion = VELTOR_VERSION_TEXT;
const char* const kRevision = "14882";

// Table order: kind, then options with a short form first, by short form, then options with a long
// name first, by long name.
bool tableLess(const CmdParser::Definition& a, const CmdParser::Definition& b) {
    if (a.kind != b.kind)
        return a.kind < b.kind;
    if ((a.shortForm != 0) != (b.shortForm != 0))
        return a.shortForm != 0;
    if (a.shortForm != b.shortForm)
        return static_cast<unsigned char>(a.shortForm) < static_cast<unsigned char>(b.shortForm);
    if (a.name.empty() != b.name.empty())
        return !a.name.empty();
    return a.name < b.name;
}

bool isAssignmentName(const std::string& name) {
    if (name.empty())
        return false;
    auto isLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (!isLetter(name[0]) && name[0] != '_')
        return false;
    return std::all_of(name.begin(), name.end(),
                       [&](char c) { return isLetter(c) || (c >= '0' && c <= '9') || c == '_'; });
}

std::vector<std::string> splitHelpText(const std::string& text, int width) {
    return StringTools::split(text, StringTools::LineSizeSearcher(static_cast<unsigned>(width)),
                              StringTools::unlimited, true);
}

} // namespace

struct CmdParser::Cursor {
    std::size_t index = 0;
    std::string groupRest;
    bool optionsAllowed = true;
    std::size_t nextPositional = 0;
    std::string message;
};

CmdParser::CmdParser() : version(kVersion), revision(kRevision) {}

void CmdParser::init(const std::string& name, bool standardOptions, bool undefinedAsArgs, bool configurationOption) {
    if (initialised)
        return;
    initialised = true;
    applicationName = name;
    if (standardOptions) {
        addOption("Display this help text", Flag, '?', "help");
        if (!version.empty())
            addOption("Display version information", Flag, 0, "version");
        if (!revision.empty())
            addOption("Display SVN revision information", Flag, 0, "revision");
        addOption("Set debug level", Value, 0, "debug");
        if (configurationOption)
            addOption("Specify configuration file explicitly", Value, 'c', "");
    }
    undefinedAsArguments = undefinedAsArgs;
}

bool CmdParser::addOption(const std::string& help, std::int32_t kind, char shortForm, const std::string& name,
                          const std::set<std::string>& allowedValues) {
    Definition definition;
    definition.sequence = static_cast<std::int32_t>(table.size());
    definition.kind = kind;
    definition.shortForm = shortForm;
    definition.name = name;
    definition.allowedValues = allowedValues;
    definition.help = help;
    if (kind == Positional) {
        if (shortForm != 0 || !name.empty() || !allowedValues.empty())
            return false;
        positionals.push_back(definition);
        return true;
    }
    if (kind < Positional || kind > RestOfLine)
        return false;
    if ((kind == Choice && allowedValues.empty()) || (shortForm == 0 && name.empty()))
        return false;
    for (const Definition& existing : table)
        if (existing.kind == kind && existing.shortForm == shortForm && existing.name == name)
            return false;
    table.insert(std::upper_bound(table.begin(), table.end(), definition, tableLess), definition);
    nameWidth = std::max(nameWidth, static_cast<int>(name.size()) + 4);
    return true;
}

void CmdParser::addHelpLine(const std::string& input) {
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n'; };
    std::size_t indentLength = 0;
    while (indentLength < input.size() && isSpace(input[indentLength]))
        ++indentLength;
    const std::string indent = input.substr(0, indentLength);
    std::string text = input;
    while (text.size() > helpWidth) {
        std::size_t breakAt = std::string::npos;
        for (std::size_t p = std::min<std::size_t>(helpWidth, text.size() - 1); p >= 31; --p) {
            if (isSpace(text[p]) || text[p] == '-' || text[p] == '\\') {
                breakAt = p;
                break;
            }
        }
        if (breakAt == std::string::npos)
            break;
        std::string rest;
        if (isSpace(text[breakAt])) {
            helpLines.push_back(text.substr(0, breakAt));
            std::size_t from = breakAt + 1;
            while (from < text.size() && isSpace(text[from]))
                ++from;
            rest = text.substr(from);
        } else {
            helpLines.push_back(text.substr(0, breakAt + 1));
            rest = text.substr(breakAt + 1);
        }
        std::string next = indent + rest;
        // A long indent could keep the remainder from ever getting shorter; stop splitting then.
        if (next.size() >= text.size()) {
            text = next;
            break;
        }
        text = next;
    }
    helpLines.push_back(text);
}

std::string CmdParser::unescapeToken(const std::string& token) {
    std::string out;
    out.reserve(token.size());
    for (std::size_t i = 0; i < token.size(); ++i) {
        char c = token[i];
        if (c == '\\' && i + 1 < token.size()) {
            char next = token[i + 1];
            if (next == '"') {
                out.push_back('"');
                ++i;
                continue;
            }
            if (next == '\'') {
                out.push_back('\\');
                ++i;
                continue;
            }
            if (next == '0') {
                out.push_back('0');
                ++i;
                continue;
            }
            out.push_back(c);
            out.push_back(next);
            ++i;
            continue;
        }
        out.push_back(c);
    }
    return out;
}

bool CmdParser::parse(int argc, const char* const* argv, std::string& message, const std::string& ignoreList) {
    tokens.clear();
    options.clear();
    arguments.clear();
    currentArgument = 0;
    for (int i = 0; i < argc; ++i)
        tokens.push_back(unescapeToken(argv && argv[i] ? argv[i] : ""));

    std::vector<std::string> ignore;
    std::size_t start = 0;
    while (start <= ignoreList.size() && !ignoreList.empty()) {
        std::size_t comma = ignoreList.find(',', start);
        if (comma == std::string::npos) {
            ignore.push_back(ignoreList.substr(start));
            break;
        }
        ignore.push_back(ignoreList.substr(start, comma - start));
        start = comma + 1;
    }

    Cursor cursor;
    if (!applicationName.empty()) {
        if (tokens.empty()) {
            message = "Missing executable argument";
            return false;
        }
        executable = tokens[0];
        cursor.index = 1;
    }
    for (; cursor.index < tokens.size(); ++cursor.index) {
        if (!handleToken(cursor, ignore)) {
            message = cursor.message;
            return false;
        }
    }
    if (isSetShort('?')) {
        message = helpText();
    } else if (isSet("version")) {
        message = version;
    } else if (isSet("revision")) {
        message = revision;
    } else if (isSet("debug")) {
        std::string value;
        getValue("debug", value);
        int level = Logger::parseLevel(value);
        if (level <= Logger::LevelFlood)
            Logger::setProcessLevel(level);
    }
    currentArgument = 0;
    return true;
}

bool CmdParser::handleToken(Cursor& cursor, const std::vector<std::string>& ignore) {
    const std::string& token = tokens[cursor.index];
    if (std::find(ignore.begin(), ignore.end(), token) != ignore.end())
        return true;
    if (token.empty() || token == "-")
        return true;
    if (!cursor.optionsAllowed)
        return handleArgument(cursor, token);
    if (token == "--") {
        cursor.optionsAllowed = false;
        return true;
    }
    if (token[0] == '-')
        return handleOption(cursor);
    std::size_t equals = token.find('=');
    if (equals != std::string::npos && isAssignmentName(token.substr(0, equals)))
        return handleAssignment(cursor);
    return handleArgument(cursor, token);
}

bool CmdParser::handleOption(Cursor& cursor) {
    std::string lookup = tokens[cursor.index];
    bool first = true;
    while (first || !cursor.groupRest.empty()) {
        if (!first) {
            lookup = "-" + cursor.groupRest;
            cursor.groupRest.clear();
        }
        first = false;
        const Definition* definition = nullptr;
        std::string name;
        if (lookup.size() >= 2 && lookup[0] == '-' && lookup[1] == '-') {
            name = lookup.substr(2);
            definition = findLong(name);
        } else {
            std::string rest = lookup.substr(1);
            if (rest.size() > 1)
                cursor.groupRest = rest.substr(1);
            name = rest.substr(0, 1);
            definition = name.empty() ? nullptr : findShort(name[0]);
        }
        if (!definition) {
            if (!undefinedAsArguments) {
                cursor.message = "Unknown option '" + name + "'";
                return false;
            }
            cursor.groupRest.clear();
            return handleArgument(cursor, tokens[cursor.index]);
        }
        Definition found = *definition;
        if (!consumeValue(cursor, found, name))
            return false;
    }
    return true;
}

bool CmdParser::consumeValue(Cursor& cursor, const Definition& definition, const std::string& name) {
    if (definition.kind == Positional || definition.kind == Flag) {
        record(definition, "");
        return true;
    }
    if (!cursor.groupRest.empty()) {
        cursor.message = "Option '" + name + "' requires argument but is located inside an options token";
        return false;
    }
    if (cursor.index + 1 >= tokens.size()) {
        cursor.message = "Missing argument to '" + name + "' option";
        return false;
    }
    ++cursor.index;
    std::string value = tokens[cursor.index];
    if (definition.kind == RestOfLine) {
        while (cursor.index + 1 < tokens.size()) {
            ++cursor.index;
            value += " " + tokens[cursor.index];
        }
        record(definition, value);
        return true;
    }
    if (definition.kind == Choice && definition.allowedValues.count(value) == 0) {
        cursor.message = "Invalid argument to '" + name + "' option";
        return false;
    }
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    record(definition, value);
    return true;
}

bool CmdParser::handleAssignment(Cursor& cursor) {
    const std::string& token = tokens[cursor.index];
    std::string name = token.substr(0, token.find('='));
    const Definition* definition = findLong(name);
    if (!definition) {
        cursor.message = "Unknown option '" + name + "'";
        return false;
    }
    if (definition->kind != Assignment) {
        cursor.message = "Option '" + name + "' must be option=value";
        return false;
    }
    record(*definition, token);
    return true;
}

bool CmdParser::handleArgument(Cursor& cursor, const std::string& token) {
    if (cursor.nextPositional >= positionals.size()) {
        if (!undefinedAsArguments) {
            cursor.message = "Too many arguments";
            return false;
        }
        Definition definition;
        definition.kind = Positional;
        definition.sequence = static_cast<std::int32_t>(positionals.size());
        positionals.push_back(definition);
    }
    arguments.push_back(Recorded{positionals[cursor.nextPositional], token});
    ++cursor.nextPositional;
    return true;
}

const CmdParser::Definition* CmdParser::findLong(const std::string& name) const {
    if (name.empty())
        return nullptr;
    for (const Definition& definition : table)
        if (definition.name == name)
            return &definition;
    return nullptr;
}

const CmdParser::Definition* CmdParser::findShort(char shortForm) const {
    if (shortForm == 0)
        return nullptr;
    for (const Definition& definition : table)
        if (definition.shortForm == shortForm)
            return &definition;
    return nullptr;
}

void CmdParser::record(const Definition& definition, const std::string& value) {
    // Recorded options follow the table order; repeats of one option keep command-line order.
    auto position = std::upper_bound(options.begin(), options.end(), definition,
                                     [](const Definition& d, const Recorded& r) { return tableLess(d, r.definition); });
    options.insert(position, Recorded{definition, value});
}

bool CmdParser::isSet(const std::string& name) const {
    return std::any_of(options.begin(), options.end(), [&](const Recorded& r) { return r.definition.name == name; });
}

bool CmdParser::isSetShort(char shortForm) const {
    return std::any_of(options.begin(), options.end(),
                       [&](const Recorded& r) { return r.definition.shortForm == shortForm; });
}

bool CmdParser::getValue(const std::string& name, std::string& value) const {
    for (const Recorded& r : options) {
        if (r.definition.name == name) {
            value = r.value;
            return true;
        }
    }
    return false;
}

std::string CmdParser::helpText() const {
    std::string text = "Usage:";
    if (!applicationName.empty())
        text += " " + applicationName;
    if (!table.empty())
        text += " [options]";
    for (const Definition& positional : positionals)
        text += " <" + positional.help + ">";
    if (!table.empty()) {
        text += "\nOptions:\n";
        std::vector<const Definition*> bySequence;
        for (const Definition& definition : table)
            bySequence.push_back(&definition);
        std::sort(bySequence.begin(), bySequence.end(),
                  [](const Definition* a, const Definition* b) { return a->sequence < b->sequence; });
        bool firstEntry = true;
        for (const Definition* d : bySequence) {
            if (!firstEntry)
                text += "\n";
            firstEntry = false;
            std::string line = "  ";
            const bool takesArgument = d->kind >= Value;
            if (d->shortForm != 0) {
                line += '-';
                line += d->shortForm;
                if (!d->name.empty()) {
                    if (takesArgument)
                        line += " <arg>";
                    text += line + "\n";
                    line = "    --" + d->name;
                }
                if (takesArgument)
                    line += " <arg>";
            } else {
                if (d->kind != Assignment)
                    line += "--";
                line += d->name;
                if (d->kind == Assignment)
                    line += "=<value>";
                else if (takesArgument)
                    line += " <arg>";
            }
            std::size_t width = static_cast<std::size_t>(nameWidth + 9);
            if (line.size() < width)
                line.append(width - line.size(), ' ');
            line += ": " + d->help;
            text += line;
            if (d->kind == Choice) {
                std::string choices = "(One of: ";
                bool firstValue = true;
                for (const std::string& value : d->allowedValues) {
                    if (!firstValue)
                        choices += ", ";
                    firstValue = false;
                    choices += value;
                }
                choices += ")";
                int pieceWidth = static_cast<int>(helpWidth) - nameWidth + 9;
                for (const std::string& piece : splitHelpText(choices, pieceWidth > 0 ? pieceWidth : 1))
                    text += "\n" + std::string(static_cast<std::size_t>(nameWidth + 11), ' ') + piece;
            }
        }
    }
    if (!helpLines.empty()) {
        if (!text.empty())
            text += "\n";
        for (const std::string& line : helpLines) {
            if (!text.empty())
                text += "\n";
            text += line;
        }
    }
    if (text.empty() || text.back() != '\n')
        text += "\n";
    return text;
}

} // namespace VeltorCorelib
