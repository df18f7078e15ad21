// What only the POSIX directory handles do: statx with the entry's flags (and the older calls where a
// seccomp filter refuses it), removals judged from a status already read, leases, link stamps kept,
// and who may write where a log is kept.
#ifndef _WIN32
#include "PlatformTestDir.h"
#include "platform/DirHandle.h"

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <iostream>
#include <linux/filter.h>
#include <linux/fs.h>
#include <linux/seccomp.h>
#include <map>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace VeltorPlatform;

namespace {

// Everything a status tells but the flags.
auto facts(const EntryInfo& e) {
    return std::make_tuple(e.kind, e.readOnly, e.lastWriteMs, e.lastAccessMs, e.size, e.volume, e.fileId,
                           e.linkCount, e.posixMode, e.ownerId, e.groupId, e.changeMs, e.allocated, e.sparse);
}

// From here on statx answers `error` in this process, as on a kernel without it or under a container's
// seccomp filter.
bool refuseStatx(int error) {
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_statx, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | static_cast<unsigned>(error)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(sizeof code / sizeof code[0]), code};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

class DirHandlePosixTest : public PlatformTestDir {
protected:
    void SetUp() override {
        PlatformTestDir::SetUp();
        write("file", "12345");
        write("locked");
        fs::permissions(root / "locked", fs::perms::owner_write, fs::perm_options::remove);
        fs::create_directory(root / "sub");
        ASSERT_EQ(dir.openRoot(root.string()), 0u);
    }
    void TearDown() override {
        for (const fs::path& path : immutable)
            setImmutable(path, false);
        PlatformTestDir::TearDown();
    }
    // Sets or clears the immutable flag (root only); false where the file system keeps none.
    bool setImmutable(const fs::path& path, bool on) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        int flags = 0;
        bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        if (fd >= 0)
            ::close(fd);
        if (done && on)
            immutable.push_back(path);
        return done;
    }

    DirHandle dir;
    std::vector<fs::path> immutable;
};

} // namespace

TEST_F(DirHandlePosixTest, StatusCarriesTheFlagsAndTheOlderCallsTellTheRest) {
    if (::geteuid() != 0 || !setImmutable(root / "file", true) || !setImmutable(root / "sub", true))
        GTEST_SKIP() << "setting the immutable flag takes root and a file system that keeps it";
    EntryInfo looked, opened, proc;
    ASSERT_EQ(dir.lookup("file", looked), 0u);
    EXPECT_TRUE(looked.flagsKnown && looked.undeletable);
    FileHandle file;
    ASSERT_EQ(file.openRead(dir, "file"), 0u);
    ASSERT_EQ(file.info(opened), 0u);
    EXPECT_TRUE(opened.flagsKnown && opened.undeletable);
    EXPECT_EQ(facts(opened), facts(looked));

    // Judged with the flags, or, where the status lacks them, by opening the entry itself.
    EntryInfo unknown = looked;
    unknown.flagsKnown = unknown.undeletable = false;
    EXPECT_EQ(dir.removable("file", looked), FileSystemError::AccessDenied);
    EXPECT_EQ(dir.removable("file", unknown), FileSystemError::AccessDenied);
    EntryInfo sub;
    ASSERT_EQ(dir.lookup("sub", sub), 0u);
    EXPECT_EQ(dir.removable("sub", sub), FileSystemError::AccessDenied);
    DirHandle self;
    ASSERT_EQ(self.openRoot("/proc/self"), 0u);
    ASSERT_EQ(self.lookup("status", proc), 0u);
    EXPECT_FALSE(proc.flagsKnown); // proc fills no attribute mask

    // Where statx is refused, the older calls tell the same but for the flags.
    for (int error : {ENOSYS, EPERM}) {
        const int status = runInChild([&] {
            EntryInfo older, self;
            if (!refuseStatx(error))
                return 2;
            for (int i = 0; i < 2; ++i) // once to find statx missing, once without asking it
                if (dir.lookup("file", older) != 0u || older.flagsKnown || facts(older) != facts(looked))
                    return 3 + i;
            return file.info(self) == 0u && !self.flagsKnown && facts(self) == facts(opened) ? 0 : 5;
        });
        EXPECT_EQ(status, 0) << error;
    }
}

