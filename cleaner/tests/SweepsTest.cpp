// The sweeps beyond what the black-box suite shows on a whole installation: date ranges, and web
// sessions at the edges of their limit and of the text they hold.
#include "OldFilesRemoverFixture.h"

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
