// DirHandle::changeMode on Windows: the read-only attribute of one entry, changed through a handle of
// the entry that is checked against the look-up made relative to the directory.
//
// Kept apart from DirHandle.cpp and built on the public calls of the seam only (lookup, path): the entry
// is opened as the directory's path + name with FILE_FLAG_OPEN_REPARSE_POINT, and whatever that open
// reached is changed only when it is the entry the look-up found (same volume serial number and file
// index) and no reparse point. Under Wine, where the open follows a link of the host anyway, the look-up
// already reports the link, and a link swapped in afterwards shows as another file.
#include "EntryJudge.h"
#include "WideCalls.h"

namespace VeltorPlatform {

namespace {

// The attributes FileBasicInfo may set; the others (directory, reparse point, ...) are the system's.
constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                            FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

std::uint32_t setReadOnly(HANDLE entry, const EntryInfo& judged, bool readOnly) {
    BY_HANDLE_FILE_INFORMATION info;
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandle(entry, &info) ||
        !::GetFileInformationByHandleEx(entry, FileBasicInfo, &basic, sizeof basic))
        return ::GetLastError();
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return FileSystemError::IsALink;
    const std::uint64_t index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    if (info.dwVolumeSerialNumber != judged.volume || index != judged.fileId)
        return FileSystemError::EntryChanged;
    const DWORD now = basic.FileAttributes & kSettable;
    const DWORD wanted = readOnly ? now | FILE_ATTRIBUTE_READONLY : now & ~DWORD(FILE_ATTRIBUTE_READONLY);
    if (wanted == now)
        return FileSystemError::Success;
    // Zero stamps leave the entry's times as they are.
    FILE_BASIC_INFO change{};
    change.FileAttributes = wanted != 0 ? wanted : FILE_ATTRIBUTE_NORMAL;
    return ::SetFileInformationByHandle(entry, FileBasicInfo, &change, sizeof change)
               ? FileSystemError::Success
               : ::GetLastError();
}

} // namespace

std::uint32_t DirHandle::changeMode(const std::string& name, int permissions,
                                    const EntryInfo* expected) const {
    EntryInfo judged;
    if (std::uint32_t error = judgeForChange(*this, name, expected, judged))
        return error;
    std::string entryPath = path();
    if (!entryPath.empty() && entryPath.back() != '\\' && entryPath.back() != '/')
        entryPath += '\\';
    entryPath += name;
    const HANDLE entry =
        Wide::createFile(entryPath, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                         FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS);
    if (entry == INVALID_HANDLE_VALUE)
        return ::GetLastError();
    const std::uint32_t result = setReadOnly(entry, judged, (permissions & FilePermission::Write) == 0);
    ::CloseHandle(entry);
    return result;
}

} // namespace VeltorPlatform
