// The native file calls of ntdll that the Win32 layer has no form for: opening an entry relative to an
// open directory, listing a directory through its handle, the file and volume information classes, and
// the POSIX-style delete and rename. They are looked up once with GetProcAddress (ntdll is loaded in
// every process; linking its import library would also bind C runtime names that ntdll exports).
//
// Results are Windows error numbers, as the seam speaks them: an NTSTATUS goes through
// RtlNtStatusToDosError (Win32::fromStatus in Errors.h), so STATUS_OBJECT_NAME_NOT_FOUND is 2,
// STATUS_ACCESS_DENIED 5, STATUS_SHARING_VIOLATION 32, STATUS_NOT_A_DIRECTORY 267,
// STATUS_OBJECT_NAME_COLLISION 183, STATUS_DIRECTORY_NOT_EMPTY 145, STATUS_CANNOT_DELETE 5,
// STATUS_FILE_IS_A_DIRECTORY 5.
#pragma once
#include <windows.h>

#include <winternl.h>

#include <cstdint>
#include <string>
#include <vector>

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

// Marks the open entry for deletion: the POSIX form where the system has it (the name goes at once,
// even while others still hold the file open with delete sharing), the classic one elsewhere. A
// read-only entry is refused (AccessDenied), a non-empty directory with DirNotEmpty.
std::uint32_t deleteOnClose(HANDLE entry);

// Renames the open entry to `name` in the open directory `dir`, replacing an entry of that name, as
// MoveFileEx does (the classic form: its buffer holds a handle, which 32-bit programs on 64-bit Windows
// can pass only where the system translates the class).
std::uint32_t renameTo(HANDLE entry, HANDLE dir, const std::wstring& name);

// One entry of a listing through a directory handle.
struct ListedEntry {
    const wchar_t* name = nullptr;
    std::size_t nameLength = 0; // in UTF-16 units
    ULONG attributes = 0;
    LARGE_INTEGER lastWrite{};
    LARGE_INTEGER lastAccess{};
    LARGE_INTEGER change{};
    LARGE_INTEGER size{};
    LARGE_INTEGER allocated{};
    // The file id (the file index a handle of the entry tells); 0 where the file system lists without.
    std::uint64_t fileId = 0;
};

// Lists a directory through a handle of its own, in large batches ("." and ".." included: the caller
// skips them), with FileIdFullDirectoryInformation; a file system that refuses that class is listed
// with FileFullDirectoryInformation, without file ids.
class DirectoryReader {
public:
    // Starts over on a new handle of the open directory `dir`: its own enumeration position, so copies
    // of one DirHandle can be listed at once.
    std::uint32_t open(HANDLE dir);
    // Success and the next entry, NoMoreItems at the end, or another error.
    std::uint32_t next(ListedEntry& entry);
    void close();
    ~DirectoryReader() { close(); }

private:
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::vector<unsigned char> buffer;
    std::size_t offset = 0; // of the next entry in the buffer
    bool pending = false;   // the buffer holds entries not handed out yet
    bool first = true;      // the next query starts the scan
    bool withIds = true;    // the class with file ids is asked for
};

} // namespace Nt
} // namespace VeltorPlatform
