// DirHandle::changeMode: a permission change that never reaches through a link.
#include "EntryJudge.h"
#include "PosixFiles.h"

#include <fcntl.h>

namespace VeltorPlatform {

std::uint32_t DirHandle::changeMode(const std::string& name, int permissions,
                                    const EntryInfo* expected) const {
    EntryInfo judged;
    if (std::uint32_t error = judgeForChange(*this, name, expected, judged))
        return error;
#if defined(O_PATH)
    // Pinned without following and without opening what it is (a FIFO, a file we may not read), checked
    // on that descriptor, and changed through it: a name swapped for a link after the look-up cannot
    // pass the change on to the link's target.
    const int fd = ::openat(state->fd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return lastError();
    struct stat status {};
    std::uint32_t result = FileSystemError::Success;
    if (::fstat(fd, &status) != 0)
        result = lastError();
    else if (S_ISLNK(status.st_mode))
        result = FileSystemError::IsALink;
    else if (static_cast<std::uint64_t>(status.st_dev) != judged.volume ||
             static_cast<std::uint64_t>(status.st_ino) != judged.fileId)
        result = FileSystemError::EntryChanged;
    // fchmod refuses a descriptor opened with O_PATH; its name below /proc reaches the very inode (no
    // /proc: the change fails rather than go by name).
    else if (::chmod(("/proc/self/fd/" + std::to_string(fd)).c_str(),
                     permissionBits(status.st_mode, permissions)) != 0)
        result = lastError();
    ::close(fd);
    return result;
#else
    struct stat status {};
    if (::fstatat(state->fd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return lastError();
    return ::fchmodat(state->fd, name.c_str(), permissionBits(status.st_mode, permissions),
                      AT_SYMLINK_NOFOLLOW) == 0
               ? FileSystemError::Success
               : lastError();
#endif
}

} // namespace VeltorPlatform
