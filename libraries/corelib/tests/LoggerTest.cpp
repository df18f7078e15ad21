#include "Logger.h"
#include "CorelibTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace VeltorCorelib;
using Texts = std::vector<std::string>;

namespace {

struct Owner {
    VELTOR_ERROR_TYPE(Read_Failed);
    VELTOR_ERROR_TYPE(Run_Failed);
    VELTOR_ERROR_TYPE(Write_Refused);
};

// Refuses every functional record of level 2 with an error.
class Thrower : public ImsAgent {
public:
    Thrower() : ImsAgent("thrower") { id = setMessageHook(false, "debug", "functional", "2", 0); }
    ~Thrower() override { removeMessageHook(id); }
    int receiveHookedMessage(std::uint64_t, ImsMessage&) override {
        VELTOR_THROW(Owner::Write_Refused, "@test.write.refused{Refused %};", std::string("now"));
    }
    std::uint64_t id;
};

} // namespace

TEST(Logger, RecordsCarryTheCallAndItsMessageTypes) {
    Logger log;
    log.setModule("a-very-long-name");
    RecordCatcher capture("a-very-lon"); // the name is cut to ten characters

    log.info("Reading %", makeParams(std::string("x")));
    log.fatal("Broken");
    log.write(3, "Warned");
    ASSERT_EQ(capture.seen.size(), 3u);
    // Info and below go to the "debug" group, warnings and worse to "functional"; the type is the level.
    Texts kinds;
    for (const RecordCatcher::Seen& seen : capture.seen)
        kinds.push_back(seen.group + " " + seen.type + " " + std::to_string(seen.record.level));
    EXPECT_EQ(kinds, (Texts{"debug 4 4", "functional 1 1", "functional 3 3"}));
    EXPECT_EQ(capture.texts(), (Texts{"Reading x", "Broken", "Warned"}));
}

TEST(Logger, FilteringAgainstBothLevels) {
    Logger log;
    log.setModule("filter");
    RecordCatcher capture("filter");
    log.flood("never at process level 7");
    log.trace("trace");
    log.verbose("verbose");
    EXPECT_EQ(capture.texts(), (Texts{"trace", "verbose"}));

    // A level above the process-wide one, or below zero, is ignored.
    auto tell = [](const char* level) {
        Logger sender;
        ImsMessage message("debug", "level", level);
        sender.sendMessage(message);
    };
    tell("9");
    tell("-1");
    EXPECT_EQ(log.getLevel(), 7);
    tell("3");
    EXPECT_EQ(log.getLevel(), 3);
    capture.seen.clear();
    log.info("hidden");
    log.warning("shown");
    EXPECT_EQ(capture.texts(), (Texts{"shown"}));

    // The process-wide level caps every logger, whatever its own level.
    tell("7");
    Logger::setProcessLevel(Logger::parseLevel("ERROR"));
    capture.seen.clear();
    log.warning("capped");
    log.error("passes");
    Logger::setProcessLevel(7);
    log.flood("still capped by its own level");
    EXPECT_EQ(capture.texts(), (Texts{"passes"}));

    // Only "debug"/"level" messages concern a logger.
    ImsMessage other("debug", "other", "1");
    EXPECT_EQ(log.receiveMessage(other), ImsNotHandled);
    EXPECT_EQ(log.getLevel(), 7);
}

TEST(Logger, ParseLevel) {
    const std::pair<const char*, int> names[] = {
        {"none", 0},  {"fatal", 1}, {"error", 2},   {"warning", 3}, {"info", 4}, {"verbose", 5}, {"debug", 6},
        {"trace", 7}, {"flood", 8}, {"WARNING", 3}, {"Flood", 8},   {"warn", 0}, {" info", 0},   {"", 0}};
    for (const auto& n : names)
        EXPECT_EQ(Logger::parseLevel(n.first), n.second) << n.first;
}

TEST(Logger, LogExceptionWritesTheTreeContainedFirst) {
    Logger log;
    log.setModule("except");
    RecordCatcher capture("except");

    Owner::Read_Failed read("@file.read.failed{Could not read \"%\"};", makeSourceRecord("Reader.cpp", 12),
                            makeParams(std::string("a.txt")));
    Owner::Run_Failed top(makeSourceRecord("Run.cpp", 3), read);
    top.addContained(Exception());
    log.logException(top);
    // The raw record text goes out with its parameters beside it.
    EXPECT_EQ(
        capture.texts(true),
        (Texts{"1|Read_Failed: @file.read.failed{Could not read \"a.txt\"}; @logsrc{file=\"Reader.cpp\" "
               "line=12};",
               "1|Exception: <NO MESSAGE>", "1|Run_Failed: Container for above exceptions"}));
    EXPECT_EQ(capture.seen[0].record.text.find("a.txt"), std::string::npos);

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
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "FATAL ERROR: Write_Refused: Refused now\n");
}
