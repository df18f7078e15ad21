#include "platform/NamedMutex.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <string>

#ifndef _WIN32
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using VeltorPlatform::MutexAttempt;
using VeltorPlatform::NamedMutex;

namespace {
std::string uniqueName(const char* tag) {
    return std::string("Global\\sorvik-test-") + tag + "-" +
           std::to_string(VeltorPlatform::currentProcessId());
}
} // namespace

TEST(NamedMutex, CreatorHoldsUntilCloseAndOthersOfTheSameProcessSeeBusy) {
    const std::string name = uniqueName("hold");
    NamedMutex first, second;
    std::uint32_t error = 99;
    EXPECT_EQ(MutexAttempt::Acquired, first.tryCreate(name, error));
    EXPECT_EQ(0u, error);
    EXPECT_TRUE(first.isHeld());

    EXPECT_EQ(MutexAttempt::Busy, second.tryCreate(name, error));
    EXPECT_EQ(183u, error);
    EXPECT_FALSE(second.isHeld());

    // Holding one already: a second create on the same object is refused without side effects.
    EXPECT_EQ(MutexAttempt::Error, first.tryCreate(name, error));
    EXPECT_EQ(5u, error);
    EXPECT_TRUE(first.isHeld());

    EXPECT_TRUE(first.close());
    EXPECT_FALSE(first.isHeld());
    EXPECT_TRUE(first.close());
    EXPECT_EQ(MutexAttempt::Acquired, second.tryCreate(name, error));

    // Names differ: no exclusion; and the destructor releases.
    {
        NamedMutex other;
        EXPECT_EQ(MutexAttempt::Acquired, other.tryCreate(uniqueName("other"), error));
    }
    NamedMutex later;
    EXPECT_EQ(MutexAttempt::Acquired, later.tryCreate(uniqueName("other"), error));
}

#ifndef _WIN32
TEST(NamedMutex, LockFileNamesKeepSeparatorsApartAndStayShort) {
    const std::string a = NamedMutex::lockFilePath("Global\\a_b");
    const std::string b = NamedMutex::lockFilePath("Global\\a/b");
    EXPECT_NE(a, b);
    EXPECT_NE(std::string::npos, a.find("veltor-mutex-Global%5Ca_b"));
    EXPECT_NE(std::string::npos, b.find("veltor-mutex-Global%5Ca%2Fb"));
    const std::string longA = NamedMutex::lockFilePath("Global\\" + std::string(400, 'x') + "a");
    const std::string longB = NamedMutex::lockFilePath("Global\\" + std::string(400, 'x') + "b");
    EXPECT_NE(longA, longB);
    EXPECT_LE(longA.substr(longA.rfind('/') + 1).size(), 200u);
}

namespace fs = std::filesystem;

// Whoever could place or open a lock file could hold the lock or make us lock something else: what lies
// at a lock file's name must be a plain file of ours that nobody else may open, or the attempt fails (an
// error, never "busy").
TEST(NamedMutex, RefusesLockFilesThatAreNotPlainFilesOfOurs) {
    const fs::path elsewhere =
        fs::temp_directory_path() / ("veltor-mutex-target-" + uniqueName("t").substr(7));
    const std::string probeName = uniqueName("probe");
    std::uint32_t error = 0;
    NamedMutex probe; // creates the lock directory when it is missing
    ASSERT_EQ(MutexAttempt::Acquired, probe.tryCreate(probeName, error));
    probe.close();
    for (const std::string what :
         {"link", "directory", "fifo", "file others may open", "file of another user"}) {
        SCOPED_TRACE(what);
        const bool foreign = what == "file of another user";
        if (foreign && ::geteuid() != 0)
            continue;
        const std::string name = uniqueName(what.c_str());
        const fs::path at = NamedMutex::lockFilePath(name);
        if (what == "link") {
            fs::create_symlink(elsewhere, at);
        } else if (what == "directory") {
            fs::create_directory(at);
        } else if (what == "fifo") {
            ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0);
        } else {
            std::ofstream(at.string()) << "";
            fs::permissions(at, fs::perms(foreign ? 0600 : 0644));
            if (foreign) {
                ASSERT_EQ(::chown(at.c_str(), 65534, 65534), 0);
            }
        }
        NamedMutex mutex;
        EXPECT_EQ(MutexAttempt::Error, mutex.tryCreate(name, error));
        EXPECT_EQ(5u, error);
        EXPECT_NE(std::string::npos, VeltorPlatform::namedMutexErrorDetail().find(at.string()))
            << VeltorPlatform::namedMutexErrorDetail();
        EXPECT_FALSE(mutex.isHeld());
        EXPECT_FALSE(fs::exists(elsewhere)); // a link is never followed to create its target
        std::error_code ignored;
        fs::remove_all(at, ignored);
    }
    // What we create ourselves only we may open; a success forgets the last refusal.
    ASSERT_EQ(MutexAttempt::Acquired, probe.tryCreate(probeName, error));
    EXPECT_EQ("", VeltorPlatform::namedMutexErrorDetail());
    const fs::path created = NamedMutex::lockFilePath(probeName);
    EXPECT_EQ(fs::perms(0600), fs::symlink_status(created).permissions() & fs::perms::all);
    probe.close();
    fs::remove(created);
}

