// The POSIX file-system calls' shared pieces: errno as a Windows error number (Errors.h), stamps in
// milliseconds, the open directory behind a DirHandle.
#pragma once
#include "Errors.h"
#include "platform/DirHandle.h"
#include "platform/FileSystem.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <unistd.h>

namespace VeltorPlatform {

inline std::int64_t toMs(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1000 + static_cast<std::int64_t>(time.tv_nsec / 1000000);
}

// An open directory: its descriptor and the path it was reached by.
struct DirHandle::State {
    int fd = -1;
    std::string path;
    ~State() {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace VeltorPlatform
