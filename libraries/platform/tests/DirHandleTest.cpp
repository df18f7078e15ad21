#include "platform/DirHandle.h"
#include "PlatformTestDir.h"
#include "platform/FileSystem.h"

#include <fstream>
#include <map>
#include <string>

#ifdef _WIN32
#include "../win32/Security.h"
#include "../win32/Win32Files.h"
#include "platform/Process.h"

#include <aclapi.h>
#include <cstring>
#include <sddl.h>
#include <vector>
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;
using namespace VeltorPlatform;

namespace {

// Whether `name` of `dir` could be removed, as the preview asks it: on the status a look-up just read.
std::uint32_t removableNow(const DirHandle& dir, const std::string& name) {
    EntryInfo info;
    if (const std::uint32_t error = dir.lookup(name, info))
        return error;
    return dir.removable(name, info);
}

// Wine follows the host's links whatever the open flags say; there a link is refused, never removed.
bool underWine() {
#ifdef _WIN32
    return ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
#else
    return false;
#endif
}

#ifdef _WIN32
// Runs a shell command of the host in `directory` and waits until it is done: under Wine only the host
// can make links and remove what Wine no longer sees (a dangling link). Wine does not wait for a host
// process, so the command leaves a mark when done.
bool runOnHost(const std::string& command, const fs::path& directory) {
    const fs::path mark = directory / ".host-done";
    std::string line = "sh -c \"" + command + " && : > .host-done\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA("Z:\\bin\\sh", &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                          directory.string().c_str(), &startup, &process))
        return false;
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
    for (int i = 0; i < 1000; ++i, ::Sleep(10))
        if (::DeleteFileA(mark.string().c_str()))
            return true;
    return false;
}
#endif

// The root holds "file", a read-only "locked", an empty "sub", and links to "outside" and a file in it.
class DirHandleTest : public PlatformTestDir {
protected:
    void SetUp() override {
        PlatformTestDir::SetUp();
        fs::create_directories(root / "outside");
        fs::create_directory(root / "sub");
        write("file", "12345");
        write("outside/guarded.txt", "guarded");
        write("locked", "x");
        fs::permissions(root / "locked", fs::perms::owner_write, fs::perm_options::remove);
        ASSERT_EQ(dir.openRoot(root.string()), 0u);
        plantLink("outside", "dirlink");
        plantLink("outside/guarded.txt", "filelink");
    }
    void TearDown() override {
        dir.close();
#ifdef _WIN32
        if (underWine()) {
            runOnHost("rm -rf " + root.filename().string(), root.parent_path());
            return;
        }
#endif
        PlatformTestDir::TearDown();
    }
    // A symbolic link `name` in the root to `target` (relative to the root).
    void plantLink(const std::string& target, const std::string& name) const {
#ifdef _WIN32
        BOOL made = FALSE;
        if (underWine()) {
            made = runOnHost("ln -s " + target + " " + name, root);
        } else {
            std::string to = target;
            for (char& c : to)
                c = c == '/' ? '\\' : c;
            DWORD flags = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
            if (fs::is_directory(root / target))
                flags |= SYMBOLIC_LINK_FLAG_DIRECTORY;
            made = ::CreateSymbolicLinkA((root / name).string().c_str(), to.c_str(), flags);
        }
        ASSERT_TRUE(made) << "cannot plant the link " << name << " (developer mode or elevation needed)";
#else
        fs::create_symlink(target, root / name);
#endif
    }

    DirHandle dir;
};

} // namespace

TEST_F(DirHandleTest, OpensDirectoriesButNeverThroughALink) {
    DirHandle other;
    EXPECT_EQ(other.openRoot((root / "file").string()), FileSystemError::NotADirectory);
    EXPECT_NE(other.openRoot((root / "missing").string()), 0u);
    EXPECT_FALSE(other.isOpen());

    const std::map<std::string, std::uint32_t> cases{
        {"sub", 0u},
        {"dirlink", FileSystemError::IsALink},
        {"file", FileSystemError::NotADirectory},
        {"missing", FileSystemError::FileNotFound},
        {"..", FileSystemError::InvalidParameter},
        {".", FileSystemError::InvalidParameter},
        {"sub/..", FileSystemError::InvalidParameter},
        {"", FileSystemError::InvalidParameter},
    };
    for (const auto& [name, expected] : cases) {
        DirHandle child;
        EXPECT_EQ(child.openChild(dir, name), expected) << name;
        EXPECT_EQ(child.isOpen(), expected == 0u) << name;
    }
    DirHandle sub;
    ASSERT_EQ(sub.openChild(dir, "sub"), 0u);
    EXPECT_EQ(sub.path(), (root / "sub").string());
    EntryInfo info;
    ASSERT_EQ(sub.info(info), 0u);
    EXPECT_EQ(info.kind, EntryKind::Directory);
}

