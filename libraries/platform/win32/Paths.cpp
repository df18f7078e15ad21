#include "platform/Paths.h"

#include "Errors.h"

#include <windows.h>

#include <vector>

namespace VeltorPlatform {

bool getCurrentDirectory(std::string& directory) {
    DWORD needed = ::GetCurrentDirectoryA(0, nullptr);
    if (needed == 0)
        return false;
    // The directory may change between the two calls: retry while the answer asks for more room.
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::vector<char> buffer(needed + 1);
        DWORD length = ::GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
        if (length == 0)
            return false;
        if (length < buffer.size()) {
            directory.assign(buffer.data(), length);
            return true;
        }
        needed = length;
    }
    return false;
}

bool setCurrentDirectory(const std::string& directory, std::uint32_t& error) {
    if (::SetCurrentDirectoryA(directory.c_str()))
        return true;
    error = Win32::lastError();
    return false;
}

std::uint32_t getWindowsDirectory(char* buffer, std::uint32_t bufferSize) {
    return ::GetWindowsDirectoryA(buffer, bufferSize);
}

std::uint32_t getLongPathName(const char* path, char* buffer, std::uint32_t bufferSize) {
    return ::GetLongPathNameA(path, buffer, bufferSize);
}

} // namespace VeltorPlatform
