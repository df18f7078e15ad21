// The process environment.
#pragma once
#include <string>

namespace VeltorPlatform {

// The value of an environment variable; false when it is not set. A variable set to the empty text is
// set (on Windows as on POSIX).
bool getEnvironment(const std::string& name, std::string& value);

// Sets a variable for this process and the programs it starts; false when the name is not acceptable
// (empty, or holding '=').
bool setEnvironment(const std::string& name, const std::string& value);

// Removes a variable; removing one that is not set succeeds.
bool unsetEnvironment(const std::string& name);

} // namespace VeltorPlatform
