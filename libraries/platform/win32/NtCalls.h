// The native file calls of ntdll that the Win32 layer has no form for: opening an entry relative to an
// open directory, listing a directory through its handle, the file and volume information classes, and
// the POSIX-style delete and rename. They are looked up once with GetProcAddress (ntdll is loaded in
// every process; linking its import library would also bind C runtime names that ntdll exports).
//
// Results are Windows error numbers, as the seam speaks them: an NTSTATUS goes through
// RtlNtStatusToDosError, so STATUS_OBJECT_NAME_NOT_FOUND is 2, STATUS_ACCESS_DENIED 5,
// STATUS_SHARING_VIOLATION 32, STATUS_NOT_A_DIRECTORY 267, STATUS_OBJECT_NAME_COLLISION 183,
// STATUS_DIRECTORY_NOT_EMPTY 145, STATUS_CANNOT_DELETE 5, STATUS_FILE_IS_A_DIRECTORY 5.
#pragma once
#include <windows.h>

#include <winternl.h>

#include <cstdint>
#include <string>

namespace VeltorPlatform {

struct EntryInfo;

namespace Nt {

// NtCreateFile options (the Win32 headers of older targets lack some).
constexpr ULONG kDirectoryFile = 0x1;
constexpr ULONG kWriteThrough = 0x2;
constexpr ULONG kSequentialOnly = 0x4;
constexpr ULONG kSynchronousIo = 0x20; // FILE_SYNCHRONOUS_IO_NONALERT: plain blocking reads and writes
constexpr ULONG kNonDirectoryFile = 0x40;
constexpr ULONG kBackupIntent = 0x4000; // FILE_FLAG_BACKUP_SEMANTICS of CreateFile
constexpr ULONG kOpenReparsePoint = 0x200000;
// NtCreateFile dispositions.
constexpr ULONG kOpen = 1;   // FILE_OPEN
constexpr ULONG kCreate = 2; // FILE_CREATE: fails on any entry of that name

constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The Windows error number of an NTSTATUS (0 for success and for the warnings that leave the fixed
// part of a buffer filled).
std::uint32_t toError(NTSTATUS status);

// Opens `name` (one component, or empty for the directory itself: a new handle of the same open
// object) relative to the open directory `dir`, case-insensitively as Win32 names compare.
std::uint32_t openRelative(HANDLE dir, const std::wstring& name, ACCESS_MASK access, ULONG share,
                           ULONG disposition, ULONG options, HANDLE& out);

// Fills everything of `out` the handle tells except the volume (one query: FileAllInformation).
// Kind: a reparse point is a Link, else Directory or File. Fails on what has no file information (a
// pipe or a device).
std::uint32_t queryEntry(HANDLE handle, EntryInfo& out);

// The serial number of the volume that holds the open file.
std::uint32_t volumeSerial(HANDLE handle, std::uint64_t& serial);

// Bytes of the volume that holds the open file still free for the caller (quotas counted).
std::uint32_t freeBytes(HANDLE handle, std::uint64_t& bytes);

} // namespace Nt
} // namespace VeltorPlatform
