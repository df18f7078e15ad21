// errno as the Windows error number the seam reports (FileErrors.h): the one mapping of the POSIX side,
// so a failure reads the same whichever call met it. Where one kind of call gives an errno a meaning of
// its own (a link met by an open that does not follow), the override is here too, never at the call.
#pragma once
#include "platform/FileErrors.h"

#include <cerrno>
#include <cstdint>

namespace VeltorPlatform {

inline std::uint32_t fromErrno(int error) {
    namespace E = FileSystemError;
    switch (error) {
    case 0:
        return E::Success;
    case ENOENT:
        return E::FileNotFound;
    case ENOTDIR:
        return E::PathNotFound; // a component on the way is no directory
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return E::AccessDenied;
    case ENOMEM:
        return E::OutOfMemory;
    case EEXIST:
        return E::AlreadyExists;
    case ENOTEMPTY:
        return E::DirNotEmpty;
    case EINVAL:
        return E::InvalidParameter;
    case EMFILE:
    case ENFILE:
        return E::TooManyOpenFiles;
    case ENOSPC:
    case EDQUOT:
        return E::DiskFull;
    case EXDEV:
        return E::NotSameDevice;
    case EBUSY:
        return E::Busy;
    case ENAMETOOLONG:
        return E::NameTooLong;
    case ELOOP:
        return E::CannotResolve; // a loop of links on the way
    case EIO:
        return E::IoError;
    default:
        return E::GeneralFailure;
    }
}

inline std::uint32_t lastError() {
    return fromErrno(errno);
}

// A failed open of a directory entry by name with O_NOFOLLOW (and O_NONBLOCK): ELOOP is the link
// itself, ENOTDIR (under O_DIRECTORY) an entry that is no directory, ENXIO a socket, a device without
// its driver or a FIFO opened for writing that nobody reads, EAGAIN another process's lease on the file.
inline std::uint32_t openFailure(int error) {
    switch (error) {
    case ELOOP:
        return FileSystemError::IsALink;
    case ENOTDIR:
        return FileSystemError::NotADirectory;
    case ENXIO:
        return FileSystemError::NotARegularFile;
    case EAGAIN:
        return FileSystemError::SharingViolation;
    default:
        return fromErrno(error);
    }
}

// A failed open of a root by its path: the path leads to something that is no directory.
inline std::uint32_t rootOpenFailure(int error) {
    return error == ENOTDIR ? FileSystemError::NotADirectory : fromErrno(error);
}

// A failed rmdir: some systems say EEXIST where Linux says ENOTEMPTY; an entry swapped for a link or a
// file meanwhile is ENOTDIR.
inline std::uint32_t removeDirectoryFailure(int error) {
    return error == EEXIST ? FileSystemError::DirNotEmpty : openFailure(error);
}

// A failed mkdir: a missing parent is a missing path, as Windows reports it.
inline std::uint32_t createDirectoryFailure(int error) {
    return error == ENOENT ? FileSystemError::PathNotFound : fromErrno(error);
}

// A failed readlink: EINVAL is an entry that is no link.
inline std::uint32_t readLinkFailure(int error) {
    return error == EINVAL ? FileSystemError::NotAReparsePoint : fromErrno(error);
}

// A refused write lease (fcntl F_SETLEASE): EAGAIN (EBUSY on some kernels) while another descriptor of
// the file is open; a file system or kernel without leases (EINVAL, also with leases-enable at 0), a
// process without CAP_LEASE for a file it does not own (EACCES) or a lock table that is full (ENOLCK)
// cannot have one here at all.
inline std::uint32_t leaseFailure(int error) {
    switch (error) {
    case EAGAIN:
    case EBUSY:
        return FileSystemError::SharingViolation;
    case EINVAL:
    case EACCES:
    case ENOLCK:
    case EPERM:
        return FileSystemError::NotSupported;
    default:
        return fromErrno(error);
    }
}

} // namespace VeltorPlatform
