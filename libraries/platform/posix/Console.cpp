#include "platform/Console.h"

#include "ConsoleCopy.h"

#include <cstdio>

namespace VeltorPlatform {

namespace {
std::FILE* textStream = stdout;
} // namespace

void consoleWrite(const char* data, std::size_t length) {
    copyConsoleOutput(data, length);
    std::fwrite(data, 1, length, textStream);
}

void consoleFlush() { std::fflush(textStream); }

void consoleToStandardError() {
    std::fflush(stdout);
    textStream = stderr;
}

void structuredWrite(const char* data, std::size_t length) { std::fwrite(data, 1, length, stdout); }

void structuredFlush() { std::fflush(stdout); }

} // namespace VeltorPlatform
