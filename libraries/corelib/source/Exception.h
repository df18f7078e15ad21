// The one exception type of the libraries and the application. A message is a sequence of records
// "@key{text};" with '%' placeholders, filled from the parameters only when rendered.
#pragma once
#include "ParamStream.h"

#include <string>
#include <utility>
#include <vector>

namespace VeltorCorelib {

class Exception {
public:
    Exception();
    explicit Exception(const std::string& message);
    Exception(const std::string& message, const ParamStream& parameters);
    Exception(const std::string& message, const std::string& sourceRecord);
    Exception(const std::string& message, const std::string& sourceRecord, const ParamStream& parameters);
    // Wrapping form: a caught error re-thrown as the catcher's own type.
    Exception(const std::string& sourceRecord, const Exception& contained);
    Exception(const Exception& other);
    Exception& operator=(const Exception& other);
    virtual ~Exception();

    // Human form: optionally the name and ':', the message texts with parameters filled in, then every
    // contained exception (with its name) on a line of its own.
    std::string getText(bool withName) const;
    // Log form: the message followed by every source record.
    std::string getRawText() const;

    const std::string& getName() const { return name; }
    const std::string& getMessage() const { return message; }
    const ParamStream& getParameters() const { return parameters; }
    const std::vector<std::string>& getSources() const { return sources; }
    const std::vector<Exception>& getContained() const { return contained; }
    bool isMessageEmpty() const { return message.empty(); }

    void addSource(const std::string& sourceRecord) { sources.push_back(sourceRecord); }
    void addContained(const Exception& inner) { contained.push_back(inner); }

protected:
    void setName(const char* shortName) { name = shortName; }

private:
    std::string name;
    std::string message;
    ParamStream parameters;
    std::vector<std::string> sources;
    std::vector<Exception> contained;
};

// " @logsrc{file=\"<base name>\" line=<n>};" for a throw site.
std::string makeSourceRecord(const char* path, unsigned line);

// The human text of a message: keys, braces and record separators removed (escape rules included).
std::string extractMessageText(const std::string& message);

// Process-wide build revision shown in source records when non-zero (nothing sets it).
extern unsigned buildRevision;

} // namespace VeltorCorelib

// Declares a nested error type: VELTOR_ERROR_TYPE(ReadDir_Failed); inside the throwing class.
#define VELTOR_ERROR_TYPE(Type)                                                                            \
    class Type : public ::VeltorCorelib::Exception {                                                       \
    public:                                                                                                \
        template <typename... Args>                                                                        \
        explicit Type(Args&&... args) : ::VeltorCorelib::Exception(std::forward<Args>(args)...) {          \
            setName(#Type);                                                                                \
        }                                                                                                  \
        Type(const Type& other) = default;                                                                 \
        Type& operator=(const Type& other) = default;                                                      \
        ~Type() override = default;                                                                        \
    }

// The source record of the current line.
#define VELTOR_SOURCE ::VeltorCorelib::makeSourceRecord(__FILE__, __LINE__)

// Throws Type with its message record, this line's source record and one parameter per placeholder.
#define VELTOR_THROW(Type, message, ...) throw Type((message), VELTOR_SOURCE, ::VeltorCorelib::makeParams(__VA_ARGS__))

// Throws the out-of-memory form of Type (message only, as the out-of-memory types are thrown).
#define VELTOR_THROW_OOM(Type) throw Type(std::string("@out-of-memory{Out of memory};"))

// Re-throws a caught exception wrapped in Type.
#define VELTOR_THROW_WRAPPED(Type, caught) throw Type(VELTOR_SOURCE, static_cast<const ::VeltorCorelib::Exception&>(caught))
