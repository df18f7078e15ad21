#include "DirTools.h"
#include "FileTestDir.h"
#include "FileTools.h"

using VeltorFilelib::DirTools;
using VeltorFilelib::FileTools;

namespace {

// A shortcut whose link information names `target` as its local base path.
std::string makeShortcut(const std::string& target) {
    auto u32 = [](std::uint32_t v) {
        return byteString({int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF), int(v >> 24)});
    };
    const std::string id = byteString({0x01, 0x14, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46});
    std::string header = u32(0x4C) + id + u32(0x2) + u32(0x10);
    header.append(0x4C - header.size(), '\0');
    std::string volume = u32(0x11) + u32(3) + u32(0x1234) + u32(0x10) + std::string(1, '\0');
    std::uint32_t baseOffset = 0x1C + static_cast<std::uint32_t>(volume.size());
    std::uint32_t suffixOffset = baseOffset + static_cast<std::uint32_t>(target.size()) + 1;
    std::string info = u32(suffixOffset + 1) + u32(0x1C) + u32(0x1) + u32(0x1C) + u32(baseOffset) + u32(0) +
                       u32(suffixOffset) + volume + target + std::string(2, '\0');
    return header + info + std::string(4, '\0');
}

} // namespace

class FileDirTools : public FileTestDir {};

TEST_F(FileDirTools, FileFailuresAreThrown) {
    const std::string missing = portable("missing.txt");
    // The record names the path and the operation that found it missing.
    EXPECT_EQ(thrown<FileTools::NoSuchFile>([&] { FileTools::remove(missing, 0); }),
              "NoSuchFile: Trying to access \"" + missing + "\", but no such file (setPermission)");
    EXPECT_THROW(FileTools::havePermission(missing, FileTools::Read), FileTools::NoSuchFile);

    write("locked.txt");
    readOnly("locked.txt");
    const std::string locked = portable("locked.txt");
    EXPECT_FALSE(FileTools::havePermission(locked, FileTools::Read | FileTools::Write));
    EXPECT_THROW(FileTools::remove(locked, 0), VeltorFilelib::AccessDenied);
    EXPECT_TRUE(present("locked.txt"));
    FileTools::remove(locked, FileTools::RemoveForce);
    EXPECT_FALSE(present("locked.txt"));

    makeDir("dir");
    EXPECT_THROW(FileTools::remove(portable("dir"), FileTools::RemoveForce), FileTools::Remove_Failed);
    EXPECT_TRUE(present("dir"));

    write("a.txt", "new");
    EXPECT_THROW(FileTools::rename(portable("a.txt"), portable("nowhere/a.txt"), 0),
                 FileTools::Rename_Failed);
    EXPECT_THROW(FileTools::rename(portable("a.txt"), "", 0), VeltorFilelib::TargetExists);
    EXPECT_THROW(FileTools::rename(portable("dir"), portable("b.txt"), 0), FileTools::NoSuchFile);
    EXPECT_EQ(read("a.txt"), "new");
}

TEST_F(FileDirTools, RenameNeverLosesAFile) {
    write("a.txt", "new");
    write("b.txt", "old");
    EXPECT_THROW(FileTools::rename(portable("a.txt"), portable("b.txt"), 0), VeltorFilelib::TargetExists);
    EXPECT_EQ(read("a.txt"), "new");
    EXPECT_EQ(read("b.txt"), "old");
    FileTools::rename(portable("a.txt"), portable("b.txt"), FileTools::ReplaceExisting);
    EXPECT_FALSE(present("a.txt"));
    EXPECT_EQ(read("b.txt"), "new");

    // Onto itself, however written: the file stays. Windows: a change of case alone renames it.
    for (const char* same : {"b.txt", "./b.txt", "other/../b.txt"}) {
        FileTools::rename(portable("b.txt"), portable(same), FileTools::ReplaceExisting);
        EXPECT_EQ(read("b.txt"), "new") << same;
    }
#ifdef _WIN32
    // (Wine keeps the old spelling; Windows takes the new one. Either way the file is there.)
    FileTools::rename(portable("b.txt"), portable("B.txt"), FileTools::ReplaceExisting);
    const DirTools::NameList names = DirTools::readDir(portable(""), "?.txt");
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(names[0] == "B.txt" || names[0] == "b.txt") << names[0];
    EXPECT_EQ(read("b.txt"), "new");
    FileTools::rename(portable(names[0]), portable("b.txt"), 0);
#endif

    // Into another directory onto an existing file: replaced, no temporary name left behind.
    write("other/b.txt", "older");
    write("other/b.txt._tmpmove_", "someone else's");
    FileTools::rename(portable("b.txt"), portable("other/b.txt"), FileTools::ReplaceExisting);
    EXPECT_FALSE(present("b.txt"));
    EXPECT_EQ(read("other/b.txt"), "new");
    EXPECT_EQ(read("other/b.txt._tmpmove_"), "someone else's");
    EXPECT_FALSE(present("other/b.txt._tmpmove_-1"));

    // A target that resists removal: the file stays where it was.
    write("c.txt", "moving");
    write("guarded/c.txt", "guarded");
    readOnly("guarded/c.txt");
    EXPECT_THROW(FileTools::rename(portable("c.txt"), portable("guarded/c.txt"), FileTools::ReplaceExisting),
                 VeltorFilelib::AccessDenied);
    EXPECT_EQ(read("c.txt"), "moving");
    EXPECT_EQ(read("guarded/c.txt"), "guarded");
    EXPECT_FALSE(present("guarded/c.txt._tmpmove_"));
}

