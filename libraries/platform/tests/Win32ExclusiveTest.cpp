// Holding a job file so that nobody else has it open while it is read and deleted: share mode 0 on
// Windows (Wine keeps share modes between its own handles and processes).
#ifdef _WIN32
#include "PlatformTestDir.h"
#include "platform/DirHandle.h"
#include "platform/FileSystem.h"

using namespace VeltorPlatform;
using Win32ExclusiveTest = PlatformTestDir;

TEST_F(Win32ExclusiveTest, HoldsTheFileAgainstEveryOtherOpenUntilItIsRemovedOrLetGo) {
    write("job", "record");
    write("kept", "k");
    const std::int64_t lastAccess = 1000000000000LL; // 2001
    ASSERT_EQ(setFileTimes(path("kept"), 1400000000000LL, lastAccess), 0u);
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
    char buffer[16];
    std::size_t got = 0;
    EXPECT_EQ(held.read(buffer, sizeof buffer, got), 0u);
    EXPECT_EQ(std::string(buffer, got), "record");
    EXPECT_EQ(held.removeHeld(dir, "kept"), FileSystemError::EntryChanged);
    EXPECT_EQ(held.removeHeld(dir, "job"), 0u);
    EXPECT_EQ(held.close(), 0u);
    EXPECT_FALSE(std::filesystem::exists(root / "job"));
    EXPECT_EQ(held.openExclusive(dir, "job"), FileSystemError::FileNotFound);

    // Held, read and let go: the file stays as it was, its last access too.
    ASSERT_EQ(held.openExclusive(dir, "kept", true), 0u);
    EXPECT_EQ(held.read(buffer, sizeof buffer, got), 0u);
    EXPECT_EQ(held.close(), 0u);
    EXPECT_TRUE(held.accessTimeKept());
    EntryInfo info;
    ASSERT_EQ(dir.lookup("kept", info), 0u);
    EXPECT_EQ(info.lastAccessMs, lastAccess);
    EXPECT_EQ(content("kept"), "k");
}
#endif
