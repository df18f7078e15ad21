#include "OldFilesRemoverFixture.h"

using Veltor::OldFilesRemover;
using VeltorTest::RemoverTest;

namespace {

class JobsTest : public RemoverTest {
protected:
    void makeJob(const std::string& name, const std::string& content, int year, int month, int day,
                 int hour) {
        makeFile(name, content);
        setWritten(name, localSeconds(year, month, day, hour, 0, 0));
    }
};

} // namespace

TEST_F(JobsTest, JobsAreGroupedByDayAndDeletedOnceWritten) {
    // Nothing to do writes nothing.
    makeFile("readme.txt");
    EXPECT_EQ("", output([&] {
                  remover.processFinishedJobs(dir);
                  remover.processFinishedJobs(path("missing"));
                  remover.processFinishedJobs("");
              }));
    EXPECT_EQ((std::set<std::string>{"readme.txt"}), left());

    makeJob("job-a.spec", "x\r\n\r\ny\r\n", 2015, 3, 7, 9);
    makeJob("job-b.spec", "one line without end", 2015, 3, 7, 23);
    makeJob("job-c.spec", "c1\nc2\n", 2015, 3, 8, 0);
    makeJob("job-d.spec", "", 2016, 1, 10, 12);
    makeJob("job-e.txt", "not a job", 2015, 3, 7, 9);
    makeJob("jobs-old.spec", "not a job either", 2015, 3, 7, 9);
    EXPECT_EQ("", output([&] { remover.processFinishedJobs(dir); }));
    EXPECT_EQ((std::set<std::string>{"readme.txt", "job-e.txt", "jobs-old.spec", "jobs-2015-3-07.log",
                                     "jobs-2015-3-08.log", "jobs-2016-1-10.log"}),
              left());
    EXPECT_EQ("x;y\r\none line without end\r\n", read("jobs-2015-3-07.log"));
    EXPECT_EQ("c1;c2\r\n", read("jobs-2015-3-08.log"));
    EXPECT_EQ("\r\n", read("jobs-2016-1-10.log"));

    // A later run for a day that already has a log adds to it.
    makeJob("job-f.spec", "f", 2015, 3, 7, 12);
    remover.processFinishedJobs(dir);
    EXPECT_EQ("x;y\r\none line without end\r\nf\r\n", read("jobs-2015-3-07.log"));
    EXPECT_FALSE(exists("job-f.spec"));
    EXPECT_FALSE(exists("jobs-2015-3-07.log.new"));
    EXPECT_FALSE(exists("jobs-2015-3-07.log.old"));
}

TEST_F(JobsTest, UnwritableLogKeepsItsJobFiles) {
    makeJob("job-a.spec", "a", 2015, 3, 7, 9);
    makeJob("job-b.spec", "b", 2015, 3, 8, 9);
    makeJob("job-c.spec", "c", 2015, 3, 9, 9);
    // A directory in the way of the second day's log.
    makeDir("jobs-2015-3-08.log");
    EXPECT_EQ("\nUnable to create file: " + dir + "/jobs-2015-3-08.log",
              output([&] { remover.processFinishedJobs(dir); }));
    EXPECT_EQ((std::set<std::string>{"job-b.spec", "jobs-2015-3-07.log", "jobs-2015-3-08.log",
                                     "jobs-2015-3-09.log"}),
              left());
    EXPECT_EQ("a\r\n", read("jobs-2015-3-07.log"));
    EXPECT_EQ("c\r\n", read("jobs-2015-3-09.log"));
}

TEST_F(JobsTest, DayLogThatIsALinkIsNeverWrittenThrough) {
    makeJob("job-a.spec", "a", 2015, 3, 7, 9);
    makeFile("outside.txt", "secret\n");
    std::error_code failed;
    std::filesystem::create_symlink(path("outside.txt"), path("jobs-2015-3-07.log"), failed);
    if (failed)
        GTEST_SKIP() << "no symbolic links here";
    EXPECT_EQ("\nNot folded: " + dir + "/jobs-2015-3-07.log is a link or not a plain file",
              output([&] { remover.processFinishedJobs(dir); }));
    EXPECT_EQ("secret\n", read("outside.txt"));
    EXPECT_TRUE(std::filesystem::is_symlink(path("jobs-2015-3-07.log")));
    EXPECT_EQ((std::set<std::string>{"job-a.spec", "jobs-2015-3-07.log", "outside.txt"}), left());
}

TEST_F(JobsTest, UnreadableJobFileStaysAndAddsNoRecord) {
    makeJob("job-a.spec", "a", 2015, 3, 7, 9);
    std::error_code failed;
    // A link whose target is gone is listed like a file but cannot be opened.
    std::filesystem::create_symlink(path("gone.spec"), path("job-b.spec"), failed);
    std::filesystem::create_symlink(path("gone2.spec"), path("job-c.spec"), failed);
    if (failed)
        GTEST_SKIP() << "no symbolic links here";
    ::testing::internal::CaptureStdout();
    remover.processFinishedJobs(dir);
    const std::string output = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ("Error: Couldn't read job file: " + dir + "/job-b.spec" +
                  "Error: Couldn't read job file: " + dir + "/job-c.spec",
              output);
    EXPECT_EQ("a\r\n", read("jobs-2015-3-07.log"));
    EXPECT_EQ((std::set<std::string>{"job-b.spec", "job-c.spec", "jobs-2015-3-07.log"}), left());
}

TEST_F(JobsTest, LogLeftAsideByAnInterruptedRunIsTakenBack) {
    makeJob("job-a.spec", "a", 2015, 3, 7, 9);
    makeFile("jobs-2015-3-07.log.old", "earlier\r\n");
    remover.processFinishedJobs(dir);
    EXPECT_EQ("earlier\r\na\r\n", read("jobs-2015-3-07.log"));
    EXPECT_EQ((std::set<std::string>{"jobs-2015-3-07.log"}), left());
}
