// What the frame makes of a run: exit codes, the top-level catch, intercepted signals and the standard
// options. The exact texts of the program's own command lines belong to its black-box tests; the texts
// here come from inside a run (an exception, an allocation failure, a raised signal), out of their reach.
#include "AppFrame.h"
#include "Exception.h"

#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>

using namespace VeltorCorelib;

namespace {

// What the run does, set by each test.
using Body = int (*)();
int returnZero() {
    return 0;
}
int raised(int signal) {
    std::raise(signal);
    return 0;
}
Body body = returnZero;
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
        return body();
    }
};

struct Outcome {
    int code;
    std::string output;
};

Outcome runApp(std::vector<const char*> args, Body b = returnZero, bool setupOk = true) {
    args.insert(args.begin(), "testapp");
    body = b;
    setupResult = setupOk;
    runs = 0;
    AppGlobals::lastSignal = 0;
    testing::internal::CaptureStdout();
    int code = appMain<TestApp>(static_cast<int>(args.size()), args.data());
    return {code, testing::internal::GetCapturedStdout()};
}

const std::string kRunning = "Running \"Display\" (TestApp)\n";

// Collects the fatal log records broadcast while it lives.
class LogCapture : public ImsAgent {
public:
    LogCapture() : ImsAgent("capture") { hook = setMessageHook(false, "debug", "", "", 1); }
    ~LogCapture() override { removeMessageHook(hook); }
    int receiveHookedMessage(std::uint64_t id, ImsMessage& message) override {
        if (id != hook)
            return ImsNotHandled;
        auto* record = dynamic_cast<Logger::LogMessageParameter*>(message.getParameter());
        if (record && record->level == Logger::LevelFatal)
            records.push_back(std::to_string(record->level) + " " + record->module + " " + record->text);
        return ImsHandled;
    }
    std::vector<std::string> records;

private:
    std::uint64_t hook = 0;
};

} // namespace

TEST(AppFrame, OutcomesOfTheRun) {
    const struct {
        Body body;
        bool setupOk;
        int code;
        int runs;
        const char* output;      // after the banner
        const char* fatalRecord; // the start of the one record logged at fatal level, nullptr for none
    } cases[] = {
        {returnZero, true, 0, 1, "", nullptr},
        {[] { return 7; }, true, 7, 1, "", nullptr},
        {[] { return 7; }, false, 4, 0, "", nullptr}, // setup failed: not run
        {[]() -> int {
             VELTOR_THROW(Failing::Run_Failed, "@test.run.failed{Run failed for \"%\"};", std::string("x"));
         },
         true, 4, 1, "Run failed for \"x\"\n",
         "1 anonymous Run_Failed: @test.run.failed{Run failed for \"%\"}; "
         "@logsrc{file=\"AppFrameTest.cpp\" line="},
        {[]() -> int { throw std::range_error("r"); }, true, 4, 1, "ERROR: STD range error\n",
         "1 anonymous @std-range-error{STD range error};"},
        {[]() -> int { throw std::bad_alloc(); }, true, 4, 1, "ERROR: STD out of memory\n",
         "1 anonymous @std-out-of-memory{STD out of memory};"},
        {[]() -> int { throw 42; }, true, 4, 1, "ERROR: Unknown exception\n",
         "1 anonymous @unknown-exception{Unknown exception};"},
        // A signal inside the run is reported and the run goes on to its end.
        {[] { return raised(SIGINT); }, true, 6, 1, "TestApp#0: Intercepted signal 2\n", nullptr},
        {[] { return raised(SIGTERM); }, true, 5, 1, "TestApp#0: Intercepted signal 15\n", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        LogCapture capture;
        Outcome outcome = runApp({}, c.body, c.setupOk);
        EXPECT_EQ(outcome.code, c.code);
        EXPECT_EQ(runs, c.runs);
        EXPECT_EQ(outcome.output, kRunning + c.output);
        EXPECT_EQ(capture.records.size(), c.fatalRecord ? 1u : 0u);
        if (c.fatalRecord && !capture.records.empty()) {
            EXPECT_EQ(capture.records[0].rfind(c.fatalRecord, 0), 0u) << capture.records[0];
        }
    }
    // A non-zero run result wins over the signal.
    AppGlobals::lastSignal = SIGINT;
    EXPECT_EQ(exitCodeAfterRun(7), 7);
    EXPECT_EQ(exitCodeAfterRun(0), 6);
    AppGlobals::lastSignal = 0;
}

TEST(AppFrameDeathTest, AbortEndsTheProcessWithThree) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(runApp({}, [] { return raised(SIGABRT); }), testing::ExitedWithCode(3), "");
}

TEST(AppFrame, StandardOptions) {
    // Answered without running, with success even where setup would fail.
    for (const char* option : {"--help", "-?", "--version", "--revision"}) {
        SCOPED_TRACE(option);
        EXPECT_EQ(runApp({option}, returnZero, false).code, 0);
        EXPECT_EQ(runs, 0);
    }

    int before = Logger::getProcessLevel();
    runApp({"--debug", "flood"});
    EXPECT_EQ(Logger::getProcessLevel(), 8);
    runApp({"--debug", "nonsense"});
    EXPECT_EQ(Logger::getProcessLevel(), 0);
    Logger::setProcessLevel(before);
}
