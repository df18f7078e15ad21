// errno as the Windows error number the seam reports (see FileSystem.h): the one mapping of the POSIX
// side, so a failure reads the same whichever call met it.
#pragma once
#include <cerrno>
#include <cstdint>

namespace VeltorPlatform {

inline std::uint32_t fromErrno(int error) {
    switch (error) {
    case 0:
        return 0;
    case ENOENT:
        return 2; // file not found
    case ENOTDIR:
        return 3; // path not found: a component on the way is no directory
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return 5; // access denied
    case ENOMEM:
        return 14; // out of memory
    case EEXIST:
        return 183; // already exists
    case ENOTEMPTY:
        return 145; // directory not empty
    case EINVAL:
        return 87; // invalid parameter
    case EMFILE:
    case ENFILE:
        return 4; // too many open files
    case ENOSPC:
    case EDQUOT:
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
        return 31; // a device attached to the system is not functioning: the general failure
    }
}

inline std::uint32_t lastError() {
    return fromErrno(errno);
}

} // namespace VeltorPlatform
