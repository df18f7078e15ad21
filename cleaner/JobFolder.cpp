#include "JobFolder.h"

#include "JobFiles.h"

#include "Engine.h"
#include "ProcessLock.h"
#include "Wildcard.h"
#include "platform/Process.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace Veltor {

using VeltorCorelib::matchWildcard;
using VeltorPlatform::DirHandle;
using VeltorPlatform::EntryInfo;
using VeltorPlatform::EntryKind;
using VeltorPlatform::FileHandle;
namespace FsError = VeltorPlatform::FileSystemError;
using namespace JobFiles;

namespace {

// How long a run waits for another run's concatenation of the same directory.
constexpr std::uint64_t kJobsLockWaitMs = 30000;
// A new day log's mode when there is no earlier one to take it from.
constexpr unsigned kDayLogMode = 0640;
// A job record is a few lines. A larger file is no record of a job; folding it would only cost memory
// and disk: it stays where it is.
constexpr std::uint64_t kJobFileLimit = 16 * 1024 * 1024;
// The records kept in memory between reading the job files and writing their day logs; the rest are
// read again when their day is written.
constexpr std::uint64_t kRecordBudget = 64 * 1024 * 1024;
// The day's copy must fit into the free space with this share of its size to spare (1/20: 5 %).
constexpr std::uint64_t kSpareDivisor = 20;
// The longest name the file systems take, in bytes.
constexpr std::size_t kMaxName = 255;
// Where leases cannot be had: deleted job files held open at once, and how long they are held; a write
// begun just before the deletion has reached the file by then.
constexpr std::size_t kHeldAtOnce = 64;
constexpr unsigned kLateWriteMs = 20;

} // namespace

JobFolder::JobFolder(CleaningContext& context) : context_(context) {}

void JobFolder::tell(EventType type, Problem problem, const std::string& name, std::uint32_t error,
                     const std::string* other, const Reason& why) {
    const std::string path = shown(name);
    Event event;
    event.type = type;
    event.problem = problem;
    event.dir = &dir_;
    event.name = name;
    // What waits is named as the directory names its entries, as every verdict of --why is.
    event.shown = type == EventType::Waits ? nullptr : &path;
    event.other = other;
    event.error = error;
    event.reason = why;
    context_.report().tell(event);
}

bool JobFolder::open(const std::string& dir) {
    dirShown_ = dir;
    const TrustedDirs::Opened* opened = context_.plan.toClean(dir);
    if (opened == nullptr)
        return false;
    dir_ = opened->dir;
    ActionReport& report = context_.report();
    if (report.why())
        report.explanation().watch(
            dir_,
            ReportText::printable(dir) +
                " job-*.spec: finished jobs, folded into their day's log; .jobs-*.tmp: "
                "what an interrupted run left, after an hour",
            {"job-*.spec", ".jobs-*.tmp"});
    return true;
}

void JobFolder::fold(const std::string& dir) {
    if (!open(dir))
        return;
    // One listing for the leftovers of killed runs and the job files.
    std::vector<std::string> names;
    if (!context_.pass.names(
            dir_,
            [](std::string_view name) {
                return matchWildcard(name, "job-*.spec") || matchWildcard(name, ".jobs-*.tmp");
            },
            names))
        return;
    std::vector<std::string> leftovers;
    std::vector<std::string> jobs;
    for (std::string& name : names)
        (name[0] == '.' ? leftovers : jobs).push_back(std::move(name));
    removeLeftovers(leftovers);
    if (jobs.empty())
        return;
    // A dry run changes nothing, a lock file included; what it reads without the lock it only shows.
    if (context_.report().dryRun()) {
        writeJobLogs(readJobFiles(jobs));
        return;
    }
    // Two runs started together would both read the same job files and write every record twice. The
    // first run to take the directory's lock does the work; another waits a while for it and then finds
    // the files gone, or leaves them to that run.
    VeltorCorelib::ProcessLock lock("sorvik-finished-jobs:" + dir);
    bool locked = false;
    try {
        locked = lock.lock(kJobsLockWaitMs);
    } catch (const VeltorCorelib::Exception&) {
        locked = false;
    }
    if (!locked) {
        // Another run holds it, or the lock was refused (a lock file planted by someone else): either
        // way the job files wait for a later run, and the administrator hears of it.
        const std::string detail = lock.lastErrorDetail();
        Event event = Event::of(EventType::NotFolded);
        event.problem = Problem::LockNotHad;
        event.shown = &dir;
        event.other = &detail;
        context_.report().tell(event);
        return;
    }
    writeJobLogs(readJobFiles(jobs));
    lock.unlock();
}

