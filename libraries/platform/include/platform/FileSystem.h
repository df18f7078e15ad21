// File-system calls by path, for what stands outside any data tree: the program's own files and
// directories (the local store, the registry file, the lock directory) and filelib's path operations
// on paths its callers give. Attributes, status, access, permissions, deletion and creation, renaming,
// stamps and link targets. Paths are narrow strings, converted to UTF-16 for the W calls on Windows
// and passed unchanged on POSIX. Inside a tree that others may write, DirHandle.h is the only way.
//
// Every call reports failure as a Windows error number of FileErrors.h (0 = success); the POSIX side
// maps errno to the same numbers, so callers test and print them alike on both systems.
//
// Time stamps are 64-bit signed milliseconds since 1970-01-01 00:00:00 UTC, truncated the way the
// Windows conversion to calendar fields truncates (100-ns ticks dropped), so a stamp read here equals
// the one built from the UTC calendar fields of the directory entry.
#pragma once
#include "platform/FileErrors.h"

#include <cstdint>
#include <string>

namespace VeltorPlatform {

// Attribute bits in their Windows values.
namespace FileAttribute {
constexpr std::uint32_t ReadOnly = 0x1;
constexpr std::uint32_t Directory = 0x10;
constexpr std::uint32_t ReparsePoint = 0x400;
} // namespace FileAttribute

// Modes of accessCheck, as the C runtime's _access takes them.
namespace AccessMode {
constexpr int Exists = 0;
constexpr int Write = 2;
constexpr int Read = 4;
constexpr int ReadWrite = 6;
} // namespace AccessMode

// The stamps of one path without listing its directory (FindFirstFileW on the path, closed at once).
// Windows: a wildcard in the last component selects the first matching entry. POSIX: the path is
// taken literally (lstat: a link's own stamps).
std::uint32_t findStamps(const std::string& path, std::int64_t& lastWriteMs, std::int64_t& lastAccessMs);

// GetFileAttributesW. A link answers with its own attributes. POSIX: a symbolic link is a reparse
// point; it also carries Directory when it leads to a directory (as a directory link does on Windows).
// ReadOnly means the owner write bit is clear.
std::uint32_t getFileAttributes(const std::string& path, std::uint32_t& attributes);

// The C runtime's stat (links followed).
struct FileStatus {
    bool isDirectory = false;
    bool readOnly = false;
    std::uint64_t size = 0;
    std::int64_t lastWriteMs = 0;
    std::int64_t lastAccessMs = 0;
};
std::uint32_t getFileStatus(const std::string& path, FileStatus& status);

// The C runtime's _access with an AccessMode. Write is refused for a read-only file. Windows answers
// for a directory only whether it exists; POSIX refuses Write for a directory too when its owner write
// bit is clear, whoever asks.
std::uint32_t accessCheck(const std::string& path, int mode);

// The C runtime's _chmod with FilePermission flags: Write present makes the path writable, absent makes
// it read-only; Read is accepted and has no other effect. POSIX: Write adds the owner write bit, its
// absence clears every write bit; read bits are never taken away; a symbolic link is left alone
// (its target is not changed) and the call succeeds.
std::uint32_t changeMode(const std::string& path, int permissions);

// DeleteFileW. A read-only file is refused with AccessDenied, a directory too.
// POSIX: also as root; a symbolic link is removed whatever it points to.
std::uint32_t deleteFile(const std::string& path);

// CreateDirectoryW; AlreadyExists when the path exists, PathNotFound when its parent is missing.
std::uint32_t createDirectory(const std::string& path);

// The C runtime's rename (_wrename): fails with AlreadyExists when `to` exists (POSIX checks first).
std::uint32_t renamePath(const std::string& from, const std::string& to);

// SetFileTime for last write and last access (files and directories; a link's target). Used to age
// files made for tests; the program itself never sets stamps.
std::uint32_t setFileTimes(const std::string& path, std::int64_t lastWriteMs, std::int64_t lastAccessMs);

// The target of a reparse point (DeviceIoControl get-reparse-point): for a symbolic link
// (tag 0xA000000C) its print name, for a mount point (tag 0xA0000003) its print name too; the tag
// is handed out so callers can pick. NotAReparsePoint for a path that is no link.
// POSIX: readlink; the tag is always the symbolic-link tag.
constexpr std::uint32_t kReparseTagSymlink = 0xA000000C;
constexpr std::uint32_t kReparseTagMountPoint = 0xA0000003;
std::uint32_t readReparseTarget(const std::string& path, std::string& target, std::uint32_t& tag);

// The target path of a shell shortcut (.lnk). Windows: the shell-link COM object; an error only when
// that object cannot be created. A shortcut that cannot be read gives Success and an empty target.
// POSIX: the shortcut's own binary format is read (its local base path); unreadable gives empty.
std::uint32_t readShortcutTarget(const std::string& path, std::string& target);

} // namespace VeltorPlatform