// Others may rename a directory while a run works in it (Windows: no sharing violation), and the run
// stays on the directory it opened, wherever that has gone.
TEST_F(DirHandleTest, StaysOnTheDirectoryItOpenedWhileOthersRenameIt) {
    write("sub/inner", "in");
    fs::create_directory(root / "sub/deeper");
    DirHandle sub;
    ASSERT_EQ(sub.openChild(dir, "sub"), 0u);
    fs::rename(root / "sub", root / "moved");
    ASSERT_EQ(dir.rename("moved", "again"), 0u);
    DirEnumerator listing;
    ASSERT_EQ(listing.open(sub), 0u);
    std::map<std::string, bool> listed;
    while (listing.next() == 0u)
        listed[std::string(listing.entry().name)] = listing.entry().info.kind == EntryKind::Directory;
    EXPECT_EQ(listed, (std::map<std::string, bool>{{"deeper", true}, {"inner", false}}));
    EntryInfo info;
    DirHandle deeper;
    ASSERT_EQ(sub.lookup("inner", info), 0u);
    if (underWine()) {
        // Wine cannot name what is opened in a directory renamed since: it is left alone as a link.
        EXPECT_EQ(info.kind, EntryKind::Link);
        EXPECT_EQ(sub.removeFile("inner"), FileSystemError::IsALink);
        EXPECT_EQ(content("again/inner"), "in");
        return;
    }
    EXPECT_EQ(info.size, 2u);
    EXPECT_EQ(deeper.openChild(sub, "deeper"), 0u);
    EXPECT_EQ(sub.removeFile("inner"), 0u);
    EXPECT_FALSE(fs::exists(root / "again/inner"));
}

// Nothing below a root is reached by its path: no length limit there.
TEST_F(DirHandleTest, ReachesEntriesBeyondAnyPathLength) {
    const std::string part(100, 'd');
    const fs::path deep = root / (part + "1") / (part + "2") / (part + "3");
    ASSERT_GT(deep.string().size(), 300u);
    fs::create_directories(deep);
    std::ofstream(deep / "deep.log") << "deep";
    DirHandle level = dir;
    for (const char* digit : {"1", "2", "3"})
        ASSERT_EQ(level.openChild(DirHandle(level), part + digit), 0u) << digit;
    EXPECT_EQ(level.path(), deep.string());
    DirEnumerator listing;
    ASSERT_EQ(listing.open(level), 0u);
    ASSERT_EQ(listing.next(), 0u);
    EXPECT_EQ(listing.entry().name, "deep.log");
    EXPECT_EQ(listing.entry().info.size, 4u);
    EXPECT_EQ(level.removeFile("deep.log", &listing.entry().info), 0u);
    EXPECT_EQ(listing.next(), FileSystemError::NoMoreItems);
    EXPECT_FALSE(fs::exists(deep / "deep.log"));
}

TEST_F(DirHandleTest, LookupTellsKindAndIdentityWithoutFollowing) {
    std::map<std::string, EntryKind> cases{{"file", EntryKind::File},
                                           {"sub", EntryKind::Directory},
                                           {"dirlink", EntryKind::Link},
                                           {"filelink", EntryKind::Link}};
#ifndef _WIN32
    ASSERT_EQ(::mkfifo((root / "fifo").c_str(), 0600), 0);
    cases["fifo"] = EntryKind::Other;
#endif
    for (const auto& [name, kind] : cases) {
        EntryInfo info;
        ASSERT_EQ(dir.lookup(name, info), 0u) << name;
        EXPECT_EQ(info.kind, kind) << name;
    }
    EntryInfo looked, opened;
    ASSERT_EQ(dir.lookup("file", looked), 0u);
    EXPECT_EQ(looked.size, 5u);
    EXPECT_EQ(looked.linkCount, 1u);
    FileHandle file;
    ASSERT_EQ(file.openRead(dir, "file"), 0u);
    ASSERT_EQ(file.info(opened), 0u);
    EXPECT_TRUE(looked.sameEntryAs(opened));
    EXPECT_EQ(dir.lookup("missing", looked), FileSystemError::FileNotFound);
    EXPECT_EQ(dir.lookup("sub/x", looked), FileSystemError::InvalidParameter);
}

