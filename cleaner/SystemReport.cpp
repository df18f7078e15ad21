#include "SystemReport.h"

#include "platform/SystemLog.h"

namespace Veltor {

namespace {

enum class Outcome { Success, Partial, Error };

Outcome outcomeOf(int exitStatus, const std::string& error) {
    if (!error.empty() || exitStatus == 4 || exitStatus == 1 || exitStatus == 3)
        return Outcome::Error;
    return exitStatus == 7 ? Outcome::Partial : Outcome::Success;
}

std::string counted(std::uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

} // namespace

void SystemReport::take(const Event& event, const ReportText::Line&) {
    if (!isFailure(event))
        return;
    if (lines_.size() >= kMaxLines) {
        ++more_;
        return;
    }
    std::string line = ReportText::of(event, ReportMode::List).text;
    while (!line.empty() && line.front() == '\n')
        line.erase(0, 1);
    while (!line.empty() && line.back() == '\n')
        line.pop_back();
    lines_.push_back(line);
}

std::string SystemReport::message(const ActionReport::Totals& totals, int exitStatus,
                                  const std::string& error) const {
    const std::string done = "removed " + counted(totals.files, "file", "files") + " and " +
                             counted(totals.directories, "directory", "directories") + " (" +
                             counted(totals.bytes, "byte", "bytes") + "), folded " +
                             counted(totals.jobFiles, "job file", "job files") + " into " +
                             counted(totals.dayLogs, "day log", "day logs");
    switch (outcomeOf(exitStatus, error)) {
    case Outcome::Success:
        return "Sorvik " + done + "; kept " + std::to_string(totals.kept) + ".";
    case Outcome::Partial: {
        std::string text = "Sorvik did not do all it meant to (exit status 7): " +
                           counted(totals.failed, "failure", "failures") + ", " +
                           counted(totals.notCleaned, "directory", "directories") + " not cleaned; it " +
                           done + ".";
        for (const std::string& line : lines_)
            text += "\n" + line;
        if (more_ != 0)
            text += "\nand " + std::to_string(more_) + " more";
        return text;
    }
    case Outcome::Error:
        break;
    }
    return "Sorvik ended with an error (exit status " + std::to_string(exitStatus) + "): " + error;
}

std::vector<std::string> SystemReport::journalFields(const ActionReport::Totals& totals, int exitStatus,
                                                     const std::string& error,
                                                     const std::string& version) const {
    const Outcome outcome = outcomeOf(exitStatus, error);
    const char* id = outcome == Outcome::Success   ? kJournalSuccess
                     : outcome == Outcome::Partial ? kJournalPartial
                                                   : kJournalError;
    const char* priority = outcome == Outcome::Success ? "6" : outcome == Outcome::Partial ? "4" : "3";
    return {"MESSAGE=" + message(totals, exitStatus, error),
            std::string("MESSAGE_ID=") + id,
            std::string("PRIORITY=") + priority,
            "SORVIK_REMOVED_FILES=" + std::to_string(totals.files),
            "SORVIK_REMOVED_BYTES=" + std::to_string(totals.bytes),
            "SORVIK_FOLDED=" + std::to_string(totals.jobFiles),
            "SORVIK_FAILED=" + std::to_string(totals.failed),
            "SORVIK_NOT_CLEANED=" + std::to_string(totals.notCleaned),
            "SORVIK_EXIT_STATUS=" + std::to_string(exitStatus),
            "SORVIK_VERSION=" + version};
}

void SystemReport::send(const ActionReport::Totals& totals, int exitStatus, const std::string& error,
                        bool eventLog, const std::string& version) const {
    // Neither may keep the run from ending as it would: the console, the log and the exit status tell.
    if (eventLog) {
        const Outcome outcome = outcomeOf(exitStatus, error);
        VeltorPlatform::reportEvent(outcome == Outcome::Success   ? VeltorPlatform::EventSeverity::Information
                                    : outcome == Outcome::Partial ? VeltorPlatform::EventSeverity::Warning
                                                                  : VeltorPlatform::EventSeverity::Error,
                                    outcome == Outcome::Success   ? kEventSuccess
                                    : outcome == Outcome::Partial ? kEventPartial
                                                                  : kEventError,
                                    message(totals, exitStatus, error));
    }
    if (VeltorPlatform::outputIsJournal())
        VeltorPlatform::sendToJournal(journalFields(totals, exitStatus, error, version));
}

} // namespace Veltor
