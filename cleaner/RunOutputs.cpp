#include "RunOutputs.h"

#include "AppFrame.h"
#include "DateTime.h"
#include "Metrics.h"
#include "OwnFile.h"
#include "SystemBase.h"
#include "platform/Console.h"
#include "platform/Time.h"

#include <cstdio>
#include <utility>

namespace Veltor {

namespace {

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
std::string timestampOf(std::int64_t now) {
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
    auto* file = static_cast<VeltorPlatform::LogFile*>(log);
    if (data == nullptr)
        file->flush();
    else
        file->write(data, length);
}

} // namespace

RunOutputs::~RunOutputs() {
    VeltorPlatform::consoleCopyTo(nullptr, nullptr);
}

std::string RunOutputs::localTimestamp(std::int64_t now) {
    return timestampOf(now);
}

void RunOutputs::prepareConsole(int argc, const char* const* argv) {
    // Standard output carries nothing but JSON Lines under --json: the banner, the messages of the
    // frame and every other text go to standard error from the start.
    for (int i = 1; i < argc && std::string(argv[i]) != "--"; ++i)
        if (std::string(argv[i]) == "--json")
            VeltorPlatform::consoleToStandardError();
}

bool RunOutputs::openLog(Event& refused) {
    namespace FsError = VeltorPlatform::FileSystemError;
    refused.type = EventType::LogNotWritten;
    refused.shown = &options_.log;
    OwnFile place;
    if (!place.reach(options_.log, report_.dryRun())) {
        refused.problem = place.problem;
        refused.error = place.error;
        return false;
    }
    const std::uint32_t error = log_.open(place.dir, place.name, kLogRotateBytes);
    if (error == FsError::Success) {
        // JSON Lines go to the log as they are written; the console's text only otherwise.
        if (!options_.json)
            VeltorPlatform::consoleCopyTo(copyToLog, &log_);
        return true;
    }
    refused.problem = error == FsError::IsALink           ? Problem::IsALink
                      : error == FsError::NotARegularFile ? Problem::NotAFile
                      : error == FsError::EntryChanged    ? Problem::UntrustedDir
                                                          : Problem::CannotOpen;
    refused.error = error;
    return false;
}

void RunOutputs::checkLog() {
    if (!log_.isOpen() || log_.flush() == 0 || std::exchange(logFailureTold_, true))
        return;
    Event event = Event::of(EventType::LogNotWritten);
    event.problem = Problem::WriteFailed;
    event.error = log_.error();
    event.shown = &options_.log;
    report_.tell(event);
}

void RunOutputs::start(const Options& options) {
    options_ = options;
    startedMs_ = VeltorCorelib::DateTime::now();
    finished_ = false;
    json_.reset();
    if (options_.json)
        json_.emplace([this](std::string_view line) {
            VeltorPlatform::structuredWrite(line.data(), line.size());
            if (log_.isOpen())
                log_.write(line.data(), line.size());
        });
    report_.addSink(&system_);
    // The log stays open until the application ends, so that an error that ends the run reaches it too.
    Event logRefused;
    const bool logRefusedNow = !options_.log.empty() && !openLog(logRefused);
    const std::string started = localTimestamp(VeltorPlatform::timeNow());
    if (json_) {
        JsonLines::Start start;
        start.version = options_.version;
        start.host = VeltorCorelib::SystemBase::hostName();
        start.started = started;
        start.mode = report_.mode();
        start.arguments = options_.arguments;
        json_->start(start);
        report_.addSink(&*json_);
    }
    if (report_.mode() == ActionReport::Mode::DryRun || report_.mode() == ActionReport::Mode::List)
        VeltorPlatform::consoleWrite("Started: " + started + " (sorvik " + options_.version + ")\n");
    if (logRefusedNow)
        report_.tell(logRefused);
}

void RunOutputs::explanation(const std::string& path, const std::string& text) {
    if (json_)
        json_->explanation(path, text);
}

bool RunOutputs::writeMetrics(int status, double duration) {
    Metrics::Run run;
    run.startedSeconds = (startedMs_ - kUnixEpochMs) / 1000;
    run.durationSeconds = duration;
    run.exitStatus = VeltorCorelib::exitCodeAfterRun(status);
    Problem problem = Problem::None;
    const std::uint32_t failed = Metrics::write(options_.metrics, report_, run, problem);
    if (failed == 0)
        return true;
    // The file could not be written: there is nothing that says otherwise.
    Event event = Event::of(EventType::MetricsNotWritten);
    event.problem = problem;
    event.error = failed;
    event.shown = &options_.metrics;
    report_.tell(event);
    return false;
}

int RunOutputs::finish(int code, const std::string& error) {
    // Told once: an input error that ends the process comes here before the process ends.
    if (std::exchange(finished_, true))
        return code;
    ActionReport& report = report_;
    const auto failing = [&] { return report.anyFailure() && !report.why(); };
    checkLog();
    const double duration = static_cast<double>(VeltorCorelib::DateTime::now() - startedMs_) / 1000.0;
    int status = code == 0 && failing() ? kSomethingFailed : code;
    const bool metrics = !options_.metrics.empty() && !report.dryRun();
    if (metrics && !writeMetrics(status, duration) && status == 0)
        status = kSomethingFailed;
    // A run an error ended has no summary line: the error's own text closes it, as it always did.
    if (error.empty())
        report.summary();
    if (json_ && !error.empty())
        json_->error(error);
    // The log takes its summary object before standard output does, so that a log that cannot take its
    // last lines still fails the run, and the summary on standard output says so.
    if (json_ && log_.isOpen()) {
        const std::string_view last =
            json_->summaryLine(report.totals(), duration, VeltorCorelib::exitCodeAfterRun(status));
        log_.write(last.data(), last.size());
    }
    const std::uint64_t failedBefore = report.totals().failed;
    checkLog();
    if (report.totals().failed != failedBefore) {
        // Told after the summary it failed to write; the metrics must not say the run went well.
        VeltorPlatform::consoleWrite("\n");
        if (status == 0 && failing())
            status = kSomethingFailed;
        if (metrics)
            writeMetrics(status, duration);
    }
    const int exitStatus = VeltorCorelib::exitCodeAfterRun(status);
    if (json_) {
        const std::string_view last = json_->summaryLine(report.totals(), duration, exitStatus);
        VeltorPlatform::structuredWrite(last.data(), last.size());
        VeltorPlatform::structuredFlush();
    }
    system_.send(report.totals(), exitStatus, error, options_.eventLog, options_.version);
    return status;
}

} // namespace Veltor
