// Windows' openat: every entry below a root is opened with NtCreateFile relative to the handle of the
// directory that holds it (OBJECT_ATTRIBUTES.RootDirectory) and FILE_OPEN_REPARSE_POINT, judged on its
// own handle, and removed or renamed through that handle (delete disposition, rename with the directory
// handle as the new name's root). No path is built below a root except for messages, so there is no
// MAX_PATH limit there. Directories are opened with read, write and delete sharing: others may rename
// or remove a directory while a run works in it, and the run stays on the object it opened.
//
// What Wine (8.0) makes of these calls (the links are the host's symbolic links: Wine cannot create
// reparse points of its own, CreateSymbolicLinkA reports success and creates nothing):
// - NtCreateFile relative to a directory handle works, also after that directory was renamed or moved
//   by someone else (the host's openat on the directory's descriptor); FILE_DIRECTORY_FILE and
//   FILE_NON_DIRECTORY_FILE give STATUS_NOT_A_DIRECTORY and STATUS_FILE_IS_A_DIRECTORY as on Windows,
//   FILE_CREATE over an entry or a dangling link STATUS_OBJECT_NAME_COLLISION, an empty name reopens
//   the directory itself. Names deeper than 260 characters below the root open and list alike.
// - FILE_OPEN_REPARSE_POINT is not honoured: the handle is the link's target's, and nothing on it
//   (attributes, FileAttributeTagInformation, FSCTL_GET_REPARSE_POINT: ERROR_NOT_A_REPARSE_POINT)
//   shows a link; a delete disposition or a rename through it would act on the target. Only the name
//   Wine gives the open object (FileNameInformation) is the resolved one, so where opensFollowLinks()
//   each entry's handle name is compared with the directory's name + the entry's and a mismatch is
//   refused as a link. Wine forms that name from the path the directory had when it was opened: in a
//   directory renamed since, it cannot name the entries (STATUS_OBJECT_TYPE_MISMATCH, also for
//   FileAllInformation), so there they all count as links and are left alone. That is also what keeps
//   Wine from losing a removal there: its delete disposition acts on the stale name on closing.
// - Listings through the handle (NtQueryDirectoryFile, FileIdFullDirectoryInformation, whose file id
//   is the one a handle of the entry tells) mark a link to a
//   directory as ReparsePoint + Directory and a link to a file as a plain file; a dangling link is not
//   listed and not found by name.
// - FileDispositionInformationEx (the POSIX delete): STATUS_NOT_IMPLEMENTED; the classic
//   FileDispositionInformation serves. FileRenameInformation honours RootDirectory. A disposition
//   on a non-empty directory fails at once with STATUS_DIRECTORY_NOT_EMPTY, on a read-only file with
//   STATUS_CANNOT_DELETE, as on Windows.
// - NtQueryVolumeInformationFile answers FileFsVolumeInformation and FileFsFullSizeInformation for the
//   host file system; FileAllInformation with a short buffer gives STATUS_BUFFER_OVERFLOW and the
//   fixed part, as Windows does.
// - Share modes hold between Wine processes only; host processes are not bound by them.
// - SetFileTime with 0xFFFFFFFF (keep the last access through this handle) is accepted and ignored;
//   the last access is therefore put back before the handle closes.
// - A FIFO or device of the host opens without blocking, is a FILE_TYPE_PIPE or FILE_TYPE_CHAR, and
//   has no file information (STATUS_INVALID_INFO_CLASS); a socket does not open at all.
// - GetFileType on a regular file refreshes its last access (relatime permitting): it is asked only
//   where the file information is not enough, and after the stamps were read.
#include "NtCalls.h"
#include "Security.h"
#include "WideCalls.h"
#include "Win32Files.h"
#include "platform/FileSystem.h"

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

bool reachedThroughLink(const std::wstring& dirPath, const std::wstring& name, HANDLE entry) {
    // Unknown names count as links: what cannot be shown to be in place is not touched.
    if (dirPath.empty() || name.empty())
        return true;
    std::wstring expected = dirPath;
    if (expected.back() != L'\\')
        expected += L'\\';
    expected += name;
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

} // namespace Win32

using namespace Win32;