void JobFolder::removeLeftovers(const std::vector<std::string>& names) {
    const std::int64_t current = context_.now();
    for (const std::string& name : names) {
        EntryInfo info;
        if (context_.pass.lookup(dir_, name, info) != FsError::Success)
            continue;
        const Verdict verdict = Judges::leftover(name, info, current);
        if (verdict.goes) {
            context_.remover.remove(dir_, name, info, verdict.why, Remover::Judged::JustNow);
        } else if (context_.report().wantsStays()) {
            Event event = Event::of(EventType::Stays, &dir_, name);
            event.reason = verdict.why;
            context_.report().tell(event);
        }
    }
}

std::uint32_t JobFolder::openJob(const std::string& name, FileHandle& file, bool& leased) {
    // Only the preview has to leave the last access as it was: the run deletes what it reads. Where the
    // system puts the stamp back afterwards (Windows), that would also move the change time that tells
    // whether the file changed.
    const bool keep = context_.report().dryRun();
    leased = false;
    if (leases_) {
        const std::uint32_t opened = file.openExclusive(dir_, name, keep);
        if (opened != FsError::NotSupported) {
            leased = opened == FsError::Success;
            return opened;
        }
        // Said once a run: without leases a writer that keeps the file open is not seen, and a line it
        // adds at the moment of the deletion is put back instead.
        leases_ = false;
        Event event = Event::of(EventType::LeasesUnavailable, &dir_, {}, &dirShown_);
        event.error = opened;
        context_.report().tell(event);
    }
    return file.openRead(dir_, name, keep);
}

JobFolder::Days JobFolder::readJobFiles(const std::vector<std::string>& names) {
    Days days;
    const std::int64_t current = context_.now();
    std::uint64_t kept = 0;
    std::string record;
    for (const std::string& name : names) {
        JobFile job{name, EntryInfo(), std::string(), false};
        const std::uint32_t looked = dir_.lookup(name, job.read);
        // Gone since the listing: another run folded it.
        if (looked == FsError::FileNotFound)
            continue;
        // Only a plain file of its own: a link or a second name of another file could hand us
        // something from outside to copy into a log. It is not deleted: the next run tries it again.
        if (looked != FsError::Success || job.read.kind != EntryKind::File || job.read.linkCount != 1 ||
            job.read.lastWriteMs == 0) {
            tell(EventType::NotRead, Problem::None, name);
            continue;
        }
        const Verdict settled = Judges::jobSettled(job.read, current);
        if (!settled.goes) {
            tell(EventType::Waits, Problem::None, name, 0, nullptr, settled.why);
            continue;
        }
        if (job.read.size > kJobFileLimit) {
            tell(EventType::NotFolded, Problem::TooLarge, name);
            continue;
        }
        // A file that cannot be deleted would add its record again on every run: it stays out of the log.
        if (const std::uint32_t error = dir_.removable(name, job.read)) {
            if (error == FsError::SharingViolation)
                tell(EventType::Waits, Problem::None, name, 0, nullptr, Reason::of(Reason::HeldOpen));
            else if (error != FsError::FileNotFound)
                tell(EventType::NotDeleted, Problem::RecordWaits, name, error);
            continue;
        }
        if (!readJob(job, record))
            continue;
        // Kept for the writing where it fits into the run's budget, read again there otherwise.
        if (kept + record.size() <= kRecordBudget) {
            kept += record.size();
            job.record.swap(record);
            job.kept = true;
        }
        days[Engine::formatDate(job.read.lastWriteMs / 1000, '-')].push_back(std::move(job));
    }
    return days;
}

bool JobFolder::readJob(JobFile& job, std::string& record) {
    ActionReport& report = context_.report();
    FileHandle file;
    bool leased = false;
    const std::uint32_t opened = openJob(job.name, file, leased);
    // Held open by another process: the scheduler is not done with it. Gone: another run folded it.
    if (opened == FsError::SharingViolation) {
        tell(EventType::Waits, Problem::None, job.name, 0, nullptr, Reason::of(Reason::HeldOpen));
        return false;
    }
    if (opened == FsError::FileNotFound)
        return false;
    EntryInfo before;
    EntryInfo after;
    std::uint64_t bytes = 0;
    if (opened != FsError::Success || file.info(before) != FsError::Success) {
        tell(EventType::NotRead, Problem::None, job.name);
        return false;
    }
    // Changed since it was judged: its day or size may be another now. A later run folds it.
    if (!unchanged(before, job.read))
        return false;
    if (report.dryRun() && !file.accessTimeKept())
        tell(EventType::AccessTimeMoved, Problem::None, job.name);
    if (!readRecord(file, kJobFileLimit, record, bytes)) {
        tell(bytes > kJobFileLimit ? EventType::NotFolded : EventType::NotRead,
             bytes > kJobFileLimit ? Problem::TooLarge : Problem::None, job.name);
        return false;
    }
    // Written to while it was read: the record may be cut short. It waits for a later run.
    return file.info(after) == FsError::Success && unchanged(after, job.read) && bytes == job.read.size;
}

