#include "PathTools.h"
#include "FileTestDir.h"

#include "platform/Paths.h"
#include "platform/SystemInfo.h"

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

using VeltorFilelib::PathTools;

namespace {
constexpr bool kWindows = VeltorPlatform::kPathStyle == VeltorPlatform::PathStyle::Windows;
} // namespace

TEST(PathTools, ContractResolvesDotsAndRefusesToClimbAboveTheFirstComponent) {
    // An empty expectation: Contract_InvalidPath.
    const std::pair<const char*, const char*> cases[] = {
        {"/a/..", "/"},        {"/a/b/../c/./d", "/a/c/d"},
        {"a/b/..", "a"},       {"../a", "../a"},
        {"a//b/../c/", "a/c"}, {"//server/share/x/..", "//server/share"},
        {"C:/a/../b", "C:/b"}, {"C:/", "C:"},
        {"a/..", ""},          {"/..", ""},
        {"C:/a/../..", ""},
    };
    for (const auto& [path, expected] : cases) {
        if (*expected)
            EXPECT_EQ(PathTools::contract(path), expected) << path;
        else
            EXPECT_THROW(PathTools::contract(path), PathTools::Contract_InvalidPath) << path;
    }
    EXPECT_EQ(PathTools::makeAbsolute("b/../c", "/base"), "/base/c");
    EXPECT_EQ(PathTools::makeAbsolute("/abs/..", "/base"), "/abs/..");
    EXPECT_EQ(PathTools::makeAbsolute("D:x", "/base"), "D:x");
    EXPECT_THROW(PathTools::makeAbsolute("../..", "a"), PathTools::Contract_InvalidPath);
}

TEST(PathTools, NamesRootsAndComponents) {
    using Tool = std::string (*)(const std::string&);
    const std::tuple<Tool, const char*, const char*> cases[] = {
        {PathTools::fileName, "/a/b.txt", "b.txt"},
        {PathTools::fileName, "/a/", ""},
        {PathTools::dirName, "/a/b", "/a"},
        {PathTools::dirName, "/a", "/"},
        {PathTools::dirName, "a", ""},
        {PathTools::root, "C:/x", "C:"},
        {PathTools::root, "C:x", ""},
        {PathTools::root, "/x/y", "/"},
        {PathTools::root, "//server/share/x", "//server"},
        {PathTools::extension, "/a.b/c.tar.gz", "gz"},
        {PathTools::extension, "/a.b/c", ""}};
    for (const auto& [tool, path, expected] : cases)
        EXPECT_EQ(tool(path), expected) << path;
    for (const char* root : {"/", "C:", "//server"})
        EXPECT_TRUE(PathTools::isRoot(root)) << root;
    for (const char* notRoot : {"C:/", "/a", ""})
        EXPECT_FALSE(PathTools::isRoot(notRoot)) << notRoot;
    std::string name = "/a.b/c";
    PathTools::removeExtension(name);
    EXPECT_EQ(name, "/a.b/c");
    EXPECT_EQ(PathTools::components("/a//b/"), (std::vector<std::string>{"/", "a", "", "b"}));
    EXPECT_EQ(PathTools::components("//srv/share/x"), (std::vector<std::string>{"//srv", "share", "x"}));
    EXPECT_EQ(PathTools::components("C:/"), (std::vector<std::string>{"C:"}));
    EXPECT_TRUE(PathTools::components("").empty());
}

