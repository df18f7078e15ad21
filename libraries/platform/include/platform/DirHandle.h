// Handle-based access inside a directory tree that others may write.
//
// Whoever can write inside the data tree can put a link, a FIFO or a device under any name, or swap one
// name for another between two of our calls. So inside the tree nothing is reached through a path built
// from its contents: a directory is opened once, from the handle of the directory that holds it, never
// through a link, and every look-up, read, creation, rename and removal names one entry of an open
// directory. Only the root of a walk is opened by its path; it comes from the trusted configuration.
//
// POSIX: openat/fstatat/unlinkat/renameat relative to directory descriptors opened with
// O_DIRECTORY | O_NOFOLLOW. Windows: NtCreateFile relative to the directory's handle
// (OBJECT_ATTRIBUTES.RootDirectory) with FILE_OPEN_REPARSE_POINT, the entry judged on its own handle and
// removed or renamed through it. On both, directories stay open with all sharing allowed: others may
// rename or remove them meanwhile, and a walk stays on the objects it opened.
//
// Everything below a root goes through here: listing, look-up, reading, creation, renaming, change of
// mode and removal. FileSystem.h holds only the calls by path for what stands outside any data tree.
// Errors are the Windows error numbers of FileErrors.h.
#pragma once
#include "platform/FileErrors.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace VeltorPlatform {

enum class EntryKind { File, Directory, Link, Other };

// What a look-up, or the handle of an open entry, tells about an entry. A link's data are its own.
struct EntryInfo {
    EntryKind kind = EntryKind::Other;
    bool readOnly = false; // Windows: the read-only attribute; POSIX: the owner write bit is clear
    std::int64_t lastWriteMs = 0;
    std::int64_t lastAccessMs = 0;
    std::uint64_t size = 0;
    // Identity: POSIX device and inode; Windows volume serial number and file index.
    std::uint64_t volume = 0;
    std::uint64_t fileId = 0;
    std::uint32_t linkCount = 1;
    unsigned posixMode = 0; // the permission bits on POSIX; 0 on Windows
    // POSIX owner and group; 0 on Windows.
    std::uint32_t ownerId = 0;
    std::uint32_t groupId = 0;
    // When the entry's status last changed (POSIX ctime; Windows ChangeTime): a write, a rename or a
    // change of owner or mode moves it, and nobody can set it back.
    std::int64_t changeMs = 0;
    // Bytes the file system really holds for the entry (POSIX st_blocks * 512; Windows AllocationSize).
    std::uint64_t allocated = 0;
    // Windows: the sparse-file attribute; POSIX: far fewer blocks allocated than the size says.
    bool sparse = false;
    // The immutable or append-only flag, which keeps an entry from being removed, by root too. Only
    // meaningful where `flagsKnown`: POSIX, where the file system fills statx's attribute mask for both
    // flags (ext4, xfs, btrfs, tmpfs); Windows has no such flags (always known, never set).
    bool undeletable = false;
    bool flagsKnown = false;

    bool sameEntryAs(const EntryInfo& other) const {
        return volume == other.volume && fileId == other.fileId;
    }
};

// An open directory. Copies share the one system handle; the last copy closes it.
class DirHandle {
public:
    DirHandle();
    ~DirHandle();
    DirHandle(const DirHandle&);
    DirHandle& operator=(const DirHandle&);
    DirHandle(DirHandle&&) noexcept;
    DirHandle& operator=(DirHandle&&) noexcept;

    // Opens the root of a walk by its path, as the system resolves it: links within the path are
    // followed, for the path comes from the trusted configuration. NotADirectory for anything else.
    std::uint32_t openRoot(const std::string& path);
    // Opens the directory `name` (one component, no separator) of `parent`, never through a link:
    // IsALink for a link or reparse point, NotADirectory for any other non-directory, FileNotFound when
    // nothing has that name.
    std::uint32_t openChild(const DirHandle& parent, const std::string& name);
    bool isOpen() const;
    void close();
    // The path the handle was reached by (root path + names), for messages; separators are native.
    const std::string& path() const;
    // The open directory itself.
    std::uint32_t info(EntryInfo& out) const;

