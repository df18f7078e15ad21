// What a run tells of each file it removes or folds: nothing (the plain run), a preview that changes
// nothing (--dry-run) or a report of what was done (--list), each action with its reason, and a closing
// summary. The engine hands over the facts; the texts are made here only, so a preview and a report of
// the same tree can never disagree.
#pragma once
#include <cstdint>
#include <set>
#include <string>

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
    };
    Kind kind = Age;
    bool lastAccess = false;     // Age: judged on the last access, else the last write
    std::int64_t ageSeconds = 0; // how old the judged stamp is
    std::int64_t limitSeconds = 0;
    std::string detail; // DanglingLock: the owner that is missing; LockShortcut: the lock; InDateRange: "A B"

    static Reason age(bool lastAccess, std::int64_t ageSeconds, std::int64_t limitSeconds);
    static Reason of(Kind kind, std::int64_t ageSeconds = 0, std::int64_t limitSeconds = 0,
                     std::string detail = std::string());
};

class ActionReport {
public:
    enum class Mode { Quiet, DryRun, List };

    // The one report of this run.
    static ActionReport& current();

    void setMode(Mode mode);
    Mode mode() const { return mode_; }
    // Nothing may change in the file system.
    bool dryRun() const { return mode_ == Mode::DryRun; }
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
    // Something the run meant to do failed, in any mode: the run ends with status 7.
    bool anyFailure() const { return failures_ != 0; }
    // The closing summary line (nothing in the quiet mode).
    void summary();

    // The reason as the lines show it, e.g. "last write 50 h ago, limit 48 h".
    static std::string describe(const Reason& reason);
    // An age or limit: whole hours below ten days, whole days from then on.
    static std::string duration(std::int64_t seconds);
    // A path or name made printable on one line: control characters and bytes that are no UTF-8 text
    // are written as escapes ("\n", "\t", "\r", "\xHH").
    static std::string printable(const std::string& text);

    std::uint64_t filesRemoved() const { return files_; }
    std::uint64_t directoriesRemoved() const { return directories_; }
    std::uint64_t bytesRemoved() const { return bytes_; }
    std::uint64_t jobFilesFolded() const { return jobFiles_; }
    std::uint64_t dayLogsWritten() const { return dayLogs_.size(); }
    std::uint64_t filesKept() const { return kept_; }
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
    std::set<std::string> dayLogs_;
};

} // namespace Veltor
