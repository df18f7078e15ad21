#include "platform/DirHandle.h"

#include "PosixFiles.h"

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#if defined(__linux__)
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace VeltorPlatform {

namespace {

// Whether the open file or directory carries the immutable or append-only flag, which keeps it from
// being unlinked, also by root.
bool isUndeletable(int fd) {
#if defined(__linux__)
    int flags = 0;
    return ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) != 0;
#else
    (void)fd;
    return false;
#endif
}

// Whether entries of the open directory `dirFd` may be removed by this process, the entry being owned
// by `entryOwner`: write and search permission on the directory for the effective user, no immutable
// or append-only flag on the directory, and in a sticky directory ownership of the entry or the
// directory. The directory's `facts` are asked once, the effective user with them: the access they
// tell is that user's.
std::uint32_t removalAllowedIn(int dirFd, RemovalFacts& facts, uid_t entryOwner) {
    std::call_once(facts.asked, [dirFd, &facts] {
        struct stat self {};
        if (::faccessat(dirFd, ".", W_OK | X_OK, AT_EACCESS) != 0 || ::fstat(dirFd, &self) != 0) {
            facts.access = lastError();
            return;
        }
        facts.user = ::geteuid();
        facts.mode = self.st_mode;
        facts.owner = self.st_uid;
        // Nothing in an immutable or append-only directory can be unlinked, not even by root.
        facts.undeletable = isUndeletable(dirFd);
    });
    if (facts.access != FileSystemError::Success)
        return facts.access;
    // Root may remove in a sticky directory too (CAP_FOWNER); anybody else only what is theirs.
    if ((facts.mode & S_ISVTX) != 0 && facts.user != 0 && facts.user != entryOwner &&
        facts.user != facts.owner)
        return FileSystemError::AccessDenied;
    return facts.undeletable ? FileSystemError::AccessDenied : FileSystemError::Success;
}

// Gives the open file `fd` the owner `user` and group `group`. Whoever is not root may only give a
// file of theirs a group they belong to: then the owner stays, and AccessDenied tells that not all
// could be taken over; `groupTaken` says whether the group was.
std::uint32_t takeOwner(int fd, uid_t user, gid_t group, bool& groupTaken) {
    struct stat self {};
    if (::fstat(fd, &self) != 0)
        return lastError();
    groupTaken = self.st_gid == group;
    if (self.st_uid == user && self.st_gid == group)
        return FileSystemError::Success;
    if (::fchown(fd, user, group) == 0) {
        groupTaken = true;
        return FileSystemError::Success;
    }
    if (errno != EPERM)
        return lastError();
    if (!groupTaken && ::fchown(fd, static_cast<uid_t>(-1), group) == 0)
        groupTaken = true;
    return FileSystemError::AccessDenied;
}

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
    // O_NONBLOCK: a FIFO put where a directory was expected must not stall the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return rootOpenFailure(errno);
    state = std::make_shared<State>();
    state->fd = fd;
    state->path = path;
    return FileSystemError::Success;
}

