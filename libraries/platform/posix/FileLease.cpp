// FileHandle::openExclusive, removeHeld, openedByOthers and releaseExclusive: a file nobody else holds open,
// known through a write lease on our descriptor.
#include "PosixFiles.h"

#include <csignal>
#include <fcntl.h>

namespace VeltorPlatform {

std::uint32_t FileHandle::openExclusive(const DirHandle& dir, const std::string& name, bool keepAccessTime) {
    if (std::uint32_t error = openRegular(dir, name, O_RDONLY, keepAccessTime))
        return error;
#if defined(F_SETLEASE)
    // When another process opens the file, the kernel tells the lease's holder with a signal, SIGIO
    // unless told otherwise, whose default ends the process. We ask openedByOthers instead: the
    // signal becomes SIGURG, which is ignored unless handled, until the owner is cleared below and no
    // signal is sent at all.
    const int fd = state->fd;
    ::fcntl(fd, F_SETSIG, SIGURG);
    if (::fcntl(fd, F_SETLEASE, F_WRLCK) != 0) {
        const int error = errno;
        close();
        return leaseFailure(error);
    }
    ::fcntl(fd, F_SETOWN, 0);
    return FileSystemError::Success;
#else
    close();
    return FileSystemError::NotSupported;
#endif
}

std::uint32_t FileHandle::removeHeld(const DirHandle& dir, const std::string& name) {
    if (!isOpen() || !dir.isOpen() || !isPlainName(name))
        return FileSystemError::InvalidParameter;
    struct stat held {};
    struct stat named {};
    if (::fstat(state->fd, &held) != 0 ||
        ::fstatat(dir.state->fd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0)
        return lastError();
    if (held.st_dev != named.st_dev || held.st_ino != named.st_ino)
        return FileSystemError::EntryChanged;
    // A read-only file stays, as removeFile leaves it.
    if ((held.st_mode & S_IWUSR) == 0)
        return FileSystemError::AccessDenied;
    // The name can still be swapped between the check and the removal, but only for another entry of
    // this same directory, which whoever swapped it could have removed anyway (see removeFile).
    return ::unlinkat(dir.state->fd, name.c_str(), 0) == 0 ? FileSystemError::Success : lastError();
}

bool FileHandle::openedByOthers() const {
#if defined(F_GETLEASE)
    // A lease being broken answers the kind it is broken to (F_RDLCK or F_UNLCK); a descriptor without
    // a lease F_UNLCK, and one that cannot say is taken as opened.
    return !isOpen() || ::fcntl(state->fd, F_GETLEASE) != F_WRLCK;
#else
    return true;
#endif
}

std::uint32_t FileHandle::releaseExclusive() {
    if (!isOpen())
        return FileSystemError::InvalidParameter;
#if defined(F_SETLEASE)
    // An open waiting for the lease completes now, on the file as it is; the descriptor stays ours.
    if (::fcntl(state->fd, F_SETLEASE, F_UNLCK) != 0)
        return lastError();
#endif
    return FileSystemError::Success;
}

} // namespace VeltorPlatform
