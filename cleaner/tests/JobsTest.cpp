// Folding finished job files into day logs, beyond what the black-box suite shows: days split at local
// midnight, the names of one- and two-digit months, appending, and the log an interrupted run set aside.
#include "OldFilesRemoverFixture.h"

using VeltorTest::RemoverTest;

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
