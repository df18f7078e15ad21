#include "AppFrame.h"
#include "Exception.h"

#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>

using namespace VeltorCorelib;

namespace {

enum class Behaviour { Return0, Return7, Throw, ThrowRange, ThrowAlloc, ThrowOther, RaiseInt, RaiseTerm, RaiseAbort };
Behaviour behaviour = Behaviour::Return0;
bool setupResult = true;
int runs = 0;

struct Failing {
    VELTOR_ERROR_TYPE(Run_Failed);
};

class TestApp : public AppFrame {
public:
    TestApp(int argc, const char* const* argv) : AppFrame("Display", "TestApp", "1", true, "Maker") {
        constructApplication(argc, argv);
    }
    bool setup() override { return setupResult; }
    bool finish() override { return true; }
    int run() override {
        ++runs;
        switch (behaviour) {
        case Behaviour::Return0:
            return 0;
        case Behaviour::Return7:
            return 7;
        case Behaviour::Throw:
            VELTOR_THROW(Failing::Run_Failed, "@test.run.failed{Run failed for \"%\"};", std::string("x"));
        case Behaviour::ThrowRange:
            throw std::range_error("r");
        case Behaviour::ThrowAlloc:
            throw std::bad_alloc();
        case Behaviour::ThrowOther:
            throw 42;
        case Behaviour::RaiseInt:
            std::raise(SIGINT);
            return 0;
        case Behaviour::RaiseTerm:
            std::raise(SIGTERM);
            return 0;
        case Behaviour::RaiseAbort:
            std::raise(SIGABRT);
            return 0;
        }
        return 0;
    }
};

struct Outcome {
    int code;
    std::string output;
};

Outcome runApp(std::vector<const char*> args, Behaviour b = Behaviour::Return0, bool setupOk = true) {
    args.insert(args.begin(), "testapp");
    behaviour = b;
    setupResult = setupOk;
    AppGlobals::lastSignal = 0;
    testing::internal::CaptureStdout();
    int code = appMain<TestApp>(static_cast<int>(args.size()), args.data());
    return {code, testing::internal::GetCapturedStdout()};
}

const std::string kRunning = "Running \"Display\" (TestApp)\n";

} // namespace

TEST(AppFrame, ExitCodesOfTheRun) {
    Outcome plain = runApp({});
    EXPECT_EQ(plain.code, 0);
    EXPECT_EQ(plain.output, kRunning);
    EXPECT_EQ(runApp({}, Behaviour::Return7).code, 7);
    EXPECT_EQ(runApp({}, Behaviour::Return0, false).code, 4); // setup failed: not run
}

TEST(AppFrame, TopLevelCatch) {
    Outcome thrown = runApp({}, Behaviour::Throw);
    EXPECT_EQ(thrown.code, 4);
    EXPECT_EQ(thrown.output, kRunning + "Run failed for \"x\"\n");
    EXPECT_EQ(runApp({}, Behaviour::ThrowRange).output, kRunning + "ERROR: STD range error\n");
    EXPECT_EQ(runApp({}, Behaviour::ThrowAlloc).output, kRunning + "ERROR: STD out of memory\n");
    Outcome other = runApp({}, Behaviour::ThrowOther);
    EXPECT_EQ(other.output, kRunning + "ERROR: Unknown exception\n");
    EXPECT_EQ(other.code, 4);
}

TEST(AppFrame, StandardOptionsAreAnsweredWithoutRunning) {
    runs = 0;
    Outcome both = runApp({"--help", "--version"});
    EXPECT_EQ(both.code, 0);
    EXPECT_EQ(runs, 0);
    const std::string help = "Usage: TestApp [options]\n"
                             "Options:\n"
                             "  -?\n"
                             "    --help           : Display this help text\n"
                             "  --version          : Display version information\n"
                             "  --revision         : Display SVN revision information\n"
                             "  --debug <arg>      : Set debug level\n";
    EXPECT_EQ(both.output, kRunning + help + "\nVersion=7.0.0.0");
    EXPECT_EQ(runApp({"-?"}).output, kRunning + help);
    EXPECT_EQ(runApp({"--revision"}).output, kRunning + "Revision=14882");
    EXPECT_EQ(runApp({"--version"}, Behaviour::Return0, false).code, 0); // answered wins over setup failure
}

