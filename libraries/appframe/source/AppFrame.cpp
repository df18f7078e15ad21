#include "AppFrame.h"

#include "Exception.h"
#include "platform/Console.h"
#include "platform/Process.h"
#include "platform/Utf.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace VeltorCorelib {

namespace AppGlobals {
int argumentCount = 0;
const char* const* argumentVector = nullptr;
volatile int lastSignal = 0;
std::string displayName;
std::string companyName;
std::string versionText;
} // namespace AppGlobals

void onSignal(int signalNumber) {
    // Only copies of texts prepared in advance and hand-made digits: no allocation, no formatting calls.
    char line[512];
    std::size_t length = 0;
    auto append = [&](const char* text) {
        for (const char* p = text; p && *p && length < sizeof line - 16; ++p)
            line[length++] = *p;
    };
    append(SystemBase::signalApplicationName());
    append("#");
    append(SystemBase::signalInstanceName());
    append(": Intercepted signal ");
    char digits[12];
    int count = 0;
    unsigned value =
        signalNumber < 0 ? 0u - static_cast<unsigned>(signalNumber) : static_cast<unsigned>(signalNumber);
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    if (signalNumber < 0)
        line[length++] = '-';
    while (count > 0)
        line[length++] = digits[--count];
    line[length++] = '\n';
    VeltorPlatform::writeFromSignal(line, length);
    AppGlobals::lastSignal = signalNumber;
    VeltorPlatform::postQuit(0);
    if (signalNumber == VeltorPlatform::kSigAbort) {
        VeltorPlatform::sleepMs(500);
        VeltorPlatform::exitFromSignal(3);
    }
}

void installSignalHandlers() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    // A reader that goes away (`sorvik --verbose | head`) must not stop a cleaning half-way.
    VeltorPlatform::ignoreClosedOutput();
    VeltorPlatform::installSignalHandler(VeltorPlatform::kSigAbort, onSignal);
    VeltorPlatform::installSignalHandler(VeltorPlatform::kSigInt, onSignal);
    VeltorPlatform::installSignalHandler(VeltorPlatform::kSigTerm, onSignal);
}

int exitCodeAfterRun(int code) {
    if (code != 0)
        return code;
    if (AppGlobals::lastSignal == VeltorPlatform::kSigInt)
        return 6;
    if (AppGlobals::lastSignal == VeltorPlatform::kSigTerm)
        return 5;
    return 0;
}

void reportOutOfMemory() {
    AppFrame::consoleWrite("ERROR: OUT OF MEMORY\n");
}

AppFrame::AppFrame(const std::string& displayName, const std::string& applicationName,
                   const std::string& versionText, bool standardOptions, const std::string& companyName)
    : ImsAgent("appframe") {
    AppGlobals::companyName = companyName;
    AppGlobals::displayName = displayName;
    // Setting the name and asking for the host once makes the service gather the system facts now.
    SystemBase::setApplicationName(applicationName);
    SystemBase::hostName();
    AppGlobals::versionText = versionText;
    parser.init(applicationName, standardOptions, false, false);
    frameLogger.setModule("appframe");
    char line[1024];
    std::snprintf(line, sizeof line, "Running \"%s\" (%s)\n", displayName.c_str(), applicationName.c_str());
    VeltorPlatform::consoleWrite(line, std::strlen(line));
    VeltorPlatform::consoleFlush();
}

AppFrame::~AppFrame() {
    if (processLock.lockCount() > 0)
        processLock.unlock();
}

int AppFrame::handleMessage(ImsMessage&) {
    return ImsNotHandled;
}

int AppFrame::handleHookedMessage(std::uint64_t, ImsMessage&) {
    return ImsNotHandled;
}

void AppFrame::consoleWrite(const std::string& text) {
    VeltorPlatform::consoleWrite(text);
    VeltorPlatform::consoleFlush();
}

void AppFrame::constructApplication(int argc, const char* const* argv) {
    AppGlobals::argumentCount = argc;
    AppGlobals::argumentVector = argv;
    // An application that wants an instance name would be given one here; the cleaner keeps the default.
    wantsInstanceName();
    if (!setup())
        state = SetupFailed;
    understood = parseStandardOptions();
}

bool AppFrame::parseStandardOptions() {
    std::string message;
    if (!parser.parse(AppGlobals::argumentCount, AppGlobals::argumentVector, message, "--nodetach")) {
        consoleWrite("ERROR: " + message + "\n");
        return false;
    }
    std::string output;
    auto add = [&](const std::string& line) {
        if (!output.empty())
            output += "\n";
        output += line;
    };
    if (parser.isSetShort('?')) {
        add(parser.helpText());
        state = Answered;
    }
    if (parser.isSet("version")) {
        add("Version=" + parser.getVersion());
        state = Answered;
    }
    if (parser.isSet("revision")) {
        add("Revision=" + parser.getRevision());
        state = Answered;
    }
    if (!output.empty())
        consoleWrite(output);
    return true;
}

int AppFrame::execute() {
    try {
        return run();
    } catch (const Exception& error) {
        // The text may carry names that others chose (a directory on the way to the registry file): no
        // byte of it acts on the terminal.
        consoleWrite(VeltorPlatform::Utf::printable(error.getText(false), false, true) + "\n");
        appLogger.logException(error);
        return 4;
    } catch (const std::range_error&) {
        consoleWrite("ERROR: STD range error\n");
        appLogger.fatal("@std-range-error{STD range error};");
        return 4;
    } catch (const std::bad_alloc&) {
        consoleWrite("ERROR: STD out of memory\n");
        appLogger.fatal("@std-out-of-memory{STD out of memory};");
        return 4;
    } catch (...) {
        consoleWrite("ERROR: Unknown exception\n");
        appLogger.fatal("@unknown-exception{Unknown exception};" + makeSourceRecord("AppFrame.cpp", 768));
        return 4;
    }
}

} // namespace VeltorCorelib
