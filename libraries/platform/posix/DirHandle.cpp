#include "platform/DirHandle.h"

#include "FileSystemErrors.h"

#include <cstring>
#include <fcntl.h>
#if defined(__linux__)
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

namespace VeltorPlatform {

namespace {

int closeRetained(int fd) {
    return fd >= 0 ? ::close(fd) : 0;
}

// One component: no separator, not "." or "..", not empty. Anything else would leave the directory.
bool isPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

EntryKind kindOf(mode_t mode) {
    if (S_ISREG(mode))
        return EntryKind::File;
    if (S_ISDIR(mode))
        return EntryKind::Directory;
    if (S_ISLNK(mode))
        return EntryKind::Link;
    return EntryKind::Other;
}

void fill(EntryInfo& out, const struct stat& status) {
    out.kind = kindOf(status.st_mode);
    out.readOnly = !S_ISLNK(status.st_mode) && (status.st_mode & S_IWUSR) == 0;
    out.lastWriteMs = toMs(status.st_mtim);
    out.lastAccessMs = toMs(status.st_atim);
    out.size = S_ISREG(status.st_mode) ? static_cast<std::uint64_t>(status.st_size) : 0;
    out.volume = static_cast<std::uint64_t>(status.st_dev);
    out.fileId = static_cast<std::uint64_t>(status.st_ino);
    out.linkCount = static_cast<std::uint32_t>(status.st_nlink);
    out.posixMode = static_cast<unsigned>(status.st_mode & 07777);
    out.ownerId = status.st_uid;
    out.groupId = status.st_gid;
}

// What the open descriptor itself is.
std::uint32_t infoOf(int fd, EntryInfo& out) {
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        return lastError();
    fill(out, status);
    return FileSystemError::Success;
}

// What a failed open of a directory entry without following means.
std::uint32_t openFailure(int error) {
    if (error == ELOOP)
        return FileSystemError::IsALink;
    if (error == ENOTDIR)
        return FileSystemError::NotADirectory;
    return fromErrno(error);
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
        return errno == ENOTDIR ? FileSystemError::NotADirectory : fromErrno(errno);
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
            ::fstatat(parent.state->fd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(status.st_mode))
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
    return isOpen() ? infoOf(state->fd, out) : FileSystemError::InvalidParameter;
}

std::uint32_t DirHandle::lookup(const std::string& name, EntryInfo& out) const {
    if (!isOpen() || !isPlainName(name))
        return FileSystemError::InvalidParameter;
    struct stat status {};
    if (::fstatat(state->fd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return lastError();
    fill(out, status);
    return FileSystemError::Success;
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
    return errno == EEXIST ? FileSystemError::DirNotEmpty : openFailure(errno);
}

std::uint32_t DirHandle::rename(const std::string& from, const std::string& to) const {
    if (!isOpen() || !isPlainName(from) || !isPlainName(to))
        return FileSystemError::InvalidParameter;
    return ::renameat(state->fd, from.c_str(), state->fd, to.c_str()) == 0 ? FileSystemError::Success
                                                                           : lastError();
}

std::uint32_t DirHandle::checkRemovable(const std::string& name) const {
    EntryInfo now;
    if (std::uint32_t error = lookup(name, now))
        return error;
    if (now.readOnly)
        return FileSystemError::AccessDenied;
    if (::faccessat(state->fd, ".", W_OK | X_OK, AT_EACCESS) != 0)
        return lastError();
#if defined(__linux__)
    if (now.kind == EntryKind::File || now.kind == EntryKind::Directory) {
        const int fd = ::openat(state->fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd >= 0) {
            int flags = 0;
            const bool fixed = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) != 0;
            ::close(fd);
            if (fixed)
                return FileSystemError::AccessDenied;
        }
    }
#endif
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

std::uint32_t DirHandle::readLink(const std::string& name, std::string& target) const {
    if (!isOpen() || !isPlainName(name))
        return FileSystemError::InvalidParameter;
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t got = ::readlinkat(state->fd, name.c_str(), &buffer[0], buffer.size());
        if (got < 0)
            return lastError();
        // A target that fills the buffer may have been cut: read again with more room.
        if (static_cast<std::size_t>(got) < buffer.size()) {
            target.assign(buffer, 0, static_cast<std::size_t>(got));
            return FileSystemError::Success;
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::uint32_t DirHandle::sync() const {
    if (!isOpen())
        return FileSystemError::InvalidParameter;
    return ::fsync(state->fd) == 0 ? FileSystemError::Success : lastError();
}

// ---- FileHandle ---------------------------------------------------------------------------------------

struct FileHandle::State {
    int fd = -1;
    ~State() { closeRetained(fd); }
};

FileHandle::FileHandle() = default;
FileHandle::~FileHandle() = default;
FileHandle::FileHandle(FileHandle&&) noexcept = default;
FileHandle& FileHandle::operator=(FileHandle&&) noexcept = default;

std::uint32_t FileHandle::openRead(const DirHandle& dir, const std::string& name, bool keepAccessTime) {
    close();
    if (!dir.isOpen() || !isPlainName(name))
        return FileSystemError::InvalidParameter;
    // O_NOFOLLOW refuses a link, O_NONBLOCK keeps a FIFO from stalling the open, O_NOCTTY a terminal
    // from becoming ours; the type is then checked on what was really opened.
    const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int fd = ::openat(dir.state->fd, name.c_str(), flags | (keepAccessTime ? O_NOATIME : 0));
    // Only the owner (or root) may ask for O_NOATIME; others read as usual.
    if (fd < 0 && keepAccessTime && errno == EPERM)
        fd = ::openat(dir.state->fd, name.c_str(), flags);
    if (fd < 0)
        return openFailure(errno);
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        const std::uint32_t error = lastError();
        ::close(fd);
        return error;
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        return S_ISDIR(status.st_mode) ? FileSystemError::AccessDenied : FileSystemError::NotARegularFile;
    }
    // Reads block from here on: a regular file never stalls them.
    const int mode = ::fcntl(fd, F_GETFL);
    if (mode >= 0)
        ::fcntl(fd, F_SETFL, mode & ~O_NONBLOCK);
    state = std::make_unique<State>();
    state->fd = fd;
    return FileSystemError::Success;
}

std::uint32_t FileHandle::createNew(const DirHandle& dir, const std::string& name, unsigned posixMode) {
    close();
    if (!dir.isOpen() || !isPlainName(name))
        return FileSystemError::InvalidParameter;
    const int fd = ::openat(dir.state->fd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
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
    while (size > 0) {
        const ssize_t count = ::write(state->fd, data, size);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return lastError();
        }
        data += count;
        size -= static_cast<std::size_t>(count);
    }
    return FileSystemError::Success;
}

std::uint32_t FileHandle::sync() {
    if (!isOpen())
        return FileSystemError::InvalidParameter;
    return ::fsync(state->fd) == 0 ? FileSystemError::Success : lastError();
}

std::uint32_t FileHandle::info(EntryInfo& out) const {
    return isOpen() ? infoOf(state->fd, out) : FileSystemError::InvalidParameter;
}

std::uint32_t FileHandle::checkRemovable(const DirHandle& dir, const std::string& name) const {
    if (!isOpen() || !dir.isOpen() || !isPlainName(name))
        return FileSystemError::InvalidParameter;
    EntryInfo self;
    if (std::uint32_t error = info(self))
        return error;
    if (self.readOnly)
        return FileSystemError::AccessDenied;
    // Removing an entry takes write and search permission on its directory (root has them unless the
    // directory is immutable or on a read-only file system, which the check reports as well).
    if (::faccessat(dir.state->fd, ".", W_OK | X_OK, AT_EACCESS) != 0)
        return lastError();
#if defined(__linux__)
    // An immutable or append-only file cannot be unlinked, not even by root.
    int flags = 0;
    if (::ioctl(state->fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) != 0)
        return FileSystemError::AccessDenied;
#endif
    return FileSystemError::Success;
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
