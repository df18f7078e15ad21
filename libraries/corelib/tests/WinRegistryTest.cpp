// WinRegistry against the real registry: Wine's on Windows, a .reg file on POSIX. Test keys live below
// HKEY_CURRENT_USER\Software\VeltorTest-<pid>-<n> and are deleted afterwards.
#include "WinRegistry.h"

#include "platform/Process.h"
#include "platform/Registry.h"
#include "platform/SystemInfo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace VeltorCorelib;
namespace fs = std::filesystem;

namespace {

const std::string kHive = "HKEY_CURRENT_USER";

// A null value removes the variable.
void setEnvironment(const char* name, const char* value) {
    VeltorPlatform::setEnvironment(name, value ? value : "");
}

using Strings = std::vector<std::string>;

class WinRegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        static int counter = 0;
        std::string unique =
            std::to_string(VeltorPlatform::currentProcessId()) + "-" + std::to_string(++counter);
        directory = fs::temp_directory_path() / ("veltor-winregistry-" + unique);
        fs::create_directories(directory);
        // The POSIX registry file; Windows ignores the variable.
        setEnvironment("VELTOR_REGISTRY", (directory / "registry.reg").string().c_str());
        setEnvironment("VELTOR_ENV", nullptr);
        base = "Software\\VeltorTest-" + unique;
    }
    void TearDown() override {
        setEnvironment("VELTOR_ENV", nullptr);
        VeltorPlatform::regDeleteTree(VeltorPlatform::RegistryRoot::CurrentUser, base, 0);
        std::error_code ignored;
        fs::remove_all(directory, ignored);
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

    fs::path directory;
    std::string base;
};

// Runs the call and returns "Name: text" of what it threw, "" when it did not throw.
template <typename Call> std::string thrown(Call call) {
    try {
        call();
    } catch (const Exception& error) {
        return error.getText(true);
    }
    return "";
}

TEST_F(WinRegistryTest, WritesAndReadsStringsAndReportsMissingKeysAndValues) {
    WinRegistry::setString(kHive, base + "/App", "InstallDir", "C:\\Veltor", false);
    WinRegistry::setString(kHive, base + "\\App", "Empty", "", true);
    EXPECT_EQ(WinRegistry::getString(kHive, base + "\\App", "InstallDir", false), "C:\\Veltor");
    EXPECT_EQ(WinRegistry::getString(kHive, base + "/App", "installdir", true), "C:\\Veltor");
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
    EXPECT_EQ(thrown([&] { WinRegistry::getString(kHive, base + "/Nope", "InstallDir", false); }),
              "Get_NotFound: Could not find registry key \"HKEY_CURRENT_USER\"->\"" + base + "\\Nope\"");
    EXPECT_EQ(thrown([&] { WinRegistry::getSubKeys(kHive, base + "/Nope", false); }),
              "Get_NotFound: Could not find registry key \"HKEY_CURRENT_USER\"->\"" + base + "\\Nope\"");
    EXPECT_EQ(thrown([&] { WinRegistry::getMultiString(kHive, base + "/Nope", "x", false); }),
              "Get_NotFound: Could not find registry key \"HKEY_CURRENT_USER\"->\"" + base + "\\Nope\"");
    EXPECT_EQ(thrown([&] { WinRegistry::getString(kHive, base + "/App", "Missing", false); }),
              "Get_NotFound: Could not find registry key \"HKEY_CURRENT_USER\\" + base +
                  "/App\"->\"Missing\"");
    try {
        WinRegistry::getString(kHive, base + "/App", "Missing", false);
        FAIL();
    } catch (const WinRegistry::Get_NotFound& error) {
        EXPECT_EQ(
            error.getRawText().rfind("@winregistry.get.not-found{Could not find registry key \"%\"->\"%\"}; "
                                     "@logsrc{file=\"WinRegistry.cpp\" line=",
                                     0),
            0u);
    }
}