namespace {

// Opens the entry `name` of the open directory `dir` itself, never through a link (a link's own
// handle; see opensFollowLinks for where that does not hold), for synchronous I/O.
std::uint32_t openIn(HANDLE dir, const std::wstring& name, ACCESS_MASK access, ULONG share, ULONG disposition,
                     ULONG options, ScopedHandle& out) {
    HANDLE opened = INVALID_HANDLE_VALUE;
    const std::uint32_t error = Nt::openRelative(
        dir, name, access, share, disposition, options | Nt::kOpenReparsePoint | Nt::kSynchronousIo, opened);
    out.reset(opened);
    return error;
}

// What a directory handle is opened for: listing, reading attributes and opening entries below it.
constexpr ACCESS_MASK kDirectoryAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

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

} // namespace

std::uint32_t DirHandle::State::openEntry(const std::string& name, ACCESS_MASK access, ULONG share,
                                          ULONG options, unsigned checks, OpenedEntry& out,
                                          ULONG disposition) const {
    const std::wstring wide = Wide::toWide(name);
    if (std::uint32_t error = openIn(handle.get(), wide, access, share, disposition, options, out.handle))
        return error;
    const HANDLE entry = out.handle.get();
    auto throughLink = [&] {
        const std::wstring* dirPath = linkCheckPath();
        return dirPath != nullptr && reachedThroughLink(*dirPath, wide, entry);
    };
    if ((checks & Check::kRegularFile) == Check::kRegularFile) {
        // The stamps first: under Wine GetFileType refreshes the last access. A pipe or a device has no
        // status to read: it is told as what it is.
        out.lastAccessRead = ::GetFileTime(entry, nullptr, &out.lastAccess, nullptr) != FALSE;
        const std::uint32_t statusError = Nt::queryEntry(entry, out.info);
        if (::GetFileType(entry) != FILE_TYPE_DISK)
            return FileSystemError::NotARegularFile;
        if (statusError != FileSystemError::Success)
            return statusError;
        out.throughLink = throughLink();
        return out.info.kind == EntryKind::Link || out.throughLink ? FileSystemError::IsALink
                                                                   : FileSystemError::Success;
    }
    if ((checks & (Check::kTellLink | Check::kNotThroughLink)) != 0)
        out.throughLink = throughLink();
    if ((checks & Check::kNotThroughLink) != 0 && out.throughLink)
        return FileSystemError::IsALink;
    if ((checks & Check::kStatus) != 0) {
        if (std::uint32_t error = Nt::queryEntry(entry, out.info))
            return error;
    }
    return (checks & Check::kNotALink) != 0 && out.info.kind == EntryKind::Link ? FileSystemError::IsALink
                                                                                : FileSystemError::Success;
}

std::uint32_t DirHandle::State::openForDeletion(const std::string& name, OpenedEntry& out) const {
    return openEntry(name, DELETE | FILE_READ_ATTRIBUTES, Nt::kShareAll, Nt::kBackupIntent,
                     Check::kNotThroughLink | Check::kStatus, out);
}

std::uint32_t DirHandle::State::openForAttributes(const std::string& name, OpenedEntry& out) const {
    return openEntry(name, FILE_READ_ATTRIBUTES, Nt::kShareAll, Nt::kBackupIntent, Check::kTellLink, out);
}

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
        Wide::createFile(path, kDirectoryAccess, Nt::kShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS));
    if (!dir.valid())
        return lastError();
    EntryInfo info;
    if (std::uint32_t error = Nt::queryEntry(dir.get(), info))
        return error;
    if (info.kind != EntryKind::Directory)
        return FileSystemError::NotADirectory;
    auto next = std::make_shared<State>();
    if (std::uint32_t error = Nt::volumeSerial(dir.get(), next->volume))
        return error;
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
    OpenedEntry dir;
    const std::uint32_t error =
        parent.state->openEntry(name, kDirectoryAccess, Nt::kShareAll, Nt::kDirectoryFile | Nt::kBackupIntent,
                                Check::kStatus | Check::kNotThroughLink | Check::kNotALink, dir);
    if (error == FileSystemError::NotADirectory) { // a link to a file is a link all the same
        EntryInfo info;
        return parent.lookup(name, info) == FileSystemError::Success && info.kind == EntryKind::Link
                   ? FileSystemError::IsALink
                   : error;
    }
    if (error != FileSystemError::Success)
        return error;
    auto next = std::make_shared<State>();
    next->handle.reset(dir.handle.release());
    next->path = joinName(parent.state->path, name.c_str(), name.size());
    next->volume = parent.state->volume; // a reparse point is never entered: the same volume
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
    out.volume = state->volume;
    return Nt::queryEntry(state->handle.get(), out);
}