void JobFolder::writeJobLogs(Days days) {
    for (auto& day : days)
        foldDay(day.first, day.second);
}

bool JobFolder::openDayLog(const std::string& logName, FileHandle& log, EntryInfo& info, bool& exists) {
    const bool dryRun = context_.report().dryRun();
    std::uint32_t found = dir_.lookup(logName, info);
    // An earlier version of this program that stopped between two renames left the log under its old name.
    const std::string previous = logName + ".old";
    EntryInfo old;
    if (found == FsError::FileNotFound && !dryRun && dir_.lookup(previous, old) == FsError::Success &&
        old.kind == EntryKind::File && dir_.rename(previous, logName) == FsError::Success)
        found = dir_.lookup(logName, info);
    exists = found == FsError::Success;
    if (found == FsError::FileNotFound)
        return true;
    // A link (or a second name of another file) in the log's place: that day waits, untouched.
    if (exists && (info.kind == EntryKind::Link || (info.kind == EntryKind::File && info.linkCount != 1))) {
        tell(EventType::NotFolded, Problem::DayLogLink, logName);
        return false;
    }
    // Opened in the dry run too, though it is never read there: what cannot be opened stops the day.
    if (!exists || log.openRead(dir_, logName) != FsError::Success || log.info(info) != FsError::Success ||
        info.linkCount != 1) {
        tell(EventType::NotFolded, Problem::DayLogFailed, logName);
        return false;
    }
    // Copying a sparse log would write all its holes out as data: a few blocks could fill the disk.
    if (info.sparse) {
        tell(EventType::NotFolded, Problem::DayLogSparse, logName);
        return false;
    }
    return true;
}

void JobFolder::foldDay(const std::string& day, std::vector<JobFile>& files) {
    const std::string logName = "jobs-" + day + ".log";
    const std::string logShown = shown(logName);
    FileHandle in;
    EntryInfo log;
    bool hadLog = false;
    if (!openDayLog(logName, in, log, hadLog))
        return;
    // The new log holds the old one and the new records, each at most its job file's size and CR LF,
    // until the rename frees the old one. When that does not fit with room to spare, the day waits.
    std::uint64_t needed = hadLog ? log.size : 0;
    for (const JobFile& job : files)
        needed += job.read.size + 2;
    std::uint64_t free = 0;
    if (dir_.freeSpace(free) == FsError::Success && needed + needed / kSpareDivisor > free) {
        tell(EventType::NotFolded, Problem::NoSpace, logName);
        return;
    }
    if (context_.report().dryRun()) {
        // The records were read as the run reads them, so the preview met the same files.
        for (const JobFile& job : files)
            context_.remover.removeFolded(dir_, job.name, job.read, nullptr, false, shown(job.name),
                                          logShown);
        return;
    }
    // The new log is written completely under a fresh name, made durable, and only then takes the log's
    // name by one rename: a failure at any point leaves the log as it was.
    FileHandle out;
    std::string fresh;
    std::vector<const JobFile*> folded;
    std::string record;
    bool written = true;
    for (JobFile& job : files) {
        // Changed since its record was read: the record is not the file's any more. It stays, out of
        // the log, and a later run folds it whole.
        EntryInfo now;
        if (job.kept && (dir_.lookup(job.name, now) != FsError::Success || !unchanged(now, job.read)))
            continue;
        if (!job.kept && !readJob(job, record))
            continue;
        const std::string& text = job.kept ? job.record : record;
        if (!out.isOpen()) {
            // Only we can read it until it is complete; then it gets who may read the log.
            if (createFresh(dir_, "." + logName + ".", ".tmp", hadLog ? 0600 : kDayLogMode, out, fresh) !=
                FsError::Success) {
                fresh.clear(); // a name we did not create is never removed
                written = false;
                break;
            }
            written = !hadLog || copyRest(in, out, log.size);
        }
        written = written && out.write(text.data(), text.size()) == FsError::Success;
        std::string().swap(job.record);
        folded.push_back(&job);
        if (!written)
            break;
    }
    std::string().swap(record); // up to 16 MiB: not kept for the next day
    // A day whose job files all failed or changed writes nothing.
    if (written && !out.isOpen())
        return;
    if (written) {
        // The suite's account must still read its job history: a replaced log keeps its owner, group and
        // mode, a new one belongs to the directory's owner and group. A run that is not root keeps what
        // it writes as its own: no failure, it could write the log anyway.
        const std::uint32_t adopted = hadLog ? out.adoptSecurityOf(in) : out.adoptOwnerOf(dir_);
        written = adopted == FsError::Success || adopted == FsError::AccessDenied;
    }
    in.close();
    written = written && out.sync() == FsError::Success;
    written = out.close() == FsError::Success && written;
    if (!written || dir_.rename(fresh, logName) != FsError::Success || dir_.sync() != FsError::Success) {
        if (!fresh.empty())
            dir_.removeFile(fresh);
        tell(EventType::NotFolded, Problem::DayLogFailed, logName);
        return;
    }
    removeFolded(folded, logShown);
}

