#include "CorelibTestSupport.h"

#include "platform/SystemInfo.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace ChildProcessSupport {

ModeRegistration::ModeRegistration(const char* name, Mode mode) {
    std::string wanted;
    if (VeltorPlatform::getEnvironment("SORVIK_CHILD_MODE", wanted) && wanted == name)
        std::exit(mode());
}

std::string argument() {
    std::string value;
    VeltorPlatform::getEnvironment("SORVIK_CHILD_ARG", value);
    return value;
}

Child::Child(const std::string& mode, const std::string& argument) {
    VeltorPlatform::setEnvironment("SORVIK_CHILD_MODE", mode);
    VeltorPlatform::setEnvironment("SORVIK_CHILD_ARG", argument);
#ifdef _WIN32
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string commandLine = std::string("\"") + path + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (CreateProcessA(path, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &info)) {
        CloseHandle(info.hThread);
        process = reinterpret_cast<long long>(info.hProcess);
    }
#else
    char self[] = "/proc/self/exe";
    char* arguments[] = {self, nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, self, nullptr, nullptr, arguments, environ) == 0)
        process = pid;
#endif
    VeltorPlatform::setEnvironment("SORVIK_CHILD_MODE", "");
    VeltorPlatform::setEnvironment("SORVIK_CHILD_ARG", "");
}

Child::~Child() {
    if (process != 0 && !waited)
        wait();
}

bool Child::started() const {
    return process != 0;
}

int Child::wait() {
    if (process == 0)
        return -1;
    waited = true;
#ifdef _WIN32
    HANDLE handle = reinterpret_cast<HANDLE>(process);
    WaitForSingleObject(handle, INFINITE);
    DWORD code = 0;
    const bool ok = GetExitCodeProcess(handle, &code) != FALSE;
    CloseHandle(handle);
    process = 0;
    return ok ? static_cast<int>(code) : -1;
#else
    int status = 0;
    const pid_t pid = static_cast<pid_t>(process);
    process = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
#endif
}

} // namespace ChildProcessSupport