TEST_F(WinRegistryTest, HiveNamesAreMatchedExactly) {
    for (const char* hive : {"hkey_current_user", "HKCU", "HKEY_CURRENT_USER ", ""}) {
        std::string quoted = std::string("\"") + hive + "\"";
        EXPECT_EQ(thrown([&] { WinRegistry::getString(hive, base, "x", false); }),
                  "Get_BadArguments: Invalid argument " + quoted);
        EXPECT_EQ(thrown([&] { WinRegistry::getMultiString(hive, base, "x", false); }),
                  "Get_BadArguments: Invalid argument " + quoted);
        EXPECT_EQ(thrown([&] { WinRegistry::getSubKeys(hive, base, false); }),
                  "Get_BadArguments: Invalid argument " + quoted);
        EXPECT_EQ(thrown([&] { WinRegistry::setString(hive, base, "x", "y", false); }),
                  "Set_BadArguments: Invalid argument " + quoted);
        EXPECT_EQ(thrown([&] { WinRegistry::setMultiString(hive, base, "x", {"y"}, false); }),
                  "Set_BadArguments: Invalid argument " + quoted);
    }
    EXPECT_EQ(thrown([&] { WinRegistry::getSubKeys("HKEY_LOCAL_MACHINE", "", false); }), "");
}

TEST_F(WinRegistryTest, RedirectsOnlyTheWholeResourcesPrefix) {
    EXPECT_EQ(WinRegistry::resolveKeyPath("SOFTWARE/Veltor/Resources/X"), "SOFTWARE\\Veltor\\Resources\\X");
    // Unset, the path is opened as written, with backslashes.
    EXPECT_EQ(thrown([] { WinRegistry::getString(kHive, "SOFTWARE/Veltor/Resources/X", "v", false); }),
              "Get_NotFound: Could not find registry key "
              "\"HKEY_CURRENT_USER\"->\"SOFTWARE\\Veltor\\Resources\\X\"");

    std::string target = base + "\\Env";
    setEnvironment("VELTOR_ENV", target.c_str());
    EXPECT_EQ(WinRegistry::resolveKeyPath("SOFTWARE\\Veltor\\Resources\\X"), target + "\\X");
    EXPECT_EQ(WinRegistry::resolveKeyPath("SOFTWARE/Veltor/Resources"), target);
    EXPECT_EQ(WinRegistry::resolveKeyPath("SOFTWARE\\Veltor\\Resource"), "SOFTWARE\\Veltor\\Resource");
    EXPECT_EQ(WinRegistry::resolveKeyPath("SOFTWARE/Veltor/Res/X"), "SOFTWARE\\Veltor\\Res\\X");
    EXPECT_EQ(WinRegistry::resolveKeyPath("software\\veltor\\resources\\X"),
              "software\\veltor\\resources\\X");
    EXPECT_EQ(WinRegistry::resolveKeyPath("Other\\SOFTWARE\\Veltor\\Resources"),
              "Other\\SOFTWARE\\Veltor\\Resources");
    // A sibling that shares the prefix is not redirected.
    EXPECT_EQ(WinRegistry::resolveKeyPath("SOFTWARE/Veltor/ResourcesX/Y"), "SOFTWARE\\Veltor\\ResourcesX\\Y");

    // Reads and writes both go to the redirected key.
    WinRegistry::setString(kHive, "SOFTWARE/Veltor/Resources/X", "v", "redirected", false);
    EXPECT_EQ(WinRegistry::getString(kHive, target + "\\X", "v", false), "redirected");
    EXPECT_EQ(WinRegistry::getString(kHive, "SOFTWARE\\Veltor\\Resources\\X", "v", false), "redirected");
    EXPECT_EQ(WinRegistry::getSubKeys(kHive, "SOFTWARE\\Veltor\\Resources", false), Strings{"X"});
#ifndef _WIN32
    // Empty counts as unset, rather than sending the key to the root of the hive. (setEnvironment
    // removes a variable set empty; the C runtime here can hold one.)
    ::setenv("VELTOR_ENV", "", 1);
    EXPECT_EQ(WinRegistry::resolveKeyPath("SOFTWARE/Veltor/Resources/X"), "SOFTWARE\\Veltor\\Resources\\X");
    EXPECT_EQ(WinRegistry::resolveKeyPath("SOFTWARE/Veltor/Resources"), "SOFTWARE\\Veltor\\Resources");
#endif
    setEnvironment("VELTOR_ENV", (base + "\\Missing").c_str());
    EXPECT_EQ(thrown([] { WinRegistry::getString(kHive, "SOFTWARE\\Veltor\\Resources", "v", false); }),
              "Get_NotFound: Could not find registry key \"HKEY_CURRENT_USER\"->\"" + base + "\\Missing\"");
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

    EXPECT_EQ(thrown([&] { WinRegistry::getString(kHive, key, "List", false); }),
              "Get_WrongType: Cannot get \"HKEY_CURRENT_USER\\" + key +
                  "\"->\"List\" of type 1 because the actual type is 7");
    EXPECT_EQ(thrown([&] { WinRegistry::getMultiString(kHive, key, "Padded", false); }),
              "Get_WrongType: Cannot get \"HKEY_CURRENT_USER\\" + key +
                  "\"->\"Padded\" of type 7 because the actual type is 1");
    setRaw(key, "Number", 4, std::string("\1\0\0\0", 4));
    EXPECT_EQ(thrown([&] { WinRegistry::getString(kHive, key, "Number", false); }),
              "Get_WrongType: Cannot get \"HKEY_CURRENT_USER\\" + key +
                  "\"->\"Number\" of type 1 because the actual type is 4");
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
    EXPECT_EQ(WinRegistry::getSubKeys(kHive, base + "\\Keys\\CoreServer", false), Strings{});
}