    // The entry `name` as it stands, links not followed.
    std::uint32_t lookup(const std::string& name, EntryInfo& out) const;
    // Removes the non-directory entry `name`; a link goes as the link itself, never its target. A
    // directory or a read-only file is refused with AccessDenied, as the system's own file deletion
    // refuses them. With `expected`, the entry must still be that entry (EntryChanged otherwise): what
    // was judged is what goes; an `expected` from a listing serves as it is (see DirEnumerator).
    // POSIX: one fstatat for the check, then unlinkat. Windows: the entry is opened itself (never
    // through a link), judged on its handle and deleted through it; where the system follows links
    // anyway (Wine), a link is refused with IsALink rather than cost its target.
    std::uint32_t removeFile(const std::string& name, const EntryInfo* expected = nullptr) const;
    // Removes the non-directory entry `name` that the caller judged an instant ago on `judged`, the
    // status this directory's listing or look-up has just read: the name can only have been swapped
    // meanwhile for another entry of this same directory, which whoever swapped it could have removed
    // anyway. POSIX: unlinkat at once, no second status call (a directory or a read-only file in
    // `judged` is refused with AccessDenied, as removeFile's look-up would). Windows: as removeFile
    // with `judged` as `expected` (the entry is opened and judged on its own handle anyway).
    std::uint32_t removeJudged(const std::string& name, const EntryInfo& judged) const;
    // Removes the empty directory `name` (DirNotEmpty otherwise); a link is refused with IsALink, a
    // read-only directory with AccessDenied.
    std::uint32_t removeDirectory(const std::string& name) const;
    // Changes the permission of the entry `name` as changeMode in FileSystem.h does (FilePermission
    // flags: Write present makes it writable, absent read-only), never through a link: a link is
    // refused with IsALink, for what it leads to may lie outside the tree. With `expected`, the entry
    // must still be that entry (EntryChanged otherwise). POSIX: the entry is pinned without following
    // (O_PATH | O_NOFOLLOW), checked on that descriptor and changed through it. Windows: the entry is
    // opened relative to this directory without following, checked on its handle and its read-only
    // attribute set through that handle (DirHandleMode.cpp).
    std::uint32_t changeMode(const std::string& name, int permissions,
                             const EntryInfo* expected = nullptr) const;
    // Renames `from` to `to` within this directory, replacing an entry named `to` (a link there is
    // replaced, never written through). Windows: a rename through the entry's handle, replacing and
    // written through.
    std::uint32_t rename(const std::string& from, const std::string& to) const;
    // Whether a link held in this directory may be followed: nobody but the administrators (root) or
    // the running user can add, remove or rename its entries, so nobody else can have put the link
    // there or swapped it. POSIX: the directory is owned by root or the running user and has no group
    // or other write bit; a root-owned sticky directory counts only for a link owned by root (`link`
    // is the link's own status). Windows: the owner is Administrators, SYSTEM, TrustedInstaller or the
    // running user, and no access-allowed entry of the DACL gives another SID the right to add, delete
    // or rename entries or to change the DACL or the owner.
    bool linksTrusted(const EntryInfo& link) const;
    // Whether a file Sorvik keeps here (the --log file, the --metrics file) is safe from everybody but
    // the administrators (root) and the running user: nobody else can add, remove or rename entries of
    // this directory, as for linksTrusted; in root's sticky directory (/tmp) `entry`, the file that
    // stands under the name, must belong to root or the running user (nullptr: none stands there yet,
    // the caller creates it exclusively). Windows: as linksTrusted.
    bool writersTrusted(const EntryInfo* entry) const;
    // The target of the link `name` as stored in it (POSIX readlinkat; Windows: the path a junction or
    // symbolic link points to, in Win32 form, "C:\..." or a path relative to this directory).
    // With `keepAccessTime`, the link's last access is as it was when this returns: POSIX readlinkat
    // moves it, so it is put back through utimensat(AT_SYMLINK_NOFOLLOW), which only the link's owner
    // or root may do; `accessTimeKept` (when given) tells whether the stamp is as it was (false when
    // keeping it was not asked). Windows:
    // reading a reparse point leaves its stamps (kept).
    std::uint32_t readLink(const std::string& name, std::string& target, bool keepAccessTime = false,
                           bool* accessTimeKept = nullptr) const;
    // Bytes free for the running user on this directory's file system (fstatvfs; Windows: the volume's
    // size information through the handle).
    std::uint32_t freeSpace(std::uint64_t& bytes) const;
    // Whether the entry `name`, whose status `judged` a listing or look-up has just read, could be
    // removed now by this process, asked without changing anything: Success, or the error its removal
    // would meet (AccessDenied for a read-only, immutable or append-only entry, or a directory we may
    // not write and search). POSIX: from `judged` and the facts of this directory, read once per open
    // directory and kept (write and search access for the effective user, the sticky bit and the
    // owner, the directory's own immutable or append-only flag); the entry's own flags come with
    // `judged` where `judged.flagsKnown`, otherwise a regular file or directory is opened without
    // following or blocking to read them (a FIFO or device never is). Windows: the read-only attribute,
    // and the entry opened for deletion (DELETE access), which deletes nothing.
    std::uint32_t removable(const std::string& name, const EntryInfo& judged) const;
    // Makes the directory's entries durable (POSIX fsync of the directory; Windows: nothing to do, the
    // rename was written through).
    std::uint32_t sync() const;

private:
    friend class FileHandle;
    friend class DirEnumerator;
    struct State;
    std::shared_ptr<State> state;
};

