// Console output of the program, flushed on request. POSIX: standard output through the C runtime.
// Windows: a console gets the text as UTF-16 (WriteConsoleW), so names in every language show whatever
// the console's code page; a file or a pipe gets the bytes through the C runtime (UTF-8 under the
// application manifest). The program's messages all go through here, so the two never mix.
#pragma once
#include <cstddef>
#include <string>

namespace VeltorPlatform {

// Writes the bytes as they are (no newline translation beyond what the C runtime does on Windows, and
// the same "\r\n" for a Windows console).
void consoleWrite(const char* data, std::size_t length);
inline void consoleWrite(const std::string& text) {
    consoleWrite(text.data(), text.size());
}
void consoleFlush();

// Structured output (--json): from now on the program's text goes to standard error, so that standard
// output carries nothing but what structuredWrite writes there.
void consoleToStandardError();
// Writes the bytes to standard output, whichever stream the program's text goes to; not copied to the
// console copy's target.
void structuredWrite(const char* data, std::size_t length);
void structuredFlush();

// From now on every write is also handed to `target` (nullptr: no longer), and every consoleFlush()
// as no bytes at all (`data` nullptr), so that the copy is written when the console is. One target
// at a time.
using ConsoleCopy = void (*)(const char* data, std::size_t length, void* context);
void consoleCopyTo(ConsoleCopy target, void* context);

} // namespace VeltorPlatform
