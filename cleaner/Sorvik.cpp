#include "Sorvik.h"

#include "ActionReport.h"
#include "DateTime.h"
#include "FsTools.h"
#include "Metrics.h"
#include "OldFilesRemoverText.h"
#include "OwnFile.h"
#include "SystemBase.h"
#include "TimeSpan.h"
#include "TrustedDirs.h"
#include "platform/Console.h"
#include "platform/LogFile.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/Time.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

namespace Veltor {

namespace {

// What the scheduler learns from the exit status.
constexpr int kCommandLineRejected = 2;
constexpr int kSomethingFailed = 7;
// A log larger than this is moved aside before a run appends to it.
constexpr std::uint64_t kLogRotateBytes = 1024 * 1024;
// Milliseconds from the DateTime origin (1899-12-31) to 1970-01-01 00:00:00 UTC.
constexpr std::int64_t kUnixEpochMs = 2209075200000LL;

// Days since 1970-01-01 of a proleptic Gregorian date (month 1 to 12).
std::int64_t daysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// "2026-12-07T08:30:00+01:00": the local time of `now` with its offset from UTC, so that runs logged on
// machines in different zones, or on both sides of a clock change, still read right.
std::string localTimestamp(std::int64_t now) {
    VeltorPlatform::CalendarTime local;
    if (!VeltorPlatform::localTime(now, local) && !VeltorPlatform::utcTime(now, local))
        return "unknown time";
    const std::int64_t asUtc = daysFromCivil(local.year + 1900, local.month + 1, local.monthDay) * 86400 +
                               local.hour * 3600 + local.minute * 60 + local.second;
    const std::int64_t offsetMinutes = (asUtc - now) / 60;
    const std::int64_t magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", local.year + 1900,
                  local.month + 1, local.monthDay, local.hour, local.minute, local.second,
                  offsetMinutes < 0 ? '-' : '+', static_cast<int>(magnitude / 60),
                  static_cast<int>(magnitude % 60));
    return text;
}

void copyToLog(const char* data, std::size_t length, void* log) {
    // A log that stops taking lines (a full disk) must not stop the cleaning: the console still has them.
    static_cast<VeltorPlatform::LogFile*>(log)->write(data, length);
}

} // namespace

Sorvik::Sorvik(int argc, const char* const* argv) : AppFrame("Sorvik", "Sorvik", "1", true, "Veltor, Inc.") {
    constructApplication(argc, argv);
}

Sorvik::~Sorvik() {
    getLogger().info("Ending run");
    VeltorPlatform::consoleCopyTo(nullptr, nullptr);
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

bool Sorvik::openLog(VeltorPlatform::LogFile& log, Event& refused) {
    namespace FsError = VeltorPlatform::FileSystemError;
    getParser().getValue("log", logPath_);
    refused.type = EventType::LogNotWritten;
    refused.shown = &logPath_;
    OwnFile place;
    if (!place.reach(logPath_, report_.dryRun())) {
        refused.problem = place.problem;
        refused.error = place.error;
        return false;
    }
    const std::uint32_t error = log.open(place.dir, place.name, kLogRotateBytes);
    if (error == FsError::Success) {
        // JSON Lines go to the log as they are written; the console's text only otherwise.
        if (!json_.has_value())
            VeltorPlatform::consoleCopyTo(copyToLog, &log);
        return true;
    }
    refused.problem = error == FsError::IsALink           ? Problem::IsALink
                      : error == FsError::NotARegularFile ? Problem::NotAFile
                      : error == FsError::EntryChanged    ? Problem::UntrustedDir
                                                          : Problem::CannotOpen;
    refused.error = error;
    return false;
}

void Sorvik::checkLog() {
    if (!log_.isOpen() || log_.error() == 0 || std::exchange(logFailureTold_, true))
        return;
    Event event;
    event.type = EventType::LogNotWritten;
    event.problem = Problem::WriteFailed;
    event.error = log_.error();
    event.shown = &logPath_;
    report_.tell(event);
}

int Sorvik::run() {
    startedMs_ = VeltorCorelib::DateTime::now();
    // A command line that was not understood may hold a mistyped --dry-run: nothing may happen.
    if (!commandLineUnderstood())
        return rejectCommandLine();
    try {
        const int code = runCleaning();
        return finishRun(code, std::string());
    } catch (const VeltorCorelib::Exception& error) {
        // The frame tells it on the console; the structured outputs and the system's log hear of it too.
        finishRun(4, error.getText(false));
        throw;
    }
}

int Sorvik::runCleaning() {
    if (getParser().isSet("verbose"))
        verbose_ = true;
    ActionReport& report = report_;
    report.reset();
    report.setVerbose(verbose_);
    json_.reset();
    if (getParser().isSet("json"))
        json_.emplace([this](const std::string& line) {
            VeltorPlatform::structuredWrite(line.data(), line.size());
            if (log_.isOpen())
                log_.write(line.data(), line.size());
        });
    if (getParser().isSet("why"))
        report.setMode(ActionReport::Mode::Why);
    else if (getParser().isSet("dry-run"))
        report.setMode(ActionReport::Mode::DryRun);
    else if (getParser().isSet("list") || getParser().isSet("log") || json_.has_value())
        report.setMode(ActionReport::Mode::List);
    report.addSink(&system_);
    report.onFatal([this](const std::string& text) { finishRun(1, text); });
    // The log stays open until the application ends, so that an error that ends the run reaches it too.
    // It is opened before the start line, which it gets too; a refusal follows that line.
    Event logRefused;
    const bool logRefusedNow = getParser().isSet("log") && !openLog(log_, logRefused);
    const std::string started = localTimestamp(VeltorPlatform::timeNow());
    if (json_) {
        JsonLines::Start start;
        start.version = getParser().getVersion();
        start.host = VeltorCorelib::SystemBase::hostName();
        start.started = started;
        start.mode = report.mode();
        const std::vector<std::string>& tokens = getParser().getTokens();
        start.arguments.assign(tokens.begin() + (tokens.empty() ? 0 : 1), tokens.end());
        json_->start(start);
        report.addSink(&*json_);
    }
    if (report.mode() == ActionReport::Mode::DryRun || report.mode() == ActionReport::Mode::List)
        VeltorPlatform::consoleWrite("Started: " + started + " (sorvik " + getParser().getVersion() + ")\n");
    if (logRefusedNow)
        report.tell(logRefused);
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
    std::string missing;
    if (report.why())
        missing = focusOnEntry();
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
        const std::string explained = !missing.empty()
                                          ? "Stays: " + ReportText::printable(missing) + " (no such file)\n"
                                          : report.explanation().text();
        if (json_)
            json_->explanation(missing.empty() ? std::string() : missing, explained);
        VeltorPlatform::consoleWrite(explained);
        VeltorPlatform::consoleFlush();
        return 0;
    }
    return report.anyFailure() ? kSomethingFailed : 0;
}

