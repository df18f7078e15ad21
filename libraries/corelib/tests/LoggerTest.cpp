#include "Logger.h"
#include "ImsAgent.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace VeltorCorelib;

namespace {

struct Captured {
    std::string general, group, type;
    Logger::LogMessageParameter record;
};

// Hooks every "debug" broadcast and keeps the records of one module.
class Capture : public ImsAgent {
public:
    explicit Capture(const std::string& module) : ImsAgent("capture"), module(module) {
        id = setMessageHook(false, "debug", "", "", 0);
    }
    ~Capture() override { removeMessageHook(id); }
    int receiveHookedMessage(std::uint64_t hookId, ImsMessage& message) override {
        auto* record = dynamic_cast<Logger::LogMessageParameter*>(message.getParameter());
        if (hookId == id && record != nullptr && record->module == module)
            seen.push_back(Captured{message.getGeneralType(), message.getGroupType(),
                                    message.getMessageType(), *record});
        return ImsNotHandled;
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const Captured& c : seen)
            out.push_back(c.record.text);
        return out;
    }
    std::string module;
    std::uint64_t id;
    std::vector<Captured> seen;
};

class Thrower : public ImsAgent {
public:
    VELTOR_ERROR_TYPE(Write_Refused);
    Thrower() : ImsAgent("thrower") { id = setMessageHook(false, "debug", "functional", "2", 0); }
    ~Thrower() override { removeMessageHook(id); }
    int receiveHookedMessage(std::uint64_t, ImsMessage&) override {
        VELTOR_THROW(Write_Refused, "@test.write.refused{Refused %};", std::string("now"));
    }
    std::uint64_t id;
};

void broadcastLevel(const std::string& level) {
    Logger sender;
    ImsMessage message("debug", "level", level);
    sender.sendMessage(message);
}

} // namespace

TEST(Logger, ProcessLoggerExistsBeforeMain) {
    ASSERT_NE(Logger::processLoggerIfBuilt(), nullptr);
    EXPECT_EQ(&Logger::processLogger(), Logger::processLoggerIfBuilt());
    EXPECT_EQ(Logger::processLogger().getModule(), "anonymous");
    EXPECT_EQ(Logger::getProcessLevel(), 7);
}

TEST(Logger, RecordsCarryTheCallAndItsMessageTypes) {
    Logger log;
    EXPECT_EQ(log.getModule(), "anonymous");
    EXPECT_EQ(log.getLevel(), 7);
    log.setModule("a-very-long-name");
    EXPECT_EQ(log.getModule(), "a-very-lon");
    Capture capture("a-very-lon");

    log.info("Reading %", makeParams(std::string("x")));
    log.fatal("Broken");
    log.write(3, "Warned");
    ASSERT_EQ(capture.seen.size(), 3u);
    const Captured& info = capture.seen[0];
    EXPECT_EQ(info.general, "debug");
    EXPECT_EQ(info.group, "debug");
    EXPECT_EQ(info.type, "4");
    EXPECT_EQ(info.record.level, 4);
    EXPECT_EQ(info.record.text, "Reading %");
    ParamStream values(info.record.parameters);
    EXPECT_EQ(values.format(info.record.text), "Reading x");
    EXPECT_EQ(info.record.threadId, VeltorPlatform::currentThreadId());
    EXPECT_EQ(info.record.processId, VeltorPlatform::currentProcessId());
    EXPECT_GT(info.record.time, 2209075200000LL + 1577836800000LL); // after 2020-01-01
    EXPECT_EQ(capture.seen[1].group, "functional");
    EXPECT_EQ(capture.seen[1].type, "1");
    EXPECT_EQ(capture.seen[2].group, "functional");
    EXPECT_EQ(capture.seen[2].type, "3");
}