TEST_F(DirHandleTest, RemovesOnlyWhatWasJudgedAndNeverALinksTarget) {
    fs::create_directory(root / "empty");
    const std::uint32_t link = underWine() ? FileSystemError::IsALink : 0u;
    const std::map<std::string, std::uint32_t> files{{"file", 0u},
                                                     {"filelink", link},
                                                     {"locked", FileSystemError::AccessDenied},
                                                     {"sub", FileSystemError::AccessDenied},
                                                     {"missing", FileSystemError::FileNotFound}};
    for (const auto& [name, expected] : files)
        EXPECT_EQ(dir.removeFile(name), expected) << name;
    EXPECT_FALSE(fs::exists(root / "file"));
    EXPECT_EQ(fs::exists(fs::symlink_status(root / "filelink")), link != 0u);
    EXPECT_TRUE(fs::exists(root / "locked"));

    const std::map<std::string, std::uint32_t> directories{{"empty", 0u},
                                                           {"outside", FileSystemError::DirNotEmpty},
                                                           {"dirlink", FileSystemError::IsALink},
                                                           {"locked", FileSystemError::NotADirectory}};
    for (const auto& [name, expected] : directories)
        EXPECT_EQ(dir.removeDirectory(name), expected) << name;
    EXPECT_FALSE(fs::exists(root / "empty"));
    EXPECT_EQ(content("outside/guarded.txt"), "guarded");

    // Another file took the judged one's name: it stays.
    write("judged", "old");
    write("newcomer", "new");
    EntryInfo judged;
    ASSERT_EQ(dir.lookup("judged", judged), 0u);
    fs::rename(root / "newcomer", root / "judged");
    EXPECT_EQ(dir.removeFile("judged", &judged), FileSystemError::EntryChanged);
    EXPECT_EQ(content("judged"), "new");
    ASSERT_EQ(dir.lookup("judged", judged), 0u);
    EXPECT_EQ(dir.removeFile("judged", &judged), 0u);
}

TEST_F(DirHandleTest, ReadsOnlyRegularFilesAndCanLeaveTheLastAccess) {
    std::map<std::string, std::uint32_t> cases{{"file", 0u},
                                               {"filelink", FileSystemError::IsALink},
                                               {"sub", FileSystemError::AccessDenied},
                                               {"missing", FileSystemError::FileNotFound}};
#ifndef _WIN32
    ASSERT_EQ(::mkfifo((root / "fifo").c_str(), 0600), 0); // would block an open without O_NONBLOCK
    cases["fifo"] = FileSystemError::NotARegularFile;
#endif
    for (const auto& [name, expected] : cases) {
        FileHandle file;
        EXPECT_EQ(file.openRead(dir, name), expected) << name;
        EXPECT_EQ(file.isOpen(), expected == 0u) << name;
    }

    // Read to the end, in small pieces, without refreshing the last access the age rules judge.
    const std::int64_t lastAccess = 1000000000000LL; // 2001
    ASSERT_EQ(setFileTimes((root / "file").string(), 1400000000000LL, lastAccess), 0u);
    FileHandle file;
    ASSERT_EQ(file.openRead(dir, "file", true), 0u);
    std::string read;
    char buffer[2];
    std::size_t got = 0;
    while (file.read(buffer, sizeof buffer, got) == 0u && got > 0)
        read.append(buffer, got);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(read, "12345");
    EXPECT_EQ(removableNow(dir, "file"), 0u);
    EXPECT_EQ(file.close(), 0u);
    EntryInfo info;
    ASSERT_EQ(dir.lookup("file", info), 0u);
    EXPECT_EQ(info.lastAccessMs, lastAccess);
    ASSERT_EQ(file.openRead(dir, "locked"), 0u);
    EXPECT_EQ(removableNow(dir, "locked"), FileSystemError::AccessDenied);
    EXPECT_EQ(info.lastWriteMs, 1400000000000LL);
}

