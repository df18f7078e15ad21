// The POSIX file-system calls' shared pieces: errno as a Windows error number, stamps in milliseconds,
// the open directory behind a DirHandle.
#pragma once
#include "platform/DirHandle.h"
#include "platform/FileSystem.h"

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <string>
#include <unistd.h>

namespace VeltorPlatform {

inline std::uint32_t fromErrno(int error) {
    switch (error) {
    case 0:
        return FileSystemError::Success;
    case ENOENT:
        return FileSystemError::FileNotFound;
    case ENOTDIR:
        return FileSystemError::PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return FileSystemError::AccessDenied;
    case ENOMEM:
        return FileSystemError::OutOfMemory;
    case EEXIST:
        return FileSystemError::AlreadyExists;
    case ENOTEMPTY:
        return FileSystemError::DirNotEmpty;
    case EINVAL:
        return FileSystemError::InvalidParameter;
    case EMFILE:
    case ENFILE:
        return 4; // too many open files
    case ENOSPC:
        return 112; // disk full
    case EXDEV:
        return 17; // not the same device
    case EBUSY:
        return 170; // busy
    case ENAMETOOLONG:
        return 206; // file name too long
    case ELOOP:
        return 1921; // name cannot be resolved
    case EIO:
        return 1117; // device I/O error
    default:
        return 31; // general failure
    }
}

inline std::uint32_t lastError() {
    return fromErrno(errno);
}

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