std::uint32_t DirHandle::openChild(const DirHandle& parent, const std::string& name) {
    if (!parent.isOpen())
        return FileSystemError::InvalidParameter;
    if (!isPlainName(name))
        return FileSystemError::InvalidParameter;
    const int fd = ::openat(parent.state->fd, name.c_str(),
                            O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        // Linux answers a link under O_DIRECTORY | O_NOFOLLOW with ENOTDIR, not ELOOP: ask what it is.
        struct stat status {};
        if ((error == ENOTDIR || error == ELOOP) &&
            ::fstatat(parent.state->fd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(status.st_mode))
            return FileSystemError::IsALink;
        return openFailure(error);
    }
    auto next = std::make_shared<State>();
    next->fd = fd;
    next->path = parent.state->path;
    if (next->path.empty() || next->path.back() != '/')
        next->path += '/';
    next->path += name;
    state = std::move(next);
    return FileSystemError::Success;
}

bool DirHandle::isOpen() const {
    return state != nullptr && state->fd >= 0;
}

void DirHandle::close() {
    state.reset();
}

const std::string& DirHandle::path() const {
    static const std::string none;
    return state ? state->path : none;
}

std::uint32_t DirHandle::info(EntryInfo& out) const {
    return isOpen() ? statusOf(state->fd, out) : FileSystemError::InvalidParameter;
}

std::uint32_t DirHandle::lookup(const std::string& name, EntryInfo& out) const {
    if (!isOpen() || !isPlainName(name))
        return FileSystemError::InvalidParameter;
    return statusAt(state->fd, name.c_str(), out);
}

std::uint32_t DirHandle::removeFile(const std::string& name, const EntryInfo* expected) const {
    EntryInfo now;
    if (std::uint32_t error = lookup(name, now))
        return error;
    if (now.kind == EntryKind::Directory || now.readOnly)
        return FileSystemError::AccessDenied;
    if (expected != nullptr && !now.sameEntryAs(*expected))
        return FileSystemError::EntryChanged;
    // unlinkat removes the entry of this very directory, whatever it is: a link goes as the link.
    // Between the look-up and the removal the name can still be swapped, but only for another entry of
    // this same directory, which whoever swapped it could have removed anyway.
    return ::unlinkat(state->fd, name.c_str(), 0) == 0 ? FileSystemError::Success : lastError();
}

std::uint32_t DirHandle::removeJudged(const std::string& name, const EntryInfo& judged) const {
    if (!isOpen() || !isPlainName(name))
        return FileSystemError::InvalidParameter;
    if (judged.kind == EntryKind::Directory || judged.readOnly)
        return FileSystemError::AccessDenied;
    // A directory swapped in since is refused by unlinkat itself (EISDIR, access denied).
    return ::unlinkat(state->fd, name.c_str(), 0) == 0 ? FileSystemError::Success : lastError();
}

std::uint32_t DirHandle::removeDirectory(const std::string& name) const {
    EntryInfo now;
    if (std::uint32_t error = lookup(name, now))
        return error;
    if (now.kind == EntryKind::Link)
        return FileSystemError::IsALink;
    if (now.kind != EntryKind::Directory)
        return FileSystemError::NotADirectory;
    if (now.readOnly)
        return FileSystemError::AccessDenied;
    if (::unlinkat(state->fd, name.c_str(), AT_REMOVEDIR) == 0)
        return FileSystemError::Success;
    // A directory swapped in for a link meanwhile is refused by the system with ENOTDIR.
    return removeDirectoryFailure(errno);
}

std::uint32_t DirHandle::rename(const std::string& from, const std::string& to) const {
    if (!isOpen() || !isPlainName(from) || !isPlainName(to))
        return FileSystemError::InvalidParameter;
    return ::renameat(state->fd, from.c_str(), state->fd, to.c_str()) == 0 ? FileSystemError::Success
                                                                           : lastError();
}

std::uint32_t DirHandle::freeSpace(std::uint64_t& bytes) const {
    bytes = 0;
    if (!isOpen())
        return FileSystemError::InvalidParameter;
    struct statvfs status {};
    if (::fstatvfs(state->fd, &status) != 0)
        return lastError();
    // f_bavail: what an unprivileged writer may still use; root's reserve is no room to plan with.
    bytes = static_cast<std::uint64_t>(status.f_bavail) * static_cast<std::uint64_t>(status.f_frsize);
    return FileSystemError::Success;
}

bool DirHandle::linksTrusted(const EntryInfo& link) const {
    struct stat status {};
    if (!isOpen() || ::fstat(state->fd, &status) != 0)
        return false;
    if (status.st_uid != 0 && status.st_uid != ::geteuid())
        return false;
    // A POSIX ACL that lets another user write shows in the group bits (its mask).
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) == 0)
        return true;
    // Root's sticky directory (/tmp): anybody may add a name, but only its owner or root may remove or
    // rename one, so a link of root's there is root's doing; anyone else's may be anybody's.
    return status.st_uid == 0 && (status.st_mode & S_ISVTX) != 0 && link.ownerId == 0;
}

bool DirHandle::writersTrusted(const EntryInfo* entry) const {
    struct stat status {};
    if (!isOpen() || ::fstat(state->fd, &status) != 0)
        return false;
    const uid_t self = ::geteuid();
    if (status.st_uid != 0 && status.st_uid != self)
        return false;
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) == 0)
        return true;
    // Root's sticky directory: only the owner of an entry (or root) may remove or rename it there.
    return status.st_uid == 0 && (status.st_mode & S_ISVTX) != 0 &&
           (entry == nullptr || entry->ownerId == 0 || entry->ownerId == self);
}