TEST_F(DirHandlePosixTest, RemovesAsJudgedWithoutAskingAgain) {
    std::map<std::string, EntryInfo> judged;
    for (const char* name : {"file", "locked", "sub"})
        ASSERT_EQ(dir.lookup(name, judged[name]), 0u) << name;
    EXPECT_EQ(dir.removable("file", judged["file"]), 0u);
    EXPECT_EQ(dir.removable("sub", judged["sub"]), 0u);
    EXPECT_EQ(dir.removable("locked", judged["locked"]), FileSystemError::AccessDenied);
    EXPECT_EQ(dir.removeJudged("locked", judged["locked"]), FileSystemError::AccessDenied);
    EXPECT_EQ(dir.removeJudged("sub", judged["sub"]), FileSystemError::AccessDenied);
    EXPECT_EQ(dir.removeJudged("sub/x", judged["file"]), FileSystemError::InvalidParameter);
    // A directory that took the judged file's name stays: unlinkat refuses it.
    fs::rename(root / "file", root / "was-file");
    fs::rename(root / "sub", root / "file");
    EXPECT_EQ(dir.removeJudged("file", judged["file"]), FileSystemError::AccessDenied);
    EXPECT_TRUE(fs::is_directory(root / "file"));
    EXPECT_EQ(dir.removeJudged("was-file", judged["file"]), 0u);
    EXPECT_FALSE(fs::exists(root / "was-file"));
    EXPECT_TRUE(fs::exists(root / "locked"));
    if (::geteuid() != 0)
        return;

    // Another user: only what is theirs in a sticky directory, nothing where they may not write.
    constexpr uid_t other = 54321;
    DirHandle sticky, closed;
    fs::create_directories(root / "sticky/closed");
    ::chmod((root / "sticky").c_str(), 01777);
    fs::permissions(root, fs::perms::others_exec, fs::perm_options::add);
    for (const char* name : {"sticky/roots", "sticky/mine", "sticky/closed/mine"})
        write(name);
    ASSERT_EQ(::chown((root / "sticky/mine").c_str(), other, 0), 0);
    ASSERT_EQ(sticky.openChild(dir, "sticky"), 0u);
    ASSERT_EQ(closed.openChild(sticky, "closed"), 0u);
    const int status = runInChild([&] {
        EntryInfo roots, mine, closedMine;
        if (::setresgid(other, other, other) != 0 || ::setresuid(other, other, other) != 0 ||
            sticky.lookup("roots", roots) != 0u || sticky.lookup("mine", mine) != 0u ||
            closed.lookup("mine", closedMine) != 0u)
            return 2;
        return (sticky.removable("roots", roots) == FileSystemError::AccessDenied ? 0 : 4) |
               (sticky.removable("mine", mine) == 0u ? 0 : 8) |
               (closed.removable("mine", closedMine) == FileSystemError::AccessDenied ? 0 : 16);
    });
    EXPECT_EQ(status, 0) << "4: root's file in a sticky directory, 8: one's own there, 16: no write access";
}

TEST_F(DirHandlePosixTest, AppendsOnlyToARegularFile) {
    fs::create_symlink("file", root / "link");
    ASSERT_EQ(::mkfifo((root / "fifo").c_str(), 0600), 0); // nobody reads it: the open fails with ENXIO
    FileHandle log;
    EXPECT_EQ(log.openAppend(dir, "link"), FileSystemError::IsALink);
    EXPECT_EQ(log.openAppend(dir, "fifo"), FileSystemError::NotARegularFile);
    EXPECT_EQ(log.openAppend(dir, "missing"), FileSystemError::FileNotFound);
    ASSERT_EQ(log.openAppend(dir, "file"), 0u);
    ASSERT_EQ(log.write("67", 2), 0u);
    EXPECT_EQ(log.close(), 0u);
    EXPECT_EQ(content("file"), "1234567");
    // A file made anew for appending writes at its end, whatever another writer (a second run sharing
    // the log) has added since.
    FileHandle fresh;
    ASSERT_EQ(fresh.createNew(dir, "new.log", 0600, true), 0u);
    ASSERT_EQ(fresh.write("a\n", 2), 0u);
    ASSERT_EQ(log.openAppend(dir, "new.log"), 0u);
    ASSERT_EQ(log.write("b\n", 2), 0u);
    ASSERT_EQ(fresh.write("c\n", 2), 0u);
    EXPECT_EQ(content("new.log"), "a\nb\nc\n");
}

