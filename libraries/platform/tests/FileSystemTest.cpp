#include "platform/FileSystem.h"
#include "PlatformTestDir.h"
#include "platform/DirHandle.h"

#include <map>
#include <string>

namespace fs = std::filesystem;
using namespace VeltorPlatform;

namespace {

class FileSystemTest : public PlatformTestDir {};

// 2015-03-07T10:04:05.123Z and 2001-09-09T01:46:40.250Z.
constexpr std::int64_t kWrite = 1425722645123LL;
constexpr std::int64_t kAccess = 1000000000250LL;

// Lists `dir` opened as a root.
std::map<std::string, EntryInfo> listAll(const std::string& dir, DirDetail detail, std::uint32_t& error) {
    std::map<std::string, EntryInfo> entries;
    DirHandle opened;
    DirEnumerator listing;
    error = opened.openRoot(dir);
    if (error == FileSystemError::Success)
        error = listing.open(opened, detail);
    if (error != FileSystemError::Success)
        return entries;
    while ((error = listing.next()) == FileSystemError::Success) {
        entries[std::string(listing.entry().name)] = listing.entry().info;
    }
    return entries;
}

} // namespace

TEST_F(FileSystemTest, ListingHandsOutNamesAttributesAndBothStamps) {
    std::string file = write("plain.txt", "12345");
    std::string locked = write("locked.txt");
    fs::create_directory(root / "sub");
    write("sub/inner.txt");
    ASSERT_EQ(setFileTimes(file, kWrite, kAccess), 0u);
    ASSERT_EQ(changeMode(locked, FilePermission::Read), 0u);

    std::uint32_t error = 0;
    auto entries = listAll(root.string(), DirDetail::Full, error);
    EXPECT_EQ(error, FileSystemError::NoMoreItems);
    ASSERT_EQ(entries.size(), 3u); // no ".", "..", nothing from inside "sub"
    EXPECT_EQ(entries["plain.txt"].lastWriteMs, kWrite);
    EXPECT_EQ(entries["plain.txt"].lastAccessMs, kAccess);
    EXPECT_EQ(entries["plain.txt"].size, 5u);
    EXPECT_EQ(entries["plain.txt"].kind, EntryKind::File);
    EXPECT_FALSE(entries["plain.txt"].readOnly);
    EXPECT_TRUE(entries["locked.txt"].readOnly);
    EXPECT_EQ(entries["sub"].kind, EntryKind::Directory);
    // The listing's identity is the one a look-up gives, so what was listed can be removed as judged.
    DirHandle top;
    EntryInfo looked;
    ASSERT_EQ(top.openRoot(root.string()), 0u);
    ASSERT_EQ(top.lookup("plain.txt", looked), 0u);
    EXPECT_TRUE(entries["plain.txt"].sameEntryAs(looked));
    EXPECT_FALSE(entries["locked.txt"].sameEntryAs(looked));

    auto quick = listAll(root.string(), DirDetail::NamesAndTypes, error);
    EXPECT_TRUE(quick["sub"].kind == EntryKind::Directory && quick["plain.txt"].kind == EntryKind::File);

    // The single-path lookup gives the same stamps as the listing.
    std::int64_t written = 0;
    std::int64_t accessed = 0;
    ASSERT_EQ(findStamps(file, written, accessed), 0u);
    EXPECT_EQ(written, kWrite);
    EXPECT_EQ(accessed, kAccess);
    EXPECT_EQ(findStamps(path("missing.txt"), written, accessed), FileSystemError::FileNotFound);

    // An empty directory lists nothing.
    fs::create_directory(root / "empty");
    EXPECT_TRUE(listAll(path("empty"), DirDetail::Full, error).empty());
    EXPECT_EQ(error, FileSystemError::NoMoreItems);
}