// An open regular file of a directory.
class FileHandle {
public:
    FileHandle();
    ~FileHandle();
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    FileHandle(FileHandle&&) noexcept;
    FileHandle& operator=(FileHandle&&) noexcept;

    // Opens the regular file `name` of `dir` for reading: never through a link (IsALink), never a
    // FIFO, device or socket (NotARegularFile; the open itself never blocks), the type checked on the
    // open handle. With `keepAccessTime` the read leaves the last access as it was where the system
    // allows it (POSIX O_NOATIME for the owner or root; Windows resets it through the handle).
    // Windows: others may read and delete the file meanwhile but not write it (SharingViolation while
    // another process holds it open for writing).
    std::uint32_t openRead(const DirHandle& dir, const std::string& name, bool keepAccessTime = false);
    // Opens the regular file `name` of `dir` to append to it: never through a link (IsALink), nothing
    // but a regular file (NotARegularFile; the open itself never blocks), FileNotFound when nothing
    // has that name. Others may read it meanwhile.
    std::uint32_t openAppend(const DirHandle& dir, const std::string& name);
    // Opens the regular file `name` of `dir` for reading, as openRead does, and makes sure that
    // nobody else has it open, and that nobody else gets it open while this handle holds it:
    // SharingViolation while another process (or another descriptor of ours) has it open.
    // POSIX: a write lease on the descriptor (fcntl F_SETLEASE, F_WRLCK), granted only while no other
    // descriptor of the file is open anywhere (EAGAIN); while it is held, another open of the file
    // waits until this handle is closed (at most the kernel's lease-break time). NotSupported, the
    // handle closed, where leases cannot be had for this file: a file system or kernel without them
    // (EINVAL), or a process without CAP_LEASE for a file it does not own (EACCES).
    // An open of the file by this process itself breaks the lease too. Windows: DELETE and read access
    // and no sharing at all.
    std::uint32_t openExclusive(const DirHandle& dir, const std::string& name, bool keepAccessTime = false);
    // Deletes the entry `name` of `dir`, which must be the file this handle holds (openExclusive):
    // EntryChanged when the name stands for another entry now, AccessDenied for a read-only file. POSIX: the
    // entry's identity checked against the descriptor, then unlinkat; the lease lasts until close. Windows:
    // the delete disposition on this very handle (the name goes when it is closed).
    std::uint32_t removeHeld(const DirHandle& dir, const std::string& name);
    // Whether another process began to open the file since openExclusive: POSIX, the lease is being
    // broken (F_GETLEASE answers other than F_WRLCK); that open completes, on the file as it then is,
    // once this handle is closed. Windows: never (nobody can open it while it is held).
    bool openedByOthers() const;
    // Gives up what openExclusive holds against others, the file staying open: POSIX, the lease
    // (F_SETLEASE, F_UNLCK), so that an open waiting for it completes; Windows: nothing to give up.
    std::uint32_t releaseExclusive();
    // Creates the file `name` in `dir` for writing; AlreadyExists when anything has that name, a link
    // or a dangling link included (O_CREAT | O_EXCL | O_NOFOLLOW, CREATE_NEW). POSIX mode bits as
    // given, exactly (the umask does not narrow them); Windows ignores them. With `append`, every
    // write goes to the end of the file, whatever others have written since (O_APPEND,
    // FILE_APPEND_DATA): two runs sharing a new log both keep their lines.
    std::uint32_t createNew(const DirHandle& dir, const std::string& name, unsigned posixMode,
                            bool append = false);
    bool isOpen() const;
    // Reads up to `size` bytes; `got` is 0 at the end of the file. A failure part-way is an error.
    std::uint32_t read(char* buffer, std::size_t size, std::size_t& got);
    // Whether the last openRead with `keepAccessTime` could keep the last access as it was (POSIX:
    // the system refuses O_NOATIME to whoever neither owns the file nor is root).
    bool accessTimeKept() const;
    // Gives this new file the owner, group and permission bits of the open file `model` (Windows: its
    // owner, group and DACL), so that a file written in place of another keeps who may read it.
    std::uint32_t adoptSecurityOf(const FileHandle& model);
    // Gives this new file the owner and group of `dir` (POSIX); Windows: nothing to do, the file
    // inherits the directory's ACL.
    std::uint32_t adoptOwnerOf(const DirHandle& dir);
    // Writes every byte or fails.
    std::uint32_t write(const char* data, std::size_t size);
    // Flushes the file's data to the disk (fsync, FlushFileBuffers).
    std::uint32_t sync();
    std::uint32_t info(EntryInfo& out) const;
    // Closes; an error when the system reports one on closing.
    std::uint32_t close();

private:
    // Opens the regular file `name` of `dir` with `flags` (never through a link, never blocking, the type
    // checked on what was opened): what openRead, openAppend and openExclusive share on POSIX.
    std::uint32_t openRegular(const DirHandle& dir, const std::string& name, int flags, bool keepAccessTime);
    struct State;
    std::unique_ptr<State> state;
};

