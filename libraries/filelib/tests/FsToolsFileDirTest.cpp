#include "FileTestDir.h"
#include "FsTools.h"

#include <map>
#include <tuple>
#include <vector>

using VeltorFilelib::FsTools;

namespace {

// 2015-03-07T10:04:05.123Z and 2001-09-09T01:46:40.250Z since 1970, in milliseconds.
constexpr std::int64_t kWrite = 1425722645123LL;
constexpr std::int64_t kAccess = 1000000000250LL;
constexpr std::int64_t kEpoch = 2209075200000LL;

using Report = std::tuple<std::string, int, std::uint64_t, std::uint64_t>;

struct Recorder {
    std::vector<Report> reports;
    FsTools::ProgressCallback callback() {
        return [this](const std::string& name, int status, std::uint64_t done, std::uint64_t total) {
            reports.emplace_back(name, status, done, total);
        };
    }
};

} // namespace

class FsToolsFileDir : public FileTestDir {};

TEST_F(FsToolsFileDir, ReadDirListsOneLevelCaseSensitively) {
    FsTools::NameSet files;
    FsTools::NameSet dirs;
    EXPECT_FALSE(FsTools::readDir(path("missing"), "*", &files, &dirs));
    EXPECT_FALSE(FsTools::readDir(write("plain.txt"), "*", &files, &dirs));

    write("a.log");
    write("b.LOG");
    write(".hidden.log");
#ifdef _WIN32
    const std::string odd = "-dash name.log";
#else
    const std::string odd = "-dash name \xE4.log"; // any bytes but '/' make a name here
#endif
    write(odd);
    makeDir("sub.log/deeper");
    write("sub.log/inner.log");
    ASSERT_TRUE(FsTools::readDir(base + "/", "*.log", &files, &dirs));
    EXPECT_EQ(files, (FsTools::NameSet{odd, ".hidden.log", "a.log"}));
    EXPECT_EQ(dirs, FsTools::NameSet{"sub.log"});

    std::uint64_t fileCount = 0, dirCount = 0;
    ASSERT_TRUE(FsTools::countTree(base, "*.log", "*", fileCount, dirCount));
    EXPECT_EQ(fileCount, 4u);
    EXPECT_EQ(dirCount, 2u);
    EXPECT_FALSE(FsTools::countTree(path("missing"), "*", "*", fileCount, dirCount));
    EXPECT_EQ(fileCount, 0u);

    EXPECT_TRUE(FsTools::isDir(path("sub.log/")));
    EXPECT_FALSE(FsTools::isDir(path("a.log")));
    EXPECT_TRUE(FsTools::isDir(FsTools::separator == '\\' ? "C:" : "/"));
}

TEST_F(FsToolsFileDir, RemoveAndClearDirectories) {
    write("full/file.txt");
    EXPECT_FALSE(FsTools::removeDir(path("full"), false, false, nullptr));
    EXPECT_TRUE(present("full/file.txt"));
    EXPECT_FALSE(FsTools::removeDir(path("missing"), true, true, nullptr));

#ifndef _WIN32
    // Windows answers every directory as writable; here the owner write bit of a directory counts.
    makeDir("locked");
    readOnly("locked");
    EXPECT_FALSE(FsTools::removeDir(path("locked"), false, false, nullptr));
    EXPECT_TRUE(present("locked"));
    EXPECT_TRUE(FsTools::removeDir(path("locked"), false, true, nullptr));
    EXPECT_FALSE(present("locked"));
#endif

    write("tree/b.txt");
    write("tree/a.txt");
    write("tree/c.txt");
    readOnly("tree/c.txt");
    write("tree/sub/deep/x.txt");
    makeDir("tree/emptysub");
    Recorder recorder;
    ASSERT_TRUE(FsTools::clearDir(path("tree"), true, false, recorder.callback()));
    EXPECT_EQ(recorder.reports, (std::vector<Report>{{"a.txt", 3, 1, 3},
                                                     {"b.txt", 3, 2, 3},
                                                     {"c.txt", 1, 3, 3},
                                                     {"emptysub", 2, 4, 3},
                                                     {"sub", 2, 5, 3}}));
    EXPECT_FALSE(FsTools::removeFile(path("tree/c.txt"), false));
    EXPECT_TRUE(FsTools::removeFile(path("tree/c.txt"), true));
    EXPECT_FALSE(present("tree/c.txt"));
    EXPECT_TRUE(FsTools::removeFile(path("tree/c.txt"), false)); // gone already: nothing left to do

    EXPECT_TRUE(FsTools::removeDir(path("tree"), true, true, nullptr));
    EXPECT_FALSE(present("tree"));
    EXPECT_FALSE(FsTools::clearDir(path("tree"), true, true, nullptr));
}

