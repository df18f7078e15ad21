#include "platform/FileReplace.h"

#include "platform/FileSystem.h"

#include "Errors.h"

#include <fcntl.h>
#include <unistd.h>

namespace VeltorPlatform {

namespace {

// Flushes what the system holds of an open file or directory to the disk.
bool sync(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

} // namespace

std::uint32_t replaceFile(const std::string& from, const std::string& to) {
    if (!sync(from, O_RDONLY))
        return lastError();
    if (::rename(from.c_str(), to.c_str()) != 0)
        return lastError();
    // The new name is durable once its directory is; a failure here leaves the name in place anyway.
    const std::size_t slash = to.find_last_of('/');
    sync(slash == std::string::npos ? std::string(".")
         : slash == 0               ? std::string("/")
                                    : to.substr(0, slash),
         O_RDONLY | O_DIRECTORY);
    return FileSystemError::Success;
}

} // namespace VeltorPlatform
