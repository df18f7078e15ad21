// What the Win32 file-system sources share: handle ownership, time conversion, the state of an open
// directory, and the opening of an entry relative to a directory handle that DirHandle, FileHandle and
// the change of mode use.
#pragma once
#include "Errors.h"
#include "NtCalls.h"
#include "platform/DirHandle.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

namespace VeltorPlatform {

namespace Win32 {

// A handle of CreateFileW or NtCreateFile, closed on every way out.
class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE value = INVALID_HANDLE_VALUE) : handle(value) {}
    ~ScopedHandle() { reset(); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    void reset(HANDLE value = INVALID_HANDLE_VALUE) {
        if (handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle);
        handle = value;
    }
    // Gives the handle up without closing it, so the caller can see the close's own result.
    HANDLE release() {
        HANDLE value = handle;
        handle = INVALID_HANDLE_VALUE;
        return value;
    }
    HANDLE get() const { return handle; }
    bool valid() const { return handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle;
};

// Milliseconds since 1970 from 100-ns ticks since 1601 (a FILETIME's or an NT time's), truncated as
// the calendar conversion truncates.
inline std::int64_t toMs(const LARGE_INTEGER& ticks) {
    constexpr std::int64_t kEpochDifferenceMs = 11644473600000LL;
    return static_cast<std::int64_t>(static_cast<ULONGLONG>(ticks.QuadPart) / 10000) - kEpochDifferenceMs;
}
inline std::int64_t toMs(const FILETIME& time) {
    LARGE_INTEGER ticks;
    ticks.LowPart = time.dwLowDateTime;
    ticks.HighPart = static_cast<LONG>(time.dwHighDateTime);
    return toMs(ticks);
}

// True where opening with FILE_OPEN_REPARSE_POINT still reaches a link's target. Wine does so for the
// symbolic links of the host: the handle is the target's, its attributes carry no reparse bit, and a
// delete disposition or rename through it acts on the target. There the only trace of the link is the
// handle's own name, which Wine builds from the resolved path; see reachedThroughLink.
bool opensFollowLinks();

// True where SetFileTime with all ones (leave the last access alone through this handle) is accepted
// and ignored, as Wine does: the stamp must then be put back by hand.
bool ignoresAccessTimeFreeze();

// The path of an open file on its volume ("\dir\name"), as the system names the open object; empty
// when the system cannot tell.
std::wstring volumePath(HANDLE handle);

// Whether `entry`, opened as the entry `name` of the directory whose volume path is `dirPath`, is
// really somewhere else: reached through a link, or not to be named at all. Only meaningful where
// opensFollowLinks().
bool reachedThroughLink(const std::wstring& dirPath, const std::wstring& name, HANDLE entry);

// One component: no separator, no stream or drive colon, not "." or "..", not empty.
bool isPlainName(const char* name, std::size_t length);
inline bool isPlainName(const std::string& name) {
    return isPlainName(name.c_str(), name.size());
}

// The entry `name` below the directory `dir` (which may end in a separator), for messages.
std::string joinName(const std::string& dir, const char* name, std::size_t nameLength);

// What a reparse point holds: its tag and, for a symbolic link or a junction (mount point), the
// substitute name (the NT path the system follows, or a relative path) and the print name.
struct ReparseData {
    std::uint32_t tag = 0;
    std::wstring substitute;
    std::wstring print;
    bool relative = false; // a symbolic link whose target is relative to its directory
};
// Reads the reparse data of the open entry (FSCTL_GET_REPARSE_POINT); NotAReparsePoint when it has
// none. Other tags than those two come with empty names.
std::uint32_t readReparse(HANDLE entry, ReparseData& out);

// What DirHandle::State::openEntry makes sure of on the handle it opened (flags).
namespace Check {
// Reads the entry's status into OpenedEntry::info; an entry whose status cannot be read is not opened.
constexpr unsigned kStatus = 0x1;
// Tells in OpenedEntry::throughLink whether the open reached the entry through a link, where
// opensFollowLinks(); refuses nothing.
constexpr unsigned kTellLink = 0x2;
// Refuses with IsALink what the open reached through a link (opensFollowLinks()): a change, delete
// disposition or rename through that handle would act on the link's target.
constexpr unsigned kNotThroughLink = 0x4;
// Refuses with IsALink an entry that is a link itself, as its status tells (with kStatus).
constexpr unsigned kNotALink = 0x8;
// A regular file only, neither a link nor reached through one: NotARegularFile for a pipe or a device
// first (they have no status to read), then IsALink. Its last access is read before anything else.
constexpr unsigned kRegularFile = 0x10 | kStatus | kNotThroughLink | kNotALink;
} // namespace Check

// An entry opened relative to its directory by DirHandle::State::openEntry.
struct OpenedEntry {
    ScopedHandle handle;
    EntryInfo info; // with Check::kStatus
    // Where opensFollowLinks() (with Check::kTellLink): the handle is a link's target's, not the entry's.
    bool throughLink = false;
    // With Check::kRegularFile: the last access as it was before the open's own calls could refresh it
    // (Wine's GetFileType reads the file), where `lastAccessRead`.
    FILETIME lastAccess{};
    bool lastAccessRead = false;
};

} // namespace Win32

struct DirHandle::State {
    Win32::ScopedHandle handle;
    std::string path;         // the root's path and the names below it, for messages only
    std::uint64_t volume = 0; // the serial number of its volume, which its entries share
    // The directory's volume path, asked for once and only where opensFollowLinks().
    mutable std::wstring volumeName;
    mutable bool volumeNameKnown = false;

    const std::wstring& volumePath() const {
        if (!volumeNameKnown) {
            volumeName = Win32::volumePath(handle.get());
            volumeNameKnown = true;
        }
        return volumeName;
    }
    // What removals and opens of entries compare their handles' names with: only where opens follow
    // links.
    const std::wstring* linkCheckPath() const { return Win32::opensFollowLinks() ? &volumePath() : nullptr; }

    // The one way every entry of this directory is opened: NtCreateFile relative to its handle with
    // FILE_OPEN_REPARSE_POINT, so never through a link (see opensFollowLinks for where that does not
    // hold), for synchronous I/O; then the checks `checks` (Check::...) on what the open reached.
    std::uint32_t openEntry(const std::string& name, ACCESS_MASK access, ULONG share, ULONG options,
                            unsigned checks, Win32::OpenedEntry& out, ULONG disposition = Nt::kOpen) const;
    // Opens the entry `name` for deletion, which deletes nothing yet, with its status: whatever stands
    // in the way of a removal (the entry's or the directory's security, a share mode without
    // FILE_SHARE_DELETE) shows here. IsALink where the open reached it through a link.
    std::uint32_t openForDeletion(const std::string& name, Win32::OpenedEntry& out) const;
    // For its attributes only, sharing everything: no one's share mode stands in the way, nothing is
    // read, no stamp moves; tells whether the open went through a link.
    std::uint32_t openForAttributes(const std::string& name, Win32::OpenedEntry& out) const;
};

} // namespace VeltorPlatform
