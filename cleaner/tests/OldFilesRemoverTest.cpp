#include "OldFilesRemoverFixture.h"
#include "OldFilesRemoverText.h"
#include "TrustedDirs.h"

#include <limits>

using Veltor::LastAccess;
using Veltor::LastWrite;
using Veltor::OldFilesRemover;
using VeltorTest::kHour;
using VeltorTest::RemoverTest;

TEST(RemoverText, SplitTrimAndIntegers) {
    using namespace Veltor::RemoverText;
    EXPECT_EQ((std::vector<std::string>{"*.tmp", " 48", " 168", " 1"}), split("*.tmp, 48, 168, 1", ","));
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), split(",,a,,b,", ","));
    EXPECT_EQ((std::vector<std::string>{"x", "y", "z"}), split("x=>y>=z", "=>"));
    EXPECT_TRUE(split("", ",").empty());
    EXPECT_EQ("a b", trim(" \r\n\t\v\b\fa b\f\b\v\t\n\r "));
    EXPECT_EQ("", trim(" \t "));
    EXPECT_EQ(48, readInteger("48"));
    EXPECT_EQ(-5, readInteger("-5x7"));
    EXPECT_EQ(0, readInteger("x48"));
    EXPECT_EQ(0, readInteger("-"));
    EXPECT_EQ(0, readInteger(""));
    // Overlong runs saturate instead of wrapping into a small or negative limit.
    EXPECT_EQ(std::numeric_limits<std::int64_t>::max(), readInteger("9223372036854775808"));
    EXPECT_EQ(std::numeric_limits<std::int64_t>::min(), readInteger("-9223372036854775808"));
    EXPECT_EQ(std::numeric_limits<std::int64_t>::min(), readInteger("-99999999999999999999999"));
    EXPECT_EQ(3u, countPieces("__a_b__c_", '_'));
    std::string_view found;
    EXPECT_TRUE(piece("=a>=b==c>d,e", "=>", 3, found));
    EXPECT_EQ("d,e", found);
    EXPECT_FALSE(piece("=a>=b==c>", "=>", 3, found));
    EXPECT_EQ("d/report.txt", withoutExtension("d/report.txt.lock"));
    EXPECT_EQ("noext", withoutExtension("noext"));
}

TEST(RemoverDates, ValidDates) {
    for (const char* good :
         {"2000-02-29", "2016-02-29", "2015-12-31", "1000-01-01", "2015--01-05", "2015-04-30"})
        EXPECT_TRUE(OldFilesRemover::isValidDate(good)) << good;
    for (const char* bad : {"1900-02-29", "2015-02-29", "2100-02-29", "2015-1-05", "15-01-05", "0999-01-01",
                            "2015-13-01", "2015-00-10", "2015-01-00", "2015-04-31", "2015-01-32",
                            "2015/01/05", "2015-01-05-01", "", " 2015-01-05", "2015-01-0x"})
        EXPECT_FALSE(OldFilesRemover::isValidDate(bad)) << bad;
    EXPECT_TRUE(OldFilesRemover::isValidDate("2015-01-05-"));
}