TEST(Logger, FilteringAgainstBothLevels) {
    Logger log;
    log.setModule("filter");
    Capture capture("filter");
    log.flood("never at process level 7");
    log.trace("trace");
    log.verbose("verbose");
    EXPECT_EQ(capture.texts(), (std::vector<std::string>{"trace", "verbose"}));

    broadcastLevel("9"); // above the process-wide level: ignored
    EXPECT_EQ(log.getLevel(), 7);
    broadcastLevel("-1");
    EXPECT_EQ(log.getLevel(), 7);
    broadcastLevel("3");
    EXPECT_EQ(log.getLevel(), 3);
    EXPECT_EQ(Logger::processLogger().getLevel(), 3);
    capture.seen.clear();
    log.info("hidden");
    log.warning("shown");
    EXPECT_EQ(capture.texts(), (std::vector<std::string>{"shown"}));

    // The process-wide level caps every logger, whatever its own level.
    broadcastLevel("7");
    Logger::setProcessLevel(Logger::parseLevel("ERROR"));
    capture.seen.clear();
    log.warning("capped");
    log.error("passes");
    Logger::setProcessLevel(7);
    log.flood("still capped by its own level");
    EXPECT_EQ(capture.texts(), (std::vector<std::string>{"passes"}));

    // Only "debug"/"level" messages concern a logger.
    ImsMessage other("debug", "other", "1");
    EXPECT_EQ(log.receiveMessage(other), ImsNotHandled);
    ImsMessage level("debug", "level", "2");
    EXPECT_EQ(log.receiveMessage(level), ImsHandled);
    EXPECT_EQ(log.getLevel(), 2);
}

TEST(Logger, ParseLevel) {
    const char* names[] = {"none", "fatal", "error", "warning", "info", "verbose", "debug", "trace", "flood"};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(Logger::parseLevel(names[i]), i);
    EXPECT_EQ(Logger::parseLevel("WARNING"), 3);
    EXPECT_EQ(Logger::parseLevel("Flood"), 8);
    EXPECT_EQ(Logger::parseLevel("warn"), 0);
    EXPECT_EQ(Logger::parseLevel(" info"), 0);
    EXPECT_EQ(Logger::parseLevel(""), 0);
}

namespace {
struct Owner {
    VELTOR_ERROR_TYPE(Read_Failed);
    VELTOR_ERROR_TYPE(Run_Failed);
};
} // namespace

TEST(Logger, LogExceptionWritesTheTreeContainedFirst) {
    Logger log;
    log.setModule("except");
    Capture capture("except");

    Exception lone;
    log.logException(lone);
    EXPECT_EQ(capture.texts(), (std::vector<std::string>{"Exception: <NO MESSAGE>"}));

    capture.seen.clear();
    Owner::Read_Failed read("@file.read.failed{Could not read \"%\"};", makeSourceRecord("Reader.cpp", 12),
                            makeParams(std::string("a.txt")));
    Owner::Run_Failed top(makeSourceRecord("Run.cpp", 3), read);
    top.addContained(Exception());
    log.logException(top);
    EXPECT_EQ(
        capture.texts(),
        (std::vector<std::string>{
            "Read_Failed: @file.read.failed{Could not read \"%\"}; @logsrc{file=\"Reader.cpp\" line=12};",
            "Exception: <NO MESSAGE>", "Run_Failed: Container for above exceptions"}));
    ASSERT_EQ(capture.seen.size(), 3u);
    ParamStream values(capture.seen[0].record.parameters);
    EXPECT_EQ(values.format(std::string("%")), "a.txt");
    EXPECT_TRUE(capture.seen[2].record.parameters.empty());
    for (const Captured& c : capture.seen) {
        EXPECT_EQ(c.record.level, 1);
        EXPECT_EQ(c.group, "functional");
    }

    // Nothing at all when level 1 is filtered out.
    capture.seen.clear();
    Logger::setProcessLevel(0);
    log.logException(top);
    Logger::setProcessLevel(7);
    EXPECT_TRUE(capture.seen.empty());
}

TEST(Logger, FailingBroadcastPrintsFatalErrorLine) {
    Logger log;
    Thrower thrower;
    testing::internal::CaptureStdout();
    log.write(2, "anything");
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "FATAL ERROR: Write_Refused: Refused now\n");
}
