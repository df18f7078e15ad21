// The numbers both file-system interfaces speak: the error numbers every call reports and the
// permission flags of a change of mode. FileSystem.h (calls by path) and DirHandle.h (calls inside a
// tree) include it, so a failure reads the same whichever of them met it.
//
// Errors are Windows error numbers (0 = success); the POSIX side maps errno to the same numbers
// (posix/Errors.h), the Windows side NTSTATUS and the C runtime's errno (win32/Errors.h).
#pragma once
#include <cstdint>
#include <string>

namespace VeltorPlatform {

namespace FileSystemError {
constexpr std::uint32_t Success = 0;
// The entry is no longer the one that was judged (another file took its name). A number of the range
// Windows leaves to applications (bit 29 set), so that no error of the system can be taken for it.
constexpr std::uint32_t EntryChanged = 0x20000001;
// The entry is a link or another reparse point where only a real directory or file may stand.
constexpr std::uint32_t IsALink = 0x20000002;
// The entry is a FIFO, device, socket or another special file: never opened.
constexpr std::uint32_t NotARegularFile = 0x20000003;
constexpr std::uint32_t FileNotFound = 2;
constexpr std::uint32_t PathNotFound = 3;
constexpr std::uint32_t TooManyOpenFiles = 4;
constexpr std::uint32_t AccessDenied = 5;
constexpr std::uint32_t InvalidHandle = 6;
constexpr std::uint32_t OutOfMemory = 14;
constexpr std::uint32_t NotSameDevice = 17;
// ERROR_GEN_FAILURE: what a failure without a number of its own is reported as.
constexpr std::uint32_t GeneralFailure = 31;
// Another process holds the file open in a way that excludes us (Windows sharing violation).
constexpr std::uint32_t SharingViolation = 32;
// The system cannot do this here (ERROR_NOT_SUPPORTED): a file system or kernel without leases, say.
constexpr std::uint32_t NotSupported = 50;
constexpr std::uint32_t InvalidParameter = 87;
constexpr std::uint32_t DiskFull = 112;
constexpr std::uint32_t DirNotEmpty = 145;
constexpr std::uint32_t BadPathName = 161;
constexpr std::uint32_t Busy = 170;
constexpr std::uint32_t AlreadyExists = 183;
constexpr std::uint32_t NameTooLong = 206;
constexpr std::uint32_t MoreData = 234;
constexpr std::uint32_t NoMoreItems = 259;
// The entry is not a directory (ERROR_DIRECTORY).
constexpr std::uint32_t NotADirectory = 267;
constexpr std::uint32_t BadDatabase = 1009;
constexpr std::uint32_t KeyDeleted = 1018;
constexpr std::uint32_t IoError = 1117;
constexpr std::uint32_t KeyNotFound = 1168;
// A name that cannot be resolved (ERROR_CANT_RESOLVE_FILENAME): a loop of links.
constexpr std::uint32_t CannotResolve = 1921;
constexpr std::uint32_t NotAReparsePoint = 4390;
} // namespace FileSystemError

// The error as the messages show it: its words where it has some, then its number, "access denied,
// win-error#5"; only "win-error#N" for the others. The one place a number becomes words.
std::string errorText(std::uint32_t error);

// Permission flags of the C runtime's chmod/access, as changeMode takes them.
namespace FilePermission {
constexpr int Read = 0x100;
constexpr int Write = 0x80;
} // namespace FilePermission

} // namespace VeltorPlatform
