// The logging front end. A log call does not write a line: it becomes a record (LogMessageParameter)
// broadcast on the message service with general type "debug"; a log-writing agent hooking "debug" decides
// where records go. Levels run from 0 "none" to 8 "flood"; a call is sent only when both this logger's
// level and the process-wide level (initially 7) are at least the call's level.
//
// Using a Logger as a member (as the application frame does):
//
//     class Frame : public ImsAgent {
//         Logger frameLog;                    // module "anonymous", level 7
//     public:
//         Frame() : ImsAgent("appframe") {
//             frameLog.setModule("appframe");  // at most 10 characters are kept
//             frameLog.info("Constructing application");
//         }
//         void report(const Exception& e) {
//             frameLog.logException(e);       // the whole tree at level 1, contained exceptions first
//         }
//     };
//
// Texts take '%' placeholders filled from a ParamStream: log.info("Reading %", makeParams(path)).
// The command line's debug option sets the process-wide level:
//     Logger::setProcessLevel(Logger::parseLevel(value));
// Any agent can change the level of every logger at run time by broadcasting ImsMessage("debug", "level",
// "<level>"); a logger adopts a level that does not exceed the process-wide level.
//
// Logging never throws an Exception: a failing broadcast prints "FATAL ERROR: <error>" instead.
#pragma once
#include "Exception.h"
#include "ImsAgent.h"
#include "ImsMessage.h"
#include "ParamStream.h"

#include <cstdint>
#include <string>

namespace VeltorCorelib {

class Logger : public ImsAgent {
public:
    enum Level : int {
        LevelNone = 0,
        LevelFatal = 1,
        LevelError = 2,
        LevelWarning = 3,
        LevelInfo = 4,
        LevelVerbose = 5,
        LevelDebug = 6,
        LevelTrace = 7,
        LevelFlood = 8,
    };

    // One log record, the payload of the broadcast message. It lives on the logging thread's stack for
    // the duration of the (synchronous) send.
    class LogMessageParameter : public ImsMessageParameter {
    public:
        std::int32_t level = 0;
        std::string module;
        // Moment of the call: milliseconds since 1899-12-31 00:00:00 UTC.
        std::int64_t time = 0;
        std::uint32_t threadId = 0;
        std::uint32_t processId = 0;
        // Unformatted text with '%' placeholders, and its values.
        std::string text;
        ParamStream parameters;
    };

    // Module "anonymous", level 7, hooked to run-time level messages.
    Logger();
    ~Logger() override;

    // Keeps the first 10 characters.
    void setModule(const std::string& name);
    const std::string& getModule() const { return module; }
    std::int32_t getLevel() const { return level; }

    // True when a call at this level would be sent.
    bool wouldLog(int callLevel) const { return level >= callLevel && processLevel >= callLevel; }

    // Sends the record whatever the levels.
    void write(int callLevel, const std::string& text, const ParamStream& parameters = ParamStream());

    void fatal(const std::string& text, const ParamStream& parameters = ParamStream());
    void error(const std::string& text, const ParamStream& parameters = ParamStream());
    void warning(const std::string& text, const ParamStream& parameters = ParamStream());
    void info(const std::string& text, const ParamStream& parameters = ParamStream());
    void verbose(const std::string& text, const ParamStream& parameters = ParamStream());
    void debug(const std::string& text, const ParamStream& parameters = ParamStream());
    void trace(const std::string& text, const ParamStream& parameters = ParamStream());
    void flood(const std::string& text, const ParamStream& parameters = ParamStream());

    // The exception tree at level 1, one record per exception, contained exceptions first: "<name>: <raw
    // text>" with the exception's parameters, or "<name>: Container for above exceptions" / "<name>:
    // <NO MESSAGE>" for one without a message.
    void logException(const Exception& e);

    // "none", "fatal", ... "flood" in any case; anything else is 0.
    static int parseLevel(const std::string& name);
    static int getProcessLevel() { return processLevel; }
    static void setProcessLevel(int newLevel) { processLevel = newLevel; }

    // The process-wide logger (module "anonymous"), built before main; the thread-lock traces use it.
    static Logger& processLogger();
    // The same, or null while it is still being built.
    static Logger* processLoggerIfBuilt();

    int receiveMessage(ImsMessage& message) override;
    int receiveHookedMessage(std::uint64_t id, ImsMessage& message) override;

private:
    void logLevel(int callLevel, const std::string& text, const ParamStream& parameters);

    static int processLevel;

    std::string module;
    std::int32_t level;
    std::uint64_t levelHook = 0;
};

} // namespace VeltorCorelib
