// The removal engine: decides file by file whether data in a Veltor directory is obsolete and deletes it.
// It never throws; problems go to standard output, and three input errors (a negative hour count, an
// invalid date, a start date after the end date) end the process with exit status 1.
#pragma once
#include "ActionReport.h"
#include "CleaningPlan.h"
#include "FsTools.h"
#include "OldFilesRemoverText.h"
#include "Remover.h"
#include "platform/DirHandle.h"

#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace Veltor {

// Which stamp the first age limit of a rule is measured on.
enum FileStamp : int { LastAccess = 0, LastWrite = 1 };

class OldFilesRemover {
public:
    // Directory path -> rule line "pattern, maxAgeHours, unreadAgeHours, stamp". Rules of one directory
    // keep their insertion order.
    using RuleTable = std::multimap<std::string, std::string>;
    using NameSet = std::set<std::string>;
    using Pieces = std::vector<std::string>;
    using PatternList = std::list<std::string>;
    // Day text -> the days that have job files to fold. The texts stay empty: each job file's record
    // goes straight from the file into its day's new log when that is written, so however large the
    // files are, no day's records are ever held in memory together.
    using JobsByDate = std::map<std::string, std::string>;
    // Current time in seconds since 1970-01-01 00:00:00 UTC.
    using Clock = std::function<std::int64_t()>;

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

    // The age decision on stamps in seconds since 1970: older than the limit on the selected stamp and,
    // when not read since its last write, older than the unread age too. A future value of the selected
    // stamp keeps the file; a future value of the other one does not.
    static bool isOld(std::int64_t current, std::int64_t accessed, std::int64_t written,
                      std::uint64_t maxAgeSeconds, std::uint64_t unreadAgeSeconds, int stamp);
    // Age test and removal of one file; true when the file was judged old and its removal attempted.
    bool removeIfOld(const std::string& path, std::uint64_t maxAgeSeconds, std::uint64_t unreadAgeSeconds,
                     int stamp);
    // hours * 3600 in 64 bits; a negative count ends the process with status 1.
    static std::int64_t hoursToSeconds(std::int64_t hours);
    void removeOldFilesByPatterns(const std::string& dir, const PatternList& patterns,
                                  std::int64_t maxAgeHours, std::int64_t unreadAgeHours, int stamp);

    void removeIfInDateRange(const std::string& path, const Pieces& range, std::int64_t time);
    void removeInDateRange(const std::string& dir, const std::string& dateRange, const std::string& pattern,
                           std::int64_t time);
    void removeInDateRangeByPatterns(const std::string& dir, const std::string& dateRange,
                                     const PatternList& patterns);
    // Local midnight at the start of a "YYYY-MM-DD" day in seconds since 1970; an invalid date ends the
    // process with status 1.
    static std::int64_t parseDate(const std::string& text);
    static bool isValidDate(const std::string& text);

    // Breadth-first; never descends into links. False (and `out` untouched) when `dir` is no directory.
    bool listFilesRecursive(const std::string& dir, const std::string& pattern, NameSet& out);

    bool removeIfDangling(const std::string& lockPath);
    // Reads the time a web session recorded inside its file; false (with a message) when there is none.
    bool readSessionTime(const std::string& path, std::int64_t& time);
    void removeEmptySubdirectories(const std::string& dir);
    static bool isDatedLogName(std::string_view name);

    // Local calendar day of a time in seconds since 1970: year, month without and day with a leading zero.
    static std::string formatDate(std::int64_t time, char separator);
    // Judges the job files of the finished-jobs directory and sorts those to fold by day, reporting
    // those that cannot be read, are too large or could not be deleted afterwards.
    JobsByDate readJobFiles(NameSet files);
    // Writes the log of each day, streaming the records of that day's job files into it, and deletes
    // the job files whose records are on disk and that did not change since they were read.
    void writeJobLogs(JobsByDate jobsByDate);

    // Writes the two texts to standard output, no newline added.
    static void write(const std::string& first, const std::string& second = std::string());

    // State left by the last operation.
    const std::string& currentPath() const { return currentPath_; }

