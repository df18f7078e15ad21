#include "FileTestDir.h"
#include "FsTools.h"

#include "platform/Paths.h"
#include "platform/SystemInfo.h"

#include <algorithm>
#include <string>
#include <vector>

using VeltorFilelib::FsTools;

namespace {
constexpr bool kWindows = VeltorPlatform::kPathStyle == VeltorPlatform::PathStyle::Windows;

// Writes a path in the native form: '/' in the literal becomes the native separator.
std::string native(std::string path) {
    std::replace(path.begin(), path.end(), '/', VeltorPlatform::kNativeSeparator);
    return path;
}

std::string normalized(std::string path) {
    FsTools::normalize(path);
    return path;
}

std::string expanded(std::string path) {
    FsTools::expand(path);
    return path;
}

} // namespace

TEST(FsToolsPath, SeparatorsAreUnifiedAddedAndStripped) {
    auto apply = [](void (*tool)(std::string&), std::string path) {
        tool(path);
        return path;
    };
    EXPECT_EQ(apply(FsTools::unifySeparators, "a/b\\c"), native("a/b/c"));
    EXPECT_EQ(apply(FsTools::addSeparator, "dir"), native("dir/"));
    EXPECT_EQ(apply(FsTools::addSeparator, "dir\\"), "dir\\");
    EXPECT_EQ(apply(FsTools::stripSeparators, "a/b\\//"), native("a/b"));
    EXPECT_EQ(apply(FsTools::stripSeparators, "\\/\\/"), "");
}

TEST(FsToolsPath, NormalizeResolvesDotsAndKeepsSeparatorsThatMatter) {
    // A relative path that resolves to nothing stays relative instead of becoming the root; nothing
    // climbs above the root of an absolute path.
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},
        {"a/./b/../c", "a/c"},
        {"a/../../b", "../b"},
        {"../../x", "../../x"},
        {"a//b///c/", "a/b/c/"},
        {"/a/b/..", "/a"},
        {"a/..", "."},
        {"a/../", "./"},
        {"/../a", "/a"},
        {"/..", "/"},
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(normalized(path), native(expected)) << path;
    EXPECT_EQ(normalized("////"), kWindows ? "\\\\" : "/");
    EXPECT_EQ(normalized("."), normalized(FsTools::currentDir()));
    EXPECT_EQ(normalized(native("./")), normalized(FsTools::currentDir()));
    if (kWindows) {
        EXPECT_EQ(normalized("\\\\server\\share\\a\\..\\b\\"), "\\\\server\\share\\b\\");
        EXPECT_EQ(normalized("//server/share/../.."), "\\\\server\\share");
        EXPECT_EQ(normalized("C:\\a\\..\\..\\b"), "C:\\b");
        EXPECT_EQ(normalized("C:\\a\\.."), "C:\\");
    } else {
        // No UNC names here: a leading "//" is one separator.
        EXPECT_EQ(normalized("//server/share/"), "/server/share/");
    }
    std::string longPath(40000, 'x');
    for (std::size_t i = 7; i < longPath.size(); i += 8)
        longPath[i] = '/';
    std::string result = normalized(longPath + "/../y");
    EXPECT_EQ(result, native(longPath.substr(0, longPath.size() - 8) + "y"));
}

TEST(FsToolsPath, AbsolutePathsOnThisSystem) {
    const std::vector<std::string> absolutes =
        kWindows ? std::vector<std::string>{"C:\\dir", "c:/dir", "C:", "\\\\server\\share", "//server/share"}
                 : std::vector<std::string>{"/dir", "\\dir"};
    std::vector<std::string> relative{"", "relative\\dir", "."};
    relative.push_back(kWindows ? "\\\\server" : "C:/dir");
    if (kWindows)
        relative.insert(relative.end(), {"\\dir", ":dir"});
    for (const std::string& path : absolutes)
        EXPECT_TRUE(FsTools::isAbsolute(path)) << path;
    for (const std::string& path : relative)
        EXPECT_FALSE(FsTools::isAbsolute(path)) << path;

    std::string path = "sub/file.txt";
    FsTools::makeAbsolute(path, kWindows ? "D:\\base\\x/../y" : "/base/x/../y");
    EXPECT_EQ(path, native(kWindows ? "D:/base/y/sub/file.txt" : "/base/y/sub/file.txt"));
}

