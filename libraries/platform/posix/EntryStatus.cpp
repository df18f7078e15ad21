// The status of an entry as EntryInfo tells it: one statx where the kernel has it, fstatat or fstat
// where it has not (or a seccomp filter refuses it), the entry's own flags then unknown.
#include "PosixFiles.h"

#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#if defined(__linux__)
#include <sys/syscall.h>
#endif

namespace VeltorPlatform {

namespace {

EntryKind kindOf(mode_t mode) {
    if (S_ISREG(mode))
        return EntryKind::File;
    if (S_ISDIR(mode))
        return EntryKind::Directory;
    if (S_ISLNK(mode))
        return EntryKind::Link;
    return EntryKind::Other;
}

// Holes only count once they are this large: below it a file is small, stored inline, or its last
// block is merely unallocated yet, and copying it costs nothing worth refusing.
constexpr std::uint64_t kSparseGap = 1024 * 1024;

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
    out.ownerId = static_cast<std::uint32_t>(status.st_uid);
    out.groupId = static_cast<std::uint32_t>(status.st_gid);
    out.changeMs = toMs(status.st_ctim);
    out.allocated = static_cast<std::uint64_t>(status.st_blocks) * 512;
    // From the status alone: more than a mebibyte unallocated and under an eighth of the size on disk.
    // A file system that compresses also shows fewer blocks than the size; text seldom shrinks to an
    // eighth, and an open file is judged by its holes instead (statusOf).
    out.sparse =
        S_ISREG(status.st_mode) && out.size > out.allocated + kSparseGap && out.allocated < out.size / 8;
    out.undeletable = false;
    out.flagsKnown = false;
}

// Whether the open regular file has a hole before its end. The file offset is kept as it was. A file
// system without hole reporting answers "data up to the end": never sparse.
bool hasHole(int fd, std::uint64_t size) {
    const off_t at = ::lseek(fd, 0, SEEK_CUR);
    if (at < 0)
        return false;
    const off_t hole = ::lseek(fd, 0, SEEK_HOLE);
    ::lseek(fd, at, SEEK_SET);
    return hole >= 0 && static_cast<std::uint64_t>(hole) < size;
}

#if defined(SYS_statx)
// Set once statx proved missing or refused: from then on every entry costs the one older call
// instead of two.
std::atomic<bool> withoutStatx{false};

timespec fromStatx(const struct statx_timestamp& time) {
    timespec out{};
    out.tv_sec = static_cast<time_t>(time.tv_sec);
    out.tv_nsec = static_cast<long>(time.tv_nsec);
    return out;
}

// One statx: the status, and the immutable and append-only attributes where the file system fills
// them. The system call itself, not glibc's wrapper, which on a kernel without statx would try it and
// then call fstatat, for every entry. 0, or the errno of the failure (ENOSYS once statx is known to be
// missing).
int statxInto(int dirFd, const char* name, int flags, EntryInfo& out) {
    if (withoutStatx.load(std::memory_order_relaxed))
        return ENOSYS;
    struct statx got {};
    if (::syscall(SYS_statx, dirFd, name, flags, STATX_BASIC_STATS, &got) != 0)
        return errno;
    struct stat status {};
    status.st_mode = got.stx_mode;
    status.st_mtim = fromStatx(got.stx_mtime);
    status.st_atim = fromStatx(got.stx_atime);
    status.st_ctim = fromStatx(got.stx_ctime);
    status.st_size = static_cast<off_t>(got.stx_size);
    // The encoding stat uses for st_dev, so identities from either call compare equal.
    status.st_dev = makedev(got.stx_dev_major, got.stx_dev_minor);
    status.st_ino = static_cast<ino_t>(got.stx_ino);
    status.st_nlink = static_cast<nlink_t>(got.stx_nlink);
    status.st_uid = got.stx_uid;
    status.st_gid = got.stx_gid;
    status.st_blocks = static_cast<blkcnt_t>(got.stx_blocks);
    fill(out, status);
    constexpr std::uint64_t both = STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND;
    out.flagsKnown = (got.stx_attributes_mask & both) == both;
    out.undeletable = out.flagsKnown && (got.stx_attributes & both) != 0;
    return 0;
}

// Whether the older call is to be asked after statx failed with `error`: ENOSYS where the kernel has
// no statx, EPERM where a seccomp filter refuses it (statx itself never answers EPERM; should a file
// system do so, the older call says the same).
bool tryOlderCall(int error) {
    return error == ENOSYS || error == EPERM;
}

// The older call answered where statx did not: statx is not to be had in this process.
void olderCallAnswered() {
    withoutStatx.store(true, std::memory_order_relaxed);
}
#endif

} // namespace

std::uint32_t statusAt(int dirFd, const char* name, EntryInfo& out) {
#if defined(SYS_statx)
    // AT_NO_AUTOMOUNT: a look-up never mounts what an automount point stands for, as fstatat does not.
    const int error = statxInto(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, out);
    if (error == 0)
        return FileSystemError::Success;
    if (!tryOlderCall(error))
        return fromErrno(error);
#endif
    struct stat status {};
    if (::fstatat(dirFd, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return lastError();
#if defined(SYS_statx)
    olderCallAnswered();
#endif
    fill(out, status);
    return FileSystemError::Success;
}

std::uint32_t statusOf(int fd, EntryInfo& out) {
    int error = ENOSYS;
#if defined(SYS_statx)
    error = statxInto(fd, "", AT_EMPTY_PATH, out);
    if (error != 0 && !tryOlderCall(error))
        return fromErrno(error);
#endif
    if (error != 0) {
        struct stat status {};
        if (::fstat(fd, &status) != 0)
            return lastError();
#if defined(SYS_statx)
        olderCallAnswered();
#endif
        fill(out, status);
    }
    // Through a descriptor the holes themselves can be asked for: a compressed file has none, so only
    // a real hole of more than a mebibyte makes a file sparse.
    out.sparse =
        out.kind == EntryKind::File && out.size > out.allocated + kSparseGap && hasHole(fd, out.size);
    return FileSystemError::Success;
}

} // namespace VeltorPlatform