TEST_F(DirHandleTest, CreatesOnlyFreshFilesAndRenamesOverALink) {
    plantLink("nowhere", "dangling");
    plantLink("outside/guarded.txt", "log");
    FileHandle file;
    EXPECT_EQ(file.createNew(dir, "file", 0600), FileSystemError::AlreadyExists);
    EXPECT_EQ(file.createNew(dir, "dangling", 0600), FileSystemError::AlreadyExists);
    EXPECT_FALSE(fs::exists(root / "nowhere"));
    EXPECT_EQ(content("file"), "12345");

    ASSERT_EQ(file.createNew(dir, "log.new", 0600), 0u);
    ASSERT_EQ(file.write("day log", 7), 0u);
    EXPECT_EQ(file.sync(), 0u);
    EntryInfo info;
    ASSERT_EQ(file.info(info), 0u);
    EXPECT_EQ(info.kind, EntryKind::File);
    EXPECT_EQ(info.size, 7u);
    EXPECT_EQ(file.close(), 0u);

    // The link is replaced, never written through.
    ASSERT_EQ(dir.rename("log.new", "log"), 0u);
    EXPECT_EQ(dir.sync(), 0u);
    EXPECT_EQ(content("outside/guarded.txt"), "guarded");
    EXPECT_FALSE(fs::is_symlink(root / "log"));
    EXPECT_EQ(content("log"), "day log");
    EXPECT_EQ(dir.rename("log.new", "log"), FileSystemError::FileNotFound);
    EXPECT_EQ(dir.rename("log", "../log"), FileSystemError::InvalidParameter);
}

TEST_F(DirHandleTest, ListingThroughAHandleHandsOutLinksAsLinksAndRemovesAsJudged) {
    DirEnumerator listing;
    const DirHandle held = dir;
    ASSERT_EQ(listing.open(dir), 0u);
    dir.close(); // the listing and the copy keep what they list open
    std::map<std::string, std::uint32_t> removed;
    while (listing.next() == 0u) {
        const ListedEntry& entry = listing.entry();
        const std::string name(entry.name);
        if (name == "dirlink") {
            EXPECT_EQ(entry.info.kind, EntryKind::Link);
        }
        EXPECT_EQ(listing.linkLeadsToDirectory(), name == "dirlink") << name;
        if (name != "outside")
            removed[name] = held.removeFile(name, &entry.info);
    }
    const std::uint32_t link = underWine() ? FileSystemError::IsALink : 0u;
    EXPECT_EQ(removed, (std::map<std::string, std::uint32_t>{{"dirlink", link},
                                                             {"filelink", link},
                                                             {"file", 0u},
                                                             {"locked", FileSystemError::AccessDenied},
                                                             {"sub", FileSystemError::AccessDenied}}));
    EXPECT_FALSE(fs::exists(root / "file"));
    EXPECT_EQ(content("outside/guarded.txt"), "guarded");
}