TEST_F(FileSystemTest, ReadOnlyFilesAndDirectoriesRefuseRemoval) {
    std::string file = write("keep.txt");
    ASSERT_EQ(changeMode(file, FilePermission::Read), 0u);
    std::uint32_t attributes = 0;
    ASSERT_EQ(getFileAttributes(file, attributes), 0u);
    EXPECT_NE(attributes & FileAttribute::ReadOnly, 0u);
    EXPECT_EQ(accessCheck(file, AccessMode::Write), FileSystemError::AccessDenied);
    EXPECT_EQ(accessCheck(file, AccessMode::Read), 0u);
    EXPECT_EQ(deleteFile(file), FileSystemError::AccessDenied); // also for root on POSIX
    EXPECT_TRUE(fs::exists(file));
    ASSERT_EQ(changeMode(file, FilePermission::Read | FilePermission::Write), 0u);
    EXPECT_EQ(accessCheck(file, AccessMode::Write), 0u);
    EXPECT_EQ(deleteFile(file), 0u);
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(deleteFile(file), FileSystemError::FileNotFound);
    EXPECT_EQ(accessCheck(file, AccessMode::Exists), FileSystemError::FileNotFound);
    EXPECT_EQ(getFileAttributes(file, attributes), FileSystemError::FileNotFound);

    std::string dir = path("dir");
    ASSERT_EQ(createDirectory(dir), 0u);
    EXPECT_EQ(createDirectory(dir), FileSystemError::AlreadyExists);
    EXPECT_EQ(createDirectory(path("missing/dir")), FileSystemError::PathNotFound);
    EXPECT_EQ(deleteFile(dir), FileSystemError::AccessDenied);
    EXPECT_TRUE(fs::exists(dir));
}

TEST_F(FileSystemTest, StatusRenameAndTimes) {
    std::string from = write("from.txt", "abc");
    std::string to = write("to.txt", "old");
    FileStatus status;
    ASSERT_EQ(getFileStatus(root.string(), status), 0u);
    EXPECT_TRUE(status.isDirectory);
    ASSERT_EQ(getFileStatus(from, status), 0u);
    EXPECT_FALSE(status.isDirectory);
    EXPECT_EQ(status.size, 3u);
    EXPECT_EQ(getFileStatus(path("missing"), status), FileSystemError::FileNotFound);

    EXPECT_EQ(renamePath(from, to), FileSystemError::AlreadyExists);
    EXPECT_TRUE(fs::exists(from));
    EXPECT_EQ(content("to.txt"), "old");
    EXPECT_EQ(renamePath(from, path("new.txt")), 0u);
    EXPECT_FALSE(fs::exists(from));
    EXPECT_TRUE(fs::exists(path("new.txt")));

    ASSERT_EQ(setFileTimes(to, 631152000000LL, 946684800000LL), 0u);
    ASSERT_EQ(getFileStatus(to, status), 0u);
    EXPECT_EQ(status.lastWriteMs, 631152000000LL);
    EXPECT_EQ(status.lastAccessMs, 946684800000LL);
    std::string target;
    std::uint32_t tag = 0;
    EXPECT_EQ(readReparseTarget(to, target, tag), FileSystemError::NotAReparsePoint);
}

