#include "platform/NamedMutex.h"

#include "Errors.h"
#include "TrustedPath.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace VeltorPlatform {

namespace {

thread_local std::string lastDetail;

// The home directory of the effective user as the account database records it. Not $HOME: that is
// whoever started us deciding (sudo, su and setpriv keep the caller's), while every process of one user
// must arrive at the same lock directory, or two of its runs would not exclude each other. $HOME only
// where the database knows no such user (a container started with a bare uid).
std::string homeDirectory() {
    const long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(hint > 0 ? static_cast<std::size_t>(hint) : 16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    while (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    if (found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/')
        return found->pw_dir;
    const char* home = std::getenv("HOME");
    return home != nullptr && home[0] == '/' ? home : "";
}

std::string withoutTrailingSlashes(std::string path) {
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    return path;
}

// Holding a lock file is holding the lock, so the files lie where nobody else can create, replace or
// open them: root's in /run/veltor; another user's in the session's runtime directory or, without one,
// below the user's own home, a place nobody else can have taken first (unlike a name in /tmp). Empty when
// the user has neither.
std::string lockDirectory() {
    if (::geteuid() == 0)
        return "/run/veltor";
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/')
        return withoutTrailingSlashes(runtime) + "/veltor";
    const std::string home = homeDirectory();
    return home.empty() ? home : withoutTrailingSlashes(home) + "/.cache/veltor";
}

std::uint32_t refuse(const std::string& detail) {
    lastDetail = detail;
    return FileSystemError::AccessDenied;
}

std::uint32_t failWith(const std::string& what, int code) {
    lastDetail = what + ": " + std::strerror(code);
    return fromErrno(code);
}

// Opens the lock directory, creating it (and what is missing above it) when missing, and makes sure
// nobody but us (and root) can change it or anything above it. Nothing is created where anybody else
// could change it: the part of the way that exists is judged first, and whatever is made below it is
// ours alone.
std::uint32_t openLockDirectory(const std::string& directory, int& fd) {
    const uid_t user = ::geteuid();
    if (directory.empty())
        return refuse("There is no lock directory for uid " + std::to_string(user) +
                      ": neither XDG_RUNTIME_DIR nor a home directory is known");
    std::string existing = directory;
    struct stat info {};
    while (existing.size() > 1 && ::lstat(existing.c_str(), &info) != 0 && errno == ENOENT)
        existing.resize(std::max<std::size_t>(existing.rfind('/'), 1));
    const std::string above = existing == directory
                                  ? directory.substr(0, std::max<std::size_t>(directory.rfind('/'), 1))
                                  : existing;
    const std::string reason = TrustedPath::checkDirectories(above);
    if (!reason.empty())
        return refuse("The lock directory \"" + directory + "\" is refused: " + reason);
    for (std::size_t end = existing.size() + 1; end <= directory.size(); ++end) {
        end = std::min(directory.find('/', end), directory.size());
        const bool last = end == directory.size();
        if (::mkdir(directory.substr(0, end).c_str(), last && user == 0 ? 0755 : 0700) != 0 &&
            errno != EEXIST)
            return failWith("Could not create the lock directory \"" + directory + "\"", errno);
    }
    fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int code = errno;
        if (code == ELOOP || code == ENOTDIR)
            return refuse("The lock directory \"" + directory +
                          "\" is refused: it is a link or not a directory");
        return failWith("Could not open the lock directory \"" + directory + "\"", code);
    }
    if (::fstat(fd, &info) != 0)
        return failWith("Could not examine the lock directory \"" + directory + "\"", errno);
    if (info.st_uid != user)
        return refuse("The lock directory \"" + directory + "\" is refused: it belongs to uid " +
                      std::to_string(info.st_uid) + ", not to the running user");
    if (info.st_mode & (S_IWGRP | S_IWOTH))
        return refuse("The lock directory \"" + directory + "\" is refused: group or others may write it");
    return 0;
}

// Opens (creating when missing) the lock file of one name in the open lock directory: a regular file of
// ours that nobody else may open, never through a link.
std::uint32_t openLockFile(int directory, const std::string& file, const std::string& path, int& fd) {
    fd = ::openat(directory, file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY,
                  0600);
    if (fd < 0) {
        const int code = errno;
        if (code == ELOOP || code == EISDIR || code == ENXIO)
            return refuse("The lock file \"" + path + "\" is refused: it is not a regular file");
        return failWith("Could not open the lock file \"" + path + "\"", code);
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return failWith("Could not examine the lock file \"" + path + "\"", errno);
    if (!S_ISREG(info.st_mode))
        return refuse("The lock file \"" + path + "\" is refused: it is not a regular file");
    if (info.st_uid != ::geteuid())
        return refuse("The lock file \"" + path + "\" is refused: it belongs to uid " +
                      std::to_string(info.st_uid) + ", not to the running user");
    // A descriptor open for reading is enough to hold a flock.
    if (info.st_mode & (S_IRWXG | S_IRWXO))
        return refuse("The lock file \"" + path + "\" is refused: group or others may open it");
    return 0;
}

std::string lockFileName(const std::string& name) {
    std::string file = "veltor-mutex-";
    for (char c : name) {
        if (c == '/')
            file += "%2F";
        else if (c == '\\')
            file += "%5C";
        else if (c == '%')
            file += "%25";
        else
            file += c;
    }
    // Stay well below the 255-byte limit of a file name; the hash keeps distinct long names apart.
    const std::size_t limit = 200;
    if (file.size() > limit) {
        std::uint64_t hash = 1469598103934665603ull;
        for (unsigned char c : name) {
            hash ^= c;
            hash *= 1099511628211ull;
        }
        char digits[20];
        std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
        file.resize(limit - 17);
        file += '-';
        file += digits;
    }
    return file;
}

class Descriptor {
public:
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
    int fd = -1;
};

} // namespace

const std::string& namedMutexErrorDetail() {
    return lastDetail;
}

std::string NamedMutex::lockFilePath(const std::string& name) {
    return lockDirectory() + "/" + lockFileName(name);
}

NamedMutex::~NamedMutex() {
    close();
}

bool NamedMutex::isHeld() const {
    return descriptor >= 0;
}

MutexAttempt NamedMutex::tryCreate(const std::string& name, std::uint32_t& error) {
    lastDetail.clear();
    if (descriptor >= 0) {
        error = 5;
        return MutexAttempt::Error;
    }
    const std::string directory = lockDirectory();
    const std::string file = lockFileName(name);
    Descriptor folder, lockFile;
    error = openLockDirectory(directory, folder.fd);
    if (error == 0)
        error = openLockFile(folder.fd, file, directory + "/" + file, lockFile.fd);
    if (error != 0)
        return MutexAttempt::Error;
    const int fd = lockFile.fd;
    int rc;
    do
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int code = errno;
        if (code == EWOULDBLOCK) {
            error = 183;
            return MutexAttempt::Busy;
        }
        error = failWith("Could not lock \"" + directory + "/" + file + "\"", code);
        return MutexAttempt::Error;
    }
    descriptor = fd;
    lockFile.fd = -1;
    error = 0;
    return MutexAttempt::Acquired;
}

bool NamedMutex::close() {
    if (descriptor < 0)
        return true;
    // The lock goes with the descriptor; close releases it even when it reports an error.
    ::close(descriptor);
    descriptor = -1;
    return true;
}

} // namespace VeltorPlatform
