// The application frame: the services every application needs, the standard options, the one
// top-level catch and the mapping of the run's outcome to the process exit code.
#pragma once
#include "CmdParser.h"
#include "ConfAgent.h"
#include "ImsAgent.h"
#include "Logger.h"
#include "ProcessLock.h"
#include "SystemBase.h"

#include <cstdint>
#include <new>
#include <string>

namespace VeltorCorelib {

// Process-wide values of the frame.
namespace AppGlobals {
extern int argumentCount;
extern const char* const* argumentVector;
extern volatile int lastSignal; // 0 until a signal arrives
extern std::string displayName;
extern std::string companyName;
extern std::string versionText;
} // namespace AppGlobals

class AppFrame : public ImsAgent {
public:
    enum State : std::int32_t { Ready = 0, Answered = 2, SetupFailed = 3 };

    AppFrame(const std::string& displayName, const std::string& applicationName, const std::string& versionText,
             bool standardOptions, const std::string& companyName);
    ~AppFrame() override;
    AppFrame(const AppFrame&) = delete;
    AppFrame& operator=(const AppFrame&) = delete;

    virtual bool wantsInstanceName() { return false; }
    virtual bool setup() = 0;
    virtual bool finish() = 0;
    virtual int run() = 0;
    // The frame routes the message service's callbacks to these, so applications can answer them.
    virtual int handleMessage(ImsMessage& message);
    virtual int handleHookedMessage(std::uint64_t id, ImsMessage& message);

    int receiveMessage(ImsMessage& message) override { return handleMessage(message); }
    int receiveHookedMessage(std::uint64_t id, ImsMessage& message) override {
        return handleHookedMessage(id, message);
    }

    // Parses the stored argument vector and answers help, version and revision.
    bool parseStandardOptions();
    // Runs run() under the top-level catch.
    int execute();
    // The frame's one console output: the text as it is, then a flush.
    static void consoleWrite(const std::string& text);

    CmdParser& getParser() { return parser; }
    const CmdParser& getParser() const { return parser; }
    State getState() const { return state; }
    // False when the parser refused the command line; the application decides what that means.
    bool commandLineUnderstood() const { return understood; }
    Logger& getLogger() { return appLogger; }
    ProcessLock& getProcessLock() { return processLock; }

protected:
    // The construction sequence every application carries out after the frame is built.
    void constructApplication(int argc, const char* const* argv);

private:
    Logger frameLogger;
    SystemBase system;
    ProcessLock processLock;
    Logger appLogger;
    CmdParser parser;
    ConfAgent confAgent;
    State state = Ready;
    bool understood = true;
};

// The signal handler of the process.
void onSignal(int signalNumber);

// Process entry shared by the applications: installs the signal handler, builds the application on the
// stack, runs it when its state allows, and maps the outcome to the exit code.
template <typename App> int appMain(int argc, const char* const* argv);

int exitCodeAfterRun(int code);
void installSignalHandlers();
void reportOutOfMemory();

template <typename App> int appMain(int argc, const char* const* argv) {
    installSignalHandlers();
    AppGlobals::argumentCount = argc;
    AppGlobals::argumentVector = argv;
    try {
        int code = 0;
        {
            App application(argc, argv);
            if (application.getState() == AppFrame::Answered)
                return 0;
            if (application.getState() == AppFrame::SetupFailed)
                return 4;
            code = application.execute();
        }
        return exitCodeAfterRun(code);
    } catch (const std::bad_alloc&) {
        reportOutOfMemory();
        return 4;
    } catch (...) {
        return 4;
    }
}

} // namespace VeltorCorelib
