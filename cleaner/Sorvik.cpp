#include "Sorvik.h"

#include "ActionReport.h"
#include "FsTools.h"
#include "OldFilesRemoverText.h"
#include "TimeSpan.h"
#include "TrustedDirs.h"
#include "platform/Console.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/Time.h"
#include "platform/Utf.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

namespace Veltor {

namespace {

// What the scheduler learns from the exit status.
constexpr int kCommandLineRejected = 2;
constexpr int kSomethingFailed = 7;

} // namespace

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
    parser.addValueOption("Also append the list to a file", 0, "log");
    parser.addValueOption("Explain what the run would do with a file", 0, "why");
    parser.addFlag("Report as JSON Lines", 0, "json");
    parser.addValueOption("Write the metrics of the run to a file", 0, "metrics");
    parser.addFlag("Write the outcome to the Application event log", 0, "event-log");
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

void Sorvik::verboseLine(const std::string& text) const {
    if (!verbose_)
        return;
    VeltorPlatform::consoleWrite("\n" + text + "\n");
    VeltorPlatform::consoleFlush();
}

std::unique_ptr<OldFilesRemover> Sorvik::makeRemover() {
    return std::make_unique<OldFilesRemover>(plan_);
}

std::size_t Sorvik::tokenCount() const {
    const std::vector<std::string>& tokens = getParser().getTokens();
    std::size_t count = tokens.size();
    for (std::size_t i = 1; i < tokens.size() && tokens[i] != "--"; ++i) {
        if (tokens[i] == "--dry-run" || tokens[i] == "--list" || tokens[i] == "--json" ||
            tokens[i] == "--event-log") {
            --count;
        } else if ((tokens[i] == "--log" || tokens[i] == "--why" || tokens[i] == "--metrics") &&
                   i + 1 < tokens.size()) {
            count -= 2; // the option and its file
            ++i;
        }
    }
    return count;
}

int Sorvik::run() {
    // A command line that was not understood may hold a mistyped --dry-run: nothing may happen.
    if (!commandLineUnderstood())
        return rejectCommandLine();
    // A file named by nothing (`--log "$UNSET"`) would leave the run without what it was asked to write.
    for (const char* option : {"log", "metrics"}) {
        if (!getParser().isSet(option))
            continue;
        std::string file;
        getParser().getValue(option, file);
        if (file.empty()) {
            VeltorPlatform::consoleWrite(std::string("ERROR: Empty argument to '") + option + "' option\n");
            return rejectCommandLine();
        }
    }
    try {
        const int code = runCleaning();
        return outputs_.finish(code, std::string());
    } catch (const VeltorCorelib::Exception& error) {
        // The frame tells it on the console; the structured outputs and the system's log hear of it too.
        outputs_.finish(4, VeltorPlatform::Utf::printable(error.getText(false), false, true));
        throw;
    }
}

int Sorvik::runCleaning() {
    if (getParser().isSet("verbose"))
        verbose_ = true;
    ActionReport& report = report_;
    report.reset();
    report.setVerbose(verbose_);
    const VeltorCorelib::CmdParser& parser = getParser();
    RunOutputs::Options outputs;
    outputs.json = parser.isSet("json");
    outputs.eventLog = parser.isSet("event-log");
    if (parser.isSet("log"))
        parser.getValue("log", outputs.log);
    if (parser.isSet("metrics"))
        parser.getValue("metrics", outputs.metrics);
    outputs.version = parser.getVersion();
    const std::vector<std::string>& tokens = parser.getTokens();
    outputs.arguments.assign(tokens.begin() + (tokens.empty() ? 0 : 1), tokens.end());
    if (parser.isSet("why"))
        report.setMode(ActionReport::Mode::Why);
    else if (parser.isSet("dry-run"))
        report.setMode(ActionReport::Mode::DryRun);
    else if (parser.isSet("list") || parser.isSet("log") || outputs.json)
        report.setMode(ActionReport::Mode::List);
    report.onFatal([this](const std::string& text) { outputs_.finish(1, text); });
    outputs_.start(outputs);
    ageHours = 0;
    skipDefaultCleaning = true;
    try {
        discoverInstallation();
    } catch (const VeltorCorelib::Exception&) {
        // Nothing to clean without the registry; on Linux say which file it was looked for in.
        std::string file;
        const std::string note = VeltorPlatform::registrySourceNote(file);
        if (!note.empty())
            VeltorPlatform::consoleWrite("Registry file " + ReportText::printable(file) + ": " + note + "\n");
        throw;
    }
    resolveDirectories();
    // --why follows the run the rest of the command line describes, as a dry run that only tells of
    // the one entry.
    std::string explained;
    const bool found = report.why() && focusOnEntry(explained);
    int dispatched = dispatchOptions();
    if (dispatched == kDurationRejected)
        return rejectCommandLine();
    bool skip = (dispatched == 1 || tokenCount() != 1) && !verbose_ && skipDefaultCleaning;
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
    report.beginCleaning(Cleaning::None);
    getLogger().info("Running application");
    if (report.why()) {
        const std::string text = found ? report.explanation().text()
                                       : "Stays: " + ReportText::printable(explained) + " (no such file)\n";
        outputs_.explanation(explained, text);
        VeltorPlatform::consoleWrite(text);
        VeltorPlatform::consoleFlush();
        return 0;
    }
    return report.anyFailure() ? kSomethingFailed : 0;
}

bool Sorvik::focusOnEntry(std::string& path) {
    getParser().getValue("why", path);
    VeltorFilelib::FsTools::unifySeparators(path);
    std::string cwd;
    if (!VeltorPlatform::isAbsolutePath(path) && VeltorPlatform::getCurrentDirectory(cwd))
        path = VeltorPlatform::joinPath(cwd, path);
    path = TrustedDirs::unified(path);
    std::string parent;
    std::string name;
    RemoverText::splitPath(path, parent, name);
    if (parent.empty() || parent.back() == ':')
        parent += VeltorFilelib::FsTools::separator;
    // The path is the administrator's: every link on it is followed, as the system follows it, one name
    // at a time (so a path longer than the system takes at once is found too), and no link's last
    // access moves.
    TrustedDirs::Options options;
    options.followAll = true;
    options.keepStamps = true;
    const TrustedDirs::Opened opened = TrustedDirs::open(parent, {}, nullptr, 0, options);
    if (!opened.stampMoved.empty()) {
        Event event = Event::named(EventType::AccessTimeMoved, &opened.stampMoved);
        report_.tell(event);
    }
    VeltorPlatform::EntryInfo holder;
    VeltorPlatform::EntryInfo entry;
    if (name.empty() || opened.outcome != TrustedDirs::Outcome::Opened ||
        opened.dir.lookup(name, entry) != 0 || opened.dir.info(holder) != 0)
        return false;
    report_.explanation().focus(holder, name, entry, path);
    return true;
}

int Sorvik::rejectCommandLine() {
    VeltorPlatform::consoleWrite("Nothing was cleaned.\n");
    VeltorPlatform::consoleFlush();
    return kCommandLineRejected;
}

int Sorvik::dispatchOptions() {
    const VeltorCorelib::CmdParser& parser = getParser();
    std::unique_ptr<OldFilesRemover> remover = makeRemover();
    std::int32_t age = 0;
    if (parser.isSet("period")) {
        if (!validatePeriod())
            return kDurationRejected;
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
    if (parser.isSet("debug-logs")) {
        if (!optionAge("debug-logs", age))
            return kDurationRejected;
        remover->removeOldLogs(dirs.serverLog, age, "");
        remover->removeOldLogs(dirs.clientStartupLog, age, "");
        return 1;
    }
    if (parser.isSet("web-reports")) {
        if (!optionAge("web-reports", age))
            return kDurationRejected;
        remover->removeOldWebReports(dirs.trashCan, age, "");
        remover->removeOldWebReports(dirs.temporaryReports, age, "");
        return 1;
    }
    if (parser.isSet("license-status")) {
        if (!optionAge("license-status", age))
            return kDurationRejected;
        remover->removeOldLicenseStatus(dirs.licenseStatus, age, "");
        return 1;
    }
    if (parser.isSet("web-sessions")) {
        if (!optionAge("web-sessions", age))
            return kDurationRejected;
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
    // The web sessions of the log's temporary directory are swept last, from what the rules of that
    // directory leave: it is listed once.
    plan_.expectSweep(dirs.serverLogTemp, "cgisess_*");
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
