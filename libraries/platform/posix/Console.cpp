#include "platform/Console.h"

#include "ConsoleCopy.h"
#include "platform/Process.h"

#include <cstdio>
#include <unistd.h>

namespace VeltorPlatform {

namespace {
std::FILE* textStream = stdout;

// A file or a pipe gets the output in large pieces: a report of a million lines costs a few hundred
// writes, not a quarter million. A terminal keeps the runtime's own buffering. Set before the first
// write to the stream, as the runtime requires.
void bufferLargely() {
    // The runtime sizes a buffer it allocates itself by the file system's block: a buffer of our own.
    static char buffer[64 * 1024];
    static const bool done = ::isatty(1) == 0 && std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer) == 0;
    (void)done;
}
} // namespace

void consoleWrite(const char* data, std::size_t length) {
    bufferLargely();
    copyConsoleOutput(data, length);
    std::fwrite(data, 1, length, textStream);
}

void consoleFlush() {
    copyConsoleOutput(nullptr, 0);
    std::fflush(textStream);
}

void consoleToStandardError() {
    std::fflush(stdout);
    signalTextToStandardError();
    textStream = stderr;
    // Standard error is unbuffered: a report of 50 000 lines there would cost 50 000 writes. Where it
    // is no terminal it gets a buffer as standard output has; the report flushes where it must.
    static char buffer[64 * 1024];
    if (::isatty(2) == 0)
        std::setvbuf(stderr, buffer, _IOFBF, sizeof buffer);
}

void structuredWrite(const char* data, std::size_t length) {
    bufferLargely();
    std::fwrite(data, 1, length, stdout);
}

void structuredFlush() {
    std::fflush(stdout);
}

} // namespace VeltorPlatform
