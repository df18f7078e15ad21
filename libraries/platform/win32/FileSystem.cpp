#include "platform/FileSystem.h"

#include "WideCalls.h"
#include "Win32Files.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

namespace VeltorPlatform {

namespace {

using Win32::lastError;
using Win32::runtimeError;
using Win32::ScopedHandle;
using Win32::toMs;

// 100-ns ticks between 1601-01-01 and 1970-01-01, in milliseconds.
constexpr std::int64_t kEpochDifferenceMs = 11644473600000LL;

FILETIME fromMs(std::int64_t ms) {
    ULARGE_INTEGER ticks;
    ticks.QuadPart = static_cast<ULONGLONG>(ms + kEpochDifferenceMs) * 10000ULL;
    FILETIME time;
    time.dwLowDateTime = ticks.LowPart;
    time.dwHighDateTime = ticks.HighPart;
    return time;
}

// A search handle closed on every way out.
class FindHandle {
public:
    explicit FindHandle(HANDLE value = INVALID_HANDLE_VALUE) : handle(value) {}
    ~FindHandle() { reset(); }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    void reset(HANDLE value = INVALID_HANDLE_VALUE) {
        if (handle != INVALID_HANDLE_VALUE)
            ::FindClose(handle);
        handle = value;
    }
    HANDLE get() const { return handle; }
    bool valid() const { return handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle;
};

} // namespace

std::uint32_t findStamps(const std::string& path, std::int64_t& lastWriteMs, std::int64_t& lastAccessMs) {
    WIN32_FIND_DATAW data{};
    FindHandle find(Wide::findFirstFile(path, data));
    if (!find.valid())
        return lastError();
    lastWriteMs = toMs(data.ftLastWriteTime);
    lastAccessMs = toMs(data.ftLastAccessTime);
    return FileSystemError::Success;
}

std::uint32_t getFileAttributes(const std::string& path, std::uint32_t& attributes) {
    DWORD value = Wide::getFileAttributes(path);
    attributes = value;
    return value == INVALID_FILE_ATTRIBUTES ? lastError() : FileSystemError::Success;
}

std::uint32_t getFileStatus(const std::string& path, FileStatus& status) {
    struct _stat64 info {};
    _doserrno = 0;
    if (::_wstat64(Wide::toWide(path).c_str(), &info) != 0)
        return runtimeError();
    status.isDirectory = (info.st_mode & _S_IFDIR) != 0;
    status.readOnly = (info.st_mode & _S_IWRITE) == 0;
    status.size = status.isDirectory ? 0 : static_cast<std::uint64_t>(info.st_size);
    status.lastWriteMs = static_cast<std::int64_t>(info.st_mtime) * 1000;
    status.lastAccessMs = static_cast<std::int64_t>(info.st_atime) * 1000;
    return FileSystemError::Success;
}

std::uint32_t accessCheck(const std::string& path, int mode) {
    _doserrno = 0;
    return ::_waccess(Wide::toWide(path).c_str(), mode) == 0 ? FileSystemError::Success : runtimeError();
}

std::uint32_t changeMode(const std::string& path, int permissions) {
    int flags = 0;
    if ((permissions & FilePermission::Read) != 0)
        flags |= _S_IREAD;
    if ((permissions & FilePermission::Write) != 0)
        flags |= _S_IWRITE;
    _doserrno = 0;
    return ::_wchmod(Wide::toWide(path).c_str(), flags) == 0 ? FileSystemError::Success : runtimeError();
}

std::uint32_t deleteFile(const std::string& path) {
    return Wide::deleteFile(path) ? FileSystemError::Success : lastError();
}

std::uint32_t createDirectory(const std::string& path) {
    return Wide::createDirectory(path) ? FileSystemError::Success : lastError();
}

std::uint32_t renamePath(const std::string& from, const std::string& to) {
    _doserrno = 0;
    return ::_wrename(Wide::toWide(from).c_str(), Wide::toWide(to).c_str()) == 0 ? FileSystemError::Success
                                                                                 : runtimeError();
}

std::uint32_t setFileTimes(const std::string& path, std::int64_t lastWriteMs, std::int64_t lastAccessMs) {
    ScopedHandle file(Wide::createFile(path, FILE_WRITE_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS));
    if (!file.valid())
        return lastError();
    FILETIME write = fromMs(lastWriteMs);
    FILETIME access = fromMs(lastAccessMs);
    return ::SetFileTime(file.get(), nullptr, &access, &write) ? FileSystemError::Success : lastError();
}

std::uint32_t readReparseTarget(const std::string& path, std::string& target, std::uint32_t& tag) {
    ScopedHandle file(Wide::createFile(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ, OPEN_EXISTING,
                                       FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS));
    if (!file.valid())
        return lastError();
    Win32::ReparseData data;
    if (std::uint32_t error = Win32::readReparse(file.get(), data))
        return error;
    tag = data.tag;
    // The print name; without one, the substitute name without its "\??\" prefix.
    std::wstring& name = data.print.empty() ? data.substitute : data.print;
    if (name.compare(0, 4, L"\\??\\") == 0)
        name.erase(0, 4);
    target = Wide::toNarrow(name.c_str(), name.size());
    return FileSystemError::Success;
}

} // namespace VeltorPlatform
