#include "platform/FileSystem.h"

#include "PosixFiles.h"

#include <cerrno>
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

// A link counts as a directory when it leads to one, as a directory link does on Windows.
std::uint32_t attributesOf(const struct stat& status, const char* path) {
    std::uint32_t attributes = 0;
    if (S_ISLNK(status.st_mode)) {
        attributes |= FileAttribute::ReparsePoint;
        struct stat target {};
        if (::stat(path, &target) == 0 && S_ISDIR(target.st_mode))
            attributes |= FileAttribute::Directory;
    } else {
        if (S_ISDIR(status.st_mode))
            attributes |= FileAttribute::Directory;
        if ((status.st_mode & S_IWUSR) == 0)
            attributes |= FileAttribute::ReadOnly;
    }
    return attributes;
}

} // namespace

std::uint32_t findStamps(const std::string& path, std::int64_t& lastWriteMs, std::int64_t& lastAccessMs) {
    struct stat status {};
    if (path.empty())
        return FileSystemError::FileNotFound;
    if (::lstat(path.c_str(), &status) != 0)
        return lastError();
    lastWriteMs = toMs(status.st_mtim);
    lastAccessMs = toMs(status.st_atim);
    return FileSystemError::Success;
}

std::uint32_t getFileAttributes(const std::string& path, std::uint32_t& attributes) {
    struct stat status {};
    attributes = 0xFFFFFFFFu;
    if (path.empty())
        return FileSystemError::FileNotFound;
    if (::lstat(path.c_str(), &status) != 0)
        return lastError();
    attributes = attributesOf(status, path.c_str());
    return FileSystemError::Success;
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

std::uint32_t createDirectory(const std::string& path) {
    if (::mkdir(path.c_str(), 0777) == 0)
        return FileSystemError::Success;
    return createDirectoryFailure(errno);
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
            return readLinkFailure(errno);
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
