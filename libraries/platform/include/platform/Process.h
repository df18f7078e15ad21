// Process and thread facilities: signals, sleeping, ending the process, ids.
#pragma once
#include <cstddef>
#include <cstdint>

namespace VeltorPlatform {

// The platform's own numbers: SIGABRT is 22 on Windows and 6 on Linux; SIGINT 2 and SIGTERM 15 on both.
extern const int kSigAbort;
extern const int kSigInt;
extern const int kSigTerm;

using SignalHandler = void (*)(int);

// Installs the handler once; it is not re-installed after a delivery: the signal's default action is
// back from the moment the handler is entered, so a second signal ends the process. On POSIX the
// handler may only use the *FromSignal calls below (async-signal-safe).
void installSignalHandler(int signalNumber, SignalHandler handler);

// Writing to an output nobody reads any more (a closed pipe) fails quietly instead of ending the
// process. POSIX: SIGPIPE is ignored. Windows: such writes fail quietly already; nothing to do.
void ignoreClosedOutput();

// Async-signal-safe output of a prepared text to standard output, or to standard error once the
// program's text goes there (consoleToStandardError: standard output carries JSON Lines only).
void writeFromSignal(const char* data, std::size_t length);
void signalTextToStandardError();
// Ends the process at once with the code, running no destructors (safe inside a signal handler).
[[noreturn]] void exitFromSignal(int code);

// Asks the thread's message loop to end (PostQuitMessage); POSIX has no such loop: a no-op there.
void postQuit(int code);
// Sleeps for the given milliseconds; safe inside a signal handler.
void sleepMs(unsigned milliseconds);
// Ends the process through the C runtime's exit (flushes C streams, runs atexit handlers).
[[noreturn]] void exitProcess(int code);

// Fills `data` from the system's random source (getrandom; Windows: the system's preferred RNG). False
// when the source failed.
bool randomBytes(void* data, std::size_t size);

std::uint32_t currentThreadId();
std::uint32_t currentProcessId();

} // namespace VeltorPlatform
