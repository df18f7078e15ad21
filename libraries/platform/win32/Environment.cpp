#include "platform/Environment.h"

#include <windows.h>

#include <vector>

namespace VeltorPlatform {

namespace {
bool acceptableName(const std::string& name) {
    // A leading '=' is how the system keeps per-drive directories; such names are not ours to touch.
    return !name.empty() && name.find('=') == std::string::npos && name.find('\0') == std::string::npos;
}
} // namespace

bool getEnvironment(const std::string& name, std::string& value) {
    if (!acceptableName(name))
        return false;
    char small[256];
    ::SetLastError(0);
    DWORD length = ::GetEnvironmentVariableA(name.c_str(), small, sizeof small);
    if (length == 0) {
        if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND)
            return false;
        value.clear(); // set to the empty text
        return true;
    }
    if (length < sizeof small) {
        value.assign(small, length);
        return true;
    }
    // The value may change between the calls: retry while it grows.
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::vector<char> buffer(length + 1);
        DWORD got = ::GetEnvironmentVariableA(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (got == 0)
            return false;
        if (got < buffer.size()) {
            value.assign(buffer.data(), got);
            return true;
        }
        length = got;
    }
    return false;
}

bool setEnvironment(const std::string& name, const std::string& value) {
    return acceptableName(name) && ::SetEnvironmentVariableA(name.c_str(), value.c_str()) != 0;
}

bool unsetEnvironment(const std::string& name) {
    if (!acceptableName(name))
        return false;
    if (::SetEnvironmentVariableA(name.c_str(), nullptr) != 0)
        return true;
    return ::GetLastError() == ERROR_ENVVAR_NOT_FOUND;
}

} // namespace VeltorPlatform