    // The report patterns in the order they are applied: "top_0_*" endings, then "top_*_*_*" endings.
    static const PatternList& firstReportPatterns();
    static const PatternList& secondReportPatterns();

protected:
    // Current time in seconds since 1970 UTC.
    std::int64_t now() const;

private:
    using DirHandle = VeltorPlatform::DirHandle;
    using EntryInfo = VeltorPlatform::EntryInfo;
    using Judge = Remover::Judge;
    ActionReport& report() const { return plan_.report(); }
    // The directory to clean as the run's plan opened it. False when it is missing or refused; a
    // refusal is reported once per run and path, naming the entry the way stopped at, and counts as a
    // failure of the run.
    bool openDir(const std::string& dir, DirHandle& out, bool* missing = nullptr);
    void removeEmptySubdirectories(const DirHandle& dir);
    // One pass over the entries of `dir` matching `pattern`: each non-directory is judged on the status
    // just read and goes at once, as find -delete does. `last` ends at the greatest name seen. `left` is
    // told the name of every other non-directory the pass leaves in place: not matching, kept or not
    // removable.
    void removeListed(const DirHandle& dir, const std::string& pattern, const Judge& judge,
                      RemoverText::LastName& last, std::size_t* seen = nullptr,
                      const std::function<void(const std::string&, bool)>& done = nullptr,
                      const std::function<void(std::string_view)>& left = nullptr);
    // One line of a rule table.
    struct AgeRule {
        std::string pattern;
        std::int64_t maxAgeHours = 0;
        std::int64_t unreadAgeHours = 0;
        int stamp = LastWrite;
    };
    // The rules of one directory in their order, on one listing of it (see removeByRules).
    void removeByRulesOf(const std::string& dir, const std::vector<AgeRule>& rules);
    // Under --why: a cleaning of `dir` applies this age rule.
    void watchRule(const DirHandle& handle, const std::string& dir, const std::string& pattern,
                   std::uint64_t maxAge, std::uint64_t unreadAge, int stamp);
    // The verdict of an age rule; on either outcome `why` holds the numbers it decided on.
    Judge ageJudge(std::uint64_t maxAgeSeconds, std::uint64_t unreadAgeSeconds, int stamp) const;
    // An age rule in words, as --why shows it: "last write older than 48 h, and if never read ...".
    static std::string ageRule(std::uint64_t maxAgeSeconds, std::uint64_t unreadAgeSeconds, int stamp);
    // Names of `dir` matching `pattern`, non-directories only, sorted.
    static void listNames(const DirHandle& dir, const std::string& pattern, NameSet& out);
    static std::string pathOf(const DirHandle& dir, const std::string& name) {
        return Remover::pathOf(dir, name);
    }
    void removeInDateRange(const DirHandle& dir, const std::string& name, const Pieces& range,
                           std::int64_t time);
    bool removeIfDangling(const DirHandle& dir, const std::string& lock);
    // Reads the first bytes of a session file, never through a link or from anything but a regular file.
    bool readSessionTime(const DirHandle& dir, const std::string& name, std::int64_t& time, EntryInfo& read);
    // Depth-first below `dir`, one open directory per level, links never entered.
    // `entered` is told of each directory as the walk enters it.
    void walk(const DirHandle& dir,
              const std::function<void(const DirHandle&, const VeltorPlatform::ListedEntry&)>& visit,
              const std::function<void(const DirHandle&)>& entered = nullptr);
    // DateTime milliseconds (origin 1899-12-31) to seconds since 1970.
    static std::int64_t toSeconds(std::int64_t dateTimeMs);
    static int clampToInt(std::int64_t value);
    void setCurrentPath(const std::string& dir, const std::string& name);
    // A job file to fold: its name and its status when it was judged, so that only that very file,
    // unchanged, is read and deleted.
    struct JobFile {
        std::string name;
        EntryInfo read;
    };
    // Writes one day's log and deletes the job files folded into it; a dry run only tells of it.
    void foldDay(const std::string& day);
    // Opens the day log `logName` to copy from, when there is one. False, with a message, when the day
    // has to wait.
    bool openDayLog(const std::string& logName, const std::string& logPath, VeltorPlatform::FileHandle& log,
                    EntryInfo& info, bool& exists);
    // Reads the record of `job` into `record`; false, with a message where it is a failure, when the
    // file cannot be read or is no longer the file that was judged.
    bool readJob(const JobFile& job, std::string& record);
    // Deletes the folded job files that are still as they were read; what was added to one at the very
    // moment of its deletion is put back under a job file's name.
    void removeFolded(const std::vector<const JobFile*>& folded, const std::string& logPath);
    bool removeUnchanged(const JobFile& job, const std::string& logPath, VeltorPlatform::FileHandle& held);
    void putBack(const JobFile& job, VeltorPlatform::FileHandle& held);
    // Removes temporary day logs that runs killed more than an hour ago left behind.
    void removeLeftovers();

    // A remover made without a plan runs one of its own.
    std::unique_ptr<ActionReport> ownReport_;
    std::unique_ptr<CleaningPlan> ownPlan_;
    CleaningPlan& plan_;
    Remover remover_;
    std::string currentPath_;
    std::string jobPath_; // the job file a message names, reused
    std::string jobsDirectory_;
    NameSet listing_;
    std::multimap<std::string, JobFile> jobFilesByDate_;
    DirHandle jobsDir_;
    std::string root_; // what names below the directory being cleaned are shown relative to
    Clock clock_;
    std::string sessionText_; // reused for every session file read
};

} // namespace Veltor
