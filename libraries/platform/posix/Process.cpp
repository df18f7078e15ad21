#include "platform/Process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <pthread.h>
#include <sys/random.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace VeltorPlatform {

const int kSigAbort = SIGABRT;
const int kSigInt = SIGINT;
const int kSigTerm = SIGTERM;

void installSignalHandler(int signalNumber, SignalHandler handler) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // SA_RESTART: an interrupted read or write of the run goes on instead of failing with EINTR.
    // SA_RESETHAND and SA_NODEFER: one-shot, as the handler of Windows' signal is; a second Ctrl-C
    // ends a run that did not stop at the first, also while the handler is still running.
    action.sa_flags = SA_RESTART | SA_RESETHAND | SA_NODEFER;
    sigaction(signalNumber, &action, nullptr);
}

void ignoreClosedOutput() {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(SIGPIPE, &action, nullptr);
}

namespace {
volatile sig_atomic_t signalTextFd = STDOUT_FILENO;
} // namespace

void signalTextToStandardError() {
    signalTextFd = STDERR_FILENO;
}

void writeFromSignal(const char* data, std::size_t length) {
    while (length > 0) {
        ssize_t written = ::write(signalTextFd, data, length);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        data += written;
        length -= static_cast<std::size_t>(written);
    }
}

void exitFromSignal(int code) {
    _exit(code);
}

void postQuit(int) {}

void sleepMs(unsigned milliseconds) {
    timespec request{static_cast<time_t>(milliseconds / 1000),
                     static_cast<long>(milliseconds % 1000) * 1000000L};
    timespec remaining{};
    while (nanosleep(&request, &remaining) != 0 && errno == EINTR)
        request = remaining;
}

void exitProcess(int code) {
    std::exit(code);
}

bool randomBytes(void* data, std::size_t size) {
    auto* out = static_cast<unsigned char*>(data);
    while (size > 0) {
        // Large requests may come back short, and a signal may interrupt one: ask again for the rest.
        const ssize_t got = ::getrandom(out, size, 0);
        if (got < 0 && errno != EINTR)
            return false;
        if (got > 0) {
            out += got;
            size -= static_cast<std::size_t>(got);
        }
    }
    return true;
}

std::uint32_t currentThreadId() {
    // Asked at every lock and log record: one system call per thread, not one per question.
    thread_local const auto id = static_cast<std::uint32_t>(::syscall(SYS_gettid));
    return id;
}

std::uint32_t currentProcessId() {
    return static_cast<std::uint32_t>(::getpid());
}

} // namespace VeltorPlatform
