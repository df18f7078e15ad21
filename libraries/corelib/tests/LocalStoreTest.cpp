#include "LocalStore.h"
#include "CorelibTestSupport.h"
#include "ProcessLock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <limits>

using VeltorCorelib::LocalStore;
using Items = std::vector<std::string>;

namespace {

constexpr std::int64_t kReplacements = 5000;
constexpr std::int64_t kFinished = -1;

// Child: replaces the value of the key "race" with 1, 2, ... kReplacements (for four seconds at
// most), under the key's lock, then with kFinished.
int replaceValueMode() {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(4);
    for (std::int64_t value = 1; value <= kReplacements && std::chrono::steady_clock::now() < end; ++value)
        if (LocalStore::writeInt64("race", value, true) != LocalStore::Done)
            return 10;
    return LocalStore::writeInt64("race", kFinished, true) == LocalStore::Done ? 0 : 11;
}
SORVIK_CHILD_MODE("replace-value", replaceValueMode);

} // namespace

TEST(LocalStore, RootComesFromTheEnvironmentOrTheDefault) {
    {
        StoreRoot root;
        EXPECT_EQ(root.text(), LocalStore::root());
        EXPECT_EQ(root.text() + "/a/b/c", LocalStore::keyDirectory("a/./b//c\\"));
        EXPECT_EQ(root.text() + "/a/c", LocalStore::keyDirectory("a/b/../c"));
        EXPECT_EQ(root.text() + "/x/list", LocalStore::valueFile("x", LocalStore::List));
    }
    std::string ignored;
    if (!VeltorPlatform::getEnvironment("VELTOR_FREG", ignored)) {
#ifdef _WIN32
        EXPECT_EQ("C:/veltor/freg", LocalStore::root());
#else
        EXPECT_EQ("/var/lib/veltor/freg", LocalStore::root());
#endif
    }
}

// The value files are read by other programs of the suite: their text form is asserted here.
TEST(LocalStore, EveryTypeRoundTripsInItsStoredForm) {
    StoreRoot root;
    const std::pair<std::string, std::string> strings[] = {
        {"a string with a newline\n", "a string with a newline\\n\n"},
        {"\\ \n \t \v \b \r \f \a \" ' ;", "\\\\ \\n \\t \\v \\b \\r \\f \\a \\\" \\' ;\n"}};
    for (const auto& s : strings) {
        std::string back;
        ASSERT_EQ(0u, LocalStore::writeString("app/text", s.first, true));
        EXPECT_EQ(s.second, root.fileContent("app/text/string"));
        ASSERT_EQ(0u, LocalStore::readString("app/text", false, back));
        EXPECT_EQ(s.first, back);
    }
    const std::pair<Items, std::string> lists[] = {
        {{"a;b", "c"}, "a\\:b;c;\n"}, {{"back\\slash;", "", "line\nbreak"}, ""}, {{}, "\n"}};
    for (const auto& l : lists) {
        Items back{"stale"};
        ASSERT_EQ(0u, LocalStore::writeList("app/list", l.first, true));
        if (!l.second.empty()) {
            EXPECT_EQ(l.second, root.fileContent("app/list/list"));
        }
        ASSERT_EQ(0u, LocalStore::readList("app/list", true, back));
        EXPECT_EQ(l.first, back);
    }

    std::int64_t signedValue = 0;
    ASSERT_EQ(0u, LocalStore::writeInt64("app/n", std::numeric_limits<std::int64_t>::min(), true));
    EXPECT_EQ("-9223372036854775808\n", root.fileContent("app/n/int64"));
    ASSERT_EQ(0u, LocalStore::readInt64("app/n", true, signedValue));
    EXPECT_EQ(std::numeric_limits<std::int64_t>::min(), signedValue);
    std::uint64_t unsignedValue = 0;
    ASSERT_EQ(0u, LocalStore::writeUInt64("app/n", 18446744073709551615ull, true));
    EXPECT_EQ("18446744073709551615\n", root.fileContent("app/n/uint64"));
    ASSERT_EQ(0u, LocalStore::readUInt64("app/n", true, unsignedValue));
    EXPECT_EQ(18446744073709551615ull, unsignedValue);
    double real = 0;
    ASSERT_EQ(0u, LocalStore::writeDouble("app/n", -2.5, true));
    ASSERT_EQ(0u, LocalStore::readDouble("app/n", true, real));
    EXPECT_EQ(-2.5, real);

    // The raw form of the other value files.
    ASSERT_EQ(0u, LocalStore::write("app/n", LocalStore::UInt32, "18", false));
    EXPECT_EQ("18\n", root.fileContent("app/n/uint32"));
}

