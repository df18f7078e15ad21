// What a run tells of each file it removes or folds: nothing (the plain run), a preview that changes
// nothing (--dry-run) or a report of what was done (--list), each action with its reason, and a closing
// summary. The engine hands over the facts; the texts are made here only, so a preview and a report of
// the same tree can never disagree.
#pragma once
#include "platform/DirHandle.h"

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace Veltor {

// Why a file or directory goes. The numbers are what the rule compared.
struct Reason {
    enum Kind {
        Age,            // a stamp older than its limit
        NeverRead,      // not read since written, older than the unread limit
        DanglingLock,   // the lock's owner is gone
        LockShortcut,   // the shortcut of a dangling lock
        SessionExpired, // the time recorded in a web session
        DatedLog,       // a dated log by its last write
        InDateRange,    // a last write (or recorded time) within a date range
        EmptyDirectory, // an empty directory
        Folded,         // a job file whose record is in its day's log (detail: the log)
        // Why a file stays, as --why tells it.
        Young,         // the judged stamp is within its limit
        UnreadYoung,   // never read since written, within the unread limit
        FutureStamp,   // the judged stamp lies in the future
        NoStamp,       // the stamps could not be read
        NotDated,      // a log whose name carries no date
        LockInUse,     // the lock's owner is there
        SessionYoung,  // the time recorded in a web session is within its limit
        SessionNoTime, // a web session file that holds no time
        NotEmpty,      // a subdirectory that holds something
        JobWaits,      // a job file written less than a minute ago (ageSeconds: how long ago)
        Leftover,      // a temporary file of a run that was killed, by its last write
    };
    Kind kind = Age;
    bool lastAccess = false;     // Age: judged on the last access, else the last write
    std::int64_t ageSeconds = 0; // how old the judged stamp is
    std::int64_t limitSeconds = 0;
    std::string detail; // DanglingLock: the owner that is missing; LockShortcut: the lock; InDateRange: "A B"
    // The stamps an age rule judged, in seconds since 1970 (when `stamped`), with the time of judging
    // and the limit for files never read since written (0: none).
    bool stamped = false;
    std::int64_t written = 0;
    std::int64_t accessed = 0;
    std::int64_t judgedAt = 0;
    std::int64_t ruleLimitSeconds = 0;
    std::int64_t unreadLimitSeconds = 0;

    static Reason age(bool lastAccess, std::int64_t ageSeconds, std::int64_t limitSeconds);
    static Reason of(Kind kind, std::int64_t ageSeconds = 0, std::int64_t limitSeconds = 0,
                     std::string detail = std::string());
};

class ActionReport {
public:
    enum class Mode { Quiet, DryRun, List, Why };

    void setMode(Mode mode);
    Mode mode() const { return mode_; }
    // Nothing may change in the file system.
    bool dryRun() const { return mode_ == Mode::DryRun || mode_ == Mode::Why; }
    bool why() const { return mode_ == Mode::Why; }
    void reset();

    // One line each (nothing in the quiet mode).
    void removed(const std::string& path, const Reason& reason, std::uint64_t bytes, bool directory);
    void kept(const std::string& path);
    void failed(const std::string& path, std::uint32_t error);
    void folded(const std::string& jobFile, const std::string& dayLog);
    // A message of the engine, its names already made printable: printed as given in the quiet mode,
    // and under --list and --dry-run always on a line of its own. With `failure` it tells of something
    // the run meant to do and could not (a directory not cleaned, a day not folded, a job file not read
    // or deleted, the jobs lock not had): counted as failed, and the run ends with status 7.
    void message(const std::string& text, bool failure);
    // A dry run read the file `path` but could not keep its last access as it was (the system allows
    // that to the owner and root only). Said once per run, naming the first such file; no failure.
    void accessTimeMoved(const std::string& path);
    // Something the run meant to do failed, in any mode: the run ends with status 7.
    bool anyFailure() const { return failures_ != 0; }
    // The closing summary line (nothing in the quiet mode).
    void summary();

    // --why: the one entry explained, `name` in the directory whose identity `dir` gives; `shown` is
    // the path as the administrator gave it.
    void setFocus(const VeltorPlatform::EntryInfo& dir, const std::string& name,
                  const VeltorPlatform::EntryInfo& entry, const std::string& shown);
    // A cleaning opened `dir` and applies `rule` (its description) with `patterns` to it: under --why,
    // when `dir` holds the entry explained, the rule is told and whether the name matches. True when
    // the cleaning is going to judge the entry explained.
    bool watch(const VeltorPlatform::DirHandle& dir, const std::string& rule,
               const std::vector<std::string>& patterns);
    // The entry `path` was judged and stays, for `reason` (under --why only, for the entry explained).
    void stays(const std::string& path, const Reason& reason);
    // The block of --why: the verdict, then what each cleaning that looks at the directory said.
    void explanation();
    // "2026-12-05 03:10": a moment in local time, to the minute.
    static std::string localMinute(std::int64_t seconds);

    // The reason as the lines show it, e.g. "last write 50 h ago, limit 48 h".
    static std::string describe(const Reason& reason);
    // An age or limit: whole hours below ten days, whole days from then on.
    static std::string duration(std::int64_t seconds);
    // A path or name made printable on one line: control characters and bytes that are no UTF-8 text
    // are written as escapes ("\n", "\t", "\r", "\xHH").
    static std::string printable(const std::string& text);

    std::uint64_t filesRemoved() const { return files_; }
    std::uint64_t bytesRemoved() const { return bytes_; }
    std::uint64_t jobFilesFolded() const { return jobFiles_; }
    std::uint64_t dayLogsWritten() const { return dayLogs_.size(); }
    std::uint64_t filesFailed() const { return failed_; }

private:
    void line(const std::string& text);

    Mode mode_ = Mode::Quiet;
    std::uint64_t files_ = 0;
    std::uint64_t directories_ = 0;
    std::uint64_t bytes_ = 0;
    std::uint64_t jobFiles_ = 0;
    std::uint64_t kept_ = 0;
    std::uint64_t failed_ = 0;
    std::uint64_t failures_ = 0; // counted in every mode, also the quiet one
    bool accessTimeNoted_ = false;

    // --why.
    struct Focus {
        std::uint64_t volume = 0;
        std::uint64_t fileId = 0;
        std::string name;
        std::string shown;
        std::set<std::string> paths; // the entry as the cleanings name it
        std::string verdict;
        std::vector<std::string> lines;
        std::vector<std::string> patterns; // of the cleanings whose patterns the name misses
        std::set<std::string> directories; // every directory a cleaning opened
        std::set<std::pair<std::uint64_t, std::uint64_t>> cleaned; // and their identities
        bool isDirectory = false;
        std::pair<std::uint64_t, std::uint64_t> identity;
        std::vector<std::string> refusals;
        bool watched = false;
        bool matched = false;
        bool acted = false; // the verdict removes or folds
    };
    Focus focus_;
    bool isFocus(const std::string& path) const { return focus_.paths.count(path) != 0; }
    void decide(const std::string& verdict, const Reason* reason);
    std::set<std::string> dayLogs_;
};

} // namespace Veltor