// What a listing must hand out. NamesAndTypes: the name and the kind of the entry only, the rest of its
// EntryInfo left at its defaults until complete(); Full: every entry complete. On POSIX NamesAndTypes
// spares the status call per entry (the directory entry's type is enough); on Windows both cost the
// same.
enum class DirDetail { NamesAndTypes, Full };

// One entry of a listing: its name (valid until the next call of next() or close()) and its status.
struct ListedEntry {
    std::string_view name;
    EntryInfo info;
};

// Lists a directory opened as a DirHandle, on a handle of the listing's own, so the DirHandle stays
// free for look-ups and removals and copies of it can be listed at once. "." and ".." are never handed
// out. Nothing is followed: a link is listed as a Link. Entries are removed through the DirHandle
// (removeJudged or removeFile with the listed info), never through the listing.
//
// POSIX: one getdents64 stream; complete() is one statx relative to the directory: stamps, size,
// owner, mode, identity (device, inode) and the immutable and append-only attributes in one call
// (fstatat where the kernel has no statx, flags then unknown). Windows: NtQueryDirectoryFile with the
// information class that carries the file id (FileIdFullDirectoryInformation), so entries come complete with
// their identity (volume serial of the directory, file id); where a file system refuses that class, the one
// without it is used and fileId stays 0. linkCount and the POSIX fields are never listed there (1 and 0).
class DirEnumerator {
public:
    DirEnumerator();
    ~DirEnumerator();
    DirEnumerator(const DirEnumerator&) = delete;
    DirEnumerator& operator=(const DirEnumerator&) = delete;

    // Starts a listing of `dir`; closes a previous one. With `withoutSearch`, a directory we may read
    // but not search is listed too, as listing it by its path would (its names only: the status of its
    // entries cannot be read); POSIX reopens it through the descriptor (Linux /proc/self/fd), Windows
    // needs nothing. Without it such a directory fails with AccessDenied, as the cleaning wants.
    std::uint32_t open(const DirHandle& dir, DirDetail detail = DirDetail::Full, bool withoutSearch = false);
    // Moves to the next entry: Success, NoMoreItems at the end, or another error. POSIX: entries of a
    // Full listing that vanished before their status was read are skipped.
    std::uint32_t next();
    // Completes the current entry of a NamesAndTypes listing to what a Full listing hands out, so a
    // caller can look at the name first and pay for the details of the entries it wants only.
    // FileNotFound when the entry vanished since the directory was read. An entry listed but not
    // inspectable (POSIX: a directory without search permission) keeps its kind only, and AccessDenied
    // tells why: the cleaning of that directory cannot judge it.
    // Windows: every entry comes complete; nothing to do.
    std::uint32_t complete();
    const ListedEntry& entry() const { return current; }
    // Whether the current entry, a link, leads to a directory: for listings that show a directory link
    // among the directories. POSIX: a status call that follows the link (reading it may refresh the
    // link's last access); Windows: the directory attribute the link carries, from the listing.
    bool linkLeadsToDirectory() const;
    void close();

private:
    struct State;
    std::unique_ptr<State> state;
    ListedEntry current;
};

} // namespace VeltorPlatform
