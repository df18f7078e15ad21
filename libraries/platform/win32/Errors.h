// The Windows side's one mapping to the error numbers the file seam reports (FileErrors.h): the
// thread's last Win32 error, the C runtime's errno (with the system's own number where the runtime
// kept it), and an NTSTATUS. Every win32 source that hands out an error takes it from here, so a
// failure reads the same whichever call met it.
#pragma once
#include "platform/FileErrors.h"

#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace VeltorPlatform {
namespace Win32 {

// The number a general failure is reported with (ERROR_GEN_FAILURE).
constexpr std::uint32_t kGeneralFailure = 31;

// GetLastError as the seam reports it.
inline std::uint32_t lastError() {
    return static_cast<std::uint32_t>(::GetLastError());
}

// The error of a failed C runtime file call: the system's own number where the runtime kept it in
// _doserrno (clear it before the call), else errno mapped.
inline std::uint32_t runtimeError() {
    if (_doserrno != 0)
        return static_cast<std::uint32_t>(_doserrno);
    switch (errno) {
    case ENOENT:
        return FileSystemError::FileNotFound;
    case EACCES:
        return FileSystemError::AccessDenied;
    case EEXIST:
        return FileSystemError::AlreadyExists;
    case ENOMEM:
        return FileSystemError::OutOfMemory;
    case EINVAL:
        return FileSystemError::InvalidParameter;
    default:
        return kGeneralFailure;
    }
}

// The error number of an NTSTATUS through the system's own table (RtlNtStatusToDosError): 0 for
// success and for the warnings that leave the fixed part of a buffer filled. Defined in NtCalls.cpp,
// where ntdll's entry points are looked up.
std::uint32_t fromStatus(LONG status);

} // namespace Win32
} // namespace VeltorPlatform