TEST(AppFrame, OptionErrorsAreReportedAndTheRunGoesOn) {
    runs = 0;
    Outcome unknown = runApp({"--bogus"});
    EXPECT_EQ(unknown.output, kRunning + "ERROR: Unknown option 'bogus'\n");
    EXPECT_EQ(unknown.code, 0);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(runApp({"--nodetach"}).output, kRunning);
}

TEST(AppFrame, InterceptedSignalsMapToExitCodes) {
    Outcome interrupted = runApp({}, Behaviour::RaiseInt);
    EXPECT_EQ(interrupted.code, 6);
    EXPECT_EQ(interrupted.output, kRunning + "TestApp#0: Intercepted signal 2\n");
    Outcome terminated = runApp({}, Behaviour::RaiseTerm);
    EXPECT_EQ(terminated.code, 5);
    EXPECT_EQ(terminated.output, kRunning + "TestApp#0: Intercepted signal 15\n");
    // A non-zero run result wins over the signal.
    AppGlobals::lastSignal = SIGINT;
    EXPECT_EQ(exitCodeAfterRun(7), 7);
    EXPECT_EQ(exitCodeAfterRun(0), 6);
    AppGlobals::lastSignal = 0;
}

TEST(AppFrameDeathTest, AbortEndsTheProcessWithThree) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(runApp({}, Behaviour::RaiseAbort), testing::ExitedWithCode(3), "");
}

namespace {

// Collects the fatal log records broadcast while it lives.
class LogCapture : public ImsAgent {
public:
    LogCapture() : ImsAgent("capture") { hook = setMessageHook(false, "debug", "", "", 1); }
    ~LogCapture() override { removeMessageHook(hook); }
    int receiveHookedMessage(std::uint64_t id, ImsMessage& message) override {
        if (id != hook)
            return ImsNotHandled;
        auto* record = dynamic_cast<Logger::LogMessageParameter*>(message.getParameter());
        if (record && record->level == Logger::LevelFatal) {
            ParamStream values(record->parameters);
            records.push_back(std::to_string(record->level) + " " + record->module + " " + record->text);
        }
        return ImsHandled;
    }
    std::vector<std::string> records;

private:
    std::uint64_t hook = 0;
};

} // namespace

TEST(AppFrame, TheTopLevelCatchLogsAtFatal) {
    LogCapture capture;
    runApp({}, Behaviour::Throw);
    ASSERT_FALSE(capture.records.empty());
    EXPECT_EQ(capture.records.back().rfind("1 anonymous Run_Failed: @test.run.failed{Run failed for \"%\"}; @logsrc{file=\"AppFrameTest.cpp\" line=", 0), 0u)
        << capture.records.back();
    capture.records.clear();
    runApp({}, Behaviour::ThrowRange);
    EXPECT_EQ(capture.records, std::vector<std::string>{"1 anonymous @std-range-error{STD range error};"});
    capture.records.clear();
    runApp({}, Behaviour::ThrowAlloc);
    EXPECT_EQ(capture.records, std::vector<std::string>{"1 anonymous @std-out-of-memory{STD out of memory};"});
    capture.records.clear();
    runApp({}, Behaviour::ThrowOther);
    EXPECT_EQ(capture.records, std::vector<std::string>{
                                   "1 anonymous @unknown-exception{Unknown exception}; @logsrc{file=\"AppFrame.cpp\" line=768};"});
}

TEST(AppFrame, DebugOptionSetsTheProcessLevel) {
    int before = Logger::getProcessLevel();
    runApp({"--debug", "flood"});
    EXPECT_EQ(Logger::getProcessLevel(), 8);
    runApp({"--debug", "nonsense"});
    EXPECT_EQ(Logger::getProcessLevel(), 0);
    Logger::setProcessLevel(before);
}
