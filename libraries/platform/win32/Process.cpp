#include "platform/Process.h"

#include <windows.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace VeltorPlatform {

const int kSigAbort = SIGABRT;
const int kSigInt = SIGINT;
const int kSigTerm = SIGTERM;

void installSignalHandler(int signalNumber, SignalHandler handler) { std::signal(signalNumber, handler); }

void ignoreClosedOutput() {}

void writeFromSignal(const char* data, std::size_t length) {
    // The console control handler runs on its own thread, where the C runtime's stdio is usable.
    std::fwrite(data, 1, length, stdout);
    std::fflush(stdout);
}

void exitFromSignal(int code) { std::exit(code); }

void postQuit(int code) { PostQuitMessage(code); }

void sleepMs(unsigned milliseconds) { Sleep(milliseconds); }

void exitProcess(int code) { std::exit(code); }

std::uint32_t currentThreadId() { return GetCurrentThreadId(); }

std::uint32_t currentProcessId() { return GetCurrentProcessId(); }

} // namespace VeltorPlatform
