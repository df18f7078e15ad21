// WinRegistry against the real registry: Wine's on Windows, a .reg file on POSIX. Test keys live below
// HKEY_CURRENT_USER\Software\VeltorTest-... and are deleted afterwards.
#include "WinRegistry.h"
#include "CorelibTestSupport.h"

#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <vector>

using namespace VeltorCorelib;
namespace fs = std::filesystem;

namespace {

const std::string kHive = "HKEY_CURRENT_USER";
using Strings = std::vector<std::string>;

class WinRegistryTest : public ::testing::Test {
protected:
    // The POSIX registry file (Windows ignores the variable), and no redirection of the resources key.
    TempDir directory{"winregistry"};
    ScopedVariable registry{"VELTOR_REGISTRY", (directory.path / "registry.reg").string()};
    ScopedVariable environment{"VELTOR_ENV", ""};
    std::string base = "Software\\VeltorTest-" + directory.path.filename().string();

    void TearDown() override {
        VeltorPlatform::regDeleteTree(VeltorPlatform::RegistryRoot::CurrentUser, base, 0);
    }

    // Stores raw bytes, for data that the library's own writers never produce.
    void setRaw(const std::string& key, const std::string& value, std::uint32_t type,
                const std::string& data) {
        VeltorPlatform::RegistryKey handle;
        ASSERT_EQ(VeltorPlatform::regCreateKey(VeltorPlatform::RegistryRoot::CurrentUser, key,
                                               VeltorPlatform::kRegWrite, handle),
                  0u);
        ASSERT_EQ(VeltorPlatform::regSetValue(handle, value, type,
                                              reinterpret_cast<const std::uint8_t*>(data.data()),
                                              static_cast<std::uint32_t>(data.size())),
                  0u);
    }

