// Reading the environment is the C runtime's on every system; only setting it differs.
#include "platform/SystemInfo.h"

#include <cstdlib>

namespace VeltorPlatform {

bool getEnvironment(const std::string& name, std::string& value) {
    const char* found = std::getenv(name.c_str());
    if (found == nullptr)
        return false;
    value = found;
    return true;
}

} // namespace VeltorPlatform
