#include "platform/Process.h"

#include <windows.h>

#include <bcrypt.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace VeltorPlatform {

const int kSigAbort = SIGABRT;
const int kSigInt = SIGINT;
const int kSigTerm = SIGTERM;

void installSignalHandler(int signalNumber, SignalHandler handler) {
    std::signal(signalNumber, handler);
}

void ignoreClosedOutput() {}

namespace {
std::FILE* volatile signalText = stdout;
} // namespace

void signalTextToStandardError() {
    signalText = stderr;
}

void writeFromSignal(const char* data, std::size_t length) {
    // The console control handler runs on its own thread, where the C runtime's stdio is usable.
    std::fwrite(data, 1, length, signalText);
    std::fflush(signalText);
}

void exitFromSignal(int code) {
    std::exit(code);
}

void postQuit(int code) {
    PostQuitMessage(code);
}

void sleepMs(unsigned milliseconds) {
    Sleep(milliseconds);
}

void exitProcess(int code) {
    std::exit(code);
}

bool randomBytes(void* data, std::size_t size) {
    auto* bytes = static_cast<unsigned char*>(data);
    while (size > 0) {
        const ULONG part = size > 0x10000000 ? 0x10000000 : static_cast<ULONG>(size);
        if (::BCryptGenRandom(nullptr, bytes, part, BCRYPT_USE_SYSTEM_PREFERRED_RNG) < 0)
            return false;
        bytes += part;
        size -= part;
    }
    return true;
}

std::uint32_t currentThreadId() {
    return GetCurrentThreadId();
}

std::uint32_t currentProcessId() {
    return GetCurrentProcessId();
}

} // namespace VeltorPlatform