TEST_F(FsToolsFileDir, LinksInsideATreeAreNeverFollowed) {
    write("outside/keep.txt");
    write("tree/sub/gone.txt");
    // Every file below is reported.
    Recorder recorder;
    ASSERT_TRUE(FsTools::setPermission(path("tree"), FsTools::PermissionRead, 0, true, recorder.callback()));
    EXPECT_EQ(recorder.reports, (std::vector<Report>{{"gone.txt", 1, 1, 1}}));
    EXPECT_FALSE(FsTools::removeFile(path("tree/sub/gone.txt"), false));
    EXPECT_FALSE(FsTools::setPermission(path("missing"), FsTools::PermissionWrite, 0, true, nullptr));
    if (!makeSymlink(root / "outside", root / "tree" / "sub" / "link"))
        GTEST_SKIP() << "no symbolic links here";

    // The link is an entry of its own, counted with the files: what it leads to is never asked.
    std::uint64_t fileCount = 0, dirCount = 0;
    ASSERT_TRUE(FsTools::countTree(path("tree"), "*", "*", fileCount, dirCount));
    EXPECT_EQ(fileCount, 2u);
    EXPECT_EQ(dirCount, 1u);

    ASSERT_TRUE(FsTools::setPermission(path("tree"), FsTools::PermissionRead, 0, true, nullptr));
    EXPECT_EQ(VeltorPlatform::accessCheck(path("outside/keep.txt"), VeltorPlatform::AccessMode::Write), 0u);
    ASSERT_TRUE(FsTools::setPermission(path("tree"), FsTools::PermissionWrite, 0, true, nullptr));

    // Clearing through the link itself touches nothing behind it, however the link is written.
    const std::string link = path("tree/sub/link");
    for (const std::string& written : {link, link + FsTools::separator, link + "/"})
        EXPECT_TRUE(FsTools::clearDir(written, true, true, nullptr)) << written;
    EXPECT_TRUE(present("outside/keep.txt"));
    EXPECT_TRUE(FsTools::removeDir(link + FsTools::separator, true, true, nullptr));
    EXPECT_FALSE(present("tree/sub/link"));
    EXPECT_TRUE(present("outside/keep.txt"));

    ASSERT_TRUE(FsTools::removeDir(path("tree"), true, true, nullptr));
    EXPECT_FALSE(present("tree"));
    EXPECT_TRUE(present("outside/keep.txt"));
}

TEST_F(FsToolsFileDir, WholeFilesAndLines) {
    std::string file = write("job.txt", "first\r\n\r\n  second \t\r\nthird");
    std::string text = "old:";
    ASSERT_TRUE(FsTools::readFile(file, text, false));
    EXPECT_EQ(text, "old:first\n\n  second \t\nthird");
    ASSERT_TRUE(FsTools::readFile(file, text, true));
    EXPECT_EQ(text, "first\n\n  second \t\nthird");
    EXPECT_FALSE(FsTools::readFile(path("missing"), text, true));

    FsTools::LineList lines;
    EXPECT_FALSE(FsTools::readLines(path("missing"), lines, '\n', false, false));
    ASSERT_TRUE(FsTools::readLines(file, lines, '\n', false, false));
    EXPECT_EQ(lines, (FsTools::LineList{"first", "", "  second \t", "third"}));
    ASSERT_TRUE(FsTools::readLines(file, lines, '\n', true, true));
    EXPECT_EQ(lines, (FsTools::LineList{"first", "second", "third"}));
    write("end.txt", "a;b;;");
    ASSERT_TRUE(FsTools::readLines(path("end.txt"), lines, ';', false, false));
    EXPECT_EQ(lines, (FsTools::LineList{"a", "b", ""})); // the final delimiter adds no empty line

    // A read that fails after the file opened is a failed read, the caller's data untouched: a
    // directory, and (POSIX) a file whose first read fails with an I/O error.
    makeDir("dir.txt");
    std::vector<std::string> unreadable{path("dir.txt")};
#ifndef _WIN32
    if (makeSymlink("/proc/self/mem", root / "mem.txt", false))
        unreadable.push_back(path("mem.txt"));
#endif
    for (const std::string& bad : unreadable) {
        text = "kept";
        lines = FsTools::LineList{"kept"};
        EXPECT_FALSE(FsTools::readFile(bad, text, true)) << bad;
        EXPECT_FALSE(FsTools::readFile(bad, text, false)) << bad;
        EXPECT_EQ(text, "kept");
        EXPECT_FALSE(FsTools::readLines(bad, lines, '\n', true, true)) << bad;
        EXPECT_EQ(lines, FsTools::LineList{"kept"});
    }
#ifndef _WIN32
    EXPECT_EQ(unreadable.size(), 2u);
#endif

    std::string binary("\0\x01\xFF\n", 4);
    ASSERT_TRUE(FsTools::writeFile(binary, path("out.bin")));
    EXPECT_EQ(read("out.bin"), binary);
    EXPECT_FALSE(FsTools::writeFile("x", path("missing/out.bin")));
}

