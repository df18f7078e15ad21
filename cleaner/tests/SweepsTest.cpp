// The sweeps beyond what the black-box suite shows on a whole installation: the edges of their name
// patterns, their own default ages, date ranges and what they leave for later.
#include "OldFilesRemoverFixture.h"

using Veltor::OldFilesRemover;
using VeltorTest::kHour;
using VeltorTest::RemoverTest;

TEST(RemoverSweeps, DatedLogNames) {
    for (const char* dated : {"trace_2015.log", "app-1.log", "a_.log", "x-y-z.log", "server_1.log"})
        EXPECT_TRUE(OldFilesRemover::isDatedLogName(dated)) << dated;
    for (const char* plain : {"server.log", "_x.log", "-x.log", "__x.log", "x_", ""})
        EXPECT_FALSE(OldFilesRemover::isDatedLogName(plain)) << plain;
}

TEST_F(RemoverTest, OldLogs) {
    makeAged("server.log", 9000 * kHour, 9000 * kHour);
    makeAged("server_1.log", 25 * kHour, kHour);
    makeAged("app-2.log", 23 * kHour, 23 * kHour);
    makeAged("trace_3.txt", 100 * kHour, 100 * kHour);
    // A negative age is read as the default of 24 hours.
    remover.removeOldLogs(dir, -5, "");
    EXPECT_EQ((std::set<std::string>{"server.log", "app-2.log", "trace_3.txt"}), left());
    remover.removeOldLogs(dir, 22, "");
    EXPECT_EQ((std::set<std::string>{"server.log", "trace_3.txt"}), left());
    // A date range judges dated names by the day of their last write.
    makeWritten("day_1.log", localSeconds(2015, 1, 10, 0, 0, 0));
    setWritten("server.log", localSeconds(2015, 1, 10, 0, 0, 0));
    remover.removeOldLogs(dir, 0, "2015-01-01 2015-01-31");
    EXPECT_EQ((std::set<std::string>{"server.log", "trace_3.txt"}), left());
}

TEST_F(RemoverTest, DanglingLocks) {
    makeFile("owned");
    makeFile("owned.lock");
    makeFile("a.lock");
    makeDir("dirowner"); // a directory owns its lock too
    makeFile("dirowner.lock");
    makeFile("b.lock.txt");
    remover.removeDanglingLocks(dir);
    EXPECT_EQ((std::set<std::string>{"owned", "owned.lock", "dirowner", "dirowner.lock", "b.lock.txt"}),
              left());
    EXPECT_EQ(path("owned"), remover.jobPath()); // owner of the last lock in byte order
    EXPECT_FALSE(remover.removeIfDangling(path("owned.lock")));
    EXPECT_TRUE(remover.removeIfDangling(path("never-there.lock")));

    // Below a tree the shortcuts of dangling locks go with them.
    makeFile("db/report.txt.lock");
    makeFile("db/report.txt.lock.lnk");
    makeFile("db/sub/gone.dat.lock.Lnk"); // the lock is already gone: the shortcut still goes
    makeFile("db/sub/plain.lock");        // plain locks are not this sweep's business
    makeFile("db/sub/other.txt.lnk");     // not a lock shortcut
    makeFile("db/sub/upper.LOCK.lnk");    // "*.lock" is case-sensitive
    output([&] { remover.removeDanglingLocksRecursive(path("db/sub/plain.lock")); }); // refused: no directory
    remover.removeDanglingLocksRecursive(path("db"));
    EXPECT_EQ((std::set<std::string>{"owned", "owned.lock", "dirowner", "dirowner.lock", "b.lock.txt", "db",
                                     "db/sub", "db/sub/plain.lock", "db/sub/other.txt.lnk",
                                     "db/sub/upper.LOCK.lnk"}),
              left());
}

TEST_F(RemoverTest, WebReports) {
    makeAged("top_0_y.csv", 47 * kHour, 47 * kHour);
    makeAged("top_0_a_b.ps", 60 * kHour, kHour);      // matches both lists
    makeAged("top_0_w.pres", 49 * kHour, 48 * kHour); // read since written: the first limit alone
    makeAged("top_1_2.csv", 49 * kHour, kHour);       // matches neither list
    // A negative age is read as the default of 48 hours.
    remover.removeOldWebReports(dir, -5, "");
    EXPECT_EQ((std::set<std::string>{"top_0_y.csv", "top_1_2.csv"}), left());
    remover.removeOldWebReports(dir, 46, "");
    EXPECT_EQ((std::set<std::string>{"top_1_2.csv"}), left());
}