void JobFolder::removeFolded(const std::vector<const JobFile*>& folded, const std::string& logShown) {
    // With a lease (Windows: no sharing) the file is deleted only while nobody else has it open. Where
    // an open of it began meanwhile, and everywhere leases cannot be had, the deleted file is held open
    // for a moment after: a writer that opened it just before its deletion has written by then, into
    // the held file, and what it wrote is put back.
    std::vector<std::pair<const JobFile*, FileHandle>> held;
    auto release = [&] {
        if (held.empty())
            return;
        VeltorPlatform::sleepMs(kLateWriteMs);
        for (auto& entry : held)
            putBack(*entry.first, entry.second);
        held.clear();
    };
    for (const JobFile* job : folded) {
        FileHandle file;
        bool leased = false;
        const std::uint32_t opened = openJob(job->name, file, leased);
        if (opened == FsError::SharingViolation) {
            tell(EventType::Waits, Problem::None, job->name, 0, nullptr, Reason::of(Reason::HeldOpen));
            continue;
        }
        if (opened == FsError::FileNotFound)
            continue; // somebody else removed it: its record is in the log all the same
        EntryInfo now;
        const std::uint32_t error = opened != FsError::Success ? opened : file.info(now);
        if (error != FsError::Success) {
            tell(EventType::NotDeleted, Problem::RecordInLog, job->name, error, &logShown);
            continue;
        }
        // Changed since its record was read: it stays, and a later run folds it again, at least once.
        if (!unchanged(now, job->read))
            continue;
        if (!context_.remover.removeFolded(dir_, job->name, job->read, &file, leased, shown(job->name),
                                           logShown))
            continue;
        if (leased && !file.openedByOthers())
            continue;
        // Somebody's open waited for the lease, or nobody could tell: let it through, watch what it writes.
        if (leased)
            file.releaseExclusive();
        held.emplace_back(job, std::move(file));
        if (held.size() >= kHeldAtOnce)
            release();
    }
    release();
}

void JobFolder::putBack(const JobFile& job, FileHandle& held) {
    EntryInfo now;
    if (held.info(now) != FsError::Success ||
        (now.size == job.read.size && now.lastWriteMs == job.read.lastWriteMs))
        return;
    // Written to at the moment of its deletion: the whole file comes back as a job file of its own, its
    // earlier lines folded twice rather than its new ones lost. Under its own name where that is free,
    // else under a fresh one that still fits the file system: the stem is cut to make room.
    FileHandle back;
    std::string name = job.name;
    std::uint32_t restored = back.createNew(dir_, name, 0600);
    if (restored == FsError::AlreadyExists) {
        const std::string stem = name.substr(0, name.size() - 5) + "-";
        const std::size_t room = kMaxName - 2 * kRandomBytes - 5;
        restored = createFresh(dir_, cutName(stem, room), ".spec", 0600, back, name);
    }
    if (restored == FsError::Success) {
        const std::uint32_t adopted = back.adoptSecurityOf(held);
        restored = adopted == FsError::AccessDenied ? FsError::Success : adopted;
    }
    if (restored == FsError::Success &&
        (!copyRest(held, back, UINT64_MAX) || back.sync() != FsError::Success))
        restored = FsError::AccessDenied;
    if (back.isOpen() && back.close() != FsError::Success && restored == FsError::Success)
        restored = FsError::AccessDenied;
    if (restored != FsError::Success)
        tell(EventType::NotPutBack, Problem::None, job.name, restored);
}

} // namespace Veltor
