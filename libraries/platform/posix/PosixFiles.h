// The POSIX file-system calls' shared pieces: errno as a Windows error number (Errors.h), stamps in
// milliseconds, the status of an entry, the open directory behind a DirHandle and the open file behind
// a FileHandle.
#pragma once
#include "Errors.h"
#include "platform/DirHandle.h"
#include "platform/FileSystem.h"

#include <cstdint>
#include <ctime>
#include <mutex>
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

// One component: no separator, not "." or "..", not empty. Anything else would leave the directory.
inline bool isPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

// The entry `name` of the open directory `dirFd` as it stands, links not followed, in one system call
// (EntryStatus.cpp).
std::uint32_t statusAt(int dirFd, const char* name, EntryInfo& out);
// What the open descriptor `fd` is; for a regular file its holes are asked for as well (EntryStatus.cpp).
std::uint32_t statusOf(int fd, EntryInfo& out);
// Opens the regular file `name` of the open directory `dirFd` with `access` (O_RDONLY, O_WRONLY |
// O_APPEND), never through a link and never blocking on a FIFO; the descriptor blocks once it is known
// to be a regular file. `keepAccessTime`: O_NOATIME where the system allows it (DirHandle.cpp).
std::uint32_t openRegularAt(int dirFd, const std::string& name, int access, bool keepAccessTime, int& fd,
                            bool& accessTimeKept);

// What removing any entry of a directory depends on besides the entry itself: asked on the first
// question and kept while the directory is open, so that judging a thousand entries costs no call per
// entry for it (DirHandle.cpp, removalAllowedIn).
struct RemovalFacts {
    std::once_flag asked;
    std::uint32_t access = FileSystemError::Success; // write and search for the effective user
    uid_t user = 0;                                  // that user
    mode_t mode = 0;
    uid_t owner = 0;
    bool undeletable = false; // the directory's own immutable or append-only flag
};

// An open directory: its descriptor, the path it was reached by, and its facts for removals (shared
// by the copies of a DirHandle, as the descriptor is).
struct DirHandle::State {
    int fd = -1;
    std::string path;
    mutable RemovalFacts removal;
    ~State() {
        if (fd >= 0)
            ::close(fd);
    }
};

// An open regular file.
struct FileHandle::State {
    int fd = -1;
    bool accessTimeKept = false; // opened with O_NOATIME
    ~State() {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace VeltorPlatform
