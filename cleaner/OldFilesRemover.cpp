#include "OldFilesRemover.h"

#include "JobFolder.h"

#include <utility>

namespace Veltor {

OldFilesRemover::OldFilesRemover(CleaningPlan& plan, Clock clock)
    : context_(plan, std::move(clock)), rules_(context_), sweeps_(context_, rules_) {}

OldFilesRemover::OldFilesRemover() : OldFilesRemover(Clock()) {}

OldFilesRemover::OldFilesRemover(Clock clock)
    : ownReport_(std::make_unique<ActionReport>()), ownPlan_(std::make_unique<CleaningPlan>(*ownReport_)),
      context_(*ownPlan_, std::move(clock)), rules_(context_), sweeps_(context_, rules_) {}

OldFilesRemover::~OldFilesRemover() = default;

void OldFilesRemover::removeOldFiles(const std::string& dir, const std::string& pattern,
                                     std::int64_t maxAgeHours, std::int64_t unreadAgeHours, int stamp) {
    report().beginCleaning(Cleaning::Rules);
    rules_.removeByRulesOf(dir, {AgeRules::Rule{pattern, maxAgeHours, unreadAgeHours, stamp}});
}

void OldFilesRemover::removeByRules(RuleTable rules) {
    report().beginCleaning(Cleaning::Rules);
    rules_.removeByRules(rules);
}

void OldFilesRemover::processFinishedJobs(const std::string& dir) {
    report().beginCleaning(Cleaning::JobFolding);
    JobFolder(context_).fold(dir);
}

void OldFilesRemover::removeOldLogs(const std::string& dir, std::int64_t hours,
                                    const std::string& dateRange) {
    report().beginCleaning(Cleaning::DatedLogs);
    rules_.removeOldLogs(dir, hours, dateRange);
}

void OldFilesRemover::removeDanglingLocks(const std::string& dir) {
    report().beginCleaning(Cleaning::Locks);
    sweeps_.removeDanglingLocks(dir);
}

void OldFilesRemover::removeDanglingLocksRecursive(const std::string& dir) {
    report().beginCleaning(Cleaning::Locks);
    sweeps_.removeDanglingLocksRecursive(dir);
}

void OldFilesRemover::removeOldWebReports(const std::string& dir, std::int64_t hours,
                                          const std::string& dateRange) {
    report().beginCleaning(Cleaning::WebReports);
    sweeps_.removeOldWebReports(dir, hours, dateRange);
}

void OldFilesRemover::removeOldWebSessions(const std::string& dir, std::int64_t hours,
                                           const std::string& dateRange) {
    report().beginCleaning(Cleaning::Sessions);
    sweeps_.removeOldWebSessions(dir, hours, dateRange);
}

void OldFilesRemover::removeOldLicenseStatus(const std::string& dir, std::int64_t hours,
                                             const std::string& dateRange) {
    report().beginCleaning(Cleaning::LicenseStatus);
    sweeps_.removeOldLicenseStatus(dir, hours, dateRange);
}

} // namespace Veltor