#ifndef _WIN32
TEST_F(WinRegistryTest, FileProblemsAreExplained) {
    const fs::path file = directory / "registry.reg";
    std::ofstream(file) << "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltor]\n"
                           "\"InstallDir\"=\"C:\\Veltor\"\n";
    fs::permissions(file, fs::perms(0644));
    const std::string malformed =
        "File_Error: Registry file \"" + file.string() +
        "\", line 4: unknown escape \"\\V\" in a string (a backslash is written \\\\)";
    EXPECT_EQ(
        thrown([] { WinRegistry::getSubKeys("HKEY_LOCAL_MACHINE", "SOFTWARE\\Veltor", false); }),
        "Get_UnknownError: Unknown error when trying to get \"HKEY_LOCAL_MACHINE\"->\"SOFTWARE\\Veltor\"\n" +
            malformed);
    EXPECT_EQ(
        thrown([] { WinRegistry::setString("HKEY_LOCAL_MACHINE", "SOFTWARE\\Veltor", "x", "y", false); }),
        "Set_UnknownError: Unknown error when trying to set \"HKEY_LOCAL_MACHINE\"->\"SOFTWARE\\Veltor\"\n" +
            malformed);

    std::ofstream(file) << "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltor]\n";
    fs::permissions(file, fs::perms(0666));
    const std::string refused = "File_Error: Registry file \"" + file.string() +
                                "\" is refused: group or others may write it (chmod go-w \"" + file.string() +
                                "\")";
    EXPECT_EQ(
        thrown([] { WinRegistry::getString("HKEY_LOCAL_MACHINE", "SOFTWARE/Veltor", "x", false); }),
        "Get_AccessDenied: Access denied when trying to get \"HKEY_LOCAL_MACHINE\"->\"SOFTWARE\\Veltor\"\n" +
            refused);
    EXPECT_EQ(
        thrown([] { WinRegistry::setMultiString("HKEY_LOCAL_MACHINE", "SOFTWARE/Veltor", "x", {}, false); }),
        "Set_AccessDenied: Access denied when trying to set \"HKEY_LOCAL_MACHINE\"->\"SOFTWARE\\Veltor\"\n" +
            refused);

    // Data the file cannot hold is refused when it is set, naming the key and the value.
    fs::permissions(file, fs::perms(0644));
    EXPECT_EQ(
        thrown(
            [] { WinRegistry::setString("HKEY_LOCAL_MACHINE", "SOFTWARE/Veltor", "x", "caf\xE9", false); }),
        "Set_UnknownError: Unknown error when trying to set \"HKEY_LOCAL_MACHINE\\SOFTWARE/Veltor\"->\"x\"\n"
        "File_Error: Registry file \"" +
            file.string() + "\": text data that is not valid UTF-8 cannot be stored");
}
#endif

} // namespace