TEST(PathTools, ExpandReferences) {
    VeltorPlatform::setEnvironment("SORVIK_PT_A", "alpha");
    VeltorPlatform::setEnvironment("SORVIK_PT_LOOP", "$SORVIK_PT_LOOP");
    VeltorPlatform::setEnvironment("SORVIK_PT_UNSET", "");
    EXPECT_EQ(PathTools::expand("/x/%SORVIK_PT_A%/y"), "/x/alpha/y");
    EXPECT_EQ(PathTools::expand("/x/$SORVIK_PT_A/y"), "/x/alpha/y");
    EXPECT_EQ(PathTools::expand("$SORVIK_PT_A$SORVIK_PT_A"), "alphaalpha");
    EXPECT_EQ(PathTools::expand("/x/$SORVIK_PT_A"), "/x/alpha");
    EXPECT_EQ(PathTools::expand("/x/%SORVIK_PT_UNSET%/$SORVIK_PT_UNSET/y"),
              "/x/%SORVIK_PT_UNSET%/$SORVIK_PT_UNSET/y");
    EXPECT_EQ(PathTools::expand("100%%/$$5"), "100%/$5");
    EXPECT_EQ(PathTools::expand("a%b/c%"), "a%b/c%");
    EXPECT_EQ(PathTools::expand("$"), "$");
    EXPECT_EQ(PathTools::expand("$SORVIK_PT_LOOP"), "$SORVIK_PT_LOOP");
    EXPECT_EQ(PathTools::expand("/C:"), "C:");
    EXPECT_EQ(PathTools::expand("/?/?"), "");
    if (kWindows) {
        char windows[300];
        std::uint32_t length = VeltorPlatform::getWindowsDirectory(windows, sizeof windows);
        ASSERT_GT(length, 0u);
        std::string expected(windows, length);
        std::replace(expected.begin(), expected.end(), '\\', '/');
        EXPECT_EQ(PathTools::expand("/SystemRoot/system32"), expected + "/system32");
    } else {
        EXPECT_EQ(PathTools::expand("/systemroot/x"), "/systemroot/x");
    }
    VeltorPlatform::setEnvironment("SORVIK_PT_A", "");
    VeltorPlatform::setEnvironment("SORVIK_PT_LOOP", "");
}

class PathToolsDir : public FileTestDir {};

TEST_F(PathToolsDir, LongPathAndNormalize) {
    EXPECT_EQ(PathTools::longPath("/no/marker/here"), "/no/marker/here");
    EXPECT_THROW(PathTools::longPath(portable("no~such~entry")), PathTools::LongPath_NoSuchPath);
    // An existing name with a '~' whose long form (258 characters) does not fit the first buffer of 256
    // but stays below the 260 characters that the system's narrow calls accept.
    const std::size_t baseLength = portable("x").size() - 1;
    ASSERT_LT(baseLength, 200u);
    const std::string name = std::string(258 - baseLength - 2, 't') + "~1";
    write(name);
    const std::string tilde = portable(name);
    ASSERT_EQ(tilde.size(), 258u);
    std::string answer = PathTools::longPath(tilde);
    EXPECT_EQ(answer.substr(answer.size() - name.size()), name);

    EXPECT_EQ(PathTools::normalize("a\\b\\..\\c", 0), "a/b/../c");
    EXPECT_EQ(PathTools::normalize("///a//b", PathTools::Normalize_Collapse), "//a/b");
    EXPECT_EQ(PathTools::normalize("/", PathTools::Normalize_Contract | PathTools::Normalize_ResolveLinks),
              "/");
    VeltorPlatform::setEnvironment("SORVIK_PT_DIR", "top/..");
    // Expansion comes after contraction: the value's ".." stays.
    EXPECT_EQ(PathTools::normalize("$SORVIK_PT_DIR/x/../y",
                                   PathTools::Normalize_Contract | PathTools::Normalize_Expand),
              "top/../y");
    VeltorPlatform::setEnvironment("SORVIK_PT_DIR", "");
}

TEST_F(PathToolsDir, ResolveLinksReplacesEveryLinkOnTheWay) {
    write("real/inner/file.txt");
    if (!makeSymlink(root / "real", root / "link"))
        GTEST_SKIP() << "no symbolic links here";
    const std::string through = portable("link") + "/inner/file.txt";
    EXPECT_EQ(PathTools::resolveLinks(through), portable("real") + "/inner/file.txt");
    EXPECT_EQ(PathTools::normalize(through, PathTools::Normalize_ResolveLinks),
              portable("real") + "/inner/file.txt");
    // A dangling link stays as it is.
    ASSERT_TRUE(makeSymlink(root / "gone", root / "dangling"));
    EXPECT_EQ(PathTools::resolveLinks(portable("dangling") + "/x"), portable("dangling") + "/x");
    EXPECT_EQ(PathTools::resolveLinks(portable("real/inner")), portable("real/inner"));
}
