// The sweeps beyond what the black-box suite shows on a whole installation: date ranges, and web
// sessions at the edges of their limit and of the text they hold.
#include "JobFolder.h"
#include "OldFilesRemoverFixture.h"

#include <cstdio>
#include <cstdlib>
#include <vector>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

using VeltorTest::kHour;
using VeltorTest::RemoverTest;

// A date range judges dated names by the day of their last write.
TEST_F(RemoverTest, OldLogsInADateRange) {
    makeWritten("day_1.log", localSeconds(2015, 1, 10, 0, 0, 0));
    makeWritten("day_2.log", localSeconds(2015, 2, 1, 0, 0, 0));
    makeWritten("server.log", localSeconds(2015, 1, 10, 0, 0, 0));
    makeWritten("trace_3.txt", localSeconds(2015, 1, 10, 0, 0, 0));
    remover.removeOldLogs(dir, 0, "2015-01-01 2015-01-31");
    EXPECT_EQ((std::set<std::string>{"day_2.log", "server.log", "trace_3.txt"}), left());
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
    makeFile("cgisess_old", "$D = {'_SESSION_ID' => 'abc','_SESSION_ATIME' => " +
                                std::to_string(now - 49 * kHour) + ",'_SESSION_CTIME' => 1};\r\n");
    makeFile("cgisess_recent", "a=b=c= " + std::to_string(now - 47 * kHour) + " ,rest");
    makeFile("cgisess_limit", "a=b=c=" + std::to_string(now - 48 * kHour)); // exactly the limit: stays
    makeFile("cgisess_garbage", "a=b=c=none");
    makeFile("cgisess_empty", "");
    makeFile("other_old", "a=b=c=1");
    output([&] { remover.removeOldWebSessions(dir, 0, ""); });
    EXPECT_EQ((std::set<std::string>{"cgisess_recent", "cgisess_limit", "cgisess_empty", "other_old"}),
              left());
    // Times after 2038 are read in full.
    makeFile("cgisess_far", "a>b>c>4102444800,");
    std::int64_t time = 0;
    EXPECT_TRUE(remover.readSessionTime(path("cgisess_far"), time));
    EXPECT_EQ(4102444800LL, time);

    output([&] {
        remover.removeOldWebSessions(dir, 46, "");
        remover.removeOldWebSessions(path("missing"), -5, ""); // no session files: no limit taken
    });
    EXPECT_EQ((std::set<std::string>{"cgisess_empty", "cgisess_far", "other_old"}), left());
}

// Folding finished job files into day logs, beyond what the black-box suite shows: days split at local
// midnight, the names of one- and two-digit months, appending, and the log an interrupted run set aside.
TEST_F(RemoverTest, JobsFoldIntoDayLogs) {
    // An earlier run stopped after setting the first day's log aside.
    makeFile("jobs-2015-3-07.log.old", "earlier\r\n");
    makeWritten("job-a.spec", localSeconds(2015, 3, 7, 9, 0, 0), "x\r\n\r\ny\r\n");
    makeWritten("job-b.spec", localSeconds(2015, 3, 7, 23, 59, 59), "one line without end");
    makeWritten("job-c.spec", localSeconds(2015, 3, 8, 0, 0, 0), "c1\nc2\n");
    makeWritten("job-d.spec", localSeconds(2040, 11, 10, 12, 0, 0), ""); // beyond 2038
    makeWritten("jobs-old.spec", localSeconds(2015, 3, 7, 9, 0, 0), "not a job");
    EXPECT_EQ("", output([&] {
                  remover.processFinishedJobs(path("missing"));
                  remover.processFinishedJobs("");
                  remover.processFinishedJobs(dir);
              }));
    EXPECT_EQ((std::set<std::string>{"jobs-old.spec", "jobs-2015-3-07.log", "jobs-2015-3-08.log",
                                     "jobs-2040-11-10.log"}),
              left());
    EXPECT_EQ("earlier\r\nx;y\r\none line without end\r\n", read("jobs-2015-3-07.log"));
    EXPECT_EQ("c1;c2\r\n", read("jobs-2015-3-08.log"));
    EXPECT_EQ("\r\n", read("jobs-2040-11-10.log"));

    // A later run for a day that already has a log adds to it and leaves nothing aside. A job file
    // written less than a minute ago may still grow: it waits.
    makeWritten("job-f.spec", localSeconds(2015, 3, 7, 12, 0, 0), "f");
    makeWritten("job-g.spec", now - 60, "g");
    makeWritten("job-h.spec", now - 59, "h");
    remover.processFinishedJobs(dir);
    EXPECT_EQ("earlier\r\nx;y\r\none line without end\r\nf\r\n", read("jobs-2015-3-07.log"));
    EXPECT_EQ("g\r\n", read("jobs-" + Veltor::OldFilesRemover::formatDate(now - 60, '-') + ".log"));
    EXPECT_TRUE(exists("job-h.spec"));
    EXPECT_EQ(6u, left().size());
}

