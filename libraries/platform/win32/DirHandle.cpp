// Windows has no openat: an entry is reached as directory path + name, with every directory of that
// path held open without FILE_SHARE_DELETE, so none of them can be renamed or replaced meanwhile, and
// each entry is opened with FILE_FLAG_OPEN_REPARSE_POINT and judged on its own handle.
//
// What Wine (8.0) makes of this, for the links of the host file system (it cannot create reparse
// points of its own: CreateSymbolicLinkA reports success and creates nothing, a junction's
// FSCTL_SET_REPARSE_POINT fails with ERROR_NOT_SUPPORTED):
// - FILE_FLAG_OPEN_REPARSE_POINT is not honoured: the handle is the link's target's, and nothing on it
//   (attributes, FileAttributeTagInfo) shows a link. A delete disposition or a rename through such a
//   handle, DeleteFileA and RemoveDirectoryA too, act on the target. Only the name Wine gives the open
//   object is the resolved one, so where opensFollowLinks() every entry's handle name is compared with
//   directory + name and a mismatch is refused as a link: a link is never removed there, only left.
// - Path-based listings mark a link to a directory as ReparsePoint + Directory, a link to a file as a
//   plain file; a dangling link is not listed, not found by name, and CREATE_NEW over it fails.
// - Share modes hold between Wine processes only; host processes are not bound by them.
// - SetFileTime with 0xFFFFFFFF (keep the last access through this handle) is accepted and ignored;
//   the last access is therefore put back before the handle closes.
// - A FIFO or device of the host opens without blocking, is a FILE_TYPE_PIPE or FILE_TYPE_CHAR, and
//   GetFileInformationByHandle fails on it (ERROR_INVALID_PARAMETER); a socket does not open at all.
// - GetFileType on a regular file refreshes its last access (relatime permitting): it is asked only
//   where the file information is not enough, and after the stamps were read.
// - A delete disposition on a non-empty directory fails at once with ERROR_DIR_NOT_EMPTY, on a
//   read-only file with ERROR_ACCESS_DENIED, as on Windows.
#include "NtCalls.h"
#include "Security.h"
#include "WideCalls.h"
#include "Win32Files.h"

#include <winioctl.h>

#include <cstring>
#include <cwchar>
#include <vector>