std::uint32_t DirHandle::lookup(const std::string& name, EntryInfo& out) const {
    if (!isOpen() || !isPlainName(name))
        return FileSystemError::InvalidParameter;
    OpenedEntry entry;
    if (std::uint32_t error = state->openForAttributes(name, entry))
        return error;
    out = EntryInfo();
    if (entry.throughLink) {
        out.kind = EntryKind::Link; // what the handle tells is the target's, not the link's
    } else {
        if (const std::uint32_t error = Nt::queryEntry(entry.handle.get(), out)) {
            // GetFileType only here: Wine reads a file to answer it, which refreshes its last access.
            if (::GetFileType(entry.handle.get()) == FILE_TYPE_DISK)
                return error;
            out = EntryInfo(); // a pipe or device has nothing more to tell
        }
        out.volume = state->volume;
    }
    out.flagsKnown = true; // Windows has no flag that keeps an entry from being removed
    return FileSystemError::Success;
}

std::uint32_t DirHandle::removeFile(const std::string& name, const EntryInfo* expected) const {
    if (!isOpen() || !isPlainName(name))
        return FileSystemError::InvalidParameter;
    OpenedEntry entry;
    if (std::uint32_t error = state->openForDeletion(name, entry))
        return error;
    const EntryInfo& info = entry.info;
    // A link goes as the link itself, whatever it leads to; DeleteFileW refuses the rest.
    if (info.kind != EntryKind::Link && (info.kind == EntryKind::Directory || info.readOnly))
        return FileSystemError::AccessDenied;
    // An entry listed by a file system that lists no file ids (fileId 0) is judged on what its own
    // handle tells, as any entry without `expected`.
    if (expected != nullptr &&
        (expected->volume != state->volume || (expected->fileId != 0 && expected->fileId != info.fileId)))
        return FileSystemError::EntryChanged;
    return Nt::deleteOnClose(entry.handle.get());
}

std::uint32_t DirHandle::removeJudged(const std::string& name, const EntryInfo& judged) const {
    // The entry is opened and judged on its own handle anyway.
    return removeFile(name, &judged);
}

std::uint32_t DirHandle::removeDirectory(const std::string& name) const {
    if (!isOpen() || !isPlainName(name))
        return FileSystemError::InvalidParameter;
    OpenedEntry entry;
    if (std::uint32_t error = state->openForDeletion(name, entry))
        return error;
    const EntryInfo& info = entry.info;
    if (info.kind == EntryKind::Link)
        return FileSystemError::IsALink;
    if (info.kind != EntryKind::Directory)
        return FileSystemError::NotADirectory;
    if (info.readOnly)
        return FileSystemError::AccessDenied;
    // Windows and Wine both refuse the disposition of a non-empty directory with ERROR_DIR_NOT_EMPTY.
    return Nt::deleteOnClose(entry.handle.get());
}

std::uint32_t DirHandle::rename(const std::string& from, const std::string& to) const {
    if (!isOpen() || !isPlainName(from) || !isPlainName(to))
        return FileSystemError::InvalidParameter;
    // A link at `from` moves as the link itself; one at `to` is replaced, never written through. Write
    // through, as MoveFileEx's MOVEFILE_WRITE_THROUGH opens its source. Where the open followed a link,
    // the rename would carry its target in here: refused.
    OpenedEntry entry;
    if (std::uint32_t error =
            state->openEntry(from, DELETE | FILE_READ_ATTRIBUTES, Nt::kShareAll,
                             Nt::kBackupIntent | Nt::kWriteThrough, Check::kNotThroughLink, entry))
        return error;
    return Nt::renameTo(entry.handle.get(), state->handle.get(), Wide::toWide(to));
}

