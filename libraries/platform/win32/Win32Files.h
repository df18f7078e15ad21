// What the Win32 file-system sources share: handle ownership, time conversion, the state of an open
// directory, and the opening and removal relative to a directory handle that DirHandle and its
// listing use.
#pragma once
#include "Errors.h"
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

// Opens the entry `name` of the open directory `dir` itself, never through a link (a link's own
// handle; see opensFollowLinks for where that does not hold), for synchronous I/O.
std::uint32_t openIn(HANDLE dir, const std::wstring& name, ACCESS_MASK access, ULONG share, ULONG disposition,
                     ULONG options, ScopedHandle& out);

// Removes the non-directory entry `name` of the open directory `dir` (on the volume `volume`) through a
// handle of the entry itself, judged on that handle: a directory or a read-only file is refused with
// AccessDenied, an entry other than `expected` (when given) with EntryChanged; an `expected` listed
// without a file id (0) is checked for its volume only. `linkCheckPath` is the
// volume path of `dir`, given only where opensFollowLinks(): there a link is refused with IsALink
// instead of costing its target.
std::uint32_t removeIn(HANDLE dir, std::uint64_t volume, const std::wstring* linkCheckPath,
                       const std::string& name, const EntryInfo* expected);

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
};

} // namespace VeltorPlatform
