// The Windows conversion between narrow text and UTF-16. (Names in every language, at depths beyond
// 260 characters, reaching the W file calls: the black-box names and deep-tree cases, under Wine.)
#ifdef _WIN32
#include "../win32/WideCalls.h"

#include <gtest/gtest.h>

#include <string>

using namespace VeltorPlatform;

namespace {

struct Named {
    const char* narrow; // UTF-8
    const wchar_t* wide;
};

// Latin with an accent, Cyrillic, Greek, Japanese, and a character beyond the Basic Multilingual Plane.
const Named kNames[] = {
    {"caf\xc3\xa9", L"caf\x00e9"},
    {"\xd1\x82\xd0\xb5\xd1\x81\xd1\x82", L"\x0442\x0435\x0441\x0442"},
    {"\xce\x95\xce\xbb\xce\xbb\xce\xac\xce\xb4\xce\xb1", L"\x0395\x03bb\x03bb\x03ac\x03b4\x03b1"},
    {"\xe6\x97\xa5\xe6\x9c\xac", L"\x65e5\x672c"},
    {"\xf0\x9f\x98\x80", L"\xd83d\xde00"},
};

} // namespace

// The test program carries the same manifest as the shipped one: its narrow calls speak UTF-8.
TEST(WideCallsTest, NarrowTextIsUtf8AndConvertsBothWays) {
    ASSERT_EQ(GetACP(), static_cast<UINT>(CP_UTF8));
    for (const Named& name : kNames) {
        EXPECT_EQ(Wide::toWide(name.narrow), std::wstring(name.wide)) << name.narrow;
        EXPECT_EQ(Wide::toNarrow(name.wide), std::string(name.narrow)) << name.narrow;
    }
    EXPECT_EQ(Wide::toWide(std::string("a\0b", 3)), std::wstring(L"a\0b", 3)); // whole strings, NULs too
    EXPECT_EQ(Wide::toWide(""), L"");
    // The console form ends lines as the C runtime does for files.
    const std::string text = std::string("Directory: ") + kNames[1].narrow + "\n\nx\n";
    EXPECT_EQ(Wide::consoleText(text.data(), text.size()),
              std::wstring(L"Directory: ") + kNames[1].wide + L"\r\n\r\nx\r\n");
}
#endif
