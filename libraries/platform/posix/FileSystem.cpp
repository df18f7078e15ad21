#include "platform/FileSystem.h"

#include "FileSystemErrors.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace VeltorPlatform {

namespace {

timespec fromMs(std::int64_t ms) {
    std::int64_t seconds = ms / 1000;
    std::int64_t rest = ms % 1000;
    if (rest < 0) {
        rest += 1000;
        --seconds;
    }
    timespec result{};
    result.tv_sec = static_cast<time_t>(seconds);
    result.tv_nsec = static_cast<long>(rest * 1000000);
    return result;
}

bool isHiddenName(const char* name) {
    return name[0] == '.';
}

bool isDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// A link counts as a directory when it leads to one, as a directory link does on Windows.
bool linkLeadsToDirectory(int dirFd, const char* name) {
    struct stat target {};
    return ::fstatat(dirFd, name, &target, 0) == 0 && S_ISDIR(target.st_mode);
}

// Fills an entry from the link-not-followed status of `name` relative to `dirFd`.
void fillEntry(DirEntry& entry, const struct stat& status, int dirFd, const char* name) {
    std::uint32_t attributes = 0;
    if (S_ISLNK(status.st_mode)) {
        attributes |= FileAttribute::ReparsePoint;
        // dirFd -1: the caller does not follow links at all.
        if (dirFd != -1 && linkLeadsToDirectory(dirFd, name))
            attributes |= FileAttribute::Directory;
    } else {
        if (S_ISDIR(status.st_mode))
            attributes |= FileAttribute::Directory;
        if ((status.st_mode & S_IWUSR) == 0)
            attributes |= FileAttribute::ReadOnly;
    }
    const char* base = std::strrchr(name, '/');
    if (isHiddenName(base != nullptr ? base + 1 : name))
        attributes |= FileAttribute::Hidden;
    entry.attributes = attributes;
    entry.lastWriteMs = toMs(status.st_mtim);
    entry.lastAccessMs = toMs(status.st_atim);
    entry.size = S_ISREG(status.st_mode) ? static_cast<std::uint64_t>(status.st_size) : 0;
}

} // namespace

struct DirEnumerator::State {
    DIR* dir = nullptr;
    int fd = -1;
    DirDetail detail = DirDetail::Full;
    unsigned char type = DT_UNKNOWN;        // of the current entry, as the directory tells it
    bool complete = false;                  // the current entry carries its status
    bool inspected = false;                 // ... read from the file system, not guessed from the type
    bool followLinks = true;                // find out whether a link leads to a directory
    std::shared_ptr<DirHandle::State> held; // the directory listed, when opened through a DirHandle
};

DirEnumerator::DirEnumerator() = default;

DirEnumerator::~DirEnumerator() {
    close();
}

std::uint32_t DirEnumerator::open(const std::string& dir, DirDetail detail) {
    close();
    DIR* handle = ::opendir(dir.empty() ? "." : dir.c_str());
    if (handle == nullptr) {
        int error = errno;
        // Windows names a missing directory of a listing "path not found".
        return error == ENOENT ? FileSystemError::PathNotFound : fromErrno(error);
    }
    if (!state)
        state.reset(new State);
    state->dir = handle;
    state->fd = ::dirfd(handle);
    state->detail = detail;
    state->followLinks = true;
    state->held.reset();
    return FileSystemError::Success;
}

