#include "platform/RegistryFile.h"

#include "platform/Utf.h"

#include <algorithm>
#include <cstring>

namespace VeltorPlatform {
namespace RegistryFile {

namespace {

const char* const kRootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",     "HKEY_LOCAL_MACHINE",
                                  "HKEY_USERS",        "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG"};
const char kHeader5[] = "Windows Registry Editor Version 5.00";
const char kHeader4[] = "REGEDIT4";
const char kTooDeep[] = "a key path may hold at most 512 names below its root";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string trimmed(const std::string& text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isStringType(std::uint32_t type) {
    return type == 1 || type == 2 || type == 7;
}

struct Failure {
    unsigned line;
    std::string reason;
};

// Reads the file's bytes as UTF-8 text, decoding UTF-16LE and checking what must not be there.
void decodeText(const char* data, std::size_t size, std::string& text, bool& utf16) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    utf16 = false;
    if (size >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF)
        throw Failure{1, "UTF-16 big-endian text is not supported; save the file as UTF-8 or UTF-16LE"};
    if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        utf16 = true;
        const std::size_t units = (size - 2) / 2;
        const bool whole = Utf::utf16ToUtf8(data + 2, units, true, text) == units;
        const auto line = static_cast<unsigned>(1 + std::count(text.begin(), text.end(), '\n'));
        if (!whole)
            throw Failure{line, "the UTF-16 text holds an unpaired surrogate"};
        if (size % 2 != 0)
            throw Failure{line, "the UTF-16 text is cut off in the middle of a character"};
    } else {
        std::size_t start = size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
        text.assign(data + start, size - start);
    }
    unsigned line = 1;
    std::uint32_t code;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '\0')
            throw Failure{line, "the file holds a NUL character (binary data, or UTF-16 text without its "
                                "byte-order mark)"};
        if (text[i] == '\n')
            ++line;
        std::size_t length = Utf::decodeUtf8(text.data() + i, text.size() - i, code);
        if (length == 0)
            throw Failure{line, "the text is not valid UTF-8; save the file as UTF-8 or UTF-16LE"};
        i += length;
    }
}

class Parser {
public:
    Parser(const std::string& text, Tree& tree) : text(text), tree(tree) {}

    void run() {
        std::string line;
        while (nextLine(line)) {
            std::string entry = trimmed(line);
            if (!headerSeen) {
                if (entry.empty())
                    continue;
                if (entry == kHeader5) {
                    unicodeHex = true;
                } else if (entry == kHeader4) {
                    unicodeHex = false;
                } else {
                    throw Failure{lineNumber, std::string("the first line must be \"") + kHeader5 +
                                                  "\" or \"" + kHeader4 + "\""};
                }
                headerSeen = true;
                continue;
            }
            if (entry.empty() || entry[0] == ';')
                continue;
            if (entry[0] == '[')
                section(entry);
            else
                valueLine(entry);
        }
        if (!headerSeen)
            throw Failure{lineNumber ? lineNumber : 1,
                          std::string("the file is empty; its first line must be \"") + kHeader5 +
                              "\" or \"" + kHeader4 + "\""};
    }

private:
    const std::string& text;
    Tree& tree;
    std::size_t position = 0;
    unsigned lineNumber = 0;
    bool headerSeen = false;
    bool unicodeHex = true;
    Key* current = nullptr;
    bool inDeletion = false;

    bool nextLine(std::string& line) {
        if (position >= text.size())
            return false;
        std::size_t end = text.find('\n', position);
        if (end == std::string::npos)
            end = text.size();
        std::size_t stop = end;
        if (stop > position && text[stop - 1] == '\r')
            --stop;
        line.assign(text, position, stop - position);
        position = end + 1;
        ++lineNumber;
        return true;
    }

