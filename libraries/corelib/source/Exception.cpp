#include "Exception.h"

#include <cstring>

namespace VeltorCorelib {

unsigned buildRevision = 0;

Exception::Exception() : name("Exception") {}

Exception::Exception(const std::string& message) : name("Exception"), message(message) {}

Exception::Exception(const std::string& message, const ParamStream& parameters)
    : name("Exception"), message(message), parameters(parameters) {}

Exception::Exception(const std::string& message, const std::string& sourceRecord)
    : name("Exception"), message(message), sources{sourceRecord} {}

Exception::Exception(const std::string& message, const std::string& sourceRecord, const ParamStream& parameters)
    : name("Exception"), message(message), parameters(parameters), sources{sourceRecord} {}

Exception::Exception(const std::string& sourceRecord, const Exception& inner)
    : name("Exception"), sources{sourceRecord}, contained{inner} {}

Exception::Exception(const Exception& other) = default;

Exception& Exception::operator=(const Exception& other) = default;

Exception::~Exception() = default;

std::string extractMessageText(const std::string& message) {
    enum State { Between, Key, Text } state = Between;
    bool escaped = false;
    std::string out;
    out.reserve(message.size());
    for (char c : message) {
        switch (state) {
        case Between:
            if (c == ';')
                break;
            if (c == '@') {
                state = Key;
                break;
            }
            state = Text;
            out.push_back(c);
            break;
        case Key:
            if (c == '{')
                state = Text;
            break;
        case Text:
            if (c == '@') {
                state = Between;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '}' && escaped) {
                out.push_back('}');
                escaped = false;
            } else if (c == '}') {
                state = Between;
            } else {
                if (escaped) {
                    out.push_back('\\');
                    escaped = false;
                }
                out.push_back(c);
            }
            break;
        }
    }
    return out;
}

std::string Exception::getText(bool withName) const {
    std::string result;
    if (withName)
        result = name + ":";
    if (!message.empty()) {
        std::string text = extractMessageText(message);
        if (!result.empty())
            result.push_back(' ');
        ParamStream values(parameters);
        result += values.format(text);
    }
    for (const Exception& inner : contained) {
        result.push_back('\n');
        result += inner.getText(true);
    }
    return result;
}

std::string Exception::getRawText() const {
    std::string result = message;
    for (const std::string& source : sources)
        result += source;
    return result;
}

std::string makeSourceRecord(const char* path, unsigned line) {
    const char* file = path ? path : "";
    // Build machines hand in paths with either separator; the file's own name is what matters.
    for (const char* p = file; *p; ++p)
        if (*p == '\\' || *p == '/')
            file = p + 1;
    std::string record = " @logsrc{file=\"";
    record += file;
    record += "\" line=";
    record += std::to_string(line);
    if (buildRevision != 0) {
        record += " rev=";
        record += std::to_string(buildRevision);
    }
    record += "};";
    return record;
}

} // namespace VeltorCorelib