// A job file that changed after its record was read is neither folded nor deleted, and a later run folds
// it with what was added: at least once, never lost.
TEST_F(RemoverTest, ChangedJobFilesStayForALaterRun) {
    const std::int64_t t = localSeconds(2015, 3, 7, 9, 0, 0);
    for (const char* name : {"a", "b", "c", "d"})
        makeWritten(std::string("job-") + name + ".spec", t, std::string(name) + "\n");
    Veltor::ActionReport report;
    Veltor::CleaningPlan plan(report);
    Veltor::CleaningContext context(plan, [this] { return now; });
    Veltor::JobFolder folder(context);
    ASSERT_TRUE(folder.open(dir));
    Veltor::JobFolder::Days days =
        folder.readJobFiles({"job-a.spec", "job-b.spec", "job-c.spec", "job-d.spec"});
    makeWritten("job-a.spec", t, "a\nmore\n"); // grown, its last write set back
    makeWritten("job-c.new", t, "C\n");        // another file under the name
    std::filesystem::rename(path("job-c.new"), path("job-c.spec"));
#ifndef _WIN32
    // Rewritten to the same size with the last write set back: only the status change time tells.
    VeltorPlatform::sleepMs(20);
    makeWritten("job-b.spec", t, "B\n");
    const std::string first = "d\r\n";
    const std::string later = "a;more\r\nB\r\nC\r\n";
#else
    const std::string first = "b\r\nd\r\n";
    const std::string later = "a;more\r\nC\r\n";
#endif
    folder.writeJobLogs(days);
    EXPECT_EQ(first, read("jobs-2015-3-07.log"));
    EXPECT_TRUE(exists("job-a.spec") && exists("job-c.spec") && !exists("job-d.spec"));
    remover.processFinishedJobs(dir);
    EXPECT_EQ(first + later, read("jobs-2015-3-07.log"));
    EXPECT_EQ(1u, left().size());
}

// Memory and disk stay bounded by what the files really hold: a job file of 16 MiB folds, a larger one
// stays; a sparse day log is never copied out in full.
TEST_F(RemoverTest, JobFilesAndDayLogsOfHostileSize) {
    const std::int64_t t = localSeconds(2015, 3, 7, 9, 0, 0);
    const std::string line(1023, 'x');
    std::string content;
    std::string record;
    for (int i = 0; i < 16 * 1024; ++i) {
        content.append(line).append(1, '\n');
        record.append(i == 0 ? "" : ";").append(line);
    }
    makeWritten("job-big.spec", t, content);
    makeWritten("job-huge.spec", t, "");
    std::filesystem::resize_file(path("job-huge.spec"), content.size() + 1);
    setStamps("job-huge.spec", t, t);
    EXPECT_EQ("\nNot folded: " + path("job-huge.spec") + " is larger than 16 MiB",
              output([&] { remover.processFinishedJobs(dir); }));
    EXPECT_TRUE(read("jobs-2015-3-07.log") == record + "\r\n");
    EXPECT_EQ((std::set<std::string>{"job-huge.spec", "jobs-2015-3-07.log"}), left());
#ifndef _WIN32
    // Where truncating up leaves a hole (every usual file system), a 1 GiB day log of a few blocks.
    makeWritten("job-e.spec", localSeconds(2015, 3, 8, 9, 0, 0), "e");
    makeFile("jobs-2015-3-08.log", "old\r\n");
    std::filesystem::resize_file(path("jobs-2015-3-08.log"), 1 << 30);
    struct stat status {};
    ASSERT_EQ(0, ::stat(path("jobs-2015-3-08.log").c_str(), &status));
    if (status.st_blocks > 2048)
        GTEST_SKIP() << "the file system leaves no holes";
    EXPECT_EQ("\nNot folded: " + path("job-huge.spec") +
                  " is larger than 16 MiB\nNot folded: " + path("jobs-2015-3-08.log") + " is sparse",
              output([&] { remover.processFinishedJobs(dir); }));
    EXPECT_TRUE(exists("job-e.spec"));
    EXPECT_EQ(1u << 30, std::filesystem::file_size(path("jobs-2015-3-08.log")));
#endif
}