std::uint32_t DirEnumerator::open(const DirHandle& dir, DirDetail detail) {
    close();
    if (!dir.isOpen())
        return FileSystemError::InvalidParameter;
    // A descriptor of its own for the listing, so the handle's stays free for look-ups and removals.
    const int fd = ::openat(dir.state->fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
    state->followLinks = false;
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
            current = DirEntry(); // nothing current any more: removeEntry has nothing to act on
            return error != 0 ? fromErrno(error) : FileSystemError::NoMoreItems;
        }
        const char* name = item->d_name;
        if (isDotOrDotDot(name))
            continue;
        current = DirEntry();
        current.name = name;
        current.nameLength = std::strlen(name);
        state->type = item->d_type;
        state->complete = false;
        state->inspected = false;
        if (state->detail == DirDetail::NamesAndTypes && item->d_type != DT_UNKNOWN) {
            if (item->d_type == DT_DIR)
                current.attributes = FileAttribute::Directory;
            else if (item->d_type == DT_LNK)
                current.attributes =
                    FileAttribute::ReparsePoint |
                    (state->followLinks && linkLeadsToDirectory(state->fd, name) ? FileAttribute::Directory
                                                                                 : 0);
            if (isHiddenName(name))
                current.attributes |= FileAttribute::Hidden;
            return FileSystemError::Success;
        }
        if (complete() == FileSystemError::FileNotFound)
            continue; // vanished since the directory was read
        return FileSystemError::Success;
    }
}

std::uint32_t DirEnumerator::complete() {
    if (!state || state->dir == nullptr || state->complete)
        return FileSystemError::Success;
    state->complete = true;
    struct stat status {};
    if (::fstatat(state->fd, current.name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            return FileSystemError::FileNotFound;
        // Listed but not inspectable (a directory without search permission): the name with what the
        // entry itself tells.
        current.attributes = 0;
        if (state->type == DT_DIR)
            current.attributes = FileAttribute::Directory;
        else if (state->type == DT_LNK)
            current.attributes = FileAttribute::ReparsePoint;
        return FileSystemError::Success;
    }
    fillEntry(current, status, state->followLinks ? state->fd : -1, current.name);
    state->inspected = true;
    return FileSystemError::Success;
}

std::uint32_t DirEnumerator::removeEntry() {
    if (!state || state->dir == nullptr || current.nameLength == 0)
        return FileSystemError::FileNotFound;
    std::uint32_t error = complete();
    if (error != FileSystemError::Success)
        return error;
    // The same refusals as deleteFile; a link is no directory and never read-only here.
    if (!state->inspected || (!current.isReparsePoint() &&
                              (current.isDirectory() || (current.attributes & FileAttribute::ReadOnly) != 0)))
        return FileSystemError::AccessDenied;
    return ::unlinkat(state->fd, current.name, 0) == 0 ? FileSystemError::Success : lastError();
}

void DirEnumerator::close() {
    if (state && state->dir != nullptr) {
        ::closedir(state->dir);
        state->dir = nullptr;
        state->fd = -1;
        state->held.reset();
    }
    current = DirEntry();
}

std::uint32_t findEntry(const std::string& path, DirEntry& entry, std::string& name) {
    struct stat status {};
    if (path.empty() || ::lstat(path.c_str(), &status) != 0)
        return path.empty() ? FileSystemError::FileNotFound : lastError();
    std::string::size_type cut = path.find_last_not_of('/');
    std::string trimmed = cut == std::string::npos ? path : path.substr(0, cut + 1);
    std::string::size_type slash = trimmed.rfind('/');
    name = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
    entry = DirEntry();
    fillEntry(entry, status, AT_FDCWD, path.c_str());
    entry.attributes &= ~FileAttribute::Hidden;
    if (isHiddenName(name.c_str()) && !isDotOrDotDot(name.c_str()))
        entry.attributes |= FileAttribute::Hidden;
    entry.name = name.c_str();
    entry.nameLength = name.size();
    return FileSystemError::Success;
}

std::uint32_t getFileAttributes(const std::string& path, std::uint32_t& attributes) {
    DirEntry entry;
    std::string name;
    std::uint32_t error = findEntry(path, entry, name);
    attributes = error == FileSystemError::Success ? entry.attributes : 0xFFFFFFFFu;
    return error;
}

std::uint32_t getFileStatus(const std::string& path, FileStatus& status) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return lastError();
    status.isDirectory = S_ISDIR(info.st_mode);
    status.readOnly = (info.st_mode & S_IWUSR) == 0;
    status.size = S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
    status.lastWriteMs = toMs(info.st_mtim);
    status.lastAccessMs = toMs(info.st_atim);
    return FileSystemError::Success;
}