std::uint32_t DirHandle::sync() const {
    // The rename was written through; a directory has nothing else to flush.
    return isOpen() ? FileSystemError::Success : FileSystemError::InvalidParameter;
}

bool DirHandle::linksTrusted(const EntryInfo&) const {
    return isOpen() && linksTrustedIn(state->handle.get());
}

bool DirHandle::writersTrusted(const EntryInfo*) const {
    return isOpen() && linksTrustedIn(state->handle.get());
}

std::uint32_t DirHandle::readLink(const std::string& name, std::string& target, bool,
                                  bool* accessTimeKept) const {
    // A reparse point's data are read through a handle opened for its attributes: no stamp moves.
    if (accessTimeKept != nullptr)
        *accessTimeKept = true;
    if (!isOpen() || !isPlainName(name))
        return FileSystemError::InvalidParameter;
    OpenedEntry entry;
    if (std::uint32_t error = state->openForAttributes(name, entry))
        return error;
    ReparseData data;
    const std::uint32_t error = readReparse(entry.handle.get(), data);
    if (error == FileSystemError::NotAReparsePoint && entry.throughLink) {
        // Wine opened the host link's target: its final path is where the link leads.
        std::vector<wchar_t> path(32768);
        const DWORD length =
            ::GetFinalPathNameByHandleW(entry.handle.get(), path.data(), static_cast<DWORD>(path.size()),
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
    const std::wstring wideTarget = win32Target(data);
    target = Wide::toNarrow(wideTarget.c_str(), wideTarget.size());
    return FileSystemError::Success;
}

std::uint32_t DirHandle::freeSpace(std::uint64_t& bytes) const {
    return isOpen() ? Nt::freeBytes(state->handle.get(), bytes) : FileSystemError::InvalidParameter;
}

std::uint32_t DirHandle::removable(const std::string& name, const EntryInfo& judged) const {
    if (!isOpen() || !isPlainName(name))
        return FileSystemError::InvalidParameter;
    // A link goes as the link itself, whatever its attributes; the read-only attribute keeps the rest.
    auto readOnly = [](const EntryInfo& info) { return info.kind != EntryKind::Link && info.readOnly; };
    if (readOnly(judged))
        return FileSystemError::AccessDenied;
    OpenedEntry entry;
    if (std::uint32_t error = state->openForDeletion(name, entry))
        return error;
    return readOnly(entry.info) ? FileSystemError::AccessDenied : FileSystemError::Success;
}

// ---- FileHandle ---------------------------------------------------------------------------------------

struct FileHandle::State {
    ScopedHandle handle;
    std::uint64_t volume = 0; // the directory's: the file's identity is its volume and file id
    // Whether the last access will be as it was before the open: reads through this handle leave it,
    // or it is put back on closing (and that worked).
    bool accessKept = false;
    // The last access to put back on closing, where the system would not leave it alone.
    bool restoreAccess = false;
    FILETIME lastAccess{};

    // Opens the regular file `name` of `dir` to read it with `access` (GENERIC_READ and more) and
    // `share`, keeping its last access where asked and allowed.
    std::uint32_t openToRead(const DirHandle::State& dir, const std::string& name, ACCESS_MASK access,
                             ULONG share, bool keepAccessTime);
    // Takes the file the directory `dir` has just opened.
    void take(OpenedEntry& file, const DirHandle::State& dir) {
        handle.reset(file.handle.release());
        volume = dir.volume;
    }
};

std::uint32_t FileHandle::State::openToRead(const DirHandle::State& dir, const std::string& name,
                                            ACCESS_MASK access, ULONG share, bool keepAccessTime) {
    // A directory is refused by the open itself (STATUS_FILE_IS_A_DIRECTORY: AccessDenied).
    OpenedEntry file;
    auto open = [&](ACCESS_MASK more) {
        return dir.openEntry(name, access | more, share, Nt::kNonDirectoryFile | Nt::kSequentialOnly,
                             Check::kRegularFile, file);
    };
    std::uint32_t error = open(keepAccessTime ? FILE_WRITE_ATTRIBUTES : 0);
    // Whoever may read a file but not touch its attributes reads it as usual.
    if (error == FileSystemError::AccessDenied && keepAccessTime) {
        keepAccessTime = false;
        error = open(0);
    }
    if (error != FileSystemError::Success)
        return error;
    if (keepAccessTime && file.lastAccessRead) {
        // All ones: the reads through this handle leave the last access alone. Where that is not
        // honoured (Wine accepts and ignores it) the stamp read first is put back on closing.
        FILETIME keep{0xFFFFFFFF, 0xFFFFFFFF};
        lastAccess = file.lastAccess;
        restoreAccess =
            !::SetFileTime(file.handle.get(), nullptr, &keep, nullptr) || ignoresAccessTimeFreeze();
        accessKept = true;
    }
    take(file, dir);
    return FileSystemError::Success;
}

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
    // Others may read and delete the file meanwhile, never write it.
    auto next = std::make_unique<State>();
    if (std::uint32_t error = next->openToRead(*dir.state, name, GENERIC_READ,
                                               FILE_SHARE_READ | FILE_SHARE_DELETE, keepAccessTime))
        return error;
    state = std::move(next);
    return FileSystemError::Success;
}

std::uint32_t FileHandle::openExclusive(const DirHandle& dir, const std::string& name, bool keepAccessTime) {
    close();
    if (!dir.isOpen() || !isPlainName(name))
        return FileSystemError::InvalidParameter;
    // No sharing at all: the open fails while anyone else has the file open, and nobody else can open
    // it, rename it or remove it while this handle holds it. DELETE for removeHeld.
    auto next = std::make_unique<State>();
    if (std::uint32_t error = next->openToRead(*dir.state, name, GENERIC_READ | DELETE | FILE_READ_ATTRIBUTES,
                                               0, keepAccessTime))
        return error;
    state = std::move(next);
    return FileSystemError::Success;
}

std::uint32_t FileHandle::removeHeld(const DirHandle& dir, const std::string& name) {
    if (!isOpen())
        return FileSystemError::InvalidParameter;
    // Held without sharing, the file keeps its name; `name` must be that name in that directory. An
    // open for its attributes only is not bound by our share mode.
    EntryInfo held, named;
    if (std::uint32_t error = info(held))
        return error;
    if (std::uint32_t error = dir.lookup(name, named))
        return error;
    if (named.kind == EntryKind::Link || !named.sameEntryAs(held))
        return FileSystemError::EntryChanged;
    // The name goes when this handle is closed; until then nobody else can open the file.
    return Nt::deleteOnClose(state->handle.get());
}

std::uint32_t FileHandle::releaseExclusive() {
    // Nobody could open the file while it was held: nothing waits for it.
    return isOpen() ? FileSystemError::Success : FileSystemError::InvalidParameter;
}

bool FileHandle::openedByOthers() const {
    return false; // nobody can open the file while openExclusive's handle holds it
}

std::uint32_t FileHandle::openAppend(const DirHandle& dir, const std::string& name) {
    close();
    if (!dir.isOpen() || !isPlainName(name))
        return FileSystemError::InvalidParameter;
    // Others may read the log while a run writes it. A directory is refused by the open itself.
    OpenedEntry file;
    if (std::uint32_t error = dir.state->openEntry(name, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                                   FILE_SHARE_READ | FILE_SHARE_DELETE, Nt::kNonDirectoryFile,
                                                   Check::kRegularFile, file))
        return error;
    state = std::make_unique<State>();
    state->take(file, *dir.state);
    return FileSystemError::Success;
}

std::uint32_t FileHandle::createNew(const DirHandle& dir, const std::string& name, unsigned, bool append) {
    close();
    if (!dir.isOpen() || !isPlainName(name))
        return FileSystemError::InvalidParameter;
    // FILE_CREATE fails on any entry of that name, a link or a dangling link included (AlreadyExists):
    // what it makes is nobody's link, nothing to check.
    OpenedEntry file;
    if (std::uint32_t error =
            dir.state->openEntry(name, (append ? FILE_APPEND_DATA : GENERIC_WRITE) | FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ, Nt::kNonDirectoryFile, 0, file, Nt::kCreate))
        return error;
    state = std::make_unique<State>();
    state->take(file, *dir.state);
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
    out.volume = state->volume;
    return Nt::queryEntry(state->handle.get(), out);
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