namespace VeltorPlatform {

namespace Win32 {

namespace {

// Wine's ntdll names itself; Windows' does not export this.
bool underWine() {
    static const bool wine = ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

} // namespace

bool opensFollowLinks() {
    return underWine();
}

bool ignoresAccessTimeFreeze() {
    return underWine();
}

std::wstring volumePath(HANDLE handle) {
    std::vector<unsigned char> buffer(sizeof(FILE_NAME_INFO) + 1024);
    for (;;) {
        if (::GetFileInformationByHandleEx(handle, FileNameInfo, buffer.data(),
                                           static_cast<DWORD>(buffer.size()))) {
            const auto* info = reinterpret_cast<const FILE_NAME_INFO*>(buffer.data());
            return std::wstring(info->FileName, info->FileNameLength / sizeof(wchar_t));
        }
        if (::GetLastError() != ERROR_MORE_DATA || buffer.size() > 70000)
            return std::wstring();
        buffer.resize(buffer.size() * 4);
    }
}

std::wstring volumePathOf(const std::string& path) {
    ScopedHandle dir(Wide::createFile(path, FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS));
    return dir.valid() ? volumePath(dir.get()) : std::wstring();
}

bool reachedThroughLink(const std::wstring& dirPath, const char* name, std::size_t nameLength, HANDLE entry) {
    const int wideLength = ::MultiByteToWideChar(CP_ACP, 0, name, static_cast<int>(nameLength), nullptr, 0);
    // Unknown names count as links: what cannot be shown to be in place is not touched.
    if (dirPath.empty() || wideLength <= 0)
        return true;
    std::wstring expected = dirPath;
    if (expected.empty() || expected.back() != L'\\')
        expected += L'\\';
    const std::size_t at = expected.size();
    expected.resize(at + static_cast<std::size_t>(wideLength));
    ::MultiByteToWideChar(CP_ACP, 0, name, static_cast<int>(nameLength), &expected[at], wideLength);
    const std::wstring actual = volumePath(entry);
    return actual.empty() ||
           ::CompareStringOrdinal(actual.c_str(), static_cast<int>(actual.size()), expected.c_str(),
                                  static_cast<int>(expected.size()), TRUE) != CSTR_EQUAL;
}

bool isPlainName(const char* name, std::size_t length) {
    if (length == 0 || (name[0] == '.' && (length == 1 || (length == 2 && name[1] == '.'))))
        return false;
    for (std::size_t i = 0; i < length; ++i)
        if (name[i] == '\\' || name[i] == '/' || name[i] == ':' || name[i] == '\0')
            return false;
    return true;
}

std::string joinName(const std::string& dir, const char* name, std::size_t nameLength) {
    std::string path = dir;
    if (!path.empty() && path.back() != '\\' && path.back() != '/')
        path += '\\';
    return path.append(name, nameLength);
}

namespace {

bool isDirectory(const BY_HANDLE_FILE_INFORMATION& info) {
    return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool isReparsePoint(const BY_HANDLE_FILE_INFORMATION& info) {
    return (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool isReadOnly(const BY_HANDLE_FILE_INFORMATION& info) {
    return (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
}

std::uint64_t fileId(const BY_HANDLE_FILE_INFORMATION& info) {
    return (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
}

std::uint32_t deleteDisposition(HANDLE handle) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return ::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition)
               ? FileSystemError::Success
               : lastError();
}

// Everything an open handle tells of its entry.
std::uint32_t describe(HANDLE handle, EntryInfo& out) {
    if (std::uint32_t error = Nt::queryEntry(handle, out))
        return error;
    return Nt::volumeSerial(handle, out.volume);
}

} // namespace

std::uint32_t readReparse(HANDLE entry, ReparseData& out) {
    std::vector<unsigned char> buffer(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
    DWORD returned = 0;
    if (!::DeviceIoControl(entry, FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer.data(),
                           static_cast<DWORD>(buffer.size()), &returned, nullptr))
        return lastError();
    // Tag, data length, reserved; then substitute-name offset and length, print-name offset and length
    // (bytes into the name buffer), and for a symbolic link a flags word before the name buffer.
    auto u16 = [&](std::size_t at) -> std::size_t {
        return at + 2 <= returned ? static_cast<std::size_t>(buffer[at] | (buffer[at + 1] << 8)) : 0;
    };
    if (returned < 16)
        return FileSystemError::NotAReparsePoint;
    out = ReparseData();
    std::memcpy(&out.tag, buffer.data(), 4);
    if (out.tag != kReparseTagSymlink && out.tag != kReparseTagMountPoint)
        return FileSystemError::Success;
    const std::size_t names = out.tag == kReparseTagSymlink ? 20 : 16;
    if (out.tag == kReparseTagSymlink && returned >= 20)
        out.relative = (buffer[16] & 1) != 0; // SYMLINK_FLAG_RELATIVE
    auto name = [&](std::size_t at, std::wstring& text) {
        const std::size_t offset = u16(at), length = u16(at + 2);
        if (names + offset + length <= returned) {
            text.resize(length / sizeof(wchar_t));
            std::memcpy(&text[0], buffer.data() + names + offset, text.size() * sizeof(wchar_t));
        }
    };
    name(8, out.substitute);
    name(12, out.print);
    return FileSystemError::Success;
}

std::uint32_t removeByHandle(const std::string& path, const char* name, std::size_t nameLength,
                             const std::wstring* dirPath, const EntryInfo* expected) {
    ScopedHandle entry(Wide::createFile(path, DELETE | FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS));
    if (!entry.valid())
        return lastError();
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(entry.get(), &info))
        return lastError();
    if (dirPath != nullptr && reachedThroughLink(*dirPath, name, nameLength, entry.get()))
        return FileSystemError::IsALink;
    // A link goes as the link itself, whatever it leads to; DeleteFileA refuses the rest.
    if (!isReparsePoint(info) && (isDirectory(info) || isReadOnly(info)))
        return FileSystemError::AccessDenied;
    if (expected != nullptr &&
        (expected->volume != info.dwVolumeSerialNumber || expected->fileId != fileId(info)))
        return FileSystemError::EntryChanged;
    return deleteDisposition(entry.get());
}

} // namespace Win32

using namespace Win32;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Never FILE_SHARE_DELETE for a directory in use: nobody may rename or replace it meanwhile.
constexpr DWORD kDirectoryShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kDirectoryAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

} // namespace

DirHandle::DirHandle() = default;
DirHandle::~DirHandle() = default;
DirHandle::DirHandle(const DirHandle&) = default;
DirHandle& DirHandle::operator=(const DirHandle&) = default;
DirHandle::DirHandle(DirHandle&&) noexcept = default;
DirHandle& DirHandle::operator=(DirHandle&&) noexcept = default;

std::uint32_t DirHandle::openRoot(const std::string& path) {
    close();
    if (path.empty() || path.find('\0') != std::string::npos)
        return FileSystemError::PathNotFound;
    // The root comes from the trusted configuration: links on its way are followed.
    ScopedHandle dir(
        Wide::createFile(path, kDirectoryAccess, kDirectoryShare, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS));
    if (!dir.valid())
        return lastError();
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(dir.get(), &info))
        return lastError();
    if (!isDirectory(info))
        return FileSystemError::NotADirectory;
    auto next = std::make_shared<State>();
    next->handle.reset(dir.release());
    next->path = path;
    // "C:\" keeps its separator; "C:\data\" loses it, so names are joined alike everywhere.
    while (next->path.size() > 1 && (next->path.back() == '\\' || next->path.back() == '/') &&
           next->path[next->path.size() - 2] != ':')
        next->path.pop_back();
    state = std::move(next);
    return FileSystemError::Success;
}

std::uint32_t DirHandle::openChild(const DirHandle& parent, const std::string& name) {
    if (!parent.isOpen() || !isPlainName(name))
        return FileSystemError::InvalidParameter;
    std::string path = joinName(parent.state->path, name.c_str(), name.size());
    ScopedHandle dir(Wide::createFile(path, kDirectoryAccess, kDirectoryShare, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT));
    if (!dir.valid())
        return lastError();
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(dir.get(), &info))
        return lastError();
    if (isReparsePoint(info))
        return FileSystemError::IsALink;
    const std::wstring* parentPath = parent.state->linkCheckPath();
    if (parentPath != nullptr && reachedThroughLink(*parentPath, name.c_str(), name.size(), dir.get()))
        return FileSystemError::IsALink;
    if (!isDirectory(info))
        return FileSystemError::NotADirectory;
    auto next = std::make_shared<State>();
    next->handle.reset(dir.release());
    next->path = std::move(path);
    next->parent = parent.state;
    state = std::move(next);
    return FileSystemError::Success;
}

bool DirHandle::isOpen() const {
    return state != nullptr && state->handle.valid();
}

void DirHandle::close() {
    state.reset();
}

const std::string& DirHandle::path() const {
    static const std::string none;
    return state ? state->path : none;
}

std::uint32_t DirHandle::info(EntryInfo& out) const {
    if (!isOpen())
        return FileSystemError::InvalidParameter;
    return describe(state->handle.get(), out);
}

std::uint32_t DirHandle::lookup(const std::string& name, EntryInfo& out) const {
    if (!isOpen() || !isPlainName(name))
        return FileSystemError::InvalidParameter;
    // Attributes only: no share mode of anyone else's stands in the way, nothing is read.
    ScopedHandle entry(Wide::createFile(joinName(state->path, name.c_str(), name.size()),
                                        FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS));
    if (!entry.valid())
        return lastError();
    const std::wstring* dirPath = state->linkCheckPath();
    if (dirPath != nullptr && reachedThroughLink(*dirPath, name.c_str(), name.size(), entry.get())) {
        out = EntryInfo(); // what the handle tells is the target's, not the link's
        out.kind = EntryKind::Link;
        return FileSystemError::Success;
    }
    if (const std::uint32_t error = describe(entry.get(), out)) {
        // GetFileType only here: Wine reads a file to answer it, which refreshes its last access.
        if (::GetFileType(entry.get()) == FILE_TYPE_DISK)
            return error;
        out = EntryInfo(); // a pipe or device has nothing more to tell
    }
    return FileSystemError::Success;
}

std::uint32_t DirHandle::removeFile(const std::string& name, const EntryInfo* expected) const {
    if (!isOpen() || !isPlainName(name))
        return FileSystemError::InvalidParameter;
    return removeByHandle(joinName(state->path, name.c_str(), name.size()), name.c_str(), name.size(),
                          state->linkCheckPath(), expected);
}

std::uint32_t DirHandle::removeDirectory(const std::string& name) const {
    if (!isOpen() || !isPlainName(name))
        return FileSystemError::InvalidParameter;
    ScopedHandle entry(Wide::createFile(joinName(state->path, name.c_str(), name.size()),
                                        DELETE | FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS));
    if (!entry.valid())
        return lastError();
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(entry.get(), &info))
        return lastError();
    const std::wstring* dirPath = state->linkCheckPath();
    if (isReparsePoint(info) ||
        (dirPath != nullptr && reachedThroughLink(*dirPath, name.c_str(), name.size(), entry.get())))
        return FileSystemError::IsALink;
    if (!isDirectory(info))
        return FileSystemError::NotADirectory;
    if (isReadOnly(info))
        return FileSystemError::AccessDenied;
    // Windows and Wine both refuse the disposition of a non-empty directory with ERROR_DIR_NOT_EMPTY.
    return deleteDisposition(entry.get());
}

std::uint32_t DirHandle::rename(const std::string& from, const std::string& to) const {
    if (!isOpen() || !isPlainName(from) || !isPlainName(to))
        return FileSystemError::InvalidParameter;
    const std::string source = joinName(state->path, from.c_str(), from.size());
    if (opensFollowLinks()) {
        // There a link at `from` would carry its target in here: refuse it. A link at `to` is
        // replaced, not written through, on Windows and Wine alike.
        EntryInfo moved;
        if (std::uint32_t error = lookup(from, moved))
            return error;
        if (moved.kind == EntryKind::Link)
            return FileSystemError::IsALink;
    }
    return Wide::moveFile(source, joinName(state->path, to.c_str(), to.size()),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? FileSystemError::Success
               : lastError();
}

std::uint32_t DirHandle::sync() const {
    // MoveFileExA wrote the rename through; a directory has nothing else to flush.
    return isOpen() ? FileSystemError::Success : FileSystemError::InvalidParameter;
}

bool DirHandle::linksTrusted(const EntryInfo&) const {
    return isOpen() && linksTrustedIn(state->handle.get());
}

namespace {

// The Win32 form of a link's target: "\??\C:\x" is "C:\x", "\??\UNC\server\share" is
// "\\server\share", another "\??\" name (a volume GUID) or a device path keeps its NT meaning
// under "\\?\"; a relative symbolic link stays relative to its directory.
std::wstring win32Target(const ReparseData& data) {
    const std::wstring& name = data.substitute;
    if (data.relative)
        return name;
    if (name.compare(0, 8, L"\\??\\UNC\\") == 0)
        return L"\\\\" + name.substr(8);
    if (name.compare(0, 4, L"\\??\\") == 0) {
        const bool drive = name.size() >= 6 && name[5] == L':' && (name.size() == 6 || name[6] == L'\\');
        return drive ? name.substr(4) : L"\\\\?\\" + name.substr(4);
    }
    return L"\\\\?\\GLOBALROOT" + name;
}

// Opens `name` of `dir` itself, never through a link, for what `access` allows.
std::uint32_t openEntry(HANDLE dir, const std::string& name, ACCESS_MASK access, HANDLE& out) {
    return Nt::openRelative(dir, Wide::toWide(name), access | FILE_READ_ATTRIBUTES, Nt::kShareAll, Nt::kOpen,
                            Nt::kOpenReparsePoint | Nt::kBackupIntent | Nt::kSynchronousIo, out);
}

} // namespace

std::uint32_t DirHandle::readLink(const std::string& name, std::string& target) const {
    if (!isOpen() || !isPlainName(name))
        return FileSystemError::InvalidParameter;
    HANDLE opened = INVALID_HANDLE_VALUE;
    if (std::uint32_t error = openEntry(state->handle.get(), name, 0, opened))
        return error;
    ScopedHandle entry(opened);
    ReparseData data;
    std::uint32_t error = readReparse(entry.get(), data);
    const std::wstring* dirPath = state->linkCheckPath();
    if (error == FileSystemError::NotAReparsePoint && dirPath != nullptr &&
        reachedThroughLink(*dirPath, name.c_str(), name.size(), entry.get())) {
        // Wine opened the host link's target: its final path is where the link leads.
        std::vector<wchar_t> path(32768);
        const DWORD length =
            ::GetFinalPathNameByHandleW(entry.get(), path.data(), static_cast<DWORD>(path.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0 || length >= path.size())
            return lastError();
        const std::size_t skip = std::wcsncmp(path.data(), L"\\\\?\\", 4) == 0 ? 4 : 0;
        target = Wide::toNarrow(path.data() + skip, length - skip);
        return FileSystemError::Success;
    }
    if (error != FileSystemError::Success)
        return error;
    if (data.tag != kReparseTagSymlink && data.tag != kReparseTagMountPoint)
        return FileSystemError::NotAReparsePoint; // no link: data deduplication, cloud files and the like
    const std::wstring wide = win32Target(data);
    target = Wide::toNarrow(wide.c_str(), wide.size());
    return FileSystemError::Success;
}

std::uint32_t DirHandle::freeSpace(std::uint64_t& bytes) const {
    return isOpen() ? Nt::freeBytes(state->handle.get(), bytes) : FileSystemError::InvalidParameter;
}

std::uint32_t DirHandle::checkRemovable(const std::string& name) const {
    if (!isOpen() || !isPlainName(name))
        return FileSystemError::InvalidParameter;
    // Whatever else stands in the way (the entry's or the directory's security, a share mode without
    // FILE_SHARE_DELETE) shows when the entry is opened for deletion, which deletes nothing yet.
    HANDLE opened = INVALID_HANDLE_VALUE;
    if (std::uint32_t error = openEntry(state->handle.get(), name, DELETE, opened))
        return error;
    ScopedHandle entry(opened);
    const std::wstring* dirPath = state->linkCheckPath();
    if (dirPath != nullptr && reachedThroughLink(*dirPath, name.c_str(), name.size(), entry.get()))
        return FileSystemError::IsALink;
    EntryInfo info;
    if (std::uint32_t error = Nt::queryEntry(entry.get(), info))
        return error;
    // A link goes as the link itself, whatever its attributes; the read-only attribute keeps the rest.
    return info.kind != EntryKind::Link && info.readOnly ? FileSystemError::AccessDenied
                                                         : FileSystemError::Success;
}

// ---- FileHandle ---------------------------------------------------------------------------------------

struct FileHandle::State {
    ScopedHandle handle;
    // Whether the last access will be as it was before the open: reads through this handle leave it,
    // or it is put back on closing (and that worked).
    bool accessKept = false;
    // The last access to put back on closing, where the system would not leave it alone.
    bool restoreAccess = false;
    FILETIME lastAccess{};
};

FileHandle::FileHandle() = default;

FileHandle::~FileHandle() {
    close();
}

FileHandle::FileHandle(FileHandle&& other) noexcept : state(std::move(other.state)) {}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        close();
        state = std::move(other.state);
    }
    return *this;
}

std::uint32_t FileHandle::openRead(const DirHandle& dir, const std::string& name, bool keepAccessTime) {
    close();
    if (!dir.isOpen() || !isPlainName(name))
        return FileSystemError::InvalidParameter;
    const std::string path = joinName(dir.state->path, name.c_str(), name.size());
    // Others may read and delete the file meanwhile, never write it. No backup semantics: a directory
    // is refused by the open itself (AccessDenied).
    auto open = [&](DWORD access) {
        return Wide::createFile(path, access, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN);
    };
    ScopedHandle file(open(GENERIC_READ | (keepAccessTime ? FILE_WRITE_ATTRIBUTES : 0)));
    // Whoever may read a file but not touch its attributes reads it as usual.
    if (!file.valid() && keepAccessTime && ::GetLastError() == ERROR_ACCESS_DENIED) {
        keepAccessTime = false;
        file.reset(open(GENERIC_READ));
    }
    if (!file.valid())
        return lastError();
    // The stamps first: under Wine GetFileType refreshes the last access.
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = ::GetFileInformationByHandle(file.get(), &info) != FALSE;
    const std::uint32_t infoError = lastError();
    if (::GetFileType(file.get()) != FILE_TYPE_DISK)
        return FileSystemError::NotARegularFile;
    if (!known)
        return infoError;
    const std::wstring* dirPath = dir.state->linkCheckPath();
    if (isReparsePoint(info) ||
        (dirPath != nullptr && reachedThroughLink(*dirPath, name.c_str(), name.size(), file.get())))
        return FileSystemError::IsALink;
    if (isDirectory(info))
        return FileSystemError::AccessDenied;
    auto next = std::make_unique<State>();
    if (keepAccessTime) {
        // All ones: the reads through this handle leave the last access alone. Where that is not
        // honoured (Wine accepts and ignores it) the stamp read now is put back on closing.
        FILETIME keep{0xFFFFFFFF, 0xFFFFFFFF};
        next->restoreAccess =
            !::SetFileTime(file.get(), nullptr, &keep, nullptr) || ignoresAccessTimeFreeze();
        next->lastAccess = info.ftLastAccessTime;
        next->accessKept = true;
    }
    next->handle.reset(file.release());
    state = std::move(next);
    return FileSystemError::Success;
}

std::uint32_t FileHandle::createNew(const DirHandle& dir, const std::string& name, unsigned) {
    close();
    if (!dir.isOpen() || !isPlainName(name))
        return FileSystemError::InvalidParameter;
    // CREATE_NEW fails on any entry of that name, a link or a dangling link included.
    ScopedHandle file(Wide::createFile(joinName(dir.state->path, name.c_str(), name.size()),
                                       GENERIC_WRITE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT));
    if (!file.valid()) {
        const std::uint32_t error = lastError();
        return error == ERROR_FILE_EXISTS ? FileSystemError::AlreadyExists : error;
    }
    state = std::make_unique<State>();
    state->handle.reset(file.release());
    return FileSystemError::Success;
}

bool FileHandle::isOpen() const {
    return state != nullptr && state->handle.valid();
}

std::uint32_t FileHandle::read(char* buffer, std::size_t size, std::size_t& got) {
    got = 0;
    if (!isOpen())
        return FileSystemError::InvalidParameter;
    DWORD count = 0;
    const DWORD ask = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    if (!::ReadFile(state->handle.get(), buffer, ask, &count, nullptr))
        return lastError();
    got = count;
    return FileSystemError::Success;
}

std::uint32_t FileHandle::write(const char* data, std::size_t size) {
    if (!isOpen())
        return FileSystemError::InvalidParameter;
    while (size > 0) {
        DWORD count = 0;
        const DWORD ask = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        if (!::WriteFile(state->handle.get(), data, ask, &count, nullptr))
            return lastError();
        if (count == 0)
            return ERROR_WRITE_FAULT;
        data += count;
        size -= count;
    }
    return FileSystemError::Success;
}

std::uint32_t FileHandle::sync() {
    if (!isOpen())
        return FileSystemError::InvalidParameter;
    return ::FlushFileBuffers(state->handle.get()) ? FileSystemError::Success : lastError();
}

std::uint32_t FileHandle::info(EntryInfo& out) const {
    if (!isOpen())
        return FileSystemError::InvalidParameter;
    return describe(state->handle.get(), out);
}

std::uint32_t FileHandle::checkRemovable(const DirHandle& dir, const std::string& name) const {
    if (!isOpen() || !dir.isOpen() || !isPlainName(name))
        return FileSystemError::InvalidParameter;
    EntryInfo self;
    if (std::uint32_t error = info(self))
        return error;
    if (self.readOnly)
        return FileSystemError::AccessDenied;
    // Whatever else stands in the way (the file's or the directory's security, a share mode without
    // FILE_SHARE_DELETE) shows when the entry is opened for deletion, which deletes nothing yet.
    ScopedHandle entry(Wide::createFile(joinName(dir.state->path, name.c_str(), name.size()),
                                        DELETE | FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS));
    if (!entry.valid())
        return lastError();
    BY_HANDLE_FILE_INFORMATION now;
    if (!::GetFileInformationByHandle(entry.get(), &now))
        return lastError();
    const std::wstring* dirPath = dir.state->linkCheckPath();
    if (dirPath != nullptr && reachedThroughLink(*dirPath, name.c_str(), name.size(), entry.get()))
        return FileSystemError::IsALink;
    return self.volume == now.dwVolumeSerialNumber && self.fileId == fileId(now)
               ? FileSystemError::Success
               : FileSystemError::EntryChanged;
}

bool FileHandle::accessTimeKept() const {
    return state != nullptr && state->accessKept;
}

std::uint32_t FileHandle::adoptSecurityOf(const FileHandle& model) {
    if (!isOpen() || !model.isOpen())
        return FileSystemError::InvalidParameter;
    return copySecurity(model.state->handle.get(), state->handle.get());
}

std::uint32_t FileHandle::adoptOwnerOf(const DirHandle& dir) {
    // A new file inherits the directory's ACL as it is created: nothing to do.
    return isOpen() && dir.isOpen() ? FileSystemError::Success : FileSystemError::InvalidParameter;
}

std::uint32_t FileHandle::close() {
    // The state stays, for accessTimeKept to answer for the last open.
    if (!state || !state->handle.valid())
        return FileSystemError::Success;
    if (state->restoreAccess && !::SetFileTime(state->handle.get(), nullptr, &state->lastAccess, nullptr))
        state->accessKept = false;
    return ::CloseHandle(state->handle.release()) ? FileSystemError::Success : lastError();
}

} // namespace VeltorPlatform
