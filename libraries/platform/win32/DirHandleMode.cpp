// DirHandle::changeMode on Windows: the read-only attribute of one entry, changed through a handle of
// the entry that is checked against the look-up made relative to the directory.
//
// Kept apart from DirHandle.cpp. The entry is opened relative to the directory's handle with
// FILE_OPEN_REPARSE_POINT (DirHandle::State::openEntry, as every other entry below a root), and
// whatever that open reached is changed only when it is the entry the look-up found (same file index
// on the directory's volume) and no reparse point. Under Wine, where the open follows a link of the
// host anyway, the handle's own name gives the link away (reachedThroughLink).
#include "EntryJudge.h"
#include "NtCalls.h"
#include "Win32Files.h"

namespace VeltorPlatform {

namespace {

// The attributes FileBasicInfo may set; the others (directory, reparse point, ...) are the system's.
constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                            FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

std::uint32_t setReadOnly(HANDLE entry, bool readOnly) {
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandleEx(entry, FileBasicInfo, &basic, sizeof basic))
        return Win32::lastError();
    const DWORD now = basic.FileAttributes & kSettable;
    const DWORD wanted = readOnly ? now | FILE_ATTRIBUTE_READONLY : now & ~DWORD(FILE_ATTRIBUTE_READONLY);
    if (wanted == now)
        return FileSystemError::Success;
    // Zero stamps leave the entry's times as they are.
    FILE_BASIC_INFO change{};
    change.FileAttributes = wanted != 0 ? wanted : FILE_ATTRIBUTE_NORMAL;
    return ::SetFileInformationByHandle(entry, FileBasicInfo, &change, sizeof change)
               ? FileSystemError::Success
               : Win32::lastError();
}

} // namespace

std::uint32_t DirHandle::changeMode(const std::string& name, int permissions,
                                    const EntryInfo* expected) const {
    EntryInfo judged;
    if (std::uint32_t error = judgeForChange(*this, name, expected, judged))
        return error;
    Win32::OpenedEntry entry;
    if (std::uint32_t error = state->openEntry(
            name, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, Nt::kShareAll, Nt::kBackupIntent,
            Win32::Check::kNotThroughLink | Win32::Check::kStatus | Win32::Check::kNotALink, entry))
        return error;
    // The look-up and the open are relative to the same directory handle: the same volume.
    if (entry.info.fileId != judged.fileId)
        return FileSystemError::EntryChanged;
    return setReadOnly(entry.handle.get(), (permissions & FilePermission::Write) == 0);
}

} // namespace VeltorPlatform
