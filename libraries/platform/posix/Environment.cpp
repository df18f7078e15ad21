#include "platform/Environment.h"

#include <cstdlib>

namespace VeltorPlatform {

namespace {
bool acceptableName(const std::string& name) {
    return !name.empty() && name.find('=') == std::string::npos && name.find('\0') == std::string::npos;
}
} // namespace

bool getEnvironment(const std::string& name, std::string& value) {
    if (!acceptableName(name))
        return false;
    const char* found = std::getenv(name.c_str());
    if (found == nullptr)
        return false;
    value.assign(found);
    return true;
}

bool setEnvironment(const std::string& name, const std::string& value) {
    return acceptableName(name) && ::setenv(name.c_str(), value.c_str(), 1) == 0;
}

bool unsetEnvironment(const std::string& name) {
    return acceptableName(name) && ::unsetenv(name.c_str()) == 0;
}

} // namespace VeltorPlatform