TEST_F(RemoverTest, WebReportsThatEmptyTheDirectorySayIt) {
    makeAged("top_0_a.csv", 49 * kHour, 49 * kHour);
    makeAged("top_0_b.data", 49 * kHour, 49 * kHour);
    makeDir("empty");
    EXPECT_EQ("\nDirectory: " + dir + " is empty", output([&] {
                  remover.removeOldWebReports(dir, 0, "");
                  remover.removeOldWebReports(path("empty"), 0, ""); // nothing there: silent
                  remover.removeOldWebReports(path("missing"), 0, "");
              }));
    EXPECT_EQ((std::set<std::string>{"empty"}), left());

    // A report that cannot be deleted is still there, so the directory is not empty.
    makeAged("top_0_a.csv", 49 * kHour, 49 * kHour);
    std::filesystem::permissions(path("top_0_a.csv"), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    EXPECT_EQ("", output([&] { remover.removeOldWebReports(dir, 0, ""); }));
}

TEST_F(RemoverTest, WebReportsAndSessionsInADateRange) {
    makeWritten("top_0_a.csv", localSeconds(2015, 1, 10, 0, 0, 0));
    makeWritten("top_1_2_3.vbs", localSeconds(2015, 1, 10, 0, 0, 0));
    makeWritten("notes.txt", localSeconds(2015, 1, 10, 0, 0, 0));
    makeAged("x.temp", 100 * kHour, 49 * kHour);
    remover.removeOldWebReports(dir, 0, "2015-01-01 2015-01-31");
    EXPECT_EQ((std::set<std::string>{"notes.txt"}), left());

    makeWritten("cgisess_in", localSeconds(2015, 2, 10, 0, 0, 0),
                "a=b=c=" + std::to_string(localSeconds(2015, 1, 10, 0, 0, 0)));
    makeWritten("cgisess_out", localSeconds(2015, 1, 10, 0, 0, 0),
                "a=b=c=" + std::to_string(localSeconds(2015, 2, 10, 0, 0, 0)));
    // No time inside: the last write decides.
    makeWritten("cgisess_zero", localSeconds(2015, 1, 20, 0, 0, 0), "a=b=c=0");
    remover.removeOldWebSessions(dir, 0, "2015-01-01 2015-01-31");
    EXPECT_EQ((std::set<std::string>{"notes.txt", "cgisess_out"}), left());
}

TEST_F(RemoverTest, WebSessions) {
    const std::int64_t old = now - 49 * kHour;
    const std::int64_t recent = now - 47 * kHour;
    makeFile("cgisess_old", "$D = {'_SESSION_ID' => 'abc','_SESSION_ATIME' => " + std::to_string(old) +
                                ",'_SESSION_CTIME' => 1};\r\n");
    makeFile("cgisess_recent", "a=b=c= " + std::to_string(recent) + " ,rest");
    makeFile("cgisess_limit", "a=b=c=" + std::to_string(now - 48 * kHour)); // exactly the limit: stays
    makeFile("cgisess_garbage", "a=b=c=none");
    makeFile("cgisess_empty", "");
    makeFile("other_old", "a=b=c=1");
    output([&] { remover.removeOldWebSessions(dir, 0, ""); });
    EXPECT_EQ((std::set<std::string>{"cgisess_recent", "cgisess_limit", "cgisess_empty", "other_old"}),
              left());
    std::int64_t time = 0;
    EXPECT_TRUE(remover.readSessionTime(path("cgisess_recent"), time));
    EXPECT_EQ(recent, time);
    // Times after 2038 are read in full.
    makeFile("cgisess_far", "a>b>c>4102444800,");
    EXPECT_TRUE(remover.readSessionTime(path("cgisess_far"), time));
    EXPECT_EQ(4102444800LL, time);

    output([&] {
        remover.removeOldWebSessions(dir, 46, "");
        remover.removeOldWebSessions(path("missing"), -5, ""); // no session files: no limit taken
    });
    EXPECT_EQ((std::set<std::string>{"cgisess_empty", "cgisess_far", "other_old"}), left());
}

TEST_F(RemoverTest, LicenseStatusLeavesLinksAlone) {
    EXPECT_EQ("\nInvalid directory " + path("missing"),
              output([&] { remover.removeOldLicenseStatus(path("missing"), 0, ""); }));
    // A link to an empty directory is no empty subdirectory.
    makeDir("ls");
    makeDir("void");
    std::error_code failed;
    std::filesystem::create_directory_symlink(path("void"), path("ls/voidlink"), failed);
    if (failed)
        GTEST_SKIP() << "no symbolic links here";
    remover.removeOldLicenseStatus(path("ls"), 0, "");
    EXPECT_EQ((std::set<std::string>{"ls", "ls/voidlink", "void"}), left());
}
