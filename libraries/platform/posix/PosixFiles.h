// The POSIX file-system calls' shared pieces: errno as a Windows error number (Errors.h), stamps in
// milliseconds, the open directory behind a DirHandle.
#pragma once
#include "Errors.h"
#include "platform/DirHandle.h"
#include "platform/FileSystem.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace VeltorPlatform {

inline std::int64_t toMs(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1000 + static_cast<std::int64_t>(time.tv_nsec / 1000000);
}

// The mode `current` becomes under FilePermission flags: Write adds the owner write bit and its absence
// clears every write bit; Read adds the owner read bit; nothing else changes.
inline mode_t permissionBits(mode_t current, int permissions) {
    mode_t mode = current & 07777;
    if ((permissions & FilePermission::Write) != 0)
        mode |= S_IWUSR;
    else
        mode &= static_cast<mode_t>(~(S_IWUSR | S_IWGRP | S_IWOTH));
    if ((permissions & FilePermission::Read) != 0)
        mode |= S_IRUSR;
    return mode;
}

// Writes every byte to `fd`, again after an interruption or a short write; a Windows error number.
inline std::uint32_t writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t count = ::write(fd, data, size);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return fromErrno(errno);
        }
        data += count;
        size -= static_cast<std::size_t>(count);
    }
    return FileSystemError::Success;
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
