#include "Sorvik.h"

#include "ActionReport.h"
#include "TimeSpan.h"
#include "platform/Console.h"

#include <cmath>
#include <limits>

namespace Veltor {

bool verboseOutput = false;
std::string installationType;

Sorvik::Sorvik(int argc, const char* const* argv) : AppFrame("Sorvik", "Sorvik", "1", true, "Veltor, Inc.") {
    constructApplication(argc, argv);
}

Sorvik::~Sorvik() {
    getLogger().info("Ending run");
}

bool Sorvik::setup() {
    getLogger().setModule("main");
    getLogger().info("Constructing application");
    VeltorCorelib::CmdParser& parser = getParser();
    parser.addValueOption("Specify allowed file age, see options below", 0, "period");
    parser.addFlag("Display additional information", 0, "verbose");
    parser.addFlag("Concatenate finished jobs to file ", 0, "process-fjobs");
    parser.addFlag("Remove dangling locks", 0, "locks");
    parser.addFlag("Remove dangling locks recursively", 0, "locks-recursive");
    parser.addValueOption("Remove obsolete web reports*", 0, "web-reports");
    parser.addValueOption("Remove obsolete web sessions*", 0, "web-sessions");
    parser.addValueOption("Remove obsolete license status data*", 0, "license-status");
    parser.addValueOption("Remove obsolete debug logs only*", 0, "debug-logs");
    parser.addFlag("Show what would be removed, change nothing", 0, "dry-run");
    parser.addFlag("List every action with its reason", 0, "list");
    parser.addHelpLine("*Options:");
    parser.addHelpLine("  <default>\t            : Remove obsolete logs based on");
    parser.addHelpLine("\t\t              default  age");
    parser.addHelpLine("  <allowed age>\t \t    : Allowed file age, e.g. PT10H, P1D");
    parser.addHelpLine("\t\t\t      ");
    return true;
}

bool Sorvik::finish() {
    getLogger().info("Ending run");
    return true;
}

void Sorvik::verboseLine(const std::string& text) {
    if (!verboseOutput)
        return;
    VeltorPlatform::consoleWrite("\n" + text + "\n");
    VeltorPlatform::consoleFlush();
}

std::unique_ptr<OldFilesRemover> Sorvik::makeRemover() {
    return std::make_unique<OldFilesRemover>();
}

std::size_t Sorvik::tokenCount() const {
    const std::vector<std::string>& tokens = getParser().getTokens();
    std::size_t count = tokens.size();
    for (std::size_t i = 1; i < tokens.size() && tokens[i] != "--"; ++i)
        if (tokens[i] == "--dry-run" || tokens[i] == "--list")
            --count;
    return count;
}

int Sorvik::run() {
    if (getParser().isSet("verbose"))
        verboseOutput = true;
    ActionReport& report = ActionReport::current();
    report.reset();
    if (getParser().isSet("dry-run"))
        report.setMode(ActionReport::Mode::DryRun);
    else if (getParser().isSet("list"))
        report.setMode(ActionReport::Mode::List);
    ageHours = 0;
    skipDefaultCleaning = true;
    discoverInstallation();
    resolveDirectories();
    int dispatched = dispatchOptions();
    bool skip = (dispatched == 1 || tokenCount() != 1) && !verboseOutput && skipDefaultCleaning;
    if (!skip) {
        if (installationType == "both") {
            cleanServer();
            cleanClient();
        } else if (installationType == "server") {
            cleanServer();
        } else {
            cleanClient();
        }
    }
    report.summary();
    getLogger().info("Running application");
    return 0;
}

int Sorvik::dispatchOptions() {
    const VeltorCorelib::CmdParser& parser = getParser();
    std::unique_ptr<OldFilesRemover> remover = makeRemover();
    std::int32_t age = 0;
    if (parser.isSet("period")) {
        if (validatePeriod())
            skipDefaultCleaning = false;
        return 0;
    }
    if (parser.isSet("process-fjobs") && tokenCount() == 2) {
        remover->processFinishedJobs(dirs.finishedJobs);
        return 1;
    }
    if (parser.isSet("locks") && tokenCount() == 2) {
        remover->removeDanglingLocks(dirs.incomingData);
        return 1;
    }
    if (parser.isSet("locks-recursive") && tokenCount() == 2) {
        remover->removeDanglingLocksRecursive(dirs.database);
        return 1;
    }
    if (parser.isSet("debug-logs") && optionAge("debug-logs", age)) {
        remover->removeOldLogs(dirs.serverLog, age, "");
        remover->removeOldLogs(dirs.clientStartupLog, age, "");
        return 1;
    }
    if (parser.isSet("web-reports") && optionAge("web-reports", age)) {
        remover->removeOldWebReports(dirs.trashCan, age, "");
        remover->removeOldWebReports(dirs.temporaryReports, age, "");
        return 1;
    }
    if (parser.isSet("license-status") && optionAge("license-status", age)) {
        remover->removeOldLicenseStatus(dirs.licenseStatus, age, "");
        return 1;
    }
    if (parser.isSet("web-sessions") && optionAge("web-sessions", age)) {
        remover->removeOldWebSessions(dirs.serverLogTemp, age, "");
        return 1;
    }
    return 0;
}

bool Sorvik::validatePeriod(const std::string& optionName) {
    if (tokenCount() < 2)
        return false;
    // The duration is the value given with the option itself, wherever the option stands on the line.
    std::string text;
    getParser().getValue(optionName, text);
    double hours = VeltorCorelib::TimeSpan(text).hours();
    if (hours == 0.0) {
        VeltorPlatform::consoleWrite("Error: Invalid period\n");
        VeltorPlatform::consoleFlush();
        return false;
    }
    // Truncated toward zero; a period beyond the hour count's range is clamped, never wrapped.
    double truncated = std::trunc(hours);
    if (truncated >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        ageHours = std::numeric_limits<std::int32_t>::max();
    else if (truncated <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        ageHours = std::numeric_limits<std::int32_t>::min();
    else
        ageHours = static_cast<std::int32_t>(truncated);
    return true;
}

bool Sorvik::optionAge(const std::string& name, std::int32_t& age) {
    std::string value;
    getParser().getValue(name, value);
    if (value.empty())
        return true;
    if (!validatePeriod(name)) {
        std::string text = "Invalid option: " + value + "\n" + "Type  --help for options.\n";
        VeltorPlatform::consoleWrite(text);
        VeltorPlatform::consoleFlush();
        return false;
    }
    age = ageHours;
    return true;
}

void Sorvik::cleanClient() {
    verboseLine("***Clean Client files***");
    std::unique_ptr<OldFilesRemover> remover = makeRemover();
    remover->removeOldLogs(dirs.clientStartupLog, ageHours, "");
    remover->removeOldFiles(dirs.clientTemp, "*.tmp", ageHours, 168, LastWrite);
}

void Sorvik::cleanServer() {
    verboseLine("***Clean Server files***");
    std::unique_ptr<OldFilesRemover> remover = makeRemover();
    remover->removeByRules(defaultRuleTable());
    remover->removeDanglingLocks(dirs.incomingData);
    remover->removeDanglingLocksRecursive(dirs.database);
    remover->processFinishedJobs(dirs.finishedJobs);
    remover->removeOldWebReports(dirs.trashCan, ageHours, "");
    remover->removeOldWebReports(dirs.temporaryReports, ageHours, "");
    remover->removeOldLicenseStatus(dirs.licenseStatus, ageHours, "");
    remover->removeOldLogs(dirs.serverLog, ageHours, "");
    remover->removeOldWebSessions(dirs.serverLogTemp, ageHours, "");
}

OldFilesRemover::RuleTable Sorvik::defaultRuleTable(const std::string& licenseReports,
                                                    const std::string& serverLogTemp,
                                                    const std::string& simpleReports) {
    OldFilesRemover::RuleTable rules;
    rules.emplace(licenseReports, "max-*, 360, 360, 0");
    rules.emplace(serverLogTemp, "*.tmp, 48, 168, 1");
    rules.emplace(serverLogTemp, "flist*, 24, 0, 0");
    rules.emplace(serverLogTemp, "*.lock, 48, 0, 0");
    rules.emplace(simpleReports, "top_0_*.rep, 8, 0, 1");
    return rules;
}

OldFilesRemover::RuleTable Sorvik::defaultRuleTable() const {
    return defaultRuleTable(dirs.licenseReports, dirs.serverLogTemp, dirs.simpleReports);
}

} // namespace Veltor