std::uint32_t DirHandle::readLink(const std::string& name, std::string& target, bool keepAccessTime,
                                  bool* accessTimeKept) const {
    // Nothing read, nothing moved.
    if (accessTimeKept != nullptr)
        *accessTimeKept = true;
    if (!isOpen() || !isPlainName(name))
        return FileSystemError::InvalidParameter;
    struct stat before {};
    if (keepAccessTime && ::fstatat(state->fd, name.c_str(), &before, AT_SYMLINK_NOFOLLOW) != 0)
        return lastError();
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t got = ::readlinkat(state->fd, name.c_str(), &buffer[0], buffer.size());
        if (got < 0)
            return readLinkFailure(errno);
        // A target that fills the buffer may have been cut: read again with more room.
        if (static_cast<std::size_t>(got) < buffer.size()) {
            target.assign(buffer, 0, static_cast<std::size_t>(got));
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    // Reading a link moves its last access (as relatime allows): put it back where it moved, and only
    // on the link that was read; a name that stands for another entry now leaves the stamp unknown.
    bool kept = false;
    struct stat after {};
    if (keepAccessTime && ::fstatat(state->fd, name.c_str(), &after, AT_SYMLINK_NOFOLLOW) == 0 &&
        after.st_dev == before.st_dev && after.st_ino == before.st_ino) {
        const struct timespec times[2] = {before.st_atim, {0, UTIME_OMIT}};
        kept = (after.st_atim.tv_sec == before.st_atim.tv_sec &&
                after.st_atim.tv_nsec == before.st_atim.tv_nsec) ||
               ::utimensat(state->fd, name.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
    }
    if (accessTimeKept != nullptr)
        *accessTimeKept = kept;
    return FileSystemError::Success;
}

std::uint32_t DirHandle::removable(const std::string& name, const EntryInfo& judged) const {
    if (!isOpen() || !isPlainName(name))
        return FileSystemError::InvalidParameter;
    // As removeFile and removeDirectory refuse it: the owner write bit is the read-only attribute.
    if (judged.readOnly)
        return FileSystemError::AccessDenied;
    if (std::uint32_t error = removalAllowedIn(state->fd, state->removal, static_cast<uid_t>(judged.ownerId)))
        return error;
    if (judged.flagsKnown)
        return judged.undeletable ? FileSystemError::AccessDenied : FileSystemError::Success;
    // Without them in the status, the entry's own flags can only be read through a descriptor. Files
    // and directories are opened without following and without blocking, which changes nothing; a
    // FIFO, socket or device is never opened (a device may act on being opened), and links and those
    // cannot carry the flags anyway.
    if (judged.kind != EntryKind::File && judged.kind != EntryKind::Directory)
        return FileSystemError::Success;
    const int fd = ::openat(state->fd, name.c_str(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC |
                                (judged.kind == EntryKind::Directory ? O_DIRECTORY : 0));
    // Not ours to read: its flags stay unknown, the removal itself would tell.
    if (fd < 0)
        return FileSystemError::Success;
    struct stat opened {};
    const bool same = ::fstat(fd, &opened) == 0 &&
                      static_cast<std::uint64_t>(opened.st_dev) == judged.volume &&
                      static_cast<std::uint64_t>(opened.st_ino) == judged.fileId;
    const bool undeletable = same && isUndeletable(fd);
    ::close(fd);
    return undeletable ? FileSystemError::AccessDenied : FileSystemError::Success;
}

std::uint32_t DirHandle::sync() const {
    if (!isOpen())
        return FileSystemError::InvalidParameter;
    return ::fsync(state->fd) == 0 ? FileSystemError::Success : lastError();
}

// ---- DirEnumerator -----------------------------------------------------------------------------------

namespace {

bool isDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// The kind the directory entry's type tells; DT_UNKNOWN is not asked for here.
EntryKind kindOfType(unsigned char type) {
    switch (type) {
    case DT_REG:
        return EntryKind::File;
    case DT_DIR:
        return EntryKind::Directory;
    case DT_LNK:
        return EntryKind::Link;
    default:
        return EntryKind::Other;
    }
}

} // namespace

struct DirEnumerator::State {
    DIR* dir = nullptr;
    int fd = -1;
    DirDetail detail = DirDetail::Full;
    bool complete = false;                  // the current entry carries its status
    std::shared_ptr<DirHandle::State> held; // the directory listed, kept open while the listing lasts
};

DirEnumerator::DirEnumerator() = default;

DirEnumerator::~DirEnumerator() {
    close();
}

std::uint32_t DirEnumerator::open(const DirHandle& dir, DirDetail detail, bool withoutSearch) {
    close();
    if (!dir.isOpen())
        return FileSystemError::InvalidParameter;
    // A descriptor of its own for the listing, so the handle's stays free for look-ups and removals.
    int fd = ::openat(dir.state->fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#if defined(__linux__)
    // "." takes search permission; a directory we may read but not search is reopened through the
    // descriptor itself, which needs read permission only, as listing it by its path did.
    if (fd < 0 && errno == EACCES && withoutSearch) {
        const int refused = errno;
        fd = ::open(("/proc/self/fd/" + std::to_string(dir.state->fd)).c_str(),
                    O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            errno = refused; // no /proc: the directory's own refusal, not the missing file system
    }
#else
    (void)withoutSearch;
#endif
    if (fd < 0)
        return lastError();
    DIR* handle = ::fdopendir(fd);
    if (handle == nullptr) {
        const std::uint32_t error = lastError();
        ::close(fd);
        return error;
    }
    if (!state)
        state.reset(new State);
    state->dir = handle;
    state->fd = fd;
    state->detail = detail;
    state->held = dir.state;
    return FileSystemError::Success;
}

std::uint32_t DirEnumerator::next() {
    if (!state || state->dir == nullptr)
        return FileSystemError::NoMoreItems;
    for (;;) {
        errno = 0;
        const dirent* item = ::readdir(state->dir);
        if (item == nullptr) {
            const int error = errno;
            current = ListedEntry();
            return error != 0 ? fromErrno(error) : FileSystemError::NoMoreItems;
        }
        const char* name = item->d_name;
        if (isDotOrDotDot(name))
            continue;
        current = ListedEntry();
        current.name = std::string_view(name, std::strlen(name));
        current.info.kind = kindOfType(item->d_type);
        state->complete = false;
        if (state->detail == DirDetail::NamesAndTypes && item->d_type != DT_UNKNOWN)
            return FileSystemError::Success;
        if (complete() == FileSystemError::FileNotFound)
            continue; // vanished since the directory was read
        return FileSystemError::Success;
    }
}

std::uint32_t DirEnumerator::complete() {
    if (!state || state->dir == nullptr || state->complete)
        return FileSystemError::Success;
    state->complete = true;
    // The name points into the directory stream's buffer, which ends it with a NUL. Into a copy, so
    // that an entry listed but not inspectable (a directory without search permission) keeps the kind
    // alone, and the caller hears why.
    EntryInfo status;
    const std::uint32_t error = statusAt(state->fd, current.name.data(), status);
    if (error == FileSystemError::Success)
        current.info = status;
    return error;
}

bool DirEnumerator::linkLeadsToDirectory() const {
    struct stat target {};
    return state && state->dir != nullptr && current.info.kind == EntryKind::Link &&
           ::fstatat(state->fd, current.name.data(), &target, 0) == 0 && S_ISDIR(target.st_mode);
}

void DirEnumerator::close() {
    if (state && state->dir != nullptr) {
        ::closedir(state->dir);
        state->dir = nullptr;
        state->fd = -1;
        state->held.reset();
    }
    current = ListedEntry();
}

// ---- FileHandle ---------------------------------------------------------------------------------------

FileHandle::FileHandle() = default;
FileHandle::~FileHandle() = default;
FileHandle::FileHandle(FileHandle&&) noexcept = default;
FileHandle& FileHandle::operator=(FileHandle&&) noexcept = default;

std::uint32_t openRegularAt(int dirFd, const std::string& name, int access, bool keepAccessTime, int& fd,
                            bool& accessTimeKept) {
    // O_NOFOLLOW refuses a link, O_NONBLOCK keeps a FIFO from stalling the open, O_NOCTTY a terminal
    // from becoming ours; the type is then checked on what was really opened.
    const int flags = access | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    fd = ::openat(dirFd, name.c_str(), flags | (keepAccessTime ? O_NOATIME : 0));
    accessTimeKept = keepAccessTime && fd >= 0;
    // Only the owner (or root) may ask for O_NOATIME; others read as usual.
    if (fd < 0 && keepAccessTime && errno == EPERM)
        fd = ::openat(dirFd, name.c_str(), flags);
    if (fd < 0)
        return openFailure(errno);
    struct stat status {};
    std::uint32_t error = FileSystemError::Success;
    if (::fstat(fd, &status) != 0)
        error = lastError();
    else if (!S_ISREG(status.st_mode))
        error = S_ISDIR(status.st_mode) ? FileSystemError::AccessDenied : FileSystemError::NotARegularFile;
    if (error != FileSystemError::Success) {
        ::close(fd);
        fd = -1;
        return error;
    }
    // Reads and writes block from here on: a regular file never stalls them.
    const int mode = ::fcntl(fd, F_GETFL);
    if (mode >= 0)
        ::fcntl(fd, F_SETFL, mode & ~O_NONBLOCK);
    return FileSystemError::Success;
}

std::uint32_t FileHandle::openRegular(const DirHandle& dir, const std::string& name, int flags,
                                      bool keepAccessTime) {
    close();
    if (!dir.isOpen() || !isPlainName(name))
        return FileSystemError::InvalidParameter;
    int fd = -1;
    bool accessTimeKept = false;
    if (std::uint32_t error = openRegularAt(dir.state->fd, name, flags, keepAccessTime, fd, accessTimeKept))
        return error;
    state = std::make_unique<State>();
    state->fd = fd;
    state->accessTimeKept = accessTimeKept;
    return FileSystemError::Success;
}

std::uint32_t FileHandle::openRead(const DirHandle& dir, const std::string& name, bool keepAccessTime) {
    return openRegular(dir, name, O_RDONLY, keepAccessTime);
}

std::uint32_t FileHandle::openAppend(const DirHandle& dir, const std::string& name) {
    return openRegular(dir, name, O_WRONLY | O_APPEND, false);
}

std::uint32_t FileHandle::createNew(const DirHandle& dir, const std::string& name, unsigned posixMode,
                                    bool append) {
    close();
    if (!dir.isOpen() || !isPlainName(name))
        return FileSystemError::InvalidParameter;
    const int fd = ::openat(dir.state->fd, name.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | (append ? O_APPEND : 0),
                            static_cast<mode_t>(posixMode));
    if (fd < 0)
        return lastError();
    state = std::make_unique<State>();
    state->fd = fd;
    if (::fchmod(fd, static_cast<mode_t>(posixMode)) != 0) {
        const std::uint32_t error = lastError();
        close();
        ::unlinkat(dir.state->fd, name.c_str(), 0);
        return error;
    }
    return FileSystemError::Success;
}

bool FileHandle::isOpen() const {
    return state != nullptr && state->fd >= 0;
}

bool FileHandle::accessTimeKept() const {
    return isOpen() && state->accessTimeKept;
}

std::uint32_t FileHandle::adoptSecurityOf(const FileHandle& model) {
    if (!isOpen() || !model.isOpen())
        return FileSystemError::InvalidParameter;
    struct stat source {};
    if (::fstat(model.state->fd, &source) != 0)
        return lastError();
    bool groupTaken = false;
    const std::uint32_t owned = takeOwner(state->fd, source.st_uid, source.st_gid, groupTaken);
    if (owned != FileSystemError::Success && owned != FileSystemError::AccessDenied)
        return owned;
    // After the owner, for a change of owner clears the set-id bits. A group that could not be taken
    // over gets none of the model's group rights: they were meant for another group.
    mode_t mode = source.st_mode & 07777;
    if (!groupTaken)
        mode &= ~static_cast<mode_t>(S_IRWXG | S_ISGID);
    if (::fchmod(state->fd, mode) != 0)
        return lastError();
    return owned;
}

std::uint32_t FileHandle::adoptOwnerOf(const DirHandle& dir) {
    if (!isOpen() || !dir.isOpen())
        return FileSystemError::InvalidParameter;
    struct stat holder {};
    if (::fstat(dir.state->fd, &holder) != 0)
        return lastError();
    bool groupTaken = false;
    return takeOwner(state->fd, holder.st_uid, holder.st_gid, groupTaken);
}

std::uint32_t FileHandle::read(char* buffer, std::size_t size, std::size_t& got) {
    got = 0;
    if (!isOpen())
        return FileSystemError::InvalidParameter;
    for (;;) {
        const ssize_t count = ::read(state->fd, buffer, size);
        if (count >= 0) {
            got = static_cast<std::size_t>(count);
            return FileSystemError::Success;
        }
        if (errno != EINTR)
            return lastError();
    }
}

std::uint32_t FileHandle::write(const char* data, std::size_t size) {
    if (!isOpen())
        return FileSystemError::InvalidParameter;
    return writeAll(state->fd, data, size);
}

std::uint32_t FileHandle::sync() {
    if (!isOpen())
        return FileSystemError::InvalidParameter;
    return ::fsync(state->fd) == 0 ? FileSystemError::Success : lastError();
}

std::uint32_t FileHandle::info(EntryInfo& out) const {
    return isOpen() ? statusOf(state->fd, out) : FileSystemError::InvalidParameter;
}

std::uint32_t FileHandle::close() {
    if (!state)
        return FileSystemError::Success;
    const int fd = state->fd;
    state->fd = -1;
    state.reset();
    return fd >= 0 && ::close(fd) != 0 ? lastError() : FileSystemError::Success;
}

} // namespace VeltorPlatform
