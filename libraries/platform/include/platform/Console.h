// Console output of the program: standard output through the C runtime, flushed on request.
#pragma once
#include <cstddef>
#include <string>

namespace VeltorPlatform {

// Writes the bytes as they are (no newline translation beyond what the C runtime does on Windows).
void consoleWrite(const char* data, std::size_t length);
inline void consoleWrite(const std::string& text) { consoleWrite(text.data(), text.size()); }
void consoleFlush();

} // namespace VeltorPlatform
