#include "platform/NamedMutex.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace VeltorPlatform {

namespace {

std::uint32_t winErrorOf(int code) {
    switch (code) {
    case ENOENT:
        return 3; // the lock directory is missing
    case EACCES:
    case EPERM:
    case EROFS:
        return 5;
    case ENOMEM:
        return 14;
    case ENAMETOOLONG:
        return 206;
    case EMFILE:
    case ENFILE:
        return 4;
    default:
        return 31; // a device attached to the system is not functioning: the generic failure
    }
}

const char* lockDirectory() {
    // /run/lock is the machine's directory for lock files; a sandbox without write access to it still
    // has /tmp.
    static const char* const directory = ::access("/run/lock", W_OK | X_OK) == 0 ? "/run/lock" : "/tmp";
    return directory;
}

} // namespace

std::string NamedMutex::lockFilePath(const std::string& name) {
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
    return std::string(lockDirectory()) + "/" + file;
}

NamedMutex::~NamedMutex() {
    close();
}

bool NamedMutex::isHeld() const {
    return descriptor >= 0;
}

MutexAttempt NamedMutex::tryCreate(const std::string& name, std::uint32_t& error) {
    if (descriptor >= 0) {
        error = 5;
        return MutexAttempt::Error;
    }
    const std::string path = lockFilePath(name);
    // O_NOFOLLOW: a link planted in the shared directory must not make us create or lock another file.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0 && (errno == EACCES || errno == EPERM)) // another user's lock file: reading is enough to lock
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        error = winErrorOf(errno);
        return MutexAttempt::Error;
    }
    // Let other users' processes open the same file (the umask may have narrowed the mode).
    struct stat info {};
    if (::fstat(fd, &info) == 0 && info.st_uid == ::geteuid() && (info.st_mode & 0666) != 0666)
        ::fchmod(fd, 0666);
    int rc;
    do
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int code = errno;
        ::close(fd);
        if (code == EWOULDBLOCK) {
            error = 183;
            return MutexAttempt::Busy;
        }
        error = winErrorOf(code);
        return MutexAttempt::Error;
    }
    descriptor = fd;
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
