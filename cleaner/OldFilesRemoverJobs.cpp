// Concatenation of finished-job files into one log per day. Nothing may be lost on the way: a job file
// goes only after its record is safely on disk in its day's log, and only while it is still the file
// whose record that is. At least once, never lost: a run killed between writing a day log and deleting
// its job files folds those files again next time, and so does a run that finds a job file changed.
//
// Whoever can write the finished-jobs directory may also plant names, grow files or swap them while a
// run works: every step names one entry of the open directory, the work is bounded by what the files
// really hold, and what does not fit waits for a later run with a line that says why.
#include "OldFilesRemover.h"

#include "FsTools.h"
#include "ProcessLock.h"
#include "platform/Process.h"

#include <cctype>
#include <cstdint>
#include <string_view>
#include <vector>

namespace Veltor {

using VeltorFilelib::FsTools;
using VeltorPlatform::DirHandle;
using VeltorPlatform::EntryInfo;
using VeltorPlatform::EntryKind;
using VeltorPlatform::FileHandle;
namespace FsError = VeltorPlatform::FileSystemError;

namespace {

// How long a run waits for another run's concatenation of the same directory.
constexpr std::uint64_t kJobsLockWaitMs = 30000;
// A job file written this recently may still be being written by the scheduler: it waits for a later run.
constexpr std::int64_t kSettleSeconds = 60;
// A new day log's mode when there is no earlier one to take it from.
constexpr unsigned kDayLogMode = 0640;
// A job record is a few lines. A larger file is no record of a job; folding it would only cost memory
// and disk: it stays where it is.
constexpr std::uint64_t kJobFileLimit = 16 * 1024 * 1024;
// A temporary day log not written for this long belongs to no run still going: a killed run left it.
constexpr std::int64_t kLeftoverSeconds = 3600;
// The day's copy must fit into the free space with this share of its size to spare (1/20: 5 %).
constexpr std::uint64_t kSpareDivisor = 20;
// Random bytes in a temporary name: 16 hexadecimal characters nobody can foresee.
constexpr std::size_t kRandomBytes = 8;
// Deleted job files held open at once, and how long they are held: a write begun just before the
// deletion has reached the file by then.
constexpr std::size_t kHeldAtOnce = 64;
constexpr unsigned kLateWriteMs = 20;

// The record of one job file: its non-empty lines without carriage returns, joined by ';', then CR LF.
// Reads the file to its end, counting the bytes in `bytes`; false on a read error or beyond `limit`
// bytes (`bytes` then exceeds it).
bool readRecord(FileHandle& file, std::uint64_t limit, std::string& record, std::uint64_t& bytes) {
    record.clear();
    bytes = 0;
    char buffer[65536];
    bool lineOpen = false; // a non-empty line has begun and not ended
    bool first = true;
    std::size_t got = 0;
    for (;;) {
        if (file.read(buffer, sizeof buffer, got) != FsError::Success)
            return false;
        if (got == 0)
            break;
        bytes += got;
        if (bytes > limit)
            return false;
        for (std::size_t i = 0; i < got; ++i) {
            const char c = buffer[i];
            if (c == '\r')
                continue;
            if (c == '\n') {
                lineOpen = false;
                continue;
            }
            if (!lineOpen) {
                if (!first)
                    record += ';';
                first = false;
                lineOpen = true;
            }
            record += c;
        }
    }
    record += "\r\n";
    return true;
}

// `count` random bytes as hexadecimal text; empty when the system's random source failed.
std::string randomHex(std::size_t count) {
    static const char digits[] = "0123456789abcdef";
    unsigned char bytes[kRandomBytes];
    if (count > sizeof bytes || !VeltorPlatform::randomBytes(bytes, count))
        return std::string();
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text.append(1, digits[bytes[i] >> 4]).append(1, digits[bytes[i] & 0xF]);
    return text;
}

bool allOf(std::string_view text, int (*test)(int)) {
    if (text.empty())
        return false;
    for (const char c : text)
        if (test(static_cast<unsigned char>(c)) == 0)
            return false;
    return true;
}

// "A-B-C" with each part decimal digits.
bool isNumbers(std::string_view text, char separator, int parts) {
    for (int i = 1; i < parts; ++i) {
        const std::size_t at = text.find(separator);
        if (at == std::string_view::npos || !allOf(text.substr(0, at), isdigit))
            return false;
        text.remove_prefix(at + 1);
    }
    return allOf(text, isdigit);
}

// The name of a temporary day log: "." + day log name + "." + random part + ".tmp", the random part
// 16 hexadecimal digits, or process id and two counters as earlier versions of this program wrote it.
bool isTemporaryName(std::string_view name) {
    const std::string_view start = ".jobs-";
    const std::string_view end = ".tmp";
    if (name.size() <= start.size() + end.size() || name.substr(0, start.size()) != start ||
        name.substr(name.size() - end.size()) != end)
        return false;
    name = name.substr(start.size(), name.size() - start.size() - end.size());
    const std::size_t log = name.find(".log.");
    if (log == std::string_view::npos || !isNumbers(name.substr(0, log), '-', 3))
        return false;
    const std::string_view suffix = name.substr(log + 5);
    return (suffix.size() == 2 * kRandomBytes && allOf(suffix, isxdigit)) || isNumbers(suffix, '.', 3);
}

// Creates a file of a fresh random name "PREFIX" + random + "SUFFIX" in `dir`, exclusively: a name
// planted in advance is never written through, another one is drawn.
std::uint32_t createFresh(const DirHandle& dir, const std::string& prefix, const std::string& suffix,
                          unsigned mode, FileHandle& out, std::string& name) {
    std::uint32_t created = FsError::AlreadyExists;
    for (unsigned attempt = 0; attempt < 8 && created == FsError::AlreadyExists; ++attempt) {
        const std::string random = randomHex(kRandomBytes);
        if (random.empty())
            return FsError::AccessDenied;
        name = prefix + random + suffix;
        created = out.createNew(dir, name, mode);
    }
    return created;
}

// Whether the entry is still the one that was read: the same file, size, last write and status change.
// A rewrite to the same size with the last write set back still moves the status change time. Where a
// look-up cannot tell that time (0), the other three decide.
bool unchanged(const EntryInfo& now, const EntryInfo& read) {
    return now.sameEntryAs(read) && now.size == read.size && now.lastWriteMs == read.lastWriteMs &&
           (now.changeMs == read.changeMs || now.changeMs == 0 || read.changeMs == 0);
}

// Copies what is left to read of `from` to `to`, at most `limit` bytes: false on an error or when
// `from` holds more.
bool copyRest(FileHandle& from, FileHandle& to, std::uint64_t limit) {
    char buffer[65536];
    std::uint64_t copied = 0;
    std::size_t got = 0;
    for (;;) {
        if (from.read(buffer, sizeof buffer, got) != FsError::Success)
            return false;
        if (got == 0)
            return true;
        copied += got;
        if (copied > limit || to.write(buffer, got) != FsError::Success)
            return false;
    }
}

} // namespace

void OldFilesRemover::processFinishedJobs(const std::string& dir) {
    jobsDirectory_ = dir;
    // Entries of an earlier call must never lead to deleting files of this one.
    jobFilesByDate_.clear();
    jobsDir_.close();
    if (!openDir(dir, jobsDir_))
        return;
    report().watch(jobsDir_,
                   ActionReport::printable(dir) + " job-*.spec: finished jobs, folded into their day's log",
                   {"job-*.spec"});
    removeLeftovers();
    listNames(jobsDir_, "job-*.spec", listing_);
    if (listing_.empty())
        return;
    // A dry run changes nothing, a lock file included; what it reads without the lock it only shows.
    if (report().dryRun()) {
        writeJobLogs(readJobFiles(listing_));
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
        const std::string& detail = lock.lastErrorDetail();
        report().message("\nFinished jobs not folded: the lock of " + ActionReport::printable(dir) +
                             " could not be had" + (detail.empty() ? std::string() : " (" + detail + ")"),
                         true);
        return;
    }
    listNames(jobsDir_, "job-*.spec", listing_);
    if (!listing_.empty())
        writeJobLogs(readJobFiles(listing_));
    lock.unlock();
}

void OldFilesRemover::removeLeftovers() {
    NameSet names;
    listNames(jobsDir_, ".jobs-*.tmp", names);
    const std::int64_t current = now();
    for (const std::string& name : names) {
        EntryInfo info;
        if (!isTemporaryName(name) || jobsDir_.lookup(name, info) != FsError::Success ||
            info.kind != EntryKind::File)
            continue;
        // A run still writing its copy keeps its last write fresh.
        const std::int64_t written = info.lastWriteMs / 1000;
        if (written > current || current - written <= kLeftoverSeconds)
            continue;
        remover_.remove(jobsDir_, name, info, Reason::of(Reason::Leftover, current - written));
    }
}

OldFilesRemover::JobsByDate OldFilesRemover::readJobFiles(NameSet files) {
    JobsByDate days;
    ActionReport& report = this->report();
    const std::int64_t current = now();
    for (const std::string& name : files) {
        // Names from the listing are names: no separator in them is ever interpreted.
        jobPath_.assign(jobsDirectory_).append(1, '/').append(name);
        EntryInfo found;
        const std::uint32_t looked = jobsDir_.isOpen() ? jobsDir_.lookup(name, found) : FsError::PathNotFound;
        // Gone since the listing: another run folded it.
        if (looked == FsError::FileNotFound)
            continue;
        // Only a plain file of its own: a link or a second name of another file could hand us
        // something from outside to copy into a log. It is not deleted: the next run tries it again.
        if (looked != FsError::Success || found.kind != EntryKind::File || found.linkCount != 1 ||
            found.lastWriteMs == 0) {
            report.message("Error: Couldn't read job file: " + ActionReport::printable(jobPath_), true);
            continue;
        }
        const std::int64_t written = found.lastWriteMs / 1000;
        // Written moments ago: more lines may follow. A later run folds it.
        if (written <= current && current - written < kSettleSeconds) {
            if (report.why())
                report.stays(pathOf(jobsDir_, name), Reason::of(Reason::JobWaits, current - written));
            continue;
        }
        if (found.size > kJobFileLimit) {
            report.message("\nNot folded: " + ActionReport::printable(jobPath_) + " is larger than 16 MiB",
                           true);
            continue;
        }
        // A file that cannot be deleted would add its record again on every run: it stays out of the log.
        if (const std::uint32_t error = jobsDir_.checkRemovable(name)) {
            // Held open by the scheduler (Windows): not done with yet.
            if (error == FsError::SharingViolation)
                continue;
            report.message("\nError: Couldn't delete job file: " + ActionReport::printable(jobPath_) +
                               " (win-error#" + std::to_string(error) + "); its record waits for a later run",
                           true);
            continue;
        }
        const std::string day = formatDate(written, '-');
        days.emplace(day, std::string());
        jobFilesByDate_.emplace(day, JobFile{name, found});
    }
    return days;
}

void OldFilesRemover::writeJobLogs(JobsByDate jobsByDate) {
    for (const auto& day : jobsByDate)
        foldDay(day.first);
}

bool OldFilesRemover::openDayLog(const std::string& logName, const std::string& logPath, FileHandle& log,
                                 EntryInfo& info, bool& exists) {
    ActionReport& report = this->report();
    std::uint32_t found = jobsDir_.lookup(logName, info);
    // An earlier version of this program that stopped between two renames left the log under its old name.
    const std::string previous = logName + ".old";
    EntryInfo old;
    if (found == FsError::FileNotFound && !report.dryRun() &&
        jobsDir_.lookup(previous, old) == FsError::Success && old.kind == EntryKind::File &&
        jobsDir_.rename(previous, logName) == FsError::Success)
        found = jobsDir_.lookup(logName, info);
    exists = found == FsError::Success;
    if (found == FsError::FileNotFound)
        return true;
    // A link (or a second name of another file) in the log's place: that day waits, untouched.
    if (exists && (info.kind == EntryKind::Link || (info.kind == EntryKind::File && info.linkCount != 1))) {
        report.message("\nNot folded: " + ActionReport::printable(logPath) + " is a link or not a plain file",
                       true);
        return false;
    }
    // Opened in the dry run too, though it is never read there: what cannot be opened stops the day.
    if (!exists || log.openRead(jobsDir_, logName) != FsError::Success ||
        log.info(info) != FsError::Success || info.linkCount != 1) {
        report.message("\nUnable to create file: " + ActionReport::printable(logPath), true);
        return false;
    }
    // Copying a sparse log would write all its holes out as data: a few blocks could fill the disk.
    if (info.sparse) {
        report.message("\nNot folded: " + ActionReport::printable(logPath) + " is sparse", true);
        return false;
    }
    return true;
}

bool OldFilesRemover::readJob(const JobFile& job, std::string& record) {
    ActionReport& report = this->report();
    jobPath_.assign(jobsDirectory_).append(1, '/').append(job.name);
    FileHandle file;
    // Only the preview has to leave the last access as it was: the run deletes what it reads. Where the
    // system puts the stamp back afterwards (Windows), that would also move the change time that tells
    // whether the file changed.
    const std::uint32_t opened = file.openRead(jobsDir_, job.name, report.dryRun());
    // Held open for writing by another process (Windows), or gone: the scheduler is not done with it,
    // or another run folded it.
    if (opened == FsError::SharingViolation || opened == FsError::FileNotFound)
        return false;
    EntryInfo before;
    EntryInfo after;
    std::uint64_t bytes = 0;
    if (opened != FsError::Success || file.info(before) != FsError::Success) {
        report.message("Error: Couldn't read job file: " + ActionReport::printable(jobPath_), true);
        return false;
    }
    // Changed since it was judged: its day or size may be another now. A later run folds it.
    if (!unchanged(before, job.read))
        return false;
    if (report.dryRun() && !file.accessTimeKept())
        report.accessTimeMoved(jobPath_);
    if (!readRecord(file, kJobFileLimit, record, bytes)) {
        if (bytes > kJobFileLimit)
            report.message("\nNot folded: " + ActionReport::printable(jobPath_) + " is larger than 16 MiB",
                           true);
        else
            report.message("Error: Couldn't read job file: " + ActionReport::printable(jobPath_), true);
        return false;
    }
    // Written to while it was read: the record may be cut short. It waits for a later run.
    return file.info(after) == FsError::Success && unchanged(after, job.read) && bytes == job.read.size;
}

void OldFilesRemover::foldDay(const std::string& day) {
    ActionReport& report = this->report();
    const std::string logName = "jobs-" + day + ".log";
    const std::string logPath = jobsDirectory_ + "/" + logName;
    const auto files = jobFilesByDate_.equal_range(day);
    if (!jobsDir_.isOpen()) {
        report.message("\nUnable to create file: " + ActionReport::printable(logPath), true);
        return;
    }
    FileHandle in;
    EntryInfo log;
    bool hadLog = false;
    if (!openDayLog(logName, logPath, in, log, hadLog))
        return;
    // The new log holds the old one and the new records, each at most its job file's size and CR LF,
    // until the rename frees the old one. When that does not fit with room to spare, the day waits.
    std::uint64_t needed = hadLog ? log.size : 0;
    for (auto it = files.first; it != files.second; ++it)
        needed += it->second.read.size + 2;
    std::uint64_t free = 0;
    if (jobsDir_.freeSpace(free) == FsError::Success && needed + needed / kSpareDivisor > free) {
        report.message("\nNot folded: " + ActionReport::printable(logPath) + ": not enough free space", true);
        return;
    }
    std::string record;
    if (report.dryRun()) {
        // The records are read as the run would read them, so that the preview meets the same files.
        const Reason folded = Reason::of(Reason::Folded, 0, 0, logPath);
        for (auto it = files.first; it != files.second; ++it) {
            const std::string jobFile = jobsDirectory_ + "/" + it->second.name;
            if (readJob(it->second, record))
                remover_.remove(jobsDir_, it->second.name, it->second.read, folded, nullptr, &jobFile);
        }
        return;
    }
    // The new log is written completely under a fresh name, made durable, and only then takes the log's
    // name by one rename: a failure at any point leaves the log as it was.
    FileHandle out;
    std::string fresh;
    std::vector<const JobFile*> folded;
    bool written = true;
    for (auto it = files.first; it != files.second && written; ++it) {
        if (!readJob(it->second, record))
            continue;
        if (!out.isOpen()) {
            // Only we can read it until it is complete; then it gets who may read the log.
            if (createFresh(jobsDir_, "." + logName + ".", ".tmp", hadLog ? 0600 : kDayLogMode, out, fresh) !=
                FsError::Success) {
                fresh.clear(); // a name we did not create is never removed
                written = false;
                break;
            }
            written = !hadLog || copyRest(in, out, log.size);
        }
        written = written && out.write(record.data(), record.size()) == FsError::Success;
        folded.push_back(&it->second);
    }
    std::string().swap(record); // up to 16 MiB: not kept for the next day
    // A day whose job files all failed or changed writes nothing.
    if (written && !out.isOpen())
        return;
    if (written) {
        // The suite's account must still read its job history: a replaced log keeps its owner, group and
        // mode, a new one belongs to the directory's owner and group. A run that is not root keeps what
        // it writes as its own: no failure, it could write the log anyway.
        const std::uint32_t adopted = hadLog ? out.adoptSecurityOf(in) : out.adoptOwnerOf(jobsDir_);
        written = adopted == FsError::Success || adopted == FsError::AccessDenied;
    }
    in.close();
    written = written && out.sync() == FsError::Success;
    written = out.close() == FsError::Success && written;
    if (!written || jobsDir_.rename(fresh, logName) != FsError::Success ||
        jobsDir_.sync() != FsError::Success) {
        if (!fresh.empty())
            jobsDir_.removeFile(fresh);
        report.message("\nUnable to create file: " + ActionReport::printable(logPath), true);
        return;
    }
    removeFolded(folded, logPath);
}

void OldFilesRemover::removeFolded(const std::vector<const JobFile*>& folded, const std::string& logPath) {
    // Each deleted file is held open for a moment: a writer that opened it just before its deletion has
    // written by then, into the held file, and what it wrote is put back (POSIX). On Windows nobody can
    // write a file while it is held: no such write can happen.
    std::vector<std::pair<const JobFile*, FileHandle>> removed;
    for (std::size_t next = 0; next < folded.size();) {
        removed.clear();
        for (; next < folded.size() && removed.size() < kHeldAtOnce; ++next) {
            FileHandle held;
            if (removeUnchanged(*folded[next], logPath, held))
                removed.emplace_back(folded[next], std::move(held));
        }
        if (removed.empty())
            continue;
        VeltorPlatform::sleepMs(kLateWriteMs);
        for (auto& entry : removed)
            putBack(*entry.first, entry.second);
    }
}

bool OldFilesRemover::removeUnchanged(const JobFile& job, const std::string& logPath, FileHandle& held) {
    const std::string jobFile = jobsDirectory_ + "/" + job.name;
    const Reason folded = Reason::of(Reason::Folded, 0, 0, logPath);
    EntryInfo now;
    const std::uint32_t opened = held.openRead(jobsDir_, job.name);
    if (opened == FsError::FileNotFound || opened == FsError::SharingViolation)
        return false;
    const std::uint32_t error = opened != FsError::Success ? opened : held.info(now);
    if (error != FsError::Success) {
        remover_.failed(jobFile, folded, error);
        return false;
    }
    // Changed since its record was read: it stays, and a later run folds it again, at least once.
    if (!unchanged(now, job.read))
        return false;
    return remover_.remove(jobsDir_, job.name, job.read, folded, nullptr, &jobFile);
}

void OldFilesRemover::putBack(const JobFile& job, FileHandle& held) {
    EntryInfo now;
    if (held.info(now) != FsError::Success ||
        (now.size == job.read.size && now.lastWriteMs == job.read.lastWriteMs))
        return;
    // Written to at the moment of its deletion: the whole file comes back as a job file of its own, its
    // earlier lines folded twice rather than its new ones lost.
    FileHandle back;
    std::string name = job.name;
    std::uint32_t restored = back.createNew(jobsDir_, name, 0600);
    if (restored == FsError::AlreadyExists)
        restored = createFresh(jobsDir_, name.substr(0, name.size() - 5) + "-", ".spec", 0600, back, name);
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
        report().message("\nError: Couldn't put back job file: " +
                             ActionReport::printable(jobsDirectory_ + "/" + job.name) + " (win-error#" +
                             std::to_string(restored) + "); it changed while it was deleted",
                         true);
}

} // namespace Veltor
