// The registry seam against the real registry: Wine's on Windows, a .reg file on POSIX. Both must give
// the same answers, since the library above follows the Windows result codes step by step.
#include "platform/Registry.h"
#include "PlatformTestDir.h"
#include "platform/SystemInfo.h"

#include <cstring>

using namespace VeltorPlatform;

namespace {

class RegistrySeam : public PlatformTestDir {
protected:
    void SetUp() override {
        PlatformTestDir::SetUp();
        // The POSIX registry file; Windows ignores the variable.
        setEnvironment("VELTOR_REGISTRY", path("registry.reg"));
        base = "Software\\VeltorTest-" + root.filename().string();
    }
    void TearDown() override {
        regDeleteTree(RegistryRoot::CurrentUser, base, 0);
        PlatformTestDir::TearDown();
    }

    std::uint32_t setText(const RegistryKey& key, const std::string& name, const std::string& text) {
        return regSetValue(key, name, kRegString, reinterpret_cast<const std::uint8_t*>(text.c_str()),
                           static_cast<std::uint32_t>(text.size() + 1));
    }

    std::string base;
};

TEST_F(RegistrySeam, CreateSetAndQueryWithTheSystemsResultCodes) {
    RegistryKey key;
    EXPECT_EQ(regOpenKey(RegistryRoot::CurrentUser, base + "\\App", kRegRead, key), 2u);
    EXPECT_FALSE(key.isOpen());

    ASSERT_EQ(regCreateKey(RegistryRoot::CurrentUser, base + "\\App", kRegWrite, key), 0u);
    EXPECT_EQ(setText(key, "Name", "hello"), 0u);
    const std::uint8_t dword[] = {0x1f, 0, 0, 1};
    EXPECT_EQ(regSetValue(key, "Count", kRegDword, dword, 4), 0u);
    std::uint32_t type = 0, size = 0;
    // A key opened for writing only may not be read.
    EXPECT_EQ(regQueryValue(key, "Name", type, nullptr, size), 5u);
    EXPECT_EQ(key.close(), 0u);

    // Creating an existing key opens it and keeps its values.
    ASSERT_EQ(regCreateKey(RegistryRoot::CurrentUser, base + "\\App", kRegRead | kRegWrite, key), 0u);
    EXPECT_EQ(key.close(), 0u);

    ASSERT_EQ(regOpenKey(RegistryRoot::CurrentUser, base + "\\App", kRegRead, key), 0u);
    std::uint8_t small[2];
    size = sizeof small;
    EXPECT_EQ(regQueryValue(key, "Name", type, small, size), 234u);
    EXPECT_EQ(size, 6u);
    size = 0;
    EXPECT_EQ(regQueryValue(key, "Name", type, nullptr, size), 0u);
    EXPECT_EQ(size, 6u);
    char data[32] = {};
    size = sizeof data;
    // Value names compare case-insensitively.
    EXPECT_EQ(regQueryValue(key, "NAME", type, reinterpret_cast<std::uint8_t*>(data), size), 0u);
    EXPECT_EQ(type, kRegString);
    EXPECT_EQ(std::string(data, size), std::string("hello", 6));
    size = sizeof data;
    EXPECT_EQ(regQueryValue(key, "Count", type, reinterpret_cast<std::uint8_t*>(data), size), 0u);
    EXPECT_EQ(type, kRegDword);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(std::memcmp(data, dword, 4), 0);
    size = sizeof data;
    EXPECT_EQ(regQueryValue(key, "Missing", type, reinterpret_cast<std::uint8_t*>(data), size), 2u);
    // A key opened for reading only may not be written.
    EXPECT_EQ(setText(key, "Name", "other"), 5u);

    // Key names compare case-insensitively too.
    EXPECT_EQ(regOpenKey(RegistryRoot::CurrentUser, base + "\\APP", kRegRead, key), 0u);
}

TEST_F(RegistrySeam, EnumeratesSubKeysAndReportsShortBuffers) {
    RegistryKey key;
    for (const char* name : {"beta", "Alpha", "gamma"}) {
        ASSERT_EQ(regCreateKey(RegistryRoot::CurrentUser, base + "\\List\\" + name, kRegWrite, key), 0u);
    }
    ASSERT_EQ(regOpenKey(RegistryRoot::CurrentUser, base + "\\List", kRegRead, key), 0u);
    char name[256];
    std::uint32_t length = 5; // "Alpha" and its NUL need 6
    EXPECT_EQ(regEnumKey(key, 0, name, length), 234u);
    std::string listed;
    std::uint32_t index = 0;
    for (;; ++index) {
        length = sizeof name;
        std::uint32_t result = regEnumKey(key, index, name, length);
        if (result != 0) {
            EXPECT_EQ(result, 259u);
            break;
        }
        listed += std::string(name, length) + ";";
    }
    EXPECT_EQ(listed, "Alpha;beta;gamma;");
}

} // namespace