TEST_F(DirHandlePosixTest, HoldsAFileNobodyElseHasOpen) {
    FileHandle held;
    if (held.openExclusive(dir, "file") == FileSystemError::NotSupported)
        GTEST_SKIP() << "no leases on the file system of " << root;
    EXPECT_FALSE(held.openedByOthers());
    EXPECT_EQ(held.removeHeld(dir, "file"), 0u);
    EXPECT_FALSE(fs::exists(root / "file"));
    EXPECT_EQ(held.close(), 0u);
    {
        std::ifstream reader(root / "locked");
        EXPECT_EQ(held.openExclusive(dir, "locked"), FileSystemError::SharingViolation);
        EXPECT_FALSE(held.isOpen());
    }
    // A file read-only, or swapped for another under its name, stays.
    write("other", "other");
    ASSERT_EQ(held.openExclusive(dir, "locked", true), 0u);
    EXPECT_EQ(held.removeHeld(dir, "locked"), FileSystemError::AccessDenied);
    fs::rename(root / "other", root / "locked");
    EXPECT_EQ(held.removeHeld(dir, "locked"), FileSystemError::EntryChanged);
    EXPECT_EQ(content("locked"), "other");

    // Another open waits until the lease is given up, and the holder can tell.
    ASSERT_EQ(held.openExclusive(dir, "locked"), 0u);
    std::atomic<bool> opened{false};
    std::thread other([&] {
        const int fd = ::open((root / "locked").c_str(), O_RDONLY | O_CLOEXEC);
        opened = fd >= 0;
        ::close(fd);
    });
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!held.openedByOthers() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(held.openedByOthers());
    EXPECT_FALSE(opened);
    EXPECT_EQ(held.close(), 0u);
    other.join();
    EXPECT_TRUE(opened);

    // A file system without leases.
    DirHandle proc;
    ASSERT_EQ(proc.openRoot("/proc/self"), 0u);
    EXPECT_EQ(held.openExclusive(proc, "status"), FileSystemError::NotSupported);
    EXPECT_FALSE(held.isOpen());
}

TEST_F(DirHandlePosixTest, ReadsALinkAndPutsItsLastAccessBack) {
    fs::create_symlink("file", root / "link");
    const timespec old[2] = {{std::time(nullptr) - 200 * 86400, 123456789},
                             {std::time(nullptr) - 200 * 86400, 0}};
    auto access = [&] {
        struct stat status {};
        ::lstat((root / "link").c_str(), &status);
        return std::make_pair(status.st_atim.tv_sec, status.st_atim.tv_nsec);
    };
    std::string target;
    bool kept = false;
    ASSERT_EQ(::utimensat(AT_FDCWD, (root / "link").c_str(), old, AT_SYMLINK_NOFOLLOW), 0);
    ASSERT_EQ(dir.readLink("link", target, false, &kept), 0u);
    if (access() == std::make_pair(old[0].tv_sec, old[0].tv_nsec))
        GTEST_SKIP() << "the file system of " << root << " records no access to a link";
    EXPECT_FALSE(kept);
    ASSERT_EQ(::utimensat(AT_FDCWD, (root / "link").c_str(), old, AT_SYMLINK_NOFOLLOW), 0);
    ASSERT_EQ(dir.readLink("link", target, true, &kept), 0u);
    EXPECT_EQ(target, "file");
    EXPECT_TRUE(kept);
    EXPECT_EQ(access(), std::make_pair(old[0].tv_sec, old[0].tv_nsec));
    EXPECT_EQ(dir.readLink("file", target, true, &kept), FileSystemError::NotAReparsePoint);
}

TEST_F(DirHandlePosixTest, TrustsWritersOnlyWhereNobodyElseCanSwapTheFile) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "the directories of other users take root";
    constexpr uid_t other = 54321;
    EntryInfo roots, others;
    others.ownerId = other;
    // The ACL lets another user write; its mask shows in the group bits.
    const unsigned char acl[] = {2,    0,    0,    0,    1,    0, 7, 0, 0xff, 0xff, 0xff, 0xff, 2,    0, 7, 0,
                                 0x31, 0xd4, 0,    0,    4,    0, 0, 0, 0xff, 0xff, 0xff, 0xff, 0x10, 0, 7, 0,
                                 0xff, 0xff, 0xff, 0xff, 0x20, 0, 0, 0, 0xff, 0xff, 0xff, 0xff};
    // Where the directory is others' or they may write it, nothing counts; root's sticky directory
    // counts for what is root's.
    const std::map<std::string, std::tuple<mode_t, uid_t, bool>> cases{
        {"private", {0700, 0, true}}, {"group", {0770, 0, false}},      {"everyone", {0777, 0, false}},
        {"acl", {0700, 0, false}},    {"others", {0700, other, false}}, {"sticky", {01777, 0, true}}};
    for (const auto& [name, c] : cases) {
        const auto [mode, owner, trusted] = c;
        const fs::path path = root / name;
        fs::create_directory(path);
        ASSERT_EQ(::chown(path.c_str(), owner, 0), 0);
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        if (name == "acl" && ::setxattr(path.c_str(), "system.posix_acl_access", acl, sizeof acl, 0) != 0) {
            std::cout << "no access control lists on " << root << "\n";
            continue;
        }
        DirHandle held;
        ASSERT_EQ(held.openChild(dir, name), 0u);
        EXPECT_EQ(held.writersTrusted(nullptr), trusted) << name;
        if (name == "sticky") {
            EXPECT_TRUE(held.writersTrusted(&roots) && !held.writersTrusted(&others));
        }
    }
}
#endif
