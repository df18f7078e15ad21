// The cleaner application: its options, the installation it finds, and which cleaning it runs.
#pragma once
#include "ActionReport.h"
#include "AppFrame.h"
#include "CleaningPlan.h"
#include "OldFilesRemover.h"
#include "RunOutputs.h"

#include <cstdint>
#include <memory>
#include <string>

namespace Veltor {

class Sorvik : public VeltorCorelib::AppFrame {
public:
    Sorvik(int argc, const char* const* argv);
    ~Sorvik() override;

    bool setup() override;
    bool finish() override;
    int run() override;

    // 1 when a single cleaning ran, 0 when the default cleaning may follow, kDurationRejected when a
    // duration was invalid (nothing ran).
    int dispatchOptions();
    static constexpr int kDurationRejected = -1;
    // Reads the duration recorded for the option (by default "period") into ageHours; a duration of
    // zero hours prints "Error: Invalid period".
    bool validatePeriod(const std::string& optionName = "period");
    bool optionAge(const std::string& name, std::int32_t& age);
    void cleanClient();
    void cleanServer();
    void verboseLine(const std::string& text) const;

    // Installation discovery and the cleaning plan.
    virtual std::string discoverInstallation();
    virtual void resolveDirectories();
    std::string readInstallValue(const std::string& valueName, const std::string& part);
    void checkDirectory(std::string& directory, const std::string& path);
    // As above; a directory the registry names (`namedByRegistry`) must exist.
    void checkDirectory(std::string& directory, const std::string& path, bool namedByRegistry);
    static OldFilesRemover::RuleTable defaultRuleTable(const std::string& licenseReports,
                                                       const std::string& serverLogTemp,
                                                       const std::string& simpleReports);
    OldFilesRemover::RuleTable defaultRuleTable() const;

    // The directories, empty until resolved.
    struct Directories {
        std::string serverInstall, serverConfig, serverLog, serverLogTemp;
        std::string clientInstall, clientConfig, clientStartupLog, clientTemp;
        std::string webResults, trashCan, temporaryReports, licenseReports, simpleReports;
        std::string incomingData, database, finishedJobs, licenseStatus;
    };

protected:
    // Each cleaning uses a remover of its own on the run's plan; tests substitute one that records the
    // calls.
    virtual std::unique_ptr<OldFilesRemover> makeRemover();
    Directories dirs;
    std::string installationType; // "", "client", "server" or "both"

private:
    // The command line's tokens as the single-option decisions count them: --dry-run and --list only
    // change how a run shows its actions, never which cleaning it runs.
    std::size_t tokenCount() const;
    // The run itself, its exit status before the signals count.
    int runCleaning();
    // Prints that nothing was cleaned; the exit status of a command line that was not understood.
    static int rejectCommandLine();
    // --why: the entry to explain, made absolute from the working directory (into `path`). Whether it
    // was found.
    bool focusOnEntry(std::string& path);

    std::string registryKeyPath;
    // What this run did and tells, and the directories it opened.
    ActionReport report_;
    CleaningPlan plan_{report_};
    // Where the run tells of itself besides its console; made after the report, gone before it.
    RunOutputs outputs_{report_};
    bool verbose_ = false;
    bool skipDefaultCleaning = true;
    std::int32_t ageHours = 0;
};

} // namespace Veltor
