// Which cleaning the application runs for a command line, in which order, on which directory and with
// which hour count. The remover is replaced by one that records the calls; discovery by fixed values.
#include "Sorvik.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Veltor;

namespace {

std::vector<std::string> calls;
std::string fixedType;

class RecordingRemover : public OldFilesRemover {
public:
    void removeOldFiles(const std::string& dir, const std::string& pattern, std::int64_t maxAge, std::int64_t unread,
                        int stamp) override {
        calls.push_back("files " + dir + " " + pattern + " " + std::to_string(maxAge) + " " + std::to_string(unread) +
                        " " + std::to_string(stamp));
    }
    void removeByRules(RuleTable rules) override {
        std::string text = "rules";
        for (const auto& rule : rules)
            text += " [" + rule.first + ": " + rule.second + "]";
        calls.push_back(text);
    }
    void processFinishedJobs(const std::string& dir) override { calls.push_back("jobs " + dir); }
    void removeOldLogs(const std::string& dir, std::int64_t hours, const std::string&) override {
        calls.push_back("logs " + dir + " " + std::to_string(hours));
    }
    void removeDanglingLocks(const std::string& dir) override { calls.push_back("locks " + dir); }
    void removeDanglingLocksRecursive(const std::string& dir) override { calls.push_back("locks-recursive " + dir); }
    void removeOldWebReports(const std::string& dir, std::int64_t hours, const std::string&) override {
        calls.push_back("web-reports " + dir + " " + std::to_string(hours));
    }
    void removeOldWebSessions(const std::string& dir, std::int64_t hours, const std::string&) override {
        calls.push_back("web-sessions " + dir + " " + std::to_string(hours));
    }
    void removeOldLicenseStatus(const std::string& dir, std::int64_t hours, const std::string&) override {
        calls.push_back("license-status " + dir + " " + std::to_string(hours));
    }
};

class TestSorvik : public Sorvik {
public:
    TestSorvik(int argc, const char* const* argv) : Sorvik(argc, argv) {}
    std::string discoverInstallation() override {
        installationType = fixedType;
        return fixedType;
    }
    void resolveDirectories() override {
        dirs.clientStartupLog = "CLOG";
        dirs.clientTemp = "CTMP";
        dirs.serverLog = "SLOG";
        dirs.serverLogTemp = "STMP";
        dirs.trashCan = "TRASH";
        dirs.temporaryReports = "TREP";
        dirs.licenseReports = "LREP";
        dirs.simpleReports = "SREP";
        dirs.incomingData = "IN";
        dirs.database = "DB";
        dirs.finishedJobs = "FJ";
        dirs.licenseStatus = "LS";
    }

protected:
    std::unique_ptr<OldFilesRemover> makeRemover() override { return std::make_unique<RecordingRemover>(); }
};

struct Outcome {
    int code;
    std::string output;
    std::vector<std::string> calls;
};

Outcome run(std::vector<const char*> args, const std::string& type = "client") {
    args.insert(args.begin(), "sorvik");
    calls.clear();
    fixedType = type;
    verboseOutput = false;
    installationType.clear();
    testing::internal::CaptureStdout();
    int code = VeltorCorelib::appMain<TestSorvik>(static_cast<int>(args.size()), args.data());
    return {code, testing::internal::GetCapturedStdout(), calls};
}

const std::string kRunning = "Running \"Sorvik\" (Sorvik)\n";
const std::vector<std::string> kClient0 = {"logs CLOG 0", "files CTMP *.tmp 0 168 1"};

std::vector<std::string> server(int hours) {
    std::string h = std::to_string(hours);
    return {"rules [LREP: max-*, 360, 360, 0] [SREP: top_0_*.rep, 8, 0, 1] [STMP: *.tmp, 48, 168, 1] "
            "[STMP: flist*, 24, 0, 0] [STMP: *.lock, 48, 0, 0]",
            "locks IN",
            "locks-recursive DB",
            "jobs FJ",
            "web-reports TRASH " + h,
            "web-reports TREP " + h,
            "license-status LS " + h,
            "logs SLOG " + h,
            "web-sessions STMP " + h};
}

} // namespace

TEST(SorvikDecisions, DefaultCleaningByInstallationType) {
    Outcome none = run({}, "");
    EXPECT_EQ(none.code, 0);
    EXPECT_EQ(none.output, kRunning);
    EXPECT_EQ(none.calls, kClient0);
    EXPECT_EQ(run({}, "server").calls, server(0));
    std::vector<std::string> both = server(0);
    both.insert(both.end(), kClient0.begin(), kClient0.end());
    EXPECT_EQ(run({}, "both").calls, both);
    EXPECT_EQ(run({}, "Both").calls, kClient0); // compared exactly
}