TEST_F(FileDirTools, NextEnumerationFindsTheFirstFreeNumber) {
    const std::string report = portable("report.txt");
    EXPECT_EQ(FileTools::nextEnumeration(report, 4), report); // missing: unchanged
    write("report.txt");
    EXPECT_EQ(FileTools::nextEnumeration(report, 4), portable("report-0001.txt"));
    write("report-0001.txt");
    EXPECT_EQ(FileTools::nextEnumeration(report, 4), portable("report-0002.txt"));
    makeDir("v1.2/data");
    EXPECT_EQ(FileTools::nextEnumeration(portable("v1.2/data"), 2), portable("v1.2/data-01"));
}

TEST_F(FileDirTools, LinksAndTheirTargets) {
    write("file.txt");
    makeDir("dir");
    EXPECT_TRUE(FileTools::isFile(portable("file.txt")));
    EXPECT_FALSE(FileTools::isFile(portable("dir")));
    EXPECT_FALSE(FileTools::isLink(portable("file.txt")));
    std::string top = portable("x");
    top.resize(top.size() - 2);
    // A plain file leads to its own directory.
    EXPECT_EQ(FileTools::getLinkTarget(portable("file.txt")), top);

    // A shortcut to a directory stands for the directory; its target is read from the shortcut.
    write("dir.LNK", makeShortcut(path("dir")));
    EXPECT_TRUE(FileTools::isLink(portable("dir.LNK")));
    EXPECT_EQ(FileTools::getLinkTarget(portable("dir.LNK")), portable("dir"));
    EXPECT_FALSE(FileTools::isFile(portable("dir.LNK")));
    EXPECT_TRUE(DirTools::isDir(portable("dir.LNK")));
    EXPECT_THROW(DirTools::readDir(portable("dir.LNK"), "*"), DirTools::ReadDir_Failed); // not listed as one
    // An unreadable shortcut leads to its own directory.
    write("broken.lnk", "garbage");
    EXPECT_EQ(FileTools::getLinkTarget(portable("broken.lnk")), top);
    EXPECT_TRUE(FileTools::isFile(portable("broken.lnk")));
    EXPECT_FALSE(DirTools::isDir(portable("broken.lnk")));

    if (!makeSymlink("dir", root / "rel", true))
        GTEST_SKIP() << "no symbolic links here";
    EXPECT_TRUE(FileTools::isLink(portable("rel")));
    EXPECT_EQ(FileTools::getLinkTarget(portable("rel")), portable("dir"));
    EXPECT_TRUE(DirTools::isDir(portable("rel")));
    // A relative link named by its bare name lies in the current directory, not in the root.
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(root);
    EXPECT_EQ(FileTools::getLinkTarget("rel"), "dir");
    EXPECT_TRUE(DirTools::isDir("rel"));
    std::filesystem::current_path(previous);
    // Links that lead to each other are no directory, and asking does not loop.
    ASSERT_TRUE(makeSymlink(root / "loop-b", root / "loop-a", false));
    ASSERT_TRUE(makeSymlink(root / "loop-a", root / "loop-b", false));
    EXPECT_FALSE(DirTools::isDir(portable("loop-a")));
}