#ifdef _WIN32
namespace {

// The DACL of the entry at `path` in text form.
std::string daclOf(const fs::path& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(path.wstring().c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return "?";
    LPSTR text = nullptr;
    ::ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1,
                                                           DACL_SECURITY_INFORMATION, &text, nullptr);
    std::string result = text != nullptr ? text : "?";
    ::LocalFree(text);
    ::LocalFree(descriptor);
    return result;
}

// Gives `path` a protected DACL: full access for us, and `othersMask` for Everyone when not 0.
void setDacl(const fs::path& path, DWORD othersMask) {
    std::vector<unsigned char> acl(512), everyone(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(everyone.size());
    ASSERT_TRUE(::CreateWellKnownSid(WinWorldSid, nullptr, everyone.data(), &size));
    auto* list = reinterpret_cast<PACL>(acl.data());
    ASSERT_TRUE(::InitializeAcl(list, static_cast<DWORD>(acl.size()), ACL_REVISION));
    ASSERT_TRUE(::AddAccessAllowedAce(list, ACL_REVISION, FILE_ALL_ACCESS, Win32::runningUser()));
    if (othersMask != 0) {
        ASSERT_TRUE(::AddAccessAllowedAce(list, ACL_REVISION, othersMask, everyone.data()));
    }
    ASSERT_EQ(::SetNamedSecurityInfoW(const_cast<wchar_t*>(path.wstring().c_str()), SE_FILE_OBJECT,
                                      DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                      nullptr, nullptr, list, nullptr),
              static_cast<DWORD>(ERROR_SUCCESS));
}

} // namespace

// Facts only Windows asks for through handles: space, removability, links' targets and trust, security.
TEST_F(DirHandleTest, WindowsAnswersThroughTheHandles) {
    ASSERT_EQ(setFileTimes((root / "file").string(), 1400000000000LL, 1400000000000LL), 0u);
    EntryInfo info;
    ASSERT_EQ(dir.lookup("file", info), 0u);
    EXPECT_GT(info.changeMs, info.lastWriteMs); // setting the stamps changed the entry now
    EXPECT_FALSE(info.sparse);
    EXPECT_EQ(info.ownerId, 0u);

    std::uint64_t free = 0;
    ULARGE_INTEGER available{};
    ASSERT_EQ(dir.freeSpace(free), 0u);
    ASSERT_TRUE(::GetDiskFreeSpaceExW(root.wstring().c_str(), &available, nullptr, nullptr));
    EXPECT_LT(free > available.QuadPart ? free - available.QuadPart : available.QuadPart - free, 1ULL << 28);

    std::map<std::string, std::uint32_t> removable;
    for (const char* name : {"file", "locked", "sub", "missing"})
        removable[name] = removableNow(dir, name);
    EXPECT_EQ(removable, (std::map<std::string, std::uint32_t>{{"file", 0u},
                                                               {"locked", FileSystemError::AccessDenied},
                                                               {"sub", 0u},
                                                               {"missing", FileSystemError::FileNotFound}}));
    {
        Win32::ScopedHandle held(::CreateFileW((root / "file").wstring().c_str(), GENERIC_READ,
                                               FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_EQ(removableNow(dir, "file"), FileSystemError::SharingViolation);
    }

    // Wine can only see where a host link leads, not what it holds.
    std::string target;
    ASSERT_EQ(dir.readLink("dirlink", target), 0u);
    EXPECT_TRUE(underWine() ? fs::equivalent(target, root / "outside") : target == "outside") << target;
    EXPECT_EQ(dir.readLink("file", target), FileSystemError::NotAReparsePoint);
    EXPECT_TRUE(dir.linksTrusted(info));
    setDacl(root, FILE_GENERIC_READ | FILE_ADD_FILE);
    EXPECT_FALSE(dir.linksTrusted(info));

    // A file written in place of another takes over who may read it.
    FileHandle model, copy;
    setDacl(root / "file", 0);
    ASSERT_EQ(model.openRead(dir, "file", true), 0u);
    EXPECT_TRUE(model.accessTimeKept());
    ASSERT_EQ(copy.createNew(dir, "copy", 0600), 0u);
    ASSERT_NE(daclOf(root / "copy"), daclOf(root / "file"));
    EXPECT_EQ(copy.adoptSecurityOf(model), 0u);
    EXPECT_EQ(copy.adoptOwnerOf(dir), 0u);
    EXPECT_EQ(copy.close(), 0u);
    EXPECT_EQ(model.close(), 0u);
    EXPECT_TRUE(model.accessTimeKept());
    EXPECT_EQ(daclOf(root / "copy"), daclOf(root / "file"));
    ASSERT_EQ(model.openRead(dir, "file"), 0u);
    EXPECT_FALSE(model.accessTimeKept());

    unsigned char random[2][32] = {};
    ASSERT_TRUE(randomBytes(random[0], sizeof random[0]) && randomBytes(random[1], sizeof random[1]));
    EXPECT_NE(std::memcmp(random[0], random[1], sizeof random[0]), 0);
}
#endif

TEST_F(DirHandleTest, ChangesTheModeOnlyOfWhatWasJudgedAndNeverThroughALink) {
    for (const char* link : {"filelink", "dirlink"})
        EXPECT_EQ(dir.changeMode(link, FilePermission::Read), FileSystemError::IsALink) << link;
    EntryInfo info;
    DirHandle outside;
    ASSERT_EQ(outside.openChild(dir, "outside"), 0u);
    ASSERT_EQ(outside.lookup("guarded.txt", info), 0u);
    EXPECT_FALSE(info.readOnly);

    ASSERT_EQ(dir.changeMode("file", FilePermission::Read), 0u);
    ASSERT_EQ(dir.lookup("file", info), 0u);
    EXPECT_TRUE(info.readOnly);
    ASSERT_EQ(dir.changeMode("locked", FilePermission::Read | FilePermission::Write), 0u);
    ASSERT_EQ(dir.lookup("locked", info), 0u);
    EXPECT_FALSE(info.readOnly);
    EXPECT_EQ(dir.changeMode("missing", FilePermission::Write), FileSystemError::FileNotFound);

    // Another file took the judged one's name: it keeps its mode.
    EntryInfo judged;
    ASSERT_EQ(dir.lookup("locked", judged), 0u);
    write("newcomer", "new");
    fs::rename(root / "newcomer", root / "locked");
    EXPECT_EQ(dir.changeMode("locked", FilePermission::Read, &judged), FileSystemError::EntryChanged);
    ASSERT_EQ(dir.lookup("locked", info), 0u);
    EXPECT_FALSE(info.readOnly);
}
