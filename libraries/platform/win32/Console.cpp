#include "platform/Console.h"

#include "ConsoleCopy.h"
#include "platform/Process.h"

#include "WideCalls.h"

#include <windows.h>

#include <cstdio>

namespace VeltorPlatform {

namespace {

// Where the program's text goes: standard output, or standard error under structured output.
DWORD textHandle = STD_OUTPUT_HANDLE;
std::FILE* textStream() {
    return textHandle == STD_OUTPUT_HANDLE ? stdout : stderr;
}

// The text's stream when it is a console; nullptr when it is a file, a pipe or absent.
HANDLE consoleOutput() {
    HANDLE output = ::GetStdHandle(textHandle);
    DWORD mode = 0;
    if (output == nullptr || output == INVALID_HANDLE_VALUE || !::GetConsoleMode(output, &mode))
        return nullptr;
    return output;
}

} // namespace

// A console shows bytes in its own code page (an OEM page, whatever the program's code page is), so
// names outside it would come out garbled; it gets UTF-16 instead and its code page stays as it was.
// Files and pipes get the bytes as they are: UTF-8 under the manifest, plain ASCII unchanged.
void consoleWrite(const char* data, std::size_t length) {
    copyConsoleOutput(data, length);
    HANDLE console = consoleOutput();
    if (console == nullptr) {
        std::fwrite(data, 1, length, textStream());
        return;
    }
    std::fflush(textStream()); // what the C runtime still holds comes first
    const std::wstring text = Wide::consoleText(data, length);
    // Bounded pieces: older consoles refuse one large write.
    constexpr std::size_t kPiece = 8192;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t count = text.size() - at < kPiece ? text.size() - at : kPiece;
        if (count == kPiece && IS_HIGH_SURROGATE(text[at + count - 1]))
            --count; // never split a surrogate pair
        DWORD written = 0;
        if (!::WriteConsoleW(console, text.data() + at, static_cast<DWORD>(count), &written, nullptr) ||
            written == 0)
            return;
        at += written;
    }
}

void consoleFlush() {
    copyConsoleOutput(nullptr, 0);
    std::fflush(textStream());
}

void consoleToStandardError() {
    std::fflush(stdout);
    signalTextToStandardError();
    textHandle = STD_ERROR_HANDLE;
    // Standard error is unbuffered: a report of 50 000 lines into a file would cost 50 000 writes. A
    // file or a pipe gets a buffer; the report flushes where it must.
    static char buffer[64 * 1024];
    if (consoleOutput() == nullptr)
        std::setvbuf(stderr, buffer, _IOFBF, sizeof buffer);
}

// JSON Lines are ASCII with every other character escaped: bytes as they are, console or not.
void structuredWrite(const char* data, std::size_t length) {
    std::fwrite(data, 1, length, stdout);
}

void structuredFlush() {
    std::fflush(stdout);
}

} // namespace VeltorPlatform
