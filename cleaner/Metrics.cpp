#include "Metrics.h"

#include "JobFiles.h"
#include "OldFilesRemoverText.h"
#include "OwnFile.h"

#include <cstdio>

namespace Veltor {

namespace FsError = VeltorPlatform::FileSystemError;

namespace {

constexpr const char* kLastSuccess = "sorvik_last_success_timestamp_seconds";
// Only this much of an earlier file is read: it is a few kilobytes when Sorvik wrote it.
constexpr std::size_t kReadLimit = 64 * 1024;

const struct {
    Cleaning cleaning;
    const char* label;
} kCleanings[] = {{Cleaning::Rules, "rules"},
                  {Cleaning::DatedLogs, "dated_logs"},
                  {Cleaning::Locks, "locks"},
                  {Cleaning::WebReports, "web_reports"},
                  {Cleaning::Sessions, "sessions"},
                  {Cleaning::LicenseStatus, "license_status"},
                  {Cleaning::JobFolding, "job_folding"},
                  // What no cleaning had begun when it happened: a directory of the installation that
                  // could not be resolved, a log that could not be written. The series add up to the
                  // run's totals.
                  {Cleaning::None, "installation"}};

void header(std::string& out, const char* name, const char* help) {
    out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " gauge\n";
}

void value(std::string& out, const char* name, const std::string& number) {
    out += std::string(name) + " " + number + "\n";
}

void perCleaning(std::string& out, const ActionReport& report, const char* name, const char* help,
                 std::uint64_t ActionReport::Totals::*field) {
    header(out, name, help);
    for (const auto& c : kCleanings)
        out += std::string(name) + "{cleaning=\"" + c.label + "\"} " +
               std::to_string(report.totals(c.cleaning).*field) + "\n";
}

bool succeeded(int exitStatus) {
    // A run that a stop request met has done all it meant to as well.
    return exitStatus == 0 || exitStatus == 5 || exitStatus == 6;
}

} // namespace

std::string Metrics::text(const ActionReport& report, const Run& run, std::int64_t lastSuccess) {
    std::string out;
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.3f", run.durationSeconds);
    const std::int64_t ended = run.startedSeconds + static_cast<std::int64_t>(run.durationSeconds + 0.5);
    header(out, "sorvik_last_run_start_timestamp_seconds",
           "When the last run started, in seconds since 1970.");
    value(out, "sorvik_last_run_start_timestamp_seconds", std::to_string(run.startedSeconds));
    header(out, "sorvik_last_run_duration_seconds", "How long the last run took.");
    value(out, "sorvik_last_run_duration_seconds", duration);
    header(out, "sorvik_last_run_exit_status",
           "The exit status of the last run (0 success, 7 something failed).");
    value(out, "sorvik_last_run_exit_status", std::to_string(run.exitStatus));
    header(out, "sorvik_last_run_success", "Whether the last run did all it meant to.");
    value(out, "sorvik_last_run_success", succeeded(run.exitStatus) ? "1" : "0");
    const std::int64_t success = succeeded(run.exitStatus) ? ended : lastSuccess;
    if (success != 0) {
        header(out, kLastSuccess, "When the last successful run ended, in seconds since 1970.");
        value(out, kLastSuccess, std::to_string(success));
    }
    header(out, "sorvik_last_run_failures", "Everything the last run meant to do and could not.");
    value(out, "sorvik_last_run_failures", std::to_string(report.totals().failed));
    perCleaning(out, report, "sorvik_removed_files", "Files removed by the last run.",
                &ActionReport::Totals::files);
    perCleaning(out, report, "sorvik_removed_directories", "Empty directories removed by the last run.",
                &ActionReport::Totals::directories);
    perCleaning(out, report, "sorvik_removed_bytes", "Bytes of the files removed by the last run.",
                &ActionReport::Totals::bytes);
    perCleaning(out, report, "sorvik_folded_job_files",
                "Job files folded into their day logs by the last run.", &ActionReport::Totals::jobFiles);
    perCleaning(out, report, "sorvik_kept_files", "Old files the last run kept because they are read-only.",
                &ActionReport::Totals::kept);
    perCleaning(out, report, "sorvik_failures", "Failures of the last run.", &ActionReport::Totals::failed);
    perCleaning(out, report, "sorvik_directories_not_cleaned", "Directories the last run could not clean.",
                &ActionReport::Totals::notCleaned);
    return out;
}

std::int64_t Metrics::lastSuccessIn(const std::string& text) {
    const std::string key = std::string(kLastSuccess) + " ";
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (line.compare(0, key.size(), key) == 0)
            return RemoverText::readInteger(RemoverText::trim(line.substr(key.size())));
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    return 0;
}

std::uint32_t Metrics::write(const std::string& path, const ActionReport& report, const Run& run,
                             Problem& problem) {
    OwnFile place;
    if (!place.reach(path, false)) {
        problem = place.problem;
        return place.error != 0 ? place.error : FsError::AccessDenied;
    }
    problem = Problem::WriteFailed;
    // The last success of an earlier run, from the file as it stands (a regular file only).
    std::int64_t lastSuccess = 0;
    {
        // Closed again before the rename: Windows replaces no file that is open.
        VeltorPlatform::FileHandle old;
        if (old.openRead(place.dir, place.name) == FsError::Success) {
            std::string text(kReadLimit, '\0');
            std::size_t got = 0;
            if (old.read(&text[0], text.size(), got) == FsError::Success) {
                text.resize(got);
                lastSuccess = lastSuccessIn(text);
            }
        }
    }
    const std::string text = Metrics::text(report, run, lastSuccess);
    VeltorPlatform::FileHandle out;
    std::string fresh;
    // A name the collectors skip (they read *.prom only) until it takes the file's name; readable by
    // the collector's account.
    std::uint32_t error = JobFiles::createFresh(place.dir, "." + place.name + ".", ".tmp", 0644, out, fresh);
    if (error != FsError::Success)
        fresh.clear(); // a name we did not create is never removed
    else
        error = out.write(text.data(), text.size());
    // Not synced: the rename alone is what keeps a collector from reading half a file, and the file is
    // written anew by every run. A sync here would wait for the file system to commit everything the
    // run removed before it (on ext4, 60 ms after 5 000 removals: most of a short run); what a power
    // failure costs is at most this one snapshot.
    const std::uint32_t closed = out.close();
    if (error == FsError::Success)
        error = closed;
    if (error == FsError::Success)
        error = place.dir.rename(fresh, place.name);
    if (error != FsError::Success && !fresh.empty())
        place.dir.removeFile(fresh);
    return error;
}

} // namespace Veltor