TEST_F(FsToolsFileDir, StampsAndRemovalNameTheEntryWhateverThePathsForm) {
    std::string file = write("report.csv");
    stamp("report.csv", kWrite, kAccess);
    // The entry's own stamps in UTC, as accessTime reads them too, whatever the path's form.
    EXPECT_EQ(FsTools::accessTime(path("sub/../report.csv")).getMilliseconds(), kAccess + kEpoch);
    EXPECT_EQ(FsTools::modifyTime(file).getMilliseconds(), kWrite + kEpoch);
    EXPECT_TRUE(FsTools::removeFile(file, false));
    EXPECT_FALSE(present("report.csv"));
    EXPECT_EQ(FsTools::modifyTime(file).getMilliseconds(), 0);

    // A name that looks like an environment reference is that file, not the variable's value.
    std::string odd = write("%PATH%.tmp");
    stamp("%PATH%.tmp", kAccess, kAccess);
    EXPECT_EQ(FsTools::modifyTime(odd).getMilliseconds(), kAccess + kEpoch);

    // A directory stays; a path the lookup writes differently still names the same file.
    makeDir("dir");
    EXPECT_FALSE(FsTools::removeFile(path("dir"), false));
    EXPECT_TRUE(present("dir"));
    write("dir/inner.tmp");
    EXPECT_TRUE(FsTools::removeFile(path("dir/../dir/inner.tmp"), false));
    EXPECT_FALSE(present("dir/inner.tmp"));
}

TEST_F(FsToolsFileDir, ADirectorySwappedForALinkMidWalkIsNeitherChangedNorEmptied) {
    write("outside/keep.txt");
    readOnly("outside/keep.txt");
    // At the first report the walk has listed "sub" as a directory; then it becomes a link to "outside".
    bool swapped = false;
    auto swapAtFirstReport = [&](const std::string& tree) -> FsTools::ProgressCallback {
        write(tree + "/a.txt");
        write(tree + "/sub/inner.txt");
        swapped = false;
        return [&, tree](const std::string&, int, std::uint64_t, std::uint64_t) {
            if (swapped)
                return;
            std::filesystem::rename(root / tree / "sub", root / (tree + "-moved"));
            swapped = makeSymlink(root / "outside", root / tree / "sub");
        };
    };
    ASSERT_TRUE(
        FsTools::setPermission(path("tree"), FsTools::PermissionWrite, 0, true, swapAtFirstReport("tree")));
    if (!swapped)
        GTEST_SKIP() << "no symbolic links here";
    EXPECT_NE(VeltorPlatform::accessCheck(path("outside/keep.txt"), VeltorPlatform::AccessMode::Write), 0u);

    ASSERT_TRUE(FsTools::clearDir(path("other"), true, true, swapAtFirstReport("other")));
    ASSERT_TRUE(swapped);
    EXPECT_TRUE(present("outside/keep.txt"));
    EXPECT_FALSE(present("other/sub")); // the link went as itself
    EXPECT_TRUE(present("other-moved/inner.txt"));
}

TEST_F(FsToolsFileDir, WriteFileReplacesAPlantedLinkAndNeverWritesThroughIt) {
    write("outside/target.txt", "old");
    makeDir("tree");
    if (!makeSymlink(root / "outside" / "target.txt", root / "tree" / "soft.txt", false))
        GTEST_SKIP() << "no symbolic links here";
    std::filesystem::create_hard_link(root / "outside" / "target.txt", root / "tree" / "hard.txt");
    ASSERT_TRUE(FsTools::writeFile("new", path("tree/soft.txt")));
    ASSERT_TRUE(FsTools::writeFile("newer", path("tree/hard.txt")));
    EXPECT_EQ(read("outside/target.txt"), "old");
    EXPECT_FALSE(std::filesystem::is_symlink(root / "tree" / "soft.txt"));
    EXPECT_EQ(read("tree/soft.txt"), "new");
    EXPECT_EQ(read("tree/hard.txt"), "newer");
    // Nothing is left under a temporary name.
    FsTools::NameSet files;
    ASSERT_TRUE(FsTools::readDir(path("tree"), "*", &files, nullptr));
    EXPECT_EQ(files, (FsTools::NameSet{"hard.txt", "soft.txt"}));
}