namespace {

// A minimal shortcut: header, link information with a local base path and a common path suffix.
std::string makeShortcut(const std::string& base, const std::string& suffix) {
    auto u32 = [](std::uint32_t v) {
        return std::string{char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
    };
    const char id[] = "\x01\x14\x02\0\0\0\0\0\xC0\0\0\0\0\0\0\x46";
    // Link information present; the target is a file.
    std::string header = u32(0x4C) + std::string(id, 16) + u32(0x2) + u32(0x20);
    header.append(0x4C - header.size(), '\0');
    std::string volume = u32(0x11) + u32(3) + u32(0x1234) + u32(0x10) + std::string(1, '\0');
    auto baseOffset = static_cast<std::uint32_t>(0x1C + volume.size());
    auto suffixOffset = static_cast<std::uint32_t>(baseOffset + base.size() + 1);
    std::string info = u32(static_cast<std::uint32_t>(suffixOffset + suffix.size() + 1)) + u32(0x1C) +
                       u32(0x1) + u32(0x1C) + u32(baseOffset) + u32(0) + u32(suffixOffset) + volume + base +
                       std::string(1, '\0') + suffix + std::string(1, '\0');
    return header + info + std::string(4, '\0');
}

} // namespace

TEST_F(FileSystemTest, ShortcutTargetIsReadFromTheShortcutItself) {
#ifdef _WIN32
    std::string expected = "C:\\windows\\system32\\notepad.exe";
    std::string link = write("notepad.lnk", makeShortcut(expected, ""));
#else
    std::string expected = "/var/lib/veltor/report.txt";
    std::string link = write("report.lnk", makeShortcut("/var/lib/veltor/", "report.txt"));
#endif
    std::string target = "stale";
    ASSERT_EQ(readShortcutTarget(link, target), 0u);
    EXPECT_EQ(target, expected);

    // Not a shortcut, truncated, or missing: no target, no failure.
    target = "stale";
    EXPECT_EQ(readShortcutTarget(write("plain.lnk", "not a shortcut"), target), 0u);
    EXPECT_EQ(target, "");
    std::string cut = makeShortcut("/a/b/", "c");
    EXPECT_EQ(readShortcutTarget(write("cut.lnk", cut.substr(0, 0x60)), target), 0u);
    EXPECT_EQ(target, "");
    EXPECT_EQ(readShortcutTarget(path("missing.lnk"), target), 0u);
    EXPECT_EQ(target, "");
}

#ifndef _WIN32
TEST_F(FileSystemTest, SymbolicLinksAreReparsePointsAndNeverReachTheirTarget) {
    fs::create_directory(root / "outside");
    std::string guarded = write("outside/guarded.txt");
    fs::create_directory(root / "tree");
    fs::create_directory_symlink(root / "outside", root / "tree" / "dirlink");
    fs::create_symlink(root / "outside" / "guarded.txt", root / "tree" / "filelink");
    fs::create_symlink(root / "nowhere", root / "tree" / "dangling");

    std::uint32_t error = 0;
    for (DirDetail detail : {DirDetail::Full, DirDetail::NamesAndTypes}) {
        auto entries = listAll(path("tree"), detail, error);
        ASSERT_EQ(entries.size(), 3u);
        for (const char* name : {"dirlink", "filelink", "dangling"})
            EXPECT_EQ(entries[name].kind, EntryKind::Link) << name;
    }
    std::uint32_t attributes = 0;
    ASSERT_EQ(getFileAttributes(path("tree/dirlink"), attributes), 0u);
    EXPECT_EQ(attributes & 0x410u, 0x410u);
    std::string target;
    std::uint32_t tag = 0;
    ASSERT_EQ(readReparseTarget(path("tree/dirlink"), target, tag), 0u);
    EXPECT_EQ(target, path("outside"));
    EXPECT_EQ(tag, kReparseTagSymlink);

    // Making a link read-only or writable leaves its target alone.
    ASSERT_EQ(changeMode(guarded, FilePermission::Read), 0u);
    EXPECT_EQ(changeMode(path("tree/filelink"), FilePermission::Write), 0u);
    EXPECT_EQ(accessCheck(guarded, AccessMode::Write), FileSystemError::AccessDenied);

    // Removing the links removes the links only.
    EXPECT_EQ(deleteFile(path("tree/dirlink")), 0u);
    EXPECT_EQ(deleteFile(path("tree/filelink")), 0u);
    EXPECT_EQ(deleteFile(path("tree/dangling")), 0u);
    EXPECT_TRUE(fs::exists(guarded));
    EXPECT_TRUE(listAll(path("tree"), DirDetail::Full, error).empty());
}
#endif