// One attempt of a user that is not root, with the given runtime directory: in a child process that
// drops to nobody when this is root, in this process otherwise.
MutexAttempt attemptWithRuntimeDirectory(const fs::path& runtime, const std::string& name) {
    if (::geteuid() != 0) {
        const char* saved = std::getenv("XDG_RUNTIME_DIR");
        const std::string previous = saved ? saved : "";
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        NamedMutex mutex;
        std::uint32_t error = 0;
        const MutexAttempt attempt = mutex.tryCreate(name, error);
        if (saved)
            ::setenv("XDG_RUNTIME_DIR", previous.c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
        return attempt;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(99);
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        NamedMutex mutex;
        std::uint32_t error = 0;
        ::_exit(static_cast<int>(mutex.tryCreate(name, error)));
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) > 2)
        ADD_FAILURE() << "the unprivileged attempt did not run";
    return static_cast<MutexAttempt>(WEXITSTATUS(status));
}

// The lock directory of a user ("veltor" in the runtime directory) must be that user's alone: not a
// link, not writable by others, not someone else's; a missing one is created for that user only.
TEST(NamedMutex, LockDirectoryMustBeTheUsersOwn) {
    const fs::path base = fs::temp_directory_path() / ("veltor-mutex-dirs-" + uniqueName("d").substr(7));
    fs::create_directories(base);
    const uid_t user = ::geteuid() == 0 ? 65534 : ::geteuid();
    auto own = [&](const fs::path& path, int mode) {
        fs::create_directory(path);
        ASSERT_EQ(::chown(path.c_str(), user, static_cast<gid_t>(-1)), 0);
        fs::permissions(path, fs::perms(mode));
    };
    own(base / "good", 0700);
    own(base / "group-writable", 0770);
    own(base / "parent", 0755);
    fs::create_directory_symlink(base / "good", base / "link");
    const std::string name = uniqueName("runtime");
    EXPECT_EQ(MutexAttempt::Acquired, attemptWithRuntimeDirectory(base / "good", name));
    EXPECT_EQ(MutexAttempt::Error, attemptWithRuntimeDirectory(base / "group-writable", name));
    EXPECT_EQ(MutexAttempt::Error, attemptWithRuntimeDirectory(base / "link", name));
    EXPECT_EQ(MutexAttempt::Error, attemptWithRuntimeDirectory("/", name)); // root's, not ours
    EXPECT_EQ(MutexAttempt::Acquired, attemptWithRuntimeDirectory(base / "parent" / "made", name));
    for (const fs::path& made : {base / "parent" / "made", base / "parent" / "made" / "veltor"}) {
        struct stat info {};
        ASSERT_EQ(::lstat(made.c_str(), &info), 0);
        EXPECT_EQ(0700u, info.st_mode & 07777);
        EXPECT_EQ(user, info.st_uid);
    }
    // Nothing was created through the link or in the refused directories.
    EXPECT_TRUE(fs::is_empty(base / "group-writable"));
    std::error_code ignored;
    fs::remove_all(base, ignored);
}
#endif