TEST(SorvikDecisions, PeriodSetsTheAgeOfTheDefaultCleaning) {
    Outcome tenHours = run({"--period", "PT10H"});
    EXPECT_EQ(tenHours.output, kRunning);
    EXPECT_EQ(tenHours.calls, (std::vector<std::string>{"logs CLOG 10", "files CTMP *.tmp 10 168 1"}));
    EXPECT_EQ(run({"--period", "P1D"}, "server").calls, server(24));
    EXPECT_EQ(run({"--period", "PT30M"}).calls, kClient0); // accepted, truncated to 0 hours

    Outcome zero = run({"--period", "PT0H"});
    EXPECT_EQ(zero.output, kRunning + "Error: Invalid period\n");
    EXPECT_TRUE(zero.calls.empty());

    // A period beyond the hour count is clamped, never wrapped into a small or negative age.
    Outcome huge = run({"--period", "P99999999999999999999D"});
    EXPECT_EQ(huge.calls, (std::vector<std::string>{"logs CLOG 2147483647", "files CTMP *.tmp 2147483647 168 1"}));
}

TEST(SorvikDecisions, VerboseAlwaysRunsTheDefaultCleaning) {
    // The period is the value of the option, wherever it stands.
    Outcome verbosePeriod = run({"--verbose", "--period", "PT10H"});
    EXPECT_EQ(verbosePeriod.output, kRunning + "\n***Clean Client files***\n");
    EXPECT_EQ(verbosePeriod.calls, (std::vector<std::string>{"logs CLOG 10", "files CTMP *.tmp 10 168 1"}));

    Outcome verboseZero = run({"--verbose", "--period", "PT0H"}, "server");
    EXPECT_EQ(verboseZero.output, kRunning + "Error: Invalid period\n\n***Clean Server files***\n");
    EXPECT_EQ(verboseZero.calls, server(0));

    Outcome locksVerbose = run({"--locks", "--verbose"});
    EXPECT_EQ(locksVerbose.calls, kClient0); // three tokens: no lock cleaning, default because of verbose
}

TEST(SorvikDecisions, SingleOptionCleanings) {
    EXPECT_EQ(run({"--locks"}, "server").calls, (std::vector<std::string>{"locks IN"}));
    EXPECT_EQ(run({"--locks-recursive"}, "server").calls, (std::vector<std::string>{"locks-recursive DB"}));
    EXPECT_EQ(run({"--process-fjobs"}, "server").calls, (std::vector<std::string>{"jobs FJ"}));
    EXPECT_EQ(run({"--debug-logs", "P1D"}).calls, (std::vector<std::string>{"logs SLOG 24", "logs CLOG 24"}));
    EXPECT_EQ(run({"--license-status", "PT5H"}).calls, (std::vector<std::string>{"license-status LS 5"}));
    EXPECT_EQ(run({"--web-sessions", "PT7H"}).calls, (std::vector<std::string>{"web-sessions STMP 7"}));
    Outcome web = run({"--web-reports", "P2D"}, "server");
    EXPECT_EQ(web.output, kRunning);
    EXPECT_EQ(web.calls, (std::vector<std::string>{"web-reports TRASH 48", "web-reports TREP 48"}));
    // An empty value leaves the operation its own default age.
    EXPECT_EQ(run({"--web-reports", ""}).calls, (std::vector<std::string>{"web-reports TRASH 0", "web-reports TREP 0"}));

    std::vector<std::string> webThenDefault = {"web-reports TRASH 48", "web-reports TREP 48"};
    std::vector<std::string> server48 = server(48);
    webThenDefault.insert(webThenDefault.end(), server48.begin(), server48.end());
    Outcome webVerbose = run({"--web-reports", "P2D", "--verbose"}, "server");
    EXPECT_EQ(webVerbose.calls, webThenDefault);
    EXPECT_EQ(webVerbose.output, kRunning + "\n***Clean Server files***\n");
}

TEST(SorvikDecisions, InvalidOptionAgesAndInertCommandLines) {
    Outcome invalid = run({"--web-reports", "PT0H"});
    EXPECT_EQ(invalid.output, kRunning + "Error: Invalid period\nInvalid option: PT0H\nType  --help for options.\n");
    EXPECT_TRUE(invalid.calls.empty());
    // The later rows are still tried after a refused value.
    Outcome next = run({"--web-reports", "bad", "--license-status", "PT1H"});
    EXPECT_EQ(next.calls, (std::vector<std::string>{"license-status LS 1"}));

    EXPECT_TRUE(run({"--nodetach"}).calls.empty());
    EXPECT_TRUE(run({"--debug", "info"}).calls.empty());
    Outcome unknown = run({"--bogus"});
    EXPECT_EQ(unknown.output, kRunning + "ERROR: Unknown option 'bogus'\n");
    EXPECT_TRUE(unknown.calls.empty());
    EXPECT_EQ(unknown.code, 0);
}
