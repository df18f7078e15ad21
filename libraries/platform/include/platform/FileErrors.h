// The numbers both file-system interfaces speak: the error numbers every call reports and the
// permission flags of a change of mode. FileSystem.h (calls by path) and DirHandle.h (calls inside a
// tree) include it, so a failure reads the same whichever of them met it.
//
// Errors are Windows error numbers (0 = success); the POSIX side maps errno to the same numbers
// (posix/Errors.h), the Windows side NTSTATUS and the C runtime's errno (win32/Errors.h).
#pragma once
#include <cstdint>

namespace VeltorPlatform {

namespace FileSystemError {
constexpr std::uint32_t Success = 0;
// The entry is no longer the one that was judged (another file took its name). A number of the range
// Windows leaves to applications (bit 29 set), so that no error of the system can be taken for it.
constexpr std::uint32_t EntryChanged = 0x20000001;
constexpr std::uint32_t FileNotFound = 2;
constexpr std::uint32_t PathNotFound = 3;
constexpr std::uint32_t AccessDenied = 5;
constexpr std::uint32_t OutOfMemory = 14;
// Another process holds the file open in a way that excludes us (Windows sharing violation).
constexpr std::uint32_t SharingViolation = 32;
constexpr std::uint32_t InvalidParameter = 87;
constexpr std::uint32_t DirNotEmpty = 145;
constexpr std::uint32_t AlreadyExists = 183;
constexpr std::uint32_t NoMoreItems = 259;
// The entry is not a directory (ERROR_DIRECTORY).
constexpr std::uint32_t NotADirectory = 267;
// The entry is a FIFO, device, socket or another special file: never opened.
constexpr std::uint32_t NotARegularFile = 1920;
// The entry is a link or another reparse point where only a real directory or file may stand.
constexpr std::uint32_t IsALink = 1921;
constexpr std::uint32_t NotAReparsePoint = 4390;
} // namespace FileSystemError

// Permission flags of the C runtime's chmod/access, as changeMode takes them.
namespace FilePermission {
constexpr int Read = 0x100;
constexpr int Write = 0x80;
} // namespace FilePermission

} // namespace VeltorPlatform