    std::string getRaw(const std::string& key, const std::string& value, std::uint32_t& type) {
        VeltorPlatform::RegistryKey handle;
        EXPECT_EQ(VeltorPlatform::regOpenKey(VeltorPlatform::RegistryRoot::CurrentUser, key,
                                             VeltorPlatform::kRegRead, handle),
                  0u);
        char data[64];
        std::uint32_t size = sizeof data;
        EXPECT_EQ(
            VeltorPlatform::regQueryValue(handle, value, type, reinterpret_cast<std::uint8_t*>(data), size),
            0u);
        return std::string(data, size);
    }
};

TEST_F(WinRegistryTest, WritesAndReadsStringsAndReportsMissingKeysAndValues) {
    WinRegistry::setString(kHive, base + "/App", "InstallDir", "C:\\Veltor", false);
    WinRegistry::setString(kHive, base + "\\App", "Empty", "", true);
    EXPECT_EQ(WinRegistry::getString(kHive, base + "\\App", "InstallDir", false), "C:\\Veltor");
    EXPECT_EQ(WinRegistry::getString(kHive, base + "\\App", "Empty", false), "");
    std::uint32_t type = 0;
    EXPECT_EQ(getRaw(base + "\\App", "InstallDir", type), std::string("C:\\Veltor\0", 10));
    EXPECT_EQ(type, 1u);

    // Longer than the first buffer of 256 bytes.
    std::string longText(1000, 'x');
    longText += "end";
    WinRegistry::setString(kHive, base + "\\App", "Long", longText, false);
    EXPECT_EQ(WinRegistry::getString(kHive, base + "\\App", "Long", false), longText);

    // A missing key names the resolved path; a missing value names the key as given.
    EXPECT_EQ(thrownText([&] { WinRegistry::getSubKeys(kHive, base + "/Nope", false); }),
              "Get_NotFound: Could not find registry key \"HKEY_CURRENT_USER\"->\"" + base + "\\Nope\"");
    EXPECT_EQ(thrownText([&] { WinRegistry::getString(kHive, base + "/App", "Missing", false); }),
              "Get_NotFound: Could not find registry key \"HKEY_CURRENT_USER\\" + base +
                  "/App\"->\"Missing\"");
}

TEST_F(WinRegistryTest, HiveNamesAreMatchedExactly) {
    for (const char* hive : {"hkey_current_user", "HKCU", "HKEY_CURRENT_USER ", ""}) {
        const std::string invalid = std::string("BadArguments: Invalid argument \"") + hive + "\"";
        EXPECT_EQ(thrownText([&] { WinRegistry::getString(hive, base, "x", false); }), "Get_" + invalid);
        EXPECT_EQ(thrownText([&] { WinRegistry::getSubKeys(hive, base, false); }), "Get_" + invalid);
        EXPECT_EQ(thrownText([&] { WinRegistry::setString(hive, base, "x", "y", false); }), "Set_" + invalid);
    }
    EXPECT_EQ(thrownText([&] { WinRegistry::getSubKeys("HKEY_LOCAL_MACHINE", "", false); }),
              "nothing thrown");
}

TEST_F(WinRegistryTest, RedirectsOnlyTheWholeResourcesPrefix) {
    EXPECT_EQ(WinRegistry::resolveKeyPath("SOFTWARE/Veltor/Resources/X"), "SOFTWARE\\Veltor\\Resources\\X");

    std::string target = base + "\\Env";
    VeltorPlatform::setEnvironment("VELTOR_ENV", target);
    EXPECT_EQ(WinRegistry::resolveKeyPath("SOFTWARE\\Veltor\\Resources\\X"), target + "\\X");
    EXPECT_EQ(WinRegistry::resolveKeyPath("SOFTWARE/Veltor/Resources"), target);
    EXPECT_EQ(WinRegistry::resolveKeyPath("software\\veltor\\resources\\X"),
              "software\\veltor\\resources\\X");
    EXPECT_EQ(WinRegistry::resolveKeyPath("Other\\SOFTWARE\\Veltor\\Resources"),
              "Other\\SOFTWARE\\Veltor\\Resources");
    // A sibling that shares the prefix is not redirected.
    EXPECT_EQ(WinRegistry::resolveKeyPath("SOFTWARE/Veltor/ResourcesX/Y"), "SOFTWARE\\Veltor\\ResourcesX\\Y");

    // Reads and writes both go to the redirected key.
    WinRegistry::setString(kHive, "SOFTWARE/Veltor/Resources/X", "v", "redirected", false);
    EXPECT_EQ(WinRegistry::getString(kHive, "SOFTWARE\\Veltor\\Resources\\X", "v", false), "redirected");
    EXPECT_EQ(WinRegistry::getSubKeys(kHive, "SOFTWARE\\Veltor\\Resources", false), Strings{"X"});
#ifndef _WIN32
    // Empty counts as unset, rather than sending the key to the root of the hive. (setEnvironment
    // removes a variable set empty; the C runtime here can hold one.)
    ::setenv("VELTOR_ENV", "", 1);
    EXPECT_EQ(WinRegistry::resolveKeyPath("SOFTWARE/Veltor/Resources"), "SOFTWARE\\Veltor\\Resources");
#endif
}

TEST_F(WinRegistryTest, MultiStringsAndTypeChecks) {
    const std::string key = base + "\\Types";
    WinRegistry::setMultiString(kHive, key, "List", {"a", "b"}, false);
    std::uint32_t type = 0;
    EXPECT_EQ(getRaw(key, "List", type), std::string("a\0b\0\0", 5));
    EXPECT_EQ(type, 7u);
    EXPECT_EQ(WinRegistry::getMultiString(kHive, key, "List", false), (Strings{"a", "b"}));
    WinRegistry::setMultiString(kHive, key, "None", {}, false);
    EXPECT_EQ(getRaw(key, "None", type), std::string("\0", 1));
    EXPECT_EQ(WinRegistry::getMultiString(kHive, key, "None", false), Strings{});

    // Two NULs in a row end the list; text after the last NUL is an item.
    setRaw(key, "Gap", 7, std::string("a\0\0b\0\0", 6));
    EXPECT_EQ(WinRegistry::getMultiString(kHive, key, "Gap", false), Strings{"a"});
    setRaw(key, "Open", 7, std::string("a\0bc", 4));
    EXPECT_EQ(WinRegistry::getMultiString(kHive, key, "Open", false), (Strings{"a", "bc"}));
    // Trailing NULs are not part of a string.
    setRaw(key, "Padded", 1, std::string("abc\0\0\0", 6));
    EXPECT_EQ(WinRegistry::getString(kHive, key, "Padded", false), "abc");

    EXPECT_EQ(thrownText([&] { WinRegistry::getString(kHive, key, "List", false); }),
              "Get_WrongType: Cannot get \"HKEY_CURRENT_USER\\" + key +
                  "\"->\"List\" of type 1 because the actual type is 7");
    EXPECT_EQ(thrownText([&] { WinRegistry::getMultiString(kHive, key, "Padded", false); }),
              "Get_WrongType: Cannot get \"HKEY_CURRENT_USER\\" + key +
                  "\"->\"Padded\" of type 7 because the actual type is 1");
}

TEST_F(WinRegistryTest, ListsSubKeysWithLongNames) {
#ifdef _WIN32
    // Wine's ANSI calls take key paths of up to 260 characters; the system's names stop at 255.
    const std::size_t longest = 260 - (base + "\\Keys\\").size();
#else
    const std::size_t longest = 300; // past the first enumeration buffer of 256 characters
#endif
    std::string longName(longest - 1, 'k');
    longName += "Z";
    for (const std::string& name : {std::string("Installation"), longName, std::string("CoreServer")})
        WinRegistry::setString(kHive, base + "\\Keys\\" + name, "", "", false);
    EXPECT_EQ(WinRegistry::getSubKeys(kHive, base + "\\Keys", false),
              (Strings{"CoreServer", "Installation", longName}));
}

#ifndef _WIN32
// A problem of the registry file itself (its wording is the platform layer's) follows the registry error,
// which names what was asked for. (What a read of a malformed file says is checked from the outside.)
TEST_F(WinRegistryTest, FileProblemsAreExplained) {
    const fs::path file = directory.path / "registry.reg";
    const std::string header =
        "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltor]\n";
    const std::string key = " \"HKEY_LOCAL_MACHINE\"->\"SOFTWARE\\Veltor\"";
    const auto expectError = [&](const std::function<void()>& call, const std::string& expected) {
        const std::string text = thrownText(call);
        EXPECT_EQ(text.substr(0, text.find('\n')), expected);
        EXPECT_NE(text.find("\nFile_Error: Registry file \"" + file.string() + "\""), std::string::npos)
            << text;
    };
    const auto set = [] {
        WinRegistry::setString("HKEY_LOCAL_MACHINE", "SOFTWARE\\Veltor", "x", "y", false);
    };
    std::ofstream(file) << header + "\"InstallDir\"=\"C:\\Veltor\"\n";
    expectError(set, "Set_UnknownError: Unknown error when trying to set" + key);
    // A file that others may write is refused.
    std::ofstream(file) << header;
    fs::permissions(file, fs::perms(0666));
    expectError([] { WinRegistry::getSubKeys("HKEY_LOCAL_MACHINE", "SOFTWARE/Veltor", false); },
                "Get_AccessDenied: Access denied when trying to get" + key);
    expectError(set, "Set_AccessDenied: Access denied when trying to set" + key);

    // Data the file cannot hold is refused when it is set, naming the key and the value.
    fs::permissions(file, fs::perms(0644));
    expectError(
        [] { WinRegistry::setString("HKEY_LOCAL_MACHINE", "SOFTWARE/Veltor", "x", "caf\xE9", false); },
        "Set_UnknownError: Unknown error when trying to set \"HKEY_LOCAL_MACHINE\\SOFTWARE/Veltor\"->\"x\"");
}
#endif

} // namespace
