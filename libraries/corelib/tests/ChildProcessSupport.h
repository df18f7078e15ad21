// Test support: starts this test program again as a child process in a helper mode chosen by the
// environment. A helper mode is a function registered with SORVIK_CHILD_MODE; it runs from a static
// initialiser before the test framework starts, and ends the process with its own exit code.
#pragma once
#include <string>

namespace ChildProcessSupport {

using Mode = int (*)();

struct ModeRegistration {
    ModeRegistration(const char* name, Mode mode);
};

class Child {
public:
    // Starts the program with SORVIK_CHILD_MODE=mode and SORVIK_CHILD_ARG=argument in its environment.
    Child(const std::string& mode, const std::string& argument);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    bool started() const;
    // Waits for the end; the exit code, or -1 when it could not be had.
    int wait();

private:
    long long process = 0;
    bool waited = false;
};

// The argument of the running helper mode.
std::string argument();

} // namespace ChildProcessSupport

#define SORVIK_CHILD_MODE(name, function)                                                                    \
    static ChildProcessSupport::ModeRegistration childMode_##function(name, function)
