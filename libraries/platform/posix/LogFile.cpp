#include "platform/LogFile.h"

#include "PosixFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace VeltorPlatform {

struct LogFile::State {
    int fd = -1;
    ~State() {
        if (fd >= 0)
            ::close(fd);
    }
};

LogFile::LogFile() = default;
LogFile::~LogFile() = default;

namespace {

std::uint32_t refusal(const struct stat& status) {
    return S_ISLNK(status.st_mode) ? FileSystemError::IsALink : FileSystemError::NotARegularFile;
}

} // namespace

std::uint32_t LogFile::open(const std::string& path, std::uint64_t rotateBytes) {
    close();
    if (path.empty() || path.back() == '/' || path.find('\0') != std::string::npos)
        return FileSystemError::InvalidParameter;
    const std::string::size_type slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return fromErrno(errno);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } dirCloser{dir};
    struct stat status {};
    if (::fstatat(dir, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISREG(status.st_mode))
            return refusal(status);
        // renameat moves the entry itself, whatever stands under the older copy's name.
        if (static_cast<std::uint64_t>(status.st_size) > rotateBytes &&
            ::renameat(dir, name.c_str(), dir, (name + ".1").c_str()) != 0)
            return fromErrno(errno);
    } else if (errno != ENOENT) {
        return fromErrno(errno);
    }
    // O_NOFOLLOW refuses a link put there since the look-up, O_NONBLOCK keeps a FIFO from stalling us;
    // the type is checked again on what was opened.
    const int flags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    bool created = true;
    int fd = ::openat(dir, name.c_str(), flags | O_CREAT | O_EXCL, 0640);
    if (fd < 0 && errno == EEXIST) {
        created = false;
        fd = ::openat(dir, name.c_str(), flags);
    }
    if (fd < 0) {
        const int error = errno;
        if (::fstatat(dir, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(status.st_mode))
            return refusal(status);
        return fromErrno(error);
    }
    auto opened = std::make_unique<State>();
    opened->fd = fd;
    if (::fstat(fd, &status) != 0)
        return fromErrno(errno);
    if (!S_ISREG(status.st_mode))
        return refusal(status);
    // The mode exactly as promised, whatever the umask.
    if (created && ::fchmod(fd, 0640) != 0)
        return fromErrno(errno);
    const int mode = ::fcntl(fd, F_GETFL);
    if (mode >= 0)
        ::fcntl(fd, F_SETFL, mode & ~O_NONBLOCK);
    state = std::move(opened);
    return FileSystemError::Success;
}

bool LogFile::isOpen() const {
    return state != nullptr;
}

std::uint32_t LogFile::write(const char* data, std::size_t size) {
    if (!state)
        return FileSystemError::InvalidParameter;
    return writeAll(state->fd, data, size);
}

void LogFile::close() {
    state.reset();
}

} // namespace VeltorPlatform