int Sorvik::finishRun(int code, const std::string& error) {
    // Told once: an input error that ends the process comes here before the process ends.
    if (std::exchange(finished_, true))
        return code;
    ActionReport& report = report_;
    checkLog();
    const double duration = static_cast<double>(VeltorCorelib::DateTime::now() - startedMs_) / 1000.0;
    int status = code == 0 && report.anyFailure() && !report.why() ? kSomethingFailed : code;
    if (getParser().isSet("metrics") && !report.dryRun()) {
        std::string path;
        getParser().getValue("metrics", path);
        Metrics::Run run;
        run.startedSeconds = (startedMs_ - kUnixEpochMs) / 1000;
        run.durationSeconds = duration;
        run.exitStatus = VeltorCorelib::exitCodeAfterRun(status);
        Problem problem = Problem::None;
        if (const std::uint32_t failed = Metrics::write(path, report, run, problem)) {
            // The file could not be written: there is nothing that says otherwise.
            Event event;
            event.type = EventType::MetricsNotWritten;
            event.problem = problem;
            event.error = failed;
            event.shown = &path;
            report.tell(event);
            if (status == 0)
                status = kSomethingFailed;
        }
    }
    // A run an error ended has no summary line: the error's own text closes it, as it always did.
    if (error.empty())
        report.summary();
    checkLog();
    if (status == 0 && report.anyFailure() && !report.why())
        status = kSomethingFailed;
    const int exitStatus = VeltorCorelib::exitCodeAfterRun(status);
    if (json_) {
        if (!error.empty())
            json_->error(error);
        json_->summary(report.totals(), duration, exitStatus);
        VeltorPlatform::structuredFlush();
    }
    system_.send(report.totals(), exitStatus, error, getParser().isSet("event-log"),
                 getParser().getVersion());
    return status;
}

void Sorvik::prepareConsole(int argc, const char* const* argv) {
    // Standard output carries nothing but JSON Lines under --json: the banner, the messages of the
    // frame and every other text go to standard error from the start.
    for (int i = 1; i < argc && std::string(argv[i]) != "--"; ++i)
        if (std::string(argv[i]) == "--json")
            VeltorPlatform::consoleToStandardError();
}

std::string Sorvik::focusOnEntry() {
    std::string path;
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
        Event event;
        event.type = EventType::AccessTimeMoved;
        event.shown = &opened.stampMoved;
        report_.tell(event);
    }
    VeltorPlatform::EntryInfo holder;
    VeltorPlatform::EntryInfo entry;
    if (name.empty() || opened.outcome != TrustedDirs::Outcome::Opened ||
        opened.dir.lookup(name, entry) != 0 || opened.dir.info(holder) != 0)
        return path;
    report_.explanation().focus(holder, name, entry, path);
    return std::string();
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