#ifndef _WIN32
// The suite's account must still read its job history after a run as root: a replaced day log keeps its
// owner, group and mode, a new one gets the owner and group of the directory.
TEST_F(RemoverTest, DayLogsKeepWhoMayReadThem) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give files away";
    makeWritten("job-a.spec", localSeconds(2015, 3, 7, 9, 0, 0), "a");
    makeWritten("job-b.spec", localSeconds(2015, 3, 8, 9, 0, 0), "b");
    makeFile("jobs-2015-3-07.log", "old\r\n");
    ASSERT_EQ(0, ::chown(path("jobs-2015-3-07.log").c_str(), 4242, 4343));
    ASSERT_EQ(0, ::chmod(path("jobs-2015-3-07.log").c_str(), 0604));
    ASSERT_EQ(0, ::chown(dir.c_str(), 4545, 4646));
    remover.processFinishedJobs(dir);
    EXPECT_EQ("old\r\na\r\n", read("jobs-2015-3-07.log"));
    struct stat replaced {};
    struct stat created {};
    ASSERT_EQ(0, ::stat(path("jobs-2015-3-07.log").c_str(), &replaced));
    ASSERT_EQ(0, ::stat(path("jobs-2015-3-08.log").c_str(), &created));
    EXPECT_EQ((std::vector<unsigned>{4242, 4343, 0604, 4545, 4646, 0640}),
              (std::vector<unsigned>{replaced.st_uid, replaced.st_gid, replaced.st_mode & 07777u,
                                     created.st_uid, created.st_gid, created.st_mode & 07777u}));
}

// Where leases cannot be had (here: a process without CAP_LEASE over files it does not own), the job
// files are folded all the same, by the slower way, and the run says so once.
TEST_F(RemoverTest, JobsFoldWhereLeasesCannotBeHad) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can be another user";
    makeWritten("job-a.spec", localSeconds(2015, 3, 7, 9, 0, 0), "a\n");
    makeWritten("job-b.spec", localSeconds(2015, 3, 7, 10, 0, 0), "b\n");
    // The suite's account may write the directory, the job files stay root's.
    ASSERT_EQ(0, ::chmod(dir.c_str(), 0777));
    const std::string run = dir + "-run";
    std::filesystem::create_directories(run);
    ASSERT_EQ(0, ::chown(run.c_str(), 65534, 65534));
    ASSERT_EQ(0, ::chmod(run.c_str(), 0700));
    EXPECT_EXIT(
        {
            dup2(2, 1);
            ::setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                std::exit(3);
            Veltor::ActionReport report;
            report.setMode(Veltor::ActionReport::Mode::List);
            Veltor::CleaningPlan plan(report);
            Veltor::OldFilesRemover folding(plan, [this] { return now; });
            folding.processFinishedJobs(dir);
            folding.processFinishedJobs(dir);
            std::fflush(stdout);
            std::exit(report.anyFailure() ? 2 : 0);
        },
        ::testing::ExitedWithCode(0),
        "^\nNote: job files in [^\n]* cannot be leased here: one written to while it is deleted is put back"
        "\nFolded: [^\n]*job-a.spec into [^\n]*\nFolded: [^\n]*job-b.spec into [^\n]*$");
    std::filesystem::remove_all(run);
    EXPECT_EQ("a\r\nb\r\n", read("jobs-2015-3-07.log"));
    EXPECT_EQ((std::set<std::string>{"jobs-2015-3-07.log"}), left());
}
#endif
