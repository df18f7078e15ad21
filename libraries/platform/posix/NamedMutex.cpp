#include "platform/NamedMutex.h"

#include "Errors.h"
#include "TrustedPath.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace VeltorPlatform {

namespace {

thread_local std::string lastDetail;

// Holding a lock file is holding the lock, so the files lie where nobody else can create, replace or
// open them: root's in /run/veltor, another user's in the session's runtime directory or, without one,
// in a directory of its own below /tmp (consistent for every process of that user that has no session).
std::string lockDirectory() {
    const uid_t user = ::geteuid();
    if (user == 0)
        return "/run/veltor";
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/')
        return runtime;
    return "/tmp/veltor-" + std::to_string(user);
}

std::uint32_t refuse(const std::string& detail) {
    lastDetail = detail;
    return 5;
}

std::uint32_t failWith(const std::string& what, int code) {
    lastDetail = what + ": " + std::strerror(code);
    return fromErrno(code);
}

// Opens the lock directory, creating it when missing, and makes sure nobody but us (and root) can change
// it or anything above it.
std::uint32_t openLockDirectory(const std::string& directory, int& fd) {
    if (::mkdir(directory.c_str(), ::geteuid() == 0 ? 0755 : 0700) != 0 && errno != EEXIST)
        return failWith("Could not create the lock directory \"" + directory + "\"", errno);
    fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int code = errno;
        if (code == ELOOP || code == ENOTDIR)
            return refuse("The lock directory \"" + directory +
                          "\" is refused: it is a link or not a directory");
        return failWith("Could not open the lock directory \"" + directory + "\"", code);
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return failWith("Could not examine the lock directory \"" + directory + "\"", errno);
    if (info.st_uid != ::geteuid())
        return refuse("The lock directory \"" + directory + "\" is refused: it belongs to uid " +
                      std::to_string(info.st_uid) + ", not to the running user");
    if (info.st_mode & (S_IWGRP | S_IWOTH))
        return refuse("The lock directory \"" + directory + "\" is refused: group or others may write it");
    const std::size_t slash = directory.rfind('/');
    const std::string reason = TrustedPath::checkDirectories(slash == 0 ? "/" : directory.substr(0, slash));
    if (!reason.empty())
        return refuse("The lock directory \"" + directory + "\" is refused: " + reason);
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