TEST(RemoverAge, DecisionOnStamps) {
    const std::int64_t now = 4102444800LL; // 2100: past the 32-bit range
    const std::int64_t day = 24 * kHour;
    const std::uint64_t beyond32Bits =
        static_cast<std::uint64_t>(OldFilesRemover::hoursToSeconds(4294967297LL));
    const struct {
        std::int64_t readAgo, writtenAgo; // negative: in the future
        std::uint64_t maxAge, unreadAge;
        int stamp;
        bool old;
    } cases[] = {
        {10, day, day, 0, LastWrite, false}, // exactly the limit
        {10, day + 1, day, 0, LastWrite, true},
        {day + 1, 10, day, 0, LastWrite, false}, // the other stamp does not count
        {day + 1, 10, day, 0, LastAccess, true},
        // Not read since written: the unread age decides too.
        {2 * day, 2 * day, day, 2 * day, LastWrite, false},
        {2 * day + 1, 2 * day + 1, day, 2 * day, LastWrite, true},
        {2 * day + 1, 2 * day + 1, day, 0, LastWrite, true},
        // A future value of the judged stamp never makes a file old; a future value of the other stamp
        // does not keep an old file (a future access still counts as read since).
        {9 * day, -1, 0, 0, LastWrite, false},
        {-1, 9 * day, 0, 0, LastAccess, false},
        {-10 * kHour, 500 * kHour, 48 * kHour, 168 * kHour, LastWrite, true},
        {9 * day, -1, 0, 0, LastAccess, true},
        // Unknown selectors never make a file old.
        {9 * day, 9 * day, 0, 0, 2, false},
        {9 * day, 9 * day, 0, 0, -1, false},
        // A limit beyond the 32-bit hour range is not wrapped to a small one.
        {now, now, beyond32Bits, 0, LastWrite, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        EXPECT_EQ(c.old, OldFilesRemover::isOld(now, now - c.readAgo, now - c.writtenAgo, c.maxAge,
                                                c.unreadAge, c.stamp));
    }
    // Past 596523 hours a 32-bit product would wrap to a small or negative limit.
    EXPECT_EQ(596524LL * 3600, OldFilesRemover::hoursToSeconds(596524));
    EXPECT_GT(OldFilesRemover::hoursToSeconds(std::numeric_limits<std::int64_t>::max()), 0);
}

TEST_F(RemoverTest, RemoveIfOldReportsAttemptsAndKeepsWhatItCannotJudge) {
    makeAged("old", 10 * kHour, 10 * kHour);
    makeAged("locked", 10 * kHour, 10 * kHour);
    std::filesystem::permissions(path("locked"), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    EXPECT_TRUE(remover.removeIfOld(path("old"), 3600, 0, LastWrite));
    EXPECT_FALSE(exists("old"));
    // A read-only file is judged old, its removal is attempted and fails: it stays.
    EXPECT_TRUE(remover.removeIfOld(path("locked"), 3600, 0, LastWrite));
    EXPECT_TRUE(exists("locked"));
    EXPECT_FALSE(remover.removeIfOld(path("missing"), 0, 0, LastWrite));
}

TEST_F(RemoverTest, RuleTableOrderTrimmingAndSkipping) {
    makeAged("a/x.tmp", 50 * kHour, kHour);
    makeAged("a/y.old", 50 * kHour, kHour);
    makeAged("a/z.bak", 50 * kHour, kHour);
    makeAged("b/keep.tmp", 10 * kHour, kHour);
    makeAged("b/go.tmp", 30 * kHour, kHour);
    makeAged("c/huge.tmp", 100000 * kHour, 100000 * kHour);
    OldFilesRemover::RuleTable rules;
    // The first directory in byte order does not exist: only its rule is skipped.
    rules.emplace(path("-missing"), "*, 0, 0, 1");
    rules.emplace(" \t" + path("a") + "\r\n", " *.tmp , 48, 168 , 1 ");
    rules.emplace(path("a"), ",,*.old,,48,,168,,1,,");
    rules.emplace(path("a"), "*.bak, 48");           // too few fields: skipped
    rules.emplace(path("b"), "*.tmp, 24abc, 0, 1");  // digits up to the first other character
    rules.emplace(path("c"), "*, 4294967297, 0, 1"); // not the one hour of its low 32 bits
    remover.removeByRules(rules);
    const std::set<std::string> kept{"a", "a/z.bak", "b", "b/keep.tmp", "c", "c/huge.tmp"};
    EXPECT_EQ(kept, left());

    // Several rules on one directory run in insertion order on one listing; each later one sees what
    // the earlier ones left, also what a rule between them kept.
    makeAged("b/c.tmp", 30 * kHour, 30 * kHour);
    makeAged("b/keep.old", 10 * kHour, kHour);
    OldFilesRemover::RuleTable ordered;
    ordered.emplace(path("b"), "c.tmp, 24, 0, 1");
    ordered.emplace(path("b"), "*, 1, 1, 0");
    ordered.emplace(path("b"), "*.old, 5, 0, 1");
    remover.removeByRules(ordered);
    EXPECT_EQ(kept, left());
}

// A negative age ends the run too; the black-box suite shows that on a whole installation.
TEST_F(RemoverTest, InvalidDateRangesEndTheProcessWithStatusOne) {
    makeFile("s.log");
    EXPECT_EXIT_1_WITH_OUTPUT(remover.removeInDateRange(dir, "2015-1-05 2015-01-31", "*", 0),
                              " Error: Invalid date(2015-1-05).Enter date in the following format: "
                              "YYYY-MM-DD\n  Exiting... ");
    EXPECT_EXIT_1_WITH_OUTPUT(remover.removeInDateRange(dir, "2015-02-01  2015-01-31", "*", 0),
                              "Error: Start date shouldn't be later than the end date\nExiting...");
    // No command line reaches it: a rule line whose unread age is negative.
    OldFilesRemover::RuleTable rules;
    rules.emplace(dir, "*.log, 48, -1, 1");
    EXPECT_EXIT_1_WITH_OUTPUT(remover.removeByRules(rules),
                              "\nError, You entered a negative number. Program will exit.");
}

TEST_F(RemoverTest, DateRangeBoundsAreLocalMidnights) {
    makeWritten("first.log", localSeconds(2015, 1, 1, 0, 0, 0));
    makeWritten("before.log", localSeconds(2014, 12, 31, 23, 59, 59));
    makeWritten("end-midnight.log", localSeconds(2015, 1, 31, 0, 0, 0));
    makeWritten("end-morning.log", localSeconds(2015, 1, 31, 10, 0, 0));
    remover.removeInDateRange(dir, "  2015-01-01   2015-01-31 ", "*.log", 0);
    EXPECT_EQ((std::set<std::string>{"before.log", "end-morning.log"}), left());
    // Beyond 2038 nothing wraps.
    EXPECT_EQ(localSeconds(2040, 2, 29, 0, 0, 0), OldFilesRemover::parseDate("2040-02-29"));
    // No matching file: invalid dates are never even looked at.
    remover.removeInDateRange(dir, "bad dates", "*.none", 0);
}

TEST_F(RemoverTest, PatternListsAndEmptyDirectories) {
    makeAged("a.x", 5 * kHour, kHour);
    makeAged("b.y", 5 * kHour, kHour);
    makeAged("c.z", 5 * kHour, kHour);
    EXPECT_EQ("", output([&] { remover.removeOldFilesByPatterns(dir, {"*.x", "*.y"}, 1, 1, LastWrite); }));
    EXPECT_EQ((std::set<std::string>{"c.z"}), left());

    makeDir("empty");
    EXPECT_EQ("\nDirectory: " + path("empty") + " is empty", output([&] {
                  remover.removeOldFilesByPatterns(path("empty"), {"*"}, 1, 1, LastWrite);
                  remover.removeOldFiles("", "*", 0, 0, LastWrite);
                  remover.removeOldFiles(path("missing"), "*", 0, 0, LastWrite);
              }));
}

TEST_F(RemoverTest, RecursiveListing) {
    OldFilesRemover::NameSet out{"kept"};
    makeFile("plain");
    EXPECT_FALSE(remover.listFilesRecursive(path("plain"), "*", out));
    EXPECT_FALSE(remover.listFilesRecursive(path("missing"), "*", out));
    EXPECT_EQ(OldFilesRemover::NameSet{"kept"}, out);
    makeDir("empty");
    out.clear();
    EXPECT_TRUE(remover.listFilesRecursive(path("empty"), "", out));
    EXPECT_TRUE(out.empty());

    makeFile("t/a.txt");
    makeFile("t/b.dat");
    makeFile("t/s1/c.txt");
    makeFile("t/s1/s2/d.txt");
    makeFile("outside/e.txt");
    std::error_code failed;
    std::filesystem::create_directory_symlink(path("outside"), path("t/link"), failed);
    std::filesystem::create_directory_symlink(path("t"), path("t/s1/loop"), failed);
    EXPECT_TRUE(remover.listFilesRecursive(path("t"), "*.txt", out));
    auto native = [&](const std::string& name) {
        return std::filesystem::path(path(name)).make_preferred().string();
    };
    EXPECT_EQ((OldFilesRemover::NameSet{native("t/a.txt"), native("t/s1/c.txt"), native("t/s1/s2/d.txt")}),
              out);
}

// A path is resolved name by name: a ".." of its own is refused, one in a followed link's target goes
// up one directory of the way, and links that lead round in a circle end the way.
TEST_F(RemoverTest, PathsAreResolvedNameByName) {
    using Veltor::TrustedDirs;
    makeDir("a");
    makeDir("b/c");
    const TrustedDirs::Opened climbed = TrustedDirs::open(path("a/../b"));
    EXPECT_EQ(TrustedDirs::Outcome::Refused, climbed.outcome);
    EXPECT_EQ(std::filesystem::path(path("a/..")).make_preferred().string(), climbed.refusedAt);
    std::error_code failed;
    std::filesystem::create_directory_symlink("../b/x/../c", path("a/up"), failed);
    if (failed || !std::filesystem::is_symlink(path("a/up")))
        return; // no links to make here (Wine)
    makeDir("b/x");
    // Nobody else may write the directories holding the links, whatever the umask made of them.
    std::filesystem::permissions(path("a"), std::filesystem::perms(0755));
    std::filesystem::permissions(dir, std::filesystem::perms(0755));
    std::filesystem::create_directory_symlink(path("a/up"), path("absolute"));
    std::filesystem::create_directory_symlink("loop2", path("a/loop1"));
    std::filesystem::create_directory_symlink("loop1", path("a/loop2"));
    const TrustedDirs::Opened followed = TrustedDirs::open(path("absolute"));
    ASSERT_EQ(TrustedDirs::Outcome::Opened, followed.outcome);
    VeltorPlatform::EntryInfo reached, expected;
    ASSERT_EQ(0u, followed.dir.info(reached));
    VeltorPlatform::DirHandle c;
    ASSERT_EQ(0u, c.openRoot(path("b/c")));
    ASSERT_EQ(0u, c.info(expected));
    EXPECT_TRUE(reached.sameEntryAs(expected));
    const TrustedDirs::Opened circle = TrustedDirs::open(path("a/loop1/d"));
    EXPECT_EQ(TrustedDirs::Outcome::Refused, circle.outcome);
    EXPECT_EQ(TrustedDirs::Refusal::TooManyLinks, circle.refusal);
}