std::uint32_t accessCheck(const std::string& path, int mode) {
    if ((mode & AccessMode::Write) != 0) {
        // The read-only attribute refuses writing to everyone, root included.
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0)
            return lastError();
        if ((info.st_mode & S_IWUSR) == 0)
            return FileSystemError::AccessDenied;
    }
    int how = F_OK;
    if ((mode & AccessMode::Write) != 0)
        how |= W_OK;
    if ((mode & AccessMode::Read) != 0)
        how |= R_OK;
    return ::access(path.c_str(), how) == 0 ? FileSystemError::Success : lastError();
}

std::uint32_t changeMode(const std::string& path, int permissions) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return lastError();
    if (S_ISLNK(info.st_mode))
        return FileSystemError::Success; // never change what lies outside through a link
    return ::chmod(path.c_str(), permissionBits(info.st_mode, permissions)) == 0 ? FileSystemError::Success
                                                                                 : lastError();
}

std::uint32_t deleteFile(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return lastError();
    if (S_ISDIR(info.st_mode))
        return FileSystemError::AccessDenied;
    // Read-only files stay, as they do on Windows, even for root.
    if (!S_ISLNK(info.st_mode) && (info.st_mode & S_IWUSR) == 0)
        return FileSystemError::AccessDenied;
    return ::unlink(path.c_str()) == 0 ? FileSystemError::Success : lastError();
}

std::uint32_t deleteFile(const std::string& path, const DirEntry& lookedUp) {
    // The attributes say what the status said: a link is no directory and never read-only here.
    if (!lookedUp.isReparsePoint() &&
        (lookedUp.isDirectory() || (lookedUp.attributes & FileAttribute::ReadOnly) != 0))
        return FileSystemError::AccessDenied;
    return ::unlink(path.c_str()) == 0 ? FileSystemError::Success : lastError();
}

std::uint32_t removeDirectory(const std::string& path) {
    constexpr std::uint32_t kNotADirectory = 267;
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return lastError();
    if (S_ISLNK(info.st_mode)) {
        struct stat target {};
        if (::stat(path.c_str(), &target) != 0 || !S_ISDIR(target.st_mode))
            return kNotADirectory;
        return ::unlink(path.c_str()) == 0 ? FileSystemError::Success : lastError();
    }
    if (!S_ISDIR(info.st_mode))
        return kNotADirectory;
    if ((info.st_mode & S_IWUSR) == 0)
        return FileSystemError::AccessDenied;
    if (::rmdir(path.c_str()) == 0)
        return FileSystemError::Success;
    return errno == EEXIST ? FileSystemError::DirNotEmpty : lastError();
}

std::uint32_t createDirectory(const std::string& path) {
    if (::mkdir(path.c_str(), 0777) == 0)
        return FileSystemError::Success;
    // A missing parent is a missing path, as Windows reports it.
    return errno == ENOENT ? FileSystemError::PathNotFound : lastError();
}

std::uint32_t renamePath(const std::string& from, const std::string& to) {
    struct stat info {};
    if (::lstat(to.c_str(), &info) == 0)
        return FileSystemError::AlreadyExists;
    return ::rename(from.c_str(), to.c_str()) == 0 ? FileSystemError::Success : lastError();
}

std::uint32_t setFileTimes(const std::string& path, std::int64_t lastWriteMs, std::int64_t lastAccessMs) {
    timespec times[2] = {fromMs(lastAccessMs), fromMs(lastWriteMs)};
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0 ? FileSystemError::Success : lastError();
}

std::uint32_t readReparseTarget(const std::string& path, std::string& target, std::uint32_t& tag) {
    std::string buffer(256, '\0');
    for (;;) {
        ssize_t length = ::readlink(path.c_str(), &buffer[0], buffer.size());
        if (length < 0)
            return errno == EINVAL ? FileSystemError::NotAReparsePoint : lastError();
        if (static_cast<std::size_t>(length) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(length));
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    target = buffer;
    tag = kReparseTagSymlink;
    return FileSystemError::Success;
}

} // namespace VeltorPlatform