TEST_F(FileDirTools, DirectoryFailuresAreThrown) {
    EXPECT_THROW(DirTools::readDir("", "*"), VeltorFilelib::TargetExists);
    EXPECT_THROW(DirTools::createDir(""), VeltorFilelib::TargetExists);
    const std::string missing = portable("missing");
    EXPECT_THROW(DirTools::readDir(missing, "*"), DirTools::NoSuchDir);
    EXPECT_THROW(DirTools::remove(missing, 0), DirTools::NoSuchDir);

    makeDir("dir");
    EXPECT_THROW(DirTools::createDir(portable("dir"), DirTools::CreateFailIfExists),
                 VeltorFilelib::TargetExists);
    // The record carries the system's error number.
    const std::string deep = portable("missing/child");
    EXPECT_EQ(thrown<DirTools::CreateDir_Failed>([&] { DirTools::createDir(deep); }),
              "CreateDir_Failed: Failed to create directory \"" + deep + "\" (win-error#3)");

    write("full/file.txt");
    EXPECT_THROW(DirTools::remove(portable("full"), 0), DirTools::Remove_DirNotEmpty);
    write("full/locked.txt");
    readOnly("full/locked.txt");
    // Clearing goes on past a failure and counts it.
    EXPECT_EQ(thrown<DirTools::Clear_Failed>([&] { DirTools::clear(portable("full"), 0); }),
              "Clear_Failed: Failed to clear directory \"" + portable("full") +
                  "\" (1 files/sub-dirs failed");
    EXPECT_FALSE(present("full/file.txt"));
    EXPECT_TRUE(present("full/locked.txt"));

    write("afile");
    EXPECT_THROW(DirTools::ensureParentExists(portable("afile/x/y")), DirTools::EnsureParent_InvalidPath);
}

TEST_F(FileDirTools, CreateEnsureListAndRemove) {
    const std::string dir = portable("made");
    DirTools::createDir(dir);
    write("made/content.txt");
    DirTools::createDir(dir); // exists: nothing to do
    EXPECT_TRUE(present("made/content.txt"));
    DirTools::createDir(dir, DirTools::CreateReplace);
    EXPECT_TRUE(DirTools::isEmpty(dir));

    DirTools::ensureParentExists(portable("a/b/c/file.txt"));
    EXPECT_TRUE(DirTools::isDir(portable("a/b/c")));
    EXPECT_FALSE(present("a/b/c/file.txt"));
    DirTools::ensureParentExists(portable("a/b/c/d/"));
    EXPECT_TRUE(DirTools::isDir(portable("a/b/c/d")));

    write("list/b.log");
    write("list/a.log");
    write("list/c.txt");
    makeDir("list/sub.log");
    EXPECT_EQ(DirTools::readDir(portable("list"), "*.log", 2).size(), 2u);
    EXPECT_EQ(DirTools::readFiles(portable("list"), "*"), (DirTools::NameSet{"a.log", "b.log", "c.txt"}));
    EXPECT_EQ(DirTools::readDirs(portable("list"), "*"), DirTools::NameSet{"sub.log"});

    write("list/sub.log/deep/x.txt");
    readOnly("list/sub.log/deep/x.txt");
    DirTools::remove(portable("list"), DirTools::RemoveForce | DirTools::RemoveContents);
    EXPECT_FALSE(present("list"));
}

TEST_F(FileDirTools, ClearingATreeLeavesWhatLinksLeadTo) {
    write("outside/keep.txt");
    write("tree/sub/gone.txt");
    write("tree/top.txt");
    if (!makeSymlink(root / "outside", root / "tree" / "sub" / "dirlink", true))
        GTEST_SKIP() << "no symbolic links here";
    ASSERT_TRUE(makeSymlink(root / "outside" / "keep.txt", root / "tree" / "filelink", false));
    ASSERT_TRUE(makeSymlink(root / "nowhere", root / "tree" / "dangling", true));
    EXPECT_EQ(DirTools::readFiles(portable("tree/sub"), "*"), (DirTools::NameSet{"dirlink", "gone.txt"}));
    EXPECT_EQ(DirTools::readDirs(portable("tree/sub"), "*"), DirTools::NameSet{"dirlink"});

    DirTools::clear(portable("tree/sub/dirlink"), 0); // a link given directly: left alone
    EXPECT_TRUE(present("outside/keep.txt"));

    DirTools::clear(portable("tree"), 0);
    EXPECT_TRUE(DirTools::isEmpty(portable("tree")));
    EXPECT_EQ(read("outside/keep.txt"), "x");

    // A link written with a trailing separator is still the link: never cleared, removed as itself.
    ASSERT_TRUE(makeSymlink(root / "outside", root / "alias", true));
    DirTools::clear(portable("alias") + "/", DirTools::RemoveForce);
    EXPECT_EQ(read("outside/keep.txt"), "x");
    DirTools::remove(portable("alias") + "/", DirTools::RemoveForce | DirTools::RemoveContents);
    EXPECT_FALSE(present("alias"));
    EXPECT_EQ(read("outside/keep.txt"), "x");
    ASSERT_TRUE(makeSymlink(root / "outside", root / "alias", true));
    DirTools::remove(portable("alias"), 0); // the link goes, its non-empty target stays
    EXPECT_FALSE(present("alias"));
    EXPECT_TRUE(present("outside/keep.txt"));
}
