// The copy of the console output that --log asks for; both consoles hand every write to it.
#pragma once
#include <cstddef>

namespace VeltorPlatform {
void copyConsoleOutput(const char* data, std::size_t length);
} // namespace VeltorPlatform