TEST(LocalStore, ReadingRemovesOneNewlineAndKeepsUnknownEscapes) {
    StoreRoot root;
    std::filesystem::create_directories(root.path / "k");
    std::ofstream(root.path / "k" / "string", std::ios::binary) << "x\\qy\\\n\n";
    std::string text;
    ASSERT_EQ(0u, LocalStore::read("k", LocalStore::String, true, text));
    EXPECT_EQ("x\\qy\\\n", text);
    ASSERT_EQ(0u, LocalStore::readString("k", true, text));
    EXPECT_EQ("x\\qy\\\n", text);

    std::ofstream(root.path / "k" / "list", std::ios::binary) << ";a;;b";
    Items items;
    ASSERT_EQ(0u, LocalStore::readList("k", true, items));
    EXPECT_EQ((Items{"", "a", "", "b"}), items);
}

TEST(LocalStore, StatusesOfEveryFailure) {
    StoreRoot root;
    std::string text;
    EXPECT_EQ(1u, LocalStore::read("k", 7, true, text));
    EXPECT_EQ(1u, LocalStore::write("k", 7, "x", true));
    EXPECT_EQ(2u, LocalStore::read("", LocalStore::String, true, text));
    EXPECT_EQ(2u, LocalStore::write("", LocalStore::String, "x", true));
    // A key never leaves the store's root.
    EXPECT_EQ(2u, LocalStore::write("../escape", LocalStore::String, "x", true));
    EXPECT_EQ(2u, LocalStore::write("a/../../escape", LocalStore::String, "x", true));
    EXPECT_EQ(2u, LocalStore::read("/./", LocalStore::String, true, text));
    EXPECT_FALSE(std::filesystem::exists(root.path.parent_path() / "escape"));

    EXPECT_EQ(5u, LocalStore::read("missing", LocalStore::String, true, text));
    ASSERT_EQ(0u, LocalStore::writeInt64("present", 1, true));
    EXPECT_EQ(6u, LocalStore::read("present", LocalStore::String, true, text));

    // A value file that cannot be read.
    std::filesystem::create_directories(root.path / "broken" / "string");
    EXPECT_EQ(4u, LocalStore::read("broken", LocalStore::String, true, text));

    // A root that is a file: nothing can be written below it.
    std::ofstream(root.path / "file") << "x";
    ScopedVariable unusable("VELTOR_FREG", (root.path / "file").generic_string());
    EXPECT_EQ(7u, LocalStore::write("k", LocalStore::String, "x", true));
    EXPECT_EQ(7u, LocalStore::addInt64("k", 1));
}

TEST(LocalStore, AdditionsStartFromZeroAndWrap) {
    StoreRoot root;
    std::int64_t signedValue = 0;
    ASSERT_EQ(0u, LocalStore::addInt64("count", -5));
    ASSERT_EQ(0u, LocalStore::addInt64("count", 2));
    ASSERT_EQ(0u, LocalStore::readInt64("count", true, signedValue));
    EXPECT_EQ(-3, signedValue);
    ASSERT_EQ(0u, LocalStore::writeInt64("count", std::numeric_limits<std::int64_t>::max(), true));
    ASSERT_EQ(0u, LocalStore::addInt64("count", 1));
    ASSERT_EQ(0u, LocalStore::readInt64("count", true, signedValue));
    EXPECT_EQ(std::numeric_limits<std::int64_t>::min(), signedValue);

    std::uint64_t unsignedValue = 0;
    ASSERT_EQ(0u, LocalStore::addUInt64("count", 7));
    ASSERT_EQ(0u, LocalStore::readUInt64("count", true, unsignedValue));
    EXPECT_EQ(7u, unsignedValue);

    double real = 0;
    ASSERT_EQ(0u, LocalStore::addDouble("count", 0.5));
    ASSERT_EQ(0u, LocalStore::readDouble("count", true, real));
    EXPECT_EQ(0.5, real);

    // The addition holds the key's lock; releasing it leaves the lock free for the next taker.
    VeltorCorelib::ProcessLock keyLock(LocalStore::keyDirectory("count"));
    EXPECT_TRUE(keyLock.lock(10));
}

TEST(LocalStore, AValueBeingReplacedByAnotherProcessIsNeverMissing) {
    StoreRoot root; // inherited by the child through the environment
    ASSERT_EQ(0u, LocalStore::writeInt64("race", 0, true));
    ChildProcessSupport::Child child("replace-value", "");
    ASSERT_TRUE(child.started());
    // Reads until the child is finished; bounded, should the child fail. POSIX reads mostly without
    // the lock, fast enough to fall between the steps of a replacement: the replacement alone must
    // keep the value there. (Windows refuses to replace a file someone has open, so there a reader
    // without the lock can make a write fail.)
#ifdef _WIN32
    const unsigned lockedEvery = 1;
#else
    const unsigned lockedEvery = 8;
#endif
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    std::int64_t seen = 0;
    int failures = 0;
    for (unsigned read = 0; seen != kFinished && std::chrono::steady_clock::now() < deadline; ++read) {
        std::int64_t value = 0;
        const std::uint32_t status = LocalStore::readInt64("race", read % lockedEvery == 0, value);
        if (status != LocalStore::Done || (value != kFinished && value < seen))
            ++failures;
        else
            seen = value;
    }
    EXPECT_EQ(0, child.wait());
    EXPECT_EQ(0, failures);
    EXPECT_EQ(kFinished, seen);
}
