// The removal engine's front: the cleanings the application calls. Each is a pass over directories of
// the run's plan that asks the judges (Judges.h) about every entry it meets and lets the one remover act
// on the verdict: the age rules (AgeRules), the sweeps (Sweeps) and the folding of finished jobs
// (JobFolder). It never throws; what it does and meets goes to the run's report as events, and three
// input errors (a negative hour count, an invalid date, a start date after the end date) end the
// process with exit status 1.
#pragma once
#include "AgeRules.h"
#include "CleaningContext.h"
#include "CleaningPlan.h"
#include "Engine.h"
#include "Sweeps.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace Veltor {

class OldFilesRemover {
public:
    using RuleTable = AgeRules::RuleTable;
    using NameSet = std::set<std::string>;
    using Pieces = std::vector<std::string>;
    using PatternList = AgeRules::PatternList;
    using Clock = CleaningContext::Clock;

    // A remover of the run `plan` describes: it reports to that run's report, in its mode, and cleans
    // the directories the plan opened. Tests pass a fixed clock; the default reads the system clock.
    explicit OldFilesRemover(CleaningPlan& plan, Clock clock = Clock());
    // A remover with a quiet run of its own.
    OldFilesRemover();
    explicit OldFilesRemover(Clock clock);
    virtual ~OldFilesRemover();
    OldFilesRemover(const OldFilesRemover&) = delete;
    OldFilesRemover& operator=(const OldFilesRemover&) = delete;

    // --- cleaning operations called by the application ---

    // One rule on one directory. Hour counts above the 32-bit range are clamped, never wrapped.
    virtual void removeOldFiles(const std::string& dir, const std::string& pattern, std::int64_t maxAgeHours,
                                std::int64_t unreadAgeHours, int stamp);
    virtual void removeByRules(RuleTable rules);
    virtual void processFinishedJobs(const std::string& dir);
    virtual void removeOldLogs(const std::string& dir, std::int64_t hours, const std::string& dateRange);
    virtual void removeDanglingLocks(const std::string& dir);
    virtual void removeDanglingLocksRecursive(const std::string& dir);
    virtual void removeOldWebReports(const std::string& dir, std::int64_t hours,
                                     const std::string& dateRange);
    virtual void removeOldWebSessions(const std::string& dir, std::int64_t hours,
                                      const std::string& dateRange);
    virtual void removeOldLicenseStatus(const std::string& dir, std::int64_t hours,
                                        const std::string& dateRange);

    // --- building blocks of the operations above ---

    static bool isOld(std::int64_t current, std::int64_t accessed, std::int64_t written,
                      std::uint64_t maxAgeSeconds, std::uint64_t unreadAgeSeconds, int stamp) {
        return Judges::isOld(current, accessed, written, maxAgeSeconds, unreadAgeSeconds, stamp);
    }
    // Age test and removal of one file; true when the file was judged old and its removal attempted.
    bool removeIfOld(const std::string& path, std::uint64_t maxAgeSeconds, std::uint64_t unreadAgeSeconds,
                     int stamp) {
        return rules_.removeIfOld(path, maxAgeSeconds, unreadAgeSeconds, stamp);
    }
    // hours * 3600 in 64 bits; a negative count ends the process with status 1.
    static std::int64_t hoursToSeconds(std::int64_t hours) { return Engine::hoursToSeconds(hours); }
    void removeOldFilesByPatterns(const std::string& dir, const PatternList& patterns,
                                  std::int64_t maxAgeHours, std::int64_t unreadAgeHours, int stamp) {
        rules_.removeOldFilesByPatterns(dir, patterns, maxAgeHours, unreadAgeHours, stamp);
    }
    void removeInDateRange(const std::string& dir, const std::string& dateRange, const std::string& pattern,
                           std::int64_t time) {
        rules_.removeInDateRange(dir, dateRange, pattern, time);
    }
    void removeInDateRangeByPatterns(const std::string& dir, const std::string& dateRange,
                                     const PatternList& patterns) {
        rules_.removeInDateRangeByPatterns(dir, dateRange, patterns);
    }
    // Local midnight at the start of a "YYYY-MM-DD" day in seconds since 1970; an invalid date ends the
    // process with status 1.
    static std::int64_t parseDate(const std::string& text) { return Engine::parseDate(text); }
    static bool isValidDate(const std::string& text) { return Engine::isValidDate(text); }
    // Breadth-first; never descends into links. False (and `out` untouched) when `dir` is no directory.
    bool listFilesRecursive(const std::string& dir, const std::string& pattern, NameSet& out) {
        return sweeps_.listFilesRecursive(dir, pattern, out);
    }
    // Reads the time a web session recorded inside its file; false (with a message) when there is none.
    bool readSessionTime(const std::string& path, std::int64_t& time) {
        return sweeps_.readSessionTime(path, time);
    }
    static bool isDatedLogName(std::string_view name) { return Judges::isDatedLogName(name); }
    // Local calendar day of a time in seconds since 1970: year, month without and day with a leading zero.
    static std::string formatDate(std::int64_t time, char separator) {
        return Engine::formatDate(time, separator);
    }
    // Ends the process with exit status 1, its output flushed: the end of a run on an input error.
    [[noreturn]] static void endProcess() { Engine::endProcess(); }
    // Writes the two texts to standard output, no newline added.
    static void write(const std::string& first, const std::string& second = std::string()) {
        Engine::write(first, second);
    }

    // The report patterns in the order they are applied: "top_0_*" endings, then "top_*_*_*" endings.
    static const PatternList& firstReportPatterns() { return Engine::firstReportPatterns(); }
    static const PatternList& secondReportPatterns() { return Engine::secondReportPatterns(); }

private:
    ActionReport& report() const { return context_.report(); }

    // A remover made without a plan runs one of its own.
    std::unique_ptr<ActionReport> ownReport_;
    std::unique_ptr<CleaningPlan> ownPlan_;
    CleaningContext context_;
    AgeRules rules_;
    Sweeps sweeps_;
};

} // namespace Veltor
