#include "Logger.h"

#include "DateTime.h"

#include "platform/Console.h"
#include "platform/Process.h"

#include <cctype>

namespace VeltorCorelib {

int Logger::processLevel = LevelTrace;

namespace {

Logger* builtProcessLogger = nullptr;

} // namespace

Logger::Logger() : ImsAgent("logger"), module("anonymous"), level(LevelTrace) {
    try {
        levelHook = setMessageHook(false, "debug", "level", "", 1);
    } catch (const Exception&) {
        // Without the hook the logger just keeps its level.
    }
}

Logger::~Logger() {
    if (levelHook != 0)
        removeMessageHook(levelHook);
}

void Logger::setModule(const std::string& name) {
    module = name.substr(0, 10);
}

void Logger::write(int callLevel, const std::string& text, const ParamStream& parameters) {
    LogMessageParameter record;
    record.level = callLevel;
    record.module = module;
    record.time = DateTime::now();
    record.threadId = VeltorPlatform::currentThreadId();
    record.processId = VeltorPlatform::currentProcessId();
    record.text = text;
    record.parameters = parameters;
    ImsMessage message("debug", callLevel <= LevelWarning ? "functional" : "debug", std::to_string(callLevel),
                       &record);
    try {
        sendMessage(message);
    } catch (const Exception& e) {
        VeltorPlatform::consoleWrite("FATAL ERROR: " + e.getText(true) + "\n");
        VeltorPlatform::consoleFlush();
    }
}

void Logger::logLevel(int callLevel, const std::string& text, const ParamStream& parameters) {
    if (wouldLog(callLevel))
        write(callLevel, text, parameters);
}

void Logger::fatal(const std::string& text, const ParamStream& parameters) {
    logLevel(LevelFatal, text, parameters);
}
void Logger::error(const std::string& text, const ParamStream& parameters) {
    logLevel(LevelError, text, parameters);
}
void Logger::warning(const std::string& text, const ParamStream& parameters) {
    logLevel(LevelWarning, text, parameters);
}
void Logger::info(const std::string& text, const ParamStream& parameters) {
    logLevel(LevelInfo, text, parameters);
}
void Logger::verbose(const std::string& text, const ParamStream& parameters) {
    logLevel(LevelVerbose, text, parameters);
}
void Logger::debug(const std::string& text, const ParamStream& parameters) {
    logLevel(LevelDebug, text, parameters);
}
void Logger::trace(const std::string& text, const ParamStream& parameters) {
    logLevel(LevelTrace, text, parameters);
}
void Logger::flood(const std::string& text, const ParamStream& parameters) {
    logLevel(LevelFlood, text, parameters);
}

void Logger::logException(const Exception& e) {
    if (!wouldLog(LevelFatal))
        return;
    for (const Exception& inner : e.getContained())
        logException(inner);
    if (e.isMessageEmpty())
        write(LevelFatal,
              e.getName() +
                  (e.getContained().empty() ? ": <NO MESSAGE>" : ": Container for above exceptions"),
              ParamStream());
    else
        write(LevelFatal, e.getName() + ": " + e.getRawText(), e.getParameters());
}

int Logger::parseLevel(const std::string& name) {
    static const char* const names[] = {"none",    "fatal", "error", "warning", "info",
                                        "verbose", "debug", "trace", "flood"};
    std::string lower;
    for (char c : name)
        lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    for (int i = 0; i <= LevelFlood; ++i)
        if (lower == names[i])
            return i;
    return LevelNone;
}

int Logger::receiveMessage(ImsMessage& message) {
    if (message.getGeneralType() != "debug" || message.getGroupType() != "level")
        return ImsNotHandled;
    std::int32_t requested = ParamText::toInt32(message.getMessageType());
    if (requested >= 0 && requested <= processLevel)
        level = requested;
    return ImsHandled;
}

int Logger::receiveHookedMessage(std::uint64_t id, ImsMessage& message) {
    return id == levelHook ? receiveMessage(message) : ImsNotHandled;
}

Logger& Logger::processLogger() {
    // Never destroyed: thread locks may trace until the very end of the process.
    static Logger* const logger = [] {
        Logger* made = new Logger;
        builtProcessLogger = made;
        return made;
    }();
    return *logger;
}

Logger* Logger::processLoggerIfBuilt() {
    return builtProcessLogger;
}

// Built before main, and with it the message service.
static Logger& processLoggerBeforeMain = Logger::processLogger();

} // namespace VeltorCorelib
