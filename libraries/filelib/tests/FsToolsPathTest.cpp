#include "FileObjectTestDir.h"
#include "FsTools.h"

#include "platform/Paths.h"
#include "platform/SystemInfo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using VeltorFilelib::FsTools;

namespace {
constexpr bool kWindows = VeltorPlatform::kPathStyle == VeltorPlatform::PathStyle::Windows;

// Writes a path in the native form: '/' in the literal becomes the native separator.
std::string native(std::string path) {
    for (char& c : path) {
        if (c == '/')
            c = VeltorPlatform::kNativeSeparator;
    }
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

// Sets a variable for one scope; an unset variable reads as empty, so restoring "" unsets it again.
class ScopedVariable {
public:
    ScopedVariable(const char* inName, const char* value) : name(inName) {
        VeltorPlatform::getEnvironment(name, previous);
        VeltorPlatform::setEnvironment(name, value != nullptr ? value : "");
    }
    ~ScopedVariable() { VeltorPlatform::setEnvironment(name, previous); }

private:
    std::string name;
    std::string previous;
};
} // namespace

TEST(FsToolsPath, SeparatorsAreUnifiedAddedAndStripped) {
    auto apply = [](void (*tool)(std::string&), std::string path) {
        tool(path);
        return path;
    };
    EXPECT_EQ(apply(FsTools::unifySeparators, "a/b\\c"), native("a/b/c"));
    EXPECT_EQ(apply(FsTools::addSeparator, "dir"), native("dir/"));
    EXPECT_EQ(apply(FsTools::addSeparator, "dir/"), "dir/");
    EXPECT_EQ(apply(FsTools::addSeparator, "dir\\"), "dir\\");
    EXPECT_EQ(apply(FsTools::addSeparator, ""), "");
    EXPECT_EQ(apply(FsTools::stripSeparators, "a/b\\//"), native("a/b"));
    EXPECT_EQ(apply(FsTools::stripSeparators, "\\/\\/"), "");
}

TEST(FsToolsPath, NormalizeResolvesDotsAndKeepsSeparatorsThatMatter) {
    EXPECT_EQ(normalized(""), "");
    EXPECT_EQ(normalized("a/./b/../c"), native("a/c"));
    EXPECT_EQ(normalized("a/../../b"), native("../b"));
    EXPECT_EQ(normalized("../../x"), native("../../x"));
    EXPECT_EQ(normalized("a//b///c/"), native("a/b/c/"));
    EXPECT_EQ(normalized("/a/b/.."), native("/a"));
    // A relative path that resolves to nothing stays relative instead of becoming the root.
    EXPECT_EQ(normalized("a/.."), ".");
    EXPECT_EQ(normalized("a/../"), native("./"));
    // Nothing climbs above the root of an absolute path.
    EXPECT_EQ(normalized("/../a"), native("/a"));
    EXPECT_EQ(normalized("/.."), native("/"));
    EXPECT_EQ(normalized("////"), kWindows ? "\\\\" : "/");
    std::string current = FsTools::currentDir();
    ASSERT_FALSE(current.empty());
    EXPECT_EQ(normalized("."), normalized(current));
    EXPECT_EQ(normalized(native("./")), normalized(current));
    if (kWindows) {
        EXPECT_EQ(normalized("\\\\server\\share\\a\\..\\b\\"), "\\\\server\\share\\b\\");
        EXPECT_EQ(normalized("//server/share/../.."), "\\\\server\\share");
        EXPECT_EQ(normalized("C:\\a\\..\\..\\b"), "C:\\b");
        EXPECT_EQ(normalized("C:\\a\\.."), "C:\\");
        EXPECT_EQ(normalized("C:\\"), "C:\\");
        EXPECT_EQ(normalized("C:"), "C:");
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
    std::string base = kWindows ? "D:\\base\\x" : "/base/x";
    FsTools::makeAbsolute(path, base + "/../y");
    EXPECT_EQ(path, native(kWindows ? "D:/base/y/sub/file.txt" : "/base/y/sub/file.txt"));
    path = "../file";
    FsTools::makeAbsolute(path, "");
    EXPECT_EQ(path, native("../file"));
    std::string absolute = kWindows ? "E:/a/../b" : "/a/../b";
    path = absolute;
    FsTools::makeAbsolute(path, base);
    EXPECT_EQ(path, native(absolute));
}

TEST(FsToolsPath, ExpandReferencesAndSpecialPaths) {
    ScopedVariable set("SORVIK_TEST_DIR", "/opt/v");
    ScopedVariable unset("SORVIK_TEST_UNSET", nullptr);
    ScopedVariable looping("SORVIK_TEST_LOOP", "%SORVIK_TEST_LOOP%");
    EXPECT_EQ(expanded(""), "");
    EXPECT_EQ(expanded("%SORVIK_TEST_DIR%/log"), native("/opt/v") == "/opt/v" ? "/opt/v/log" : "/opt/v\\log");
    EXPECT_EQ(expanded("%SORVIK_TEST_UNSET%/log"), native("%SORVIK_TEST_UNSET%/log"));
    EXPECT_EQ(expanded("%%x"), "%%x");
    EXPECT_EQ(expanded("a%"), "a%");
    EXPECT_EQ(expanded("%SORVIK_TEST_LOOP%"), "%SORVIK_TEST_LOOP%");
    EXPECT_EQ(expanded("$SORVIK_TEST_DIR/x"), native("/opt/v") == "/opt/v" ? "/opt/v/x" : "/opt/v\\x");
    EXPECT_EQ(expanded("$SORVIK_TEST_UNSET/x"), native("$SORVIK_TEST_UNSET/x"));
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
}

TEST(FsToolsPath, LongPathCurrentDirAndNames) {
    std::string current = FsTools::currentDir();
    ASSERT_FALSE(current.empty());
    EXPECT_EQ(current.find(VeltorPlatform::kOtherSeparator), std::string::npos);
    std::string path = current;
    FsTools::longPath(path);
    EXPECT_EQ(path, current);
    // Longer than the first buffer of 50 characters.
    FileObjectTestDir dir;
    std::string deep = native(dir.put(std::string(60, 'n'), "x"));
    path = deep;
    FsTools::longPath(path);
    EXPECT_EQ(FsTools::compareNoCase(path, deep), 0);
    EXPECT_EQ(path.substr(path.size() - 60), std::string(60, 'n'));
    path = current + "/no such file here";
    FsTools::longPath(path);
    EXPECT_EQ(path, native(current + "/no such file here"));
    path = "//server/x";
    FsTools::longPath(path);
    EXPECT_EQ(path, native("//server/x"));
    path = std::string(33000, 'q');
    FsTools::longPath(path);
    EXPECT_EQ(path.size(), 33000u);

    EXPECT_EQ(FsTools::extension("a/b.c/name.tar.gz"), "gz");
    EXPECT_EQ(FsTools::extension("a/b.c/name"), "");
    EXPECT_EQ(FsTools::extension("a\\b.c\\name"), "");
    EXPECT_EQ(FsTools::extension("name."), "");
    EXPECT_EQ(FsTools::extension(".profile"), "profile");
    EXPECT_TRUE(FsTools::isShortcut("Report.LNK"));
    EXPECT_FALSE(FsTools::isShortcut("a.lnk2"));
    EXPECT_FALSE(FsTools::isShortcut("lnk"));
    EXPECT_EQ(FsTools::compareNoCase("ABC", "abc"), 0);
    EXPECT_LT(FsTools::compareNoCase("ab", "ABC"), 0);
    EXPECT_GT(FsTools::compareNoCase("abd", "ABC"), 0);
    EXPECT_GT(FsTools::compareNoCase("a\xe9", "a"), 0);
    EXPECT_LT(FsTools::compareNoCase("", "a"), 0);
    EXPECT_TRUE(FsTools::matchWildcard("x.log", "*.log"));
    EXPECT_TRUE(VeltorFilelib::matchWildcard("x.log", "*.log"));
}
