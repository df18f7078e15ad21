// Holding a job file so that nobody else has it open while it is read and deleted: share mode 0 on
// Windows (Wine keeps share modes between its own handles and processes).
#ifdef _WIN32
#include "PlatformTestDir.h"
#include "platform/DirHandle.h"
#include "platform/FileSystem.h"

#include <string>

using namespace VeltorPlatform;

namespace {

std::string readAll(FileHandle& file) {
    std::string text;
    char buffer[64];
    std::size_t got = 0;
    while (file.read(buffer, sizeof buffer, got) == 0u && got > 0)
        text.append(buffer, got);
    return text;
}

class Win32ExclusiveTest : public PlatformTestDir {};

} // namespace

TEST_F(Win32ExclusiveTest, HoldsTheFileAgainstEveryOtherOpenUntilItIsRemoved) {
    write("job", "record");
    DirHandle dir;
    ASSERT_EQ(dir.openRoot(root.string()), 0u);
    FileHandle held, other;
    ASSERT_EQ(other.openRead(dir, "job"), 0u);
    EXPECT_EQ(held.openExclusive(dir, "job"), FileSystemError::SharingViolation);
    EXPECT_FALSE(held.isOpen());
    EXPECT_EQ(other.close(), 0u);

    ASSERT_EQ(held.openExclusive(dir, "job"), 0u);
    EXPECT_FALSE(held.openedByOthers());
    EXPECT_EQ(other.openRead(dir, "job"), FileSystemError::SharingViolation);
    EXPECT_EQ(readAll(held), "record");
    write("other", "o");
    EXPECT_EQ(held.removeHeld(dir, "other"), FileSystemError::EntryChanged);
    EXPECT_EQ(held.removeHeld(dir, "job"), 0u);
    EXPECT_EQ(held.close(), 0u);
    EXPECT_FALSE(std::filesystem::exists(root / "job"));
    EXPECT_EQ(content("other"), "o");
    EXPECT_EQ(held.openExclusive(dir, "job"), FileSystemError::FileNotFound);
}

TEST_F(Win32ExclusiveTest, LetsGoOfAFileNotRemovedAsItWas) {
    write("job", "record");
    const std::int64_t lastAccess = 1000000000000LL; // 2001
    ASSERT_EQ(setFileTimes(path("job"), 1400000000000LL, lastAccess), 0u);
    DirHandle dir;
    ASSERT_EQ(dir.openRoot(root.string()), 0u);
    FileHandle held;
    ASSERT_EQ(held.openExclusive(dir, "job", true), 0u);
    EXPECT_EQ(readAll(held), "record");
    EXPECT_EQ(held.close(), 0u);
    EXPECT_TRUE(held.accessTimeKept());
    EntryInfo info;
    ASSERT_EQ(dir.lookup("job", info), 0u);
    EXPECT_EQ(info.lastAccessMs, lastAccess);
    EXPECT_EQ(content("job"), "record");
}
#endif
