// What happened in a run, as values: every cleaning tells the report what it did, met or decided in one
// of these, and every line, count and exit status is made from them in one place. Whether an event is
// a failure of the run follows from its type alone (isFailure), never from what a caller remembers.
#pragma once
#include "platform/DirHandle.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace Veltor {

// Why a file or directory goes, or stays. The numbers are what the rule compared.
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
        Leftover,       // a temporary file of a run that was killed, by its last write
        // Why a file stays.
        Young,         // the judged stamp is within its limit
        UnreadYoung,   // never read since written, within the unread limit
        FutureStamp,   // the judged stamp lies in the future
        NoStamp,       // the stamps could not be read
        NotDated,      // a log whose name carries no date
        LockInUse,     // the lock's owner is there
        SessionYoung,  // the time recorded in a web session is within its limit
        SessionNoTime, // a web session file that holds no time
        OutOfRange,    // a last write (or recorded time) outside the date range
        NotEmpty,      // a subdirectory that holds something
        LeftoverYoung, // a temporary day log that a run may still be writing
        NotLeftover,   // a name like a temporary day log's that no run of this program writes
        JobWaits,      // a job file written less than a minute ago (ageSeconds: how long ago)
        HeldOpen,      // a job file another process holds open
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
    // The kinds that make an entry go.
    bool removes() const { return kind <= Leftover; }
};

// What a judge decided about one entry.
struct Verdict {
    bool goes = false;
    Reason why;
};

enum class EventType {
    // An entry.
    Removed, // removed; in a preview: would be removed
    Kept,    // old, but read-only: it stays
    Failed,  // the system refused its removal (in a preview: would refuse it)
    Folded,  // a job file folded into its day log (`other`) and deleted
    Stays,   // judged, and stays (told to --why only)
    Waits,   // a job file that waits for a later run
    // What kept the folding of finished jobs from part of its work.
    NotRead,    // a job file that cannot be read
    NotFolded,  // a job file or a day that waits (problem says why)
    NotDeleted, // a job file that cannot be deleted (problem: before or after its day log was written)
    NotPutBack, // a job file written to while it was deleted, whose new lines could not be put back
    // Directories.
    NotCleaned,        // a directory the run meant to clean and did not (problem says why)
    DirectoryEmpty,    // the report directory the first pattern list emptied
    InvalidDirectory,  // the license-status directory is missing
    SessionUnreadable, // a web-session file without a time to judge: it stays
    RegistryRefused,   // a registry value nothing may be derived from (`path`: the line's text)
    // The run itself.
    AccessTimeMoved,   // a preview read a file and could not keep its last access
    LeasesUnavailable, // job files are held by the slower way (the file system refuses leases)
    LogNotWritten,     // the --log file could not be opened or written
    MetricsNotWritten, // the --metrics file could not be written
};

enum class Problem {
    None,
    // NotFolded
    TooLarge,     // a job file over 16 MiB
    DayLogLink,   // the day log is a link or not a plain file
    DayLogSparse, // the day log is sparse
    NoSpace,      // the day's copy would not fit
    DayLogFailed, // the day log could not be created or written
    LockNotHad,   // the lock of the finished jobs (`other`: what the lock said)
    // NotDeleted
    RecordWaits, // found before folding: its record waits for a later run
    RecordInLog, // found after folding: its record is in the day log (`other`)
    // NotCleaned
    CannotOpen,       // opening or listing it failed (`error`)
    NotADirectory,    // something else stands there
    UntrustedLink,    // a link in a directory others can write
    TooManyLinks,     // a loop of links
    TooDeep,          // deeper than a walk goes
    LinkLeadsNowhere, // an administrator's link whose target is gone
    RegistryMissing,  // the registry names it, but it is not there
    // LogNotWritten
    IsALink,      // the log's name is a link
    NotAFile,     // the log's name is something else than a regular file
    UntrustedDir, // others may write the log's directory
    WriteFailed,  // a write failed (`error`)
};

// The cleanings of a run, as the metrics count them apart.
enum class Cleaning { None, Rules, DatedLogs, Locks, WebReports, Sessions, LicenseStatus, JobFolding };

// One event. An entry is named by the open directory that holds it and its name: the path is made only
// where a line shows it. `shown` replaces that path where the cleaning names the entry otherwise (the
// finished jobs directory as given, '/', the name).
struct Event {
    EventType type = EventType::Stays;
    Problem problem = Problem::None;
    const VeltorPlatform::DirHandle* dir = nullptr;
    std::string_view name;
    const std::string* shown = nullptr;
    const std::string* other = nullptr; // the day log of a folding, or a lock's own words
    const VeltorPlatform::EntryInfo* entry = nullptr;
    Reason reason;
    std::uint32_t error = 0;
    std::uint64_t bytes = 0;
    bool directory = false;
    Cleaning cleaning = Cleaning::None; // filled in by the report

    // The path the lines show.
    std::string path() const;
    // The same, appended to `out`: a buffer used again for every event makes no string of its own.
    void pathInto(std::string& out) const;
    // An event of `type` about the entry `name` of `dir` (or the path `shown`).
    static Event of(EventType type, const VeltorPlatform::DirHandle* dir = nullptr,
                    std::string_view name = {}, const std::string* shown = nullptr);
    static Event named(EventType type, const std::string* shown) { return of(type, nullptr, {}, shown); }
};

// Something the run meant to do and did not: the run ends with status 7.
bool isFailure(const Event& event);

} // namespace Veltor
