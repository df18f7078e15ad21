#include "NtCalls.h"

#include "Win32Files.h"

#include <atomic>
#include <cstddef>
#include <cstring>
#include <type_traits>

namespace VeltorPlatform {
namespace Nt {

namespace {

using CreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                      PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using QueryInformationFn = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG);
using QueryDirectoryFn = NTSTATUS(NTAPI*)(HANDLE, HANDLE, PIO_APC_ROUTINE, PVOID, PIO_STATUS_BLOCK, PVOID,
                                          ULONG, ULONG, BOOLEAN, PUNICODE_STRING, BOOLEAN);
using StatusToErrorFn = ULONG(NTAPI*)(NTSTATUS);

// The entry points, found once; every Windows since NT 4 and Wine export them.
struct Entries {
    CreateFileFn createFile = nullptr;
    QueryInformationFn queryInformation = nullptr;
    QueryInformationFn setInformation = nullptr;
    QueryInformationFn queryVolume = nullptr;
    QueryDirectoryFn queryDirectory = nullptr;
    StatusToErrorFn statusToError = nullptr;

    Entries() {
        HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
        if (ntdll == nullptr)
            return;
        auto find = [&](auto& entry, const char* name) {
            entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(
                reinterpret_cast<void*>(::GetProcAddress(ntdll, name)));
        };
        find(createFile, "NtCreateFile");
        find(queryInformation, "NtQueryInformationFile");
        find(setInformation, "NtSetInformationFile");
        find(queryVolume, "NtQueryVolumeInformationFile");
        find(queryDirectory, "NtQueryDirectoryFile");
        find(statusToError, "RtlNtStatusToDosError");
    }
};

const Entries& nt() {
    static const Entries entries;
    return entries;
}

constexpr std::uint32_t kNotImplemented = ERROR_CALL_NOT_IMPLEMENTED;
constexpr NTSTATUS kBufferOverflow = static_cast<NTSTATUS>(0x80000005);
constexpr NTSTATUS kNoMoreFiles = static_cast<NTSTATUS>(0x80000006);
constexpr NTSTATUS kNoSuchFile = static_cast<NTSTATUS>(0xC000000F);
// What a system or a file system without the POSIX form of delete answers to it.
constexpr NTSTATUS kStatusNotImplemented = static_cast<NTSTATUS>(0xC0000002);
constexpr NTSTATUS kInvalidInfoClass = static_cast<NTSTATUS>(0xC0000003);
constexpr NTSTATUS kInvalidParameter = static_cast<NTSTATUS>(0xC000000D);
constexpr NTSTATUS kNotSupported = static_cast<NTSTATUS>(0xC00000BB);

// Information classes of NtQueryInformationFile and NtQueryVolumeInformationFile.
constexpr ULONG kFileBasicInformation = 4;
constexpr ULONG kFileStandardInformation = 5;
constexpr ULONG kFileInternalInformation = 6;
constexpr ULONG kFileFullDirectoryInformation = 2;
constexpr ULONG kFileIdFullDirectoryInformation = 38;

// FILE_ID_FULL_DIR_INFORMATION, which older Win32 headers lack: FILE_FULL_DIR_INFORMATION with the
// file id before the name.
struct IdFullDirInformation {
    ULONG NextEntryOffset;
    ULONG FileIndex;
    LARGE_INTEGER CreationTime;
    LARGE_INTEGER LastAccessTime;
    LARGE_INTEGER LastWriteTime;
    LARGE_INTEGER ChangeTime;
    LARGE_INTEGER EndOfFile;
    LARGE_INTEGER AllocationSize;
    ULONG FileAttributes;
    ULONG FileNameLength;
    ULONG EaSize;
    LARGE_INTEGER FileId;
    WCHAR FileName[1];
};
constexpr ULONG kFileRenameInformation = 10;
constexpr ULONG kFileDispositionInformation = 13;
constexpr ULONG kFileAllInformation = 18;
constexpr ULONG kFileDispositionInformationEx = 64;
constexpr ULONG kFsVolumeInformation = 1;
constexpr ULONG kFsFullSizeInformation = 7;

void fill(EntryInfo& out, const FILE_BASIC_INFORMATION& basic, const FILE_STANDARD_INFORMATION& standard,
          const FILE_INTERNAL_INFORMATION& internal) {
    const ULONG attributes = basic.FileAttributes;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        out.kind = EntryKind::Link;
    else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        out.kind = EntryKind::Directory;
    else
        out.kind = EntryKind::File;
    out.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    out.sparse = (attributes & FILE_ATTRIBUTE_SPARSE_FILE) != 0;
    out.lastWriteMs = Win32::toMs(basic.LastWriteTime);
    out.lastAccessMs = Win32::toMs(basic.LastAccessTime);
    out.changeMs = Win32::toMs(basic.ChangeTime);
    out.size = out.kind == EntryKind::File ? static_cast<std::uint64_t>(standard.EndOfFile.QuadPart) : 0;
    out.allocated = static_cast<std::uint64_t>(standard.AllocationSize.QuadPart);
    out.fileId = static_cast<std::uint64_t>(internal.IndexNumber.QuadPart);
    out.linkCount = standard.NumberOfLinks;
    out.posixMode = 0;
    out.ownerId = 0;
    out.groupId = 0;
    // Windows has no flag that keeps an entry from being removed: known, never set.
    out.undeletable = false;
    out.flagsKnown = true;
}

} // namespace

std::uint32_t openRelative(HANDLE dir, const std::wstring& name, ACCESS_MASK access, ULONG share,
                           ULONG disposition, ULONG options, HANDLE& out) {
    out = INVALID_HANDLE_VALUE;
    if (nt().createFile == nullptr)
        return kNotImplemented;
    if (name.size() > 32767)
        return ERROR_FILENAME_EXCED_RANGE;
    UNICODE_STRING text;
    text.Buffer = const_cast<wchar_t*>(name.c_str());
    text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, dir, nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE handle = nullptr;
    const NTSTATUS status = nt().createFile(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr,
                                            FILE_ATTRIBUTE_NORMAL, share, disposition, options, nullptr, 0);
    if (status < 0)
        return Win32::fromStatus(status);
    out = handle;
    return 0;
}

std::uint32_t queryEntry(HANDLE handle, EntryInfo& out) {
    if (nt().queryInformation == nullptr)
        return kNotImplemented;
    // The fixed part and a short name; a longer name only overflows, the rest is filled all the same.
    union {
        FILE_ALL_INFORMATION all;
        unsigned char room[sizeof(FILE_ALL_INFORMATION) + 256];
    } buffer;
    IO_STATUS_BLOCK io{};
    NTSTATUS status = nt().queryInformation(handle, &io, &buffer, sizeof buffer, kFileAllInformation);
    if (status >= 0 || status == kBufferOverflow) {
        fill(out, buffer.all.BasicInformation, buffer.all.StandardInformation,
             buffer.all.InternalInformation);
        return 0;
    }
    // Wine cannot name a file opened in a directory renamed since it was opened and fails the whole
    // class; the parts without the name still answer.
    FILE_BASIC_INFORMATION basic;
    FILE_STANDARD_INFORMATION standard;
    FILE_INTERNAL_INFORMATION internal;
    if ((status = nt().queryInformation(handle, &io, &basic, sizeof basic, kFileBasicInformation)) < 0 ||
        (status = nt().queryInformation(handle, &io, &standard, sizeof standard, kFileStandardInformation)) <
            0 ||
        (status = nt().queryInformation(handle, &io, &internal, sizeof internal, kFileInternalInformation)) <
            0)
        return Win32::fromStatus(status);
    fill(out, basic, standard, internal);
    return 0;
}

std::uint32_t volumeSerial(HANDLE handle, std::uint64_t& serial) {
    if (nt().queryVolume == nullptr)
        return kNotImplemented;
    union {
        FILE_FS_VOLUME_INFORMATION volume;
        unsigned char room[sizeof(FILE_FS_VOLUME_INFORMATION) + 64 * sizeof(wchar_t)];
    } buffer;
    IO_STATUS_BLOCK io{};
    const NTSTATUS status = nt().queryVolume(handle, &io, &buffer, sizeof buffer, kFsVolumeInformation);
    if (status < 0 && status != kBufferOverflow) // a long label only overflows
        return Win32::fromStatus(status);
    serial = buffer.volume.VolumeSerialNumber;
    return 0;
}

std::uint32_t freeBytes(HANDLE handle, std::uint64_t& bytes) {
    if (nt().queryVolume == nullptr)
        return kNotImplemented;
    FILE_FS_FULL_SIZE_INFORMATION size{};
    IO_STATUS_BLOCK io{};
    const NTSTATUS status = nt().queryVolume(handle, &io, &size, sizeof size, kFsFullSizeInformation);
    if (status < 0)
        return Win32::fromStatus(status);
    bytes = static_cast<std::uint64_t>(size.CallerAvailableAllocationUnits.QuadPart) *
            size.SectorsPerAllocationUnit * size.BytesPerSector;
    return 0;
}

std::uint32_t deleteOnClose(HANDLE entry) {
    if (nt().setInformation == nullptr)
        return kNotImplemented;
    // Systems before Windows 10 (1607) and Wine answer the POSIX form with an unknown class, once and
    // for all; FAT and network file systems refuse it per volume. The classic form serves them.
    static std::atomic<bool> posixUnknown{false};
    IO_STATUS_BLOCK io{};
    if (!posixUnknown) {
        ULONG flags = 0x1 | 0x2; // FILE_DISPOSITION_DELETE | FILE_DISPOSITION_POSIX_SEMANTICS
        const NTSTATUS status =
            nt().setInformation(entry, &io, &flags, sizeof flags, kFileDispositionInformationEx);
        if (status >= 0)
            return 0;
        if (status == kStatusNotImplemented || status == kInvalidInfoClass)
            posixUnknown = true;
        else if (status != kInvalidParameter && status != kNotSupported)
            return Win32::fromStatus(status);
    }
    BOOLEAN classic = TRUE;
    return Win32::fromStatus(
        nt().setInformation(entry, &io, &classic, sizeof classic, kFileDispositionInformation));
}

std::uint32_t renameTo(HANDLE entry, HANDLE dir, const std::wstring& name) {
    if (nt().setInformation == nullptr)
        return kNotImplemented;
    const std::size_t nameOffset = offsetof(FILE_RENAME_INFORMATION, FileName);
    const std::size_t bytes = name.size() * sizeof(wchar_t);
    if (bytes > 65534)
        return ERROR_FILENAME_EXCED_RANGE;
    std::vector<unsigned char> buffer(nameOffset + bytes + sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = dir;
    rename->FileNameLength = static_cast<ULONG>(bytes);
    std::memcpy(rename->FileName, name.data(), bytes);
    IO_STATUS_BLOCK io{};
    return Win32::fromStatus(nt().setInformation(entry, &io, buffer.data(), static_cast<ULONG>(buffer.size()),
                                                 kFileRenameInformation));
}

std::uint32_t DirectoryReader::open(HANDLE dir) {
    close();
    if (nt().queryDirectory == nullptr)
        return kNotImplemented;
    HANDLE own = INVALID_HANDLE_VALUE;
    if (std::uint32_t error = openRelative(dir, std::wstring(), FILE_LIST_DIRECTORY, kShareAll, kOpen,
                                           kDirectoryFile | kSynchronousIo | kBackupIntent, own))
        return error;
    handle = own;
    buffer.resize(64 * 1024);
    return 0;
}

std::uint32_t DirectoryReader::next(ListedEntry& entry) {
    constexpr std::uint32_t kNoMoreItems = 259;
    if (handle == INVALID_HANDLE_VALUE)
        return kNoMoreItems;
    if (!pending) {
        IO_STATUS_BLOCK io{};
        auto query = [&] {
            return nt().queryDirectory(
                handle, nullptr, nullptr, nullptr, &io, buffer.data(), static_cast<ULONG>(buffer.size()),
                withIds ? kFileIdFullDirectoryInformation : kFileFullDirectoryInformation, FALSE, nullptr,
                first ? TRUE : FALSE);
        };
        NTSTATUS status = query();
        // A file system that does not list file ids: the class without them, from the start.
        if (first && withIds &&
            (status == kInvalidInfoClass || status == kInvalidParameter || status == kNotSupported)) {
            withIds = false;
            status = query();
        }
        // An empty volume root has no "." and "..": its first answer is that nothing matched.
        if (status == kNoMoreFiles || (first && status == kNoSuchFile) ||
            (status >= 0 && io.Information == 0)) {
            close(); // the listing is done: the handle goes now
            return kNoMoreItems;
        }
        first = false;
        if (status < 0)
            return Win32::fromStatus(status);
        offset = 0;
        pending = true;
    }
    // Both information classes share their layout up to the name; only the first carries the file id.
    auto fill = [&](const auto* info, std::uint64_t fileId) {
        entry.name = info->FileName;
        entry.nameLength = info->FileNameLength / sizeof(wchar_t);
        entry.attributes = info->FileAttributes;
        entry.lastWrite = info->LastWriteTime;
        entry.lastAccess = info->LastAccessTime;
        entry.change = info->ChangeTime;
        entry.size = info->EndOfFile;
        entry.allocated = info->AllocationSize;
        entry.fileId = fileId;
        return info->NextEntryOffset;
    };
    ULONG nextOffset = 0;
    if (withIds) {
        const auto* info = reinterpret_cast<const IdFullDirInformation*>(buffer.data() + offset);
        nextOffset = fill(info, static_cast<std::uint64_t>(info->FileId.QuadPart));
    } else {
        nextOffset = fill(reinterpret_cast<const FILE_FULL_DIR_INFORMATION*>(buffer.data() + offset), 0);
    }
    if (nextOffset == 0)
        pending = false;
    else
        offset += nextOffset;
    return 0;
}

void DirectoryReader::close() {
    if (handle != INVALID_HANDLE_VALUE)
        ::CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
    pending = false;
    first = true;
    withIds = true;
}

} // namespace Nt

std::uint32_t Win32::fromStatus(LONG status) {
    if (status >= 0)
        return 0;
    return Nt::nt().statusToError != nullptr ? Nt::nt().statusToError(status) : Nt::kNotImplemented;
}

} // namespace VeltorPlatform
