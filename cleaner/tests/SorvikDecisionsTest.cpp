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
    void removeOldFiles(const std::string& dir, const std::string& pattern, std::int64_t maxAge,
                        std::int64_t unread, int stamp) override {
        calls.push_back("files " + dir + " " + pattern + " " + std::to_string(maxAge) + " " +
                        std::to_string(unread) + " " + std::to_string(stamp));
    }
    void removeOldLogs(const std::string& dir, std::int64_t hours, const std::string&) override {
        calls.push_back("logs " + dir + " " + std::to_string(hours));
    }
    void removeDanglingLocks(const std::string& dir) override { calls.push_back("locks " + dir); }
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
        dirs.incomingData = "IN";
        dirs.licenseStatus = "LS";
    }

protected:
    std::unique_ptr<OldFilesRemover> makeRemover() override { return std::make_unique<RecordingRemover>(); }
};

std::vector<std::string> run(const std::string& type, std::vector<const char*> args) {
    args.insert(args.begin(), "sorvik");
    calls.clear();
    fixedType = type;
    testing::internal::CaptureStdout();
    VeltorCorelib::appMain<TestSorvik>(static_cast<int>(args.size()), args.data());
    testing::internal::GetCapturedStdout();
    return calls;
}

using Calls = std::vector<std::string>;

Calls client(int hours) {
    const std::string h = std::to_string(hours);
    return {"logs CLOG " + h, "files CTMP *.tmp " + h + " 168 1"};
}

} // namespace

TEST(SorvikDecisions, CleaningsOfEachCommandLine) {
    const Calls webReports48 = {"web-reports TRASH 48", "web-reports TREP 48"};
    const struct {
        const char* type;
        std::vector<const char*> args;
        Calls calls;
    } cases[] = {
        // The default cleaning follows the installation type, compared exactly. (The server's cleaning,
        // each single option and command lines that clean nothing are the black-box suite's.)
        {"", {}, client(0)},
        {"Both", {}, client(0)},
        // A period sets its age: truncated to whole hours, clamped rather than wrapped when huge.
        {"client", {"--period", "PT30M"}, client(0)},
        {"client", {"--period", "P99999999999999999999D"}, client(2147483647)},
        // Verbose always runs the default cleaning; the period is the option's value wherever it stands.
        {"client", {"--verbose", "--period", "PT10H"}, client(10)},
        {"client", {"--verbose", "--period", "PT0H"}, {}}, // an invalid period cleans nothing, verbose or not
        {"client", {"--locks", "--verbose"}, client(0)},   // three tokens: no lock cleaning
        // Single-option cleanings: both log directories, and a value of its own.
        {"client", {"--debug-logs", "P1D"}, {"logs SLOG 24", "logs CLOG 24"}},
        {"client", {"--web-reports", ""}, {"web-reports TRASH 0", "web-reports TREP 0"}}, // its own default
        // Of several options the first in a fixed order runs; a refused value stops them all.
        {"client", {"--web-reports", "P2D", "--debug-logs", "P1D"}, {"logs SLOG 24", "logs CLOG 24"}},
        {"client", {"--license-status", "PT5H", "--web-reports", "P2D"}, webReports48},
        {"client", {"--web-sessions", "PT7H", "--license-status", "PT5H"}, {"license-status LS 5"}},
        {"client", {"--web-reports", "bad", "--license-status", "PT1H"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type + ::testing::PrintToString(c.args));
        EXPECT_EQ(run(c.type, c.args), c.calls);
    }
}