    void section(const std::string& entry) {
        if (entry.back() != ']')
            throw Failure{lineNumber, "a key line must end with ']'"};
        std::string path = entry.substr(1, entry.size() - 2);
        bool deletion = !path.empty() && path[0] == '-';
        if (deletion)
            path.erase(0, 1);
        std::vector<std::string> parts;
        std::size_t start = 0;
        for (;;) {
            std::size_t end = path.find('\\', start);
            std::string part = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (part.empty())
                throw Failure{lineNumber, "the key path \"" + path + "\" holds an empty key name"};
            parts.push_back(part);
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
        if (parts.size() > kMaxDepth + 1)
            throw Failure{lineNumber, kTooDeep};
        Key* key = findRoot(tree, parts[0]);
        if (!key)
            throw Failure{lineNumber, "unknown root key \"" + parts[0] + "\""};
        if (deletion) {
            if (parts.size() == 1)
                throw Failure{lineNumber, "a root key cannot be deleted"};
            for (std::size_t i = 1; key && i + 1 < parts.size(); ++i) {
                auto found = key->subKeys.find(fold(parts[i]));
                key = found == key->subKeys.end() ? nullptr : found->second.get();
            }
            if (key)
                key->subKeys.erase(fold(parts.back()));
            current = nullptr;
            inDeletion = true;
            return;
        }
        for (std::size_t i = 1; i < parts.size(); ++i) {
            std::unique_ptr<Key>& child = key->subKeys[fold(parts[i])];
            if (!child) {
                child.reset(new Key);
                child->name = parts[i];
            }
            key = child.get();
        }
        current = key;
        inDeletion = false;
    }

    // Reads a quoted string at entry[i] (the opening quote); i ends after the closing quote.
    std::string quoted(const std::string& entry, std::size_t& i, unsigned line) {
        std::string result;
        for (++i; i < entry.size(); ++i) {
            char c = entry[i];
            if (c == '"') {
                ++i;
                return result;
            }
            if (c == '\\') {
                if (i + 1 >= entry.size())
                    break;
                char next = entry[++i];
                if (next != '\\' && next != '"')
                    throw Failure{line, std::string("unknown escape \"\\") + next +
                                            "\" in a string (a backslash is written \\\\)"};
                c = next;
            }
            result.push_back(c);
        }
        throw Failure{line, "a string has no closing quote"};
    }

    static void skipBlanks(const std::string& entry, std::size_t& i) {
        while (i < entry.size() && isBlank(entry[i]))
            ++i;
    }

    static void expectEnd(const std::string& entry, std::size_t i, unsigned line) {
        skipBlanks(entry, i);
        if (i < entry.size() && entry[i] != ';')
            throw Failure{line, "unexpected text after the value: \"" + entry.substr(i) + "\""};
    }

    static bool startsWith(const std::string& entry, std::size_t i, const char* prefix) {
        std::size_t length = std::strlen(prefix);
        if (entry.size() - i < length)
            return false;
        for (std::size_t k = 0; k < length; ++k) {
            char c = entry[i + k];
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
            if (c != prefix[k])
                return false;
        }
        return true;
    }

    void valueLine(std::string entry) {
        unsigned line = lineNumber;
        // A trailing backslash continues the entry on the next line.
        std::string next;
        while (!entry.empty() && entry.back() == '\\') {
            entry.pop_back();
            if (!nextLine(next))
                throw Failure{line, "the file ends inside a continued line"};
            while (!entry.empty() && isBlank(entry.back()))
                entry.pop_back();
            entry += trimmed(next);
        }
        if (!current && !inDeletion)
            throw Failure{line, "a value before the first key line"};
        if (inDeletion)
            throw Failure{line, "a value below a key deletion"};

        std::size_t i = 0;
        std::string name;
        if (entry[0] == '@') {
            i = 1;
        } else if (entry[0] == '"') {
            name = quoted(entry, i, line);
        } else {
            throw Failure{line, "expected a quoted value name, '@', '[' or ';' at \"" + entry + "\""};
        }
        skipBlanks(entry, i);
        if (i >= entry.size() || entry[i] != '=')
            throw Failure{line, "expected '=' after the value name"};
        ++i;
        skipBlanks(entry, i);

        Value value;
        value.name = name;
        if (i < entry.size() && entry[i] == '"') {
            value.type = 1;
            value.data = quoted(entry, i, line);
            value.data.push_back('\0');
        } else if (i < entry.size() && entry[i] == '-') {
            expectEnd(entry, i + 1, line);
            current->values.erase(fold(name));
            return;
        } else if (startsWith(entry, i, "dword:")) {
            i += 6;
            std::uint32_t number = 0;
            std::size_t digits = 0;
            for (; i < entry.size() && hexDigit(entry[i]) >= 0; ++i, ++digits)
                number = (number << 4) | static_cast<std::uint32_t>(hexDigit(entry[i]));
            if (digits == 0 || digits > 8)
                throw Failure{line, "a dword needs 1 to 8 hexadecimal digits"};
            value.type = 4;
            for (int k = 0; k < 4; ++k)
                value.data.push_back(static_cast<char>((number >> (8 * k)) & 0xFF));
        } else if (startsWith(entry, i, "hex")) {
            i += 3;
            value.type = 3;
            if (i < entry.size() && entry[i] == '(') {
                std::uint32_t type = 0;
                std::size_t digits = 0;
                for (++i; i < entry.size() && hexDigit(entry[i]) >= 0; ++i, ++digits)
                    type = (type << 4) | static_cast<std::uint32_t>(hexDigit(entry[i]));
                if (digits == 0 || digits > 8 || i >= entry.size() || entry[i] != ')')
                    throw Failure{line, "expected hex(n): with a hexadecimal type number"};
                value.type = type;
                ++i;
            }
            if (i >= entry.size() || entry[i] != ':')
                throw Failure{line, "expected ':' after hex"};
            ++i;
            value.data = hexBytes(entry, i, line);
            if (isStringType(value.type)) {
                if (unicodeHex) {
                    if (value.data.size() % 2 != 0)
                        throw Failure{line, "UTF-16 text data needs an even number of bytes"};
                    std::string narrow;
                    const std::size_t units = value.data.size() / 2;
                    if (Utf::utf16ToUtf8(value.data.data(), units, true, narrow) != units)
                        throw Failure{line, "the UTF-16 text data holds an unpaired surrogate"};
                    value.data.swap(narrow);
                } else if (!Utf::isUtf8(value.data)) {
                    throw Failure{line, "the text data is not valid UTF-8"};
                }
            }
        } else {
            throw Failure{line, "unrecognised value data (expected \"text\", dword:, hex:, hex(n): or -)"};
        }
        expectEnd(entry, i, line);
        auto found = current->values.find(fold(name));
        if (found != current->values.end()) {
            found->second.type = value.type;
            found->second.data.swap(value.data);
        } else {
            current->values.emplace(fold(name), std::move(value));
        }
    }

    static std::string hexBytes(const std::string& entry, std::size_t& i, unsigned line) {
        std::string bytes;
        skipBlanks(entry, i);
        if (i >= entry.size() || entry[i] == ';')
            return bytes;
        for (;;) {
            int high = i < entry.size() ? hexDigit(entry[i]) : -1;
            if (high < 0)
                throw Failure{line, "expected a hexadecimal byte"};
            ++i;
            int low = i < entry.size() ? hexDigit(entry[i]) : -1;
            int byte = high;
            if (low >= 0) {
                byte = high * 16 + low;
                ++i;
            }
            bytes.push_back(static_cast<char>(byte));
            skipBlanks(entry, i);
            if (i >= entry.size() || entry[i] != ',')
                return bytes;
            ++i;
            skipBlanks(entry, i);
        }
    }
};

void appendQuoted(std::string& out, const std::string& text) {
    out.push_back('"');
    for (char c : text) {
        if (c == '\\' || c == '"')
            out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
}

void appendHex(std::string& out, const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::size_t column = 0;
    for (std::size_t k = 0; k < bytes.size(); ++k) {
        auto byte = static_cast<unsigned char>(bytes[k]);
        out.push_back(digits[byte >> 4]);
        out.push_back(digits[byte & 15]);
        if (k + 1 < bytes.size()) {
            out.push_back(',');
            // Lines of 25 bytes keep the file readable and its lines short.
            if (++column == 25) {
                out += "\\\n  ";
                column = 0;
            }
        }
    }
}

void appendValue(std::string& out, const Value& value) {
    if (value.name.empty())
        out.push_back('@');
    else
        appendQuoted(out, value.name);
    out.push_back('=');
    const std::string& data = value.data;
    if (value.type == 1 && !data.empty() && data.find('\0') == data.size() - 1 &&
        data.find_first_of("\r\n") == std::string::npos) {
        appendQuoted(out, data.substr(0, data.size() - 1));
    } else if (value.type == 4 && data.size() == 4) {
        static const char digits[] = "0123456789abcdef";
        out += "dword:";
        for (int k = 3; k >= 0; --k) {
            auto byte = static_cast<unsigned char>(data[k]);
            out.push_back(digits[byte >> 4]);
            out.push_back(digits[byte & 15]);
        }
    } else {
        if (value.type == 3) {
            out += "hex:";
        } else {
            static const char digits[] = "0123456789abcdef";
            std::string number;
            for (std::uint32_t type = value.type; number.empty() || type != 0; type >>= 4)
                number.insert(number.begin(), digits[type & 15]);
            out += "hex(" + number + "):";
        }
        appendHex(out, isStringType(value.type) ? Utf::utf8ToUtf16(data, true) : data);
    }
    out.push_back('\n');
}

void appendKey(std::string& out, const Key& key, const std::string& path, bool isRoot) {
    // Keys with values get a section; so do leaves, which would be lost otherwise. Parents without
    // values follow from their children.
    if (!key.values.empty() || (!isRoot && key.subKeys.empty())) {
        out += "[" + path + "]\n";
        for (const auto& entry : key.values)
            appendValue(out, entry.second);
        out.push_back('\n');
    }
    for (const auto& entry : key.subKeys)
        appendKey(out, *entry.second, path + "\\" + entry.second->name, false);
}

} // namespace

std::string fold(const std::string& name) {
    std::string result(name);
    for (char& c : result)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return result;
}

Key* findRoot(Tree& tree, const std::string& rootName) {
    for (const char* known : kRootNames) {
        if (fold(rootName) == fold(known)) {
            std::unique_ptr<Key>& root = tree.root.subKeys[fold(known)];
            if (!root) {
                root.reset(new Key);
                root->name = known;
            }
            return root.get();
        }
    }
    return nullptr;
}

bool parse(const char* data, std::size_t size, Tree& tree, unsigned& errorLine, std::string& errorReason) {
    try {
        std::string text;
        decodeText(data, size, text, tree.utf16);
        Parser(text, tree).run();
        return true;
    } catch (const Failure& failure) {
        errorLine = failure.line;
        errorReason = failure.reason;
        return false;
    }
}

std::string checkName(const std::string& name) {
    if (name.find_first_of("\r\n") != std::string::npos)
        return "a name with a line break cannot be stored";
    if (!Utf::isUtf8(name))
        return "a name that is not valid UTF-8 cannot be stored";
    return std::string();
}

std::string checkValue(std::uint32_t type, const std::string& data) {
    if (isStringType(type) && !Utf::isUtf8(data))
        return "text data that is not valid UTF-8 cannot be stored";
    return std::string();
}

std::string serialise(const Tree& tree) {
    std::string text = std::string(kHeader5) + "\n\n";
    for (const auto& entry : tree.root.subKeys)
        appendKey(text, *entry.second, entry.second->name, true);
    if (!tree.utf16)
        return text;
    std::string crlf;
    crlf.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n')
            crlf.push_back('\r');
        crlf.push_back(c);
    }
    return "\xFF\xFE" + Utf::utf8ToUtf16(crlf, true);
}

} // namespace RegistryFile
} // namespace VeltorPlatform
