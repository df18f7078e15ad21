// The Windows conversion between narrow text and UTF-16. (Names in every language converted both ways, at
// depths beyond 260 characters, reaching the W file calls: the black-box names and deep-tree cases, under
// Wine. Checked here is what those cases cannot see.)
#ifdef _WIN32
#include "../win32/WideCalls.h"

#include <gtest/gtest.h>

#include <string>

using namespace VeltorPlatform;

// The test program carries the same manifest as the shipped one: its narrow calls speak UTF-8.
TEST(WideCallsTest, NarrowTextIsUtf8AndConvertsBothWays) {
    ASSERT_EQ(GetACP(), static_cast<UINT>(CP_UTF8));
    // Two, three and four bytes in UTF-8; the last a surrogate pair in UTF-16.
    const std::string narrow = "caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x98\x80";
    const std::wstring wide = L"caf\x00e9 \x65e5 \xd83d\xde00";
    EXPECT_EQ(Wide::toWide(narrow), wide);
    EXPECT_EQ(Wide::toNarrow(wide.c_str()), narrow);
    EXPECT_EQ(Wide::toWide(std::string("a\0b", 3)), std::wstring(L"a\0b", 3)); // whole strings, NULs too
    EXPECT_EQ(Wide::toWide(""), L"");
    // The console form ends lines as the C runtime does for files.
    const std::string text = "Directory: " + narrow + "\n\nx\n";
    EXPECT_EQ(Wide::consoleText(text.data(), text.size()), L"Directory: " + wide + L"\r\n\r\nx\r\n");
}
#endif
