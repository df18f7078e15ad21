#include "platform/Paths.h"

#include "Errors.h"

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace VeltorPlatform {

bool getCurrentDirectory(std::string& directory) {
    std::vector<char> buffer(256);
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size()) != nullptr) {
            directory.assign(buffer.data());
            return true;
        }
        if (errno != ERANGE || buffer.size() > (1u << 20))
            return false;
        buffer.resize(buffer.size() * 2);
    }
}

bool setCurrentDirectory(const std::string& directory, std::uint32_t& error) {
    if (::chdir(directory.c_str()) == 0)
        return true;
    error = lastError();
    return false;
}

std::uint32_t getWindowsDirectory(char*, std::uint32_t) {
    return 0;
}

std::uint32_t getLongPathName(const char* path, char* buffer, std::uint32_t bufferSize) {
    struct stat info;
    if (path == nullptr || *path == '\0' || ::lstat(path, &info) != 0)
        return 0;
    std::size_t length = std::strlen(path);
    if (length >= 0xffffffffu)
        return 0;
    if (buffer == nullptr || length + 1 > bufferSize)
        return static_cast<std::uint32_t>(length + 1);
    std::memmove(buffer, path, length + 1);
    return static_cast<std::uint32_t>(length);
}

} // namespace VeltorPlatform