TEST(FsToolsPath, ExpandReferencesAndSpecialPaths) {
    VeltorPlatform::setEnvironment("SORVIK_TEST_DIR", "/opt/v");
    VeltorPlatform::setEnvironment("SORVIK_TEST_UNSET", "");
    VeltorPlatform::setEnvironment("SORVIK_TEST_LOOP", "%SORVIK_TEST_LOOP%");
    EXPECT_EQ(expanded("%SORVIK_TEST_DIR%/log"), native("/opt/v") == "/opt/v" ? "/opt/v/log" : "/opt/v\\log");
    EXPECT_EQ(expanded("%SORVIK_TEST_UNSET%/log"), native("%SORVIK_TEST_UNSET%/log"));
    EXPECT_EQ(expanded("%%x"), "%%x");
    EXPECT_EQ(expanded("a%"), "a%");
    EXPECT_EQ(expanded("%SORVIK_TEST_LOOP%"), "%SORVIK_TEST_LOOP%");
    EXPECT_EQ(expanded("$SORVIK_TEST_DIR/x"), native("/opt/v") == "/opt/v" ? "/opt/v/x" : "/opt/v\\x");
    // A '$' reference that ends the path stays as written.
    EXPECT_EQ(expanded("x/$SORVIK_TEST_DIR"), native("x/$SORVIK_TEST_DIR"));
    EXPECT_EQ(expanded("$"), "$");
    if (kWindows) {
        char windows[300];
        std::uint32_t length = VeltorPlatform::getWindowsDirectory(windows, sizeof windows);
        ASSERT_GT(length, 0u);
        EXPECT_EQ(expanded("\\SystemRoot"), std::string(windows, length));
        EXPECT_EQ(expanded("/SYSTEMROOT"), std::string(windows, length));
        EXPECT_EQ(expanded("\\C:"), "C:");
        EXPECT_EQ(expanded("\\??"), "");
        EXPECT_EQ(expanded("\\systemroot\\x"), "\\systemroot\\x");
    } else {
        EXPECT_EQ(expanded("/systemroot"), "/systemroot");
        EXPECT_EQ(expanded("/c:"), "/c:");
        EXPECT_EQ(expanded("\\??"), "/??");
    }
    VeltorPlatform::setEnvironment("SORVIK_TEST_DIR", "");
    VeltorPlatform::setEnvironment("SORVIK_TEST_LOOP", "");
}

class FsToolsPathDir : public FileTestDir {};

TEST_F(FsToolsPathDir, LongPathCurrentDirAndNames) {
    std::string current = FsTools::currentDir();
    // Longer than the first buffer of 50 characters.
    std::string deep = write(std::string(60, 'n'));
    std::string path = deep;
    FsTools::longPath(path);
    EXPECT_EQ(FsTools::compareNoCase(path, deep), 0);
    EXPECT_EQ(path.substr(path.size() - 60), std::string(60, 'n'));
    path = current + "/no such file here";
    FsTools::longPath(path);
    EXPECT_EQ(path, native(current + "/no such file here"));
    path = std::string(33000, 'q');
    FsTools::longPath(path);
    EXPECT_EQ(path.size(), 33000u);

    EXPECT_EQ(FsTools::extension("a\\b.c\\name.tar.gz"), "gz");
    EXPECT_EQ(FsTools::extension("a\\b.c\\name"), "");
    EXPECT_TRUE(FsTools::isShortcut("Report.LNK"));
    EXPECT_FALSE(FsTools::isShortcut("a.lnk2"));
    EXPECT_FALSE(FsTools::isShortcut("lnk"));
    EXPECT_EQ(FsTools::compareNoCase("ABC", "abc"), 0);
    EXPECT_GT(FsTools::compareNoCase("a\xe9", "a"), 0);
}
