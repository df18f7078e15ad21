#include "OldFilesRemover.h"

#include "JobFolder.h"
#include "OldFilesRemoverText.h"
#include "platform/Console.h"
#include "platform/Process.h"
#include "platform/Time.h"

#include <limits>
#include <utility>

namespace Veltor {

void OldFilesRemover::endProcess() {
    VeltorPlatform::consoleFlush();
    VeltorPlatform::exitProcess(1);
}

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

void OldFilesRemover::write(const std::string& first, const std::string& second) {
    VeltorPlatform::consoleWrite(first);
    VeltorPlatform::consoleWrite(second);
    VeltorPlatform::consoleFlush();
}

std::int64_t OldFilesRemover::hoursToSeconds(std::int64_t hours) {
    if (hours < 0) {
        write("\nError, You entered a negative number. Program will exit.");
        endProcess();
    }
    // Beyond this the limit exceeds any representable age anyway: clamp instead of overflowing.
    constexpr std::int64_t largest = std::numeric_limits<std::int64_t>::max() / 3600;
    return (hours > largest ? largest : hours) * 3600;
}

bool OldFilesRemover::isValidDate(const std::string& text) {
    if (text.find_first_not_of("0123456789-") != std::string::npos)
        return false;
    const std::vector<std::string> pieces = RemoverText::split(text, "-");
    if (pieces.size() != 3 || pieces[0].size() != 4 || pieces[1].size() != 2 || pieces[2].size() != 2)
        return false;
    const int year = std::stoi(pieces[0]);
    const int month = std::stoi(pieces[1]);
    const int day = std::stoi(pieces[2]);
    if (year < 1000 || month < 1 || month > 12 || day < 1)
        return false;
    static const int monthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int lastDay = month == 2 && leap ? 29 : monthDays[month - 1];
    return day <= lastDay;
}

std::int64_t OldFilesRemover::parseDate(const std::string& text) {
    if (!isValidDate(text)) {
        write(" Error: Invalid date(" + text + ").Enter date in the following format: YYYY-MM-DD\n ");
        write(" Exiting... ");
        endProcess();
    }
    const std::vector<std::string> pieces = RemoverText::split(text, "-");
    VeltorPlatform::CalendarTime fields;
    fields.year = std::stoi(pieces[0]) - 1900;
    fields.month = std::stoi(pieces[1]) - 1;
    fields.monthDay = std::stoi(pieces[2]);
    fields.isDaylight = 0;
    return VeltorPlatform::makeTime(fields);
}

std::string OldFilesRemover::formatDate(std::int64_t time, char separator) {
    VeltorPlatform::CalendarTime fields;
    if (!VeltorPlatform::localTime(time, fields))
        return std::string();
    std::string text = std::to_string(fields.year + 1900);
    text += separator;
    text += std::to_string(fields.month + 1);
    text += separator;
    if (fields.monthDay < 10)
        text += '0';
    text += std::to_string(fields.monthDay);
    return text;
}

} // namespace Veltor
