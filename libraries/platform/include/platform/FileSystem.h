// File-system facilities: directory enumeration, attributes, status, deletion, creation, permissions,
// renaming, time stamps and link targets. Paths are narrow strings passed to the system unchanged.
//
// Every call reports failure as a Windows error number (0 = success); the POSIX side maps errno to
// the same numbers, so callers test and print them alike on both systems.
//
// Time stamps are 64-bit signed milliseconds since 1970-01-01 00:00:00 UTC, truncated the way the
// Windows conversion to calendar fields truncates (100-ns ticks dropped), so a stamp read here equals
// the one built from the UTC calendar fields of the directory entry.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace VeltorPlatform {

class DirHandle;

namespace FileSystemError {
constexpr std::uint32_t Success = 0;
constexpr std::uint32_t FileNotFound = 2;
constexpr std::uint32_t PathNotFound = 3;
constexpr std::uint32_t AccessDenied = 5;
constexpr std::uint32_t OutOfMemory = 14;
constexpr std::uint32_t InvalidParameter = 87;
constexpr std::uint32_t DirNotEmpty = 145;
constexpr std::uint32_t AlreadyExists = 183;
constexpr std::uint32_t NoMoreItems = 259;
constexpr std::uint32_t NotAReparsePoint = 4390;
} // namespace FileSystemError

// Attribute bits in their Windows values.
namespace FileAttribute {
constexpr std::uint32_t ReadOnly = 0x1;
constexpr std::uint32_t Hidden = 0x2;
constexpr std::uint32_t Directory = 0x10;
constexpr std::uint32_t ReparsePoint = 0x400;
} // namespace FileAttribute

// Permission flags of the C runtime's chmod/access.
namespace FilePermission {
constexpr int Read = 0x100;
constexpr int Write = 0x80;
} // namespace FilePermission

// Modes of accessCheck, as the C runtime's _access takes them.
namespace AccessMode {
constexpr int Exists = 0;
constexpr int Write = 2;
constexpr int Read = 4;
constexpr int ReadWrite = 6;
} // namespace AccessMode

// One entry of a directory listing or of a single-path lookup.
//
// POSIX: a symbolic link is a reparse point; it also carries Directory when it leads to a directory
// (as a directory link does on Windows). Hidden means the name starts with '.'. ReadOnly means the
// owner write bit is clear. Stamps and ReadOnly of a link are the link's own.
struct DirEntry {
    const char* name = "";
    std::size_t nameLength = 0;
    std::uint32_t attributes = 0;
    std::int64_t lastWriteMs = 0;
    std::int64_t lastAccessMs = 0;
    std::uint64_t size = 0;

    bool isDirectory() const { return (attributes & FileAttribute::Directory) != 0; }
    bool isReparsePoint() const { return (attributes & FileAttribute::ReparsePoint) != 0; }
};

// What a listing must hand out. Names and the Directory/ReparsePoint bits are always there; Full adds
// the other attributes, size and both stamps. On POSIX NamesAndTypes mostly spares the per-entry status
// call (the directory entry's type is enough); on Windows both cost the same.
enum class DirDetail { NamesAndTypes, Full };

// Enumerates one directory (FindFirstFileA on dir + "\*", FindNextFileA, FindClose). "." and ".." are
// never handed out. The entry's name stays valid until the next call of next() or close().
// POSIX: entries whose status cannot be read because they vanished meanwhile are skipped.
class DirEnumerator {
public:
    DirEnumerator();
    ~DirEnumerator();
    DirEnumerator(const DirEnumerator&) = delete;
    DirEnumerator& operator=(const DirEnumerator&) = delete;

    // Starts a listing of `dir` (no pattern, no trailing separator needed); closes a previous one.
    // A missing directory gives PathNotFound (Windows may say FileNotFound for some paths).
    std::uint32_t open(const std::string& dir, DirDetail detail = DirDetail::Full);
    // Lists a directory opened through DirHandle.h. Nothing is followed: a link is handed out as a
    // ReparsePoint entry and never as a Directory, even where it leads to one (on POSIX, finding that
    // out would read the link and refresh its last access, which the age rules judge). removeEntry
    // acts relative to the same directory. Windows: listed from the handle (NtQueryDirectoryFile).
    std::uint32_t open(const DirHandle& dir, DirDetail detail = DirDetail::Full);
    // Moves to the next entry: Success, NoMoreItems at the end, or another error.
    std::uint32_t next();
    // Completes the current entry of a NamesAndTypes listing to what a Full listing hands out, so a
    // caller can look at the name first and pay for the details of the entries it wants only.
    // FileNotFound when the entry vanished since the directory was read (a Full listing skips those).
    // Windows: every entry comes complete; nothing to do.
    std::uint32_t complete();
    const DirEntry& entry() const { return current; }
    // Removes the current entry as deleteFile would (a directory or a read-only file is refused with
    // AccessDenied, a link goes as the link itself), judged by what the listing read of it: the entry
    // is completed first. The listing goes on with the next entry as if nothing had happened.
    // POSIX: unlinkat relative to the open directory, so no path is walked per file; an entry whose
    // status could not be read is refused with AccessDenied. Windows: the entry is opened itself (never
    // through a link), judged on its handle and deleted through it; where the system follows links
    // anyway (Wine), a link is refused with IsALink rather than cost its target.
    std::uint32_t removeEntry();
    void close();

private:
    struct State;
    std::unique_ptr<State> state;
    DirEntry current;
};

// The entry of one path without listing its directory (FindFirstFileA on the path, closed at once).
// Windows: a wildcard in the last component selects the first matching entry. POSIX: the path is
// taken literally (lstat).
std::uint32_t findEntry(const std::string& path, DirEntry& entry, std::string& name);

// GetFileAttributesA. A link answers with its own attributes (see DirEntry for POSIX).
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

// DeleteFileA. A read-only file is refused with AccessDenied, a directory too.
// POSIX: also as root; a symbolic link is removed whatever it points to.
std::uint32_t deleteFile(const std::string& path);
// The same for an entry the caller has just looked up with findEntry on this very path: the POSIX side
// judges by its attributes instead of reading the status again (one system call fewer per file).
// Windows: the same as deleteFile(path).
std::uint32_t deleteFile(const std::string& path, const DirEntry& lookedUp);

// RemoveDirectoryA: only empty directories (DirNotEmpty otherwise); a read-only directory is refused
// with AccessDenied. A link to a directory is removed as the link itself, its target stays.
std::uint32_t removeDirectory(const std::string& path);

// CreateDirectoryA; AlreadyExists when the path exists, PathNotFound when its parent is missing.
std::uint32_t createDirectory(const std::string& path);

// The C runtime's rename: fails with AlreadyExists when `to` exists (POSIX checks first).
std::uint32_t renamePath(const std::string& from, const std::string& to);

// SetFileTime for last write and last access (files and directories; a link's target).
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
