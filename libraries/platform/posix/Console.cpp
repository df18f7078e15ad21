#include "platform/Console.h"

#include "ConsoleCopy.h"

#include <cstdio>

namespace VeltorPlatform {

void consoleWrite(const char* data, std::size_t length) {
    copyConsoleOutput(data, length);
    std::fwrite(data, 1, length, stdout);
}

void consoleFlush() { std::fflush(stdout); }

} // namespace VeltorPlatform
