#include "platform/FileSystem.h"

#include "NtCalls.h"
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

// The C runtime keeps the system's own error number in _doserrno; errno is the fallback.
std::uint32_t runtimeError() {
    if (_doserrno != 0)
        return static_cast<std::uint32_t>(_doserrno);
    switch (errno) {
    case ENOENT:
        return FileSystemError::FileNotFound;
    case EACCES:
        return FileSystemError::AccessDenied;
    case EEXIST:
        return FileSystemError::AlreadyExists;
    case ENOMEM:
        return FileSystemError::OutOfMemory;
    case EINVAL:
        return FileSystemError::InvalidParameter;
    default:
        return 31; // general failure
    }
}

bool isDotOrDotDot(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// The entry's name is kept in name, which must outlive the entry's use of it.
void fillEntry(DirEntry& entry, const WIN32_FIND_DATAW& data, std::string& name) {
    name = Wide::foundName(data);
    entry.name = name.c_str();
    entry.nameLength = name.size();
    entry.attributes = data.dwFileAttributes;
    entry.lastWriteMs = toMs(data.ftLastWriteTime);
    entry.lastAccessMs = toMs(data.ftLastAccessTime);
    entry.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
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

struct DirEnumerator::State {
    FindHandle find;
    WIN32_FIND_DATAW data{};
    std::string name;     // the current entry's name
    bool pending = false; // the first entry came with the open and is not handed out yet
    std::string dir;      // a directory listed by its path, with its separator
    // A directory listed through a DirHandle: its state, held while the listing lasts, and the reader.
    std::shared_ptr<DirHandle::State> held;
    Nt::DirectoryReader reader;
    // A directory listed by its path: opened for removeEntry when first needed.
    ScopedHandle pathDir;
    std::wstring pathVolumeName;
};

DirEnumerator::DirEnumerator() = default;

DirEnumerator::~DirEnumerator() {
    close();
}

std::uint32_t DirEnumerator::open(const std::string& dir, DirDetail) {
    close();
    if (!state)
        state.reset(new State);
    std::string pattern = dir;
    if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/')
        pattern += '\\';
    state->dir = pattern;
    pattern += '*';
    // The basic information (no short names) in large batches: the listing of big directories.
    HANDLE handle = Wide::findFirstFile(pattern, state->data);
    if (handle == INVALID_HANDLE_VALUE)
        return lastError();
    state->find.reset(handle);
    state->pending = true;
    return FileSystemError::Success;
}

std::uint32_t DirEnumerator::open(const DirHandle& dir, DirDetail) {
    close();
    if (!dir.isOpen())
        return FileSystemError::InvalidParameter;
    if (!state)
        state.reset(new State);
    // From the handle, on a handle of the listing's own: wherever the directory has gone meanwhile.
    if (std::uint32_t error = state->reader.open(dir.state->handle.get()))
        return error;
    state->held = dir.state;
    return FileSystemError::Success;
}

namespace {

// The next entry of a listing through a handle; `name` keeps the entry's name.
std::uint32_t nextListed(Nt::DirectoryReader& reader, std::string& name, DirEntry& current) {
    Nt::ListedEntry listed;
    for (;;) {
        if (std::uint32_t error = reader.next(listed)) {
            current = DirEntry();
            return error;
        }
        if (listed.nameLength == 1 && listed.name[0] == L'.')
            continue;
        if (listed.nameLength == 2 && listed.name[0] == L'.' && listed.name[1] == L'.')
            continue;
        name = Wide::toNarrow(listed.name, listed.nameLength);
        current.name = name.c_str();
        current.nameLength = name.size();
        current.attributes = listed.attributes;
        // Listed through a handle, a link is a link, never the directory it may lead to.
        if (current.isReparsePoint())
            current.attributes &= ~FileAttribute::Directory;
        current.lastWriteMs = toMs(listed.lastWrite);
        current.lastAccessMs = toMs(listed.lastAccess);
        current.size = current.isDirectory() ? 0 : static_cast<std::uint64_t>(listed.size.QuadPart);
        return FileSystemError::Success;
    }
}

} // namespace

std::uint32_t DirEnumerator::next() {
    if (state && state->held)
        return nextListed(state->reader, state->name, current);
    if (!state || !state->find.valid())
        return FileSystemError::NoMoreItems;
    for (;;) {
        if (state->pending) {
            state->pending = false;
        } else if (!::FindNextFileW(state->find.get(), &state->data)) {
            std::uint32_t error = lastError();
            current = DirEntry(); // nothing current any more: removeEntry has nothing to act on
            return error == ERROR_NO_MORE_FILES ? FileSystemError::NoMoreItems : error;
        }
        if (isDotOrDotDot(state->data.cFileName))
            continue;
        fillEntry(current, state->data, state->name);
        return FileSystemError::Success;
    }
}

std::uint32_t DirEnumerator::complete() {
    return FileSystemError::Success; // the find data holds everything already
}

std::uint32_t DirEnumerator::removeEntry() {
    if (!state || current.nameLength == 0)
        return FileSystemError::FileNotFound;
    const std::string name(current.name, current.nameLength);
    if (state->held)
        return Win32::removeIn(state->held->handle.get(), state->held->volume, state->held->linkCheckPath(),
                               name, nullptr);
    if (!state->find.valid())
        return FileSystemError::FileNotFound;
    if (!state->pathDir.valid()) {
        state->pathDir.reset(Wide::createFile(state->dir, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                              Nt::kShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS));
        if (!state->pathDir.valid())
            return lastError();
        if (Win32::opensFollowLinks())
            state->pathVolumeName = Win32::volumePath(state->pathDir.get());
    }
    return Win32::removeIn(state->pathDir.get(), 0,
                           Win32::opensFollowLinks() ? &state->pathVolumeName : nullptr, name, nullptr);
}

void DirEnumerator::close() {
    if (state) {
        state->find.reset();
        state->pending = false;
        state->held.reset();
        state->reader.close();
        state->pathDir.reset();
        state->pathVolumeName.clear();
    }
    current = DirEntry();
}

std::uint32_t findEntry(const std::string& path, DirEntry& entry, std::string& name) {
    WIN32_FIND_DATAW data{};
    FindHandle find(Wide::findFirstFile(path, data));
    if (!find.valid())
        return lastError();
    fillEntry(entry, data, name);
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

std::uint32_t deleteFile(const std::string& path, const DirEntry&) {
    return deleteFile(path); // DeleteFileW checks by itself, at no extra cost
}

std::uint32_t removeDirectory(const std::string& path) {
    return Wide::removeDirectory(path) ? FileSystemError::Success : lastError();
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
