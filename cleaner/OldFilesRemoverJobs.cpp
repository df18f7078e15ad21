// Concatenation of finished-job files into one log per day. Nothing may be lost on the way: a job file
// goes only after its record is safely on disk in its day's log. At least once, never lost: a run killed
// between writing a day log and deleting its job files folds those files again next time.
#include "OldFilesRemover.h"

#include "FsTools.h"
#include "ProcessLock.h"
#include "platform/Process.h"

#include <atomic>

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

// Reads a job file to its end and appends its record: its non-empty lines without carriage returns,
// joined by ';', then CR LF. The file is streamed, never held line by line. False on any read error,
// with `record` as it was.
bool appendRecord(FileHandle& file, std::string& record) {
    const std::size_t before = record.size();
    char buffer[65536];
    bool lineOpen = false; // a non-empty line has begun and not ended
    bool first = true;
    std::size_t got = 0;
    for (;;) {
        if (file.read(buffer, sizeof buffer, got) != FsError::Success) {
            record.resize(before);
            return false;
        }
        if (got == 0)
            break;
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

// A name for a new file beside the day log that nobody can have planted in advance: the name is only
// a start, the file is created exclusively and another name is tried when it exists.
std::string freshName(const std::string& logName, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    return "." + logName + "." + std::to_string(VeltorPlatform::currentProcessId()) + "." +
           std::to_string(counter++) + "." + std::to_string(attempt) + ".tmp";
}

} // namespace

// Adds `text` at the end of the log `logName` of `dir`. The new log is written completely under a fresh
// name, made durable, and only then takes the log's name by one rename: a failure at any point leaves
// the log as it was, and nothing planted under any name is ever written through.
bool OldFilesRemover::appendToLog(const DirHandle& dir, const std::string& logName, const std::string& text) {
    const std::string previous = logName + ".old";
    EntryInfo log;
    std::uint32_t found = dir.lookup(logName, log);
    // An earlier version of this program that stopped between two renames left the log under its old name.
    EntryInfo old;
    if (found == FsError::FileNotFound && dir.lookup(previous, old) == FsError::Success &&
        old.kind == EntryKind::File && dir.rename(previous, logName) == FsError::Success)
        found = dir.lookup(logName, log);
    const bool hadLog = found == FsError::Success;
    if (!hadLog && found != FsError::FileNotFound)
        return false;
    FileHandle in;
    if (hadLog) {
        // Only a plain file of its own is copied: a link or a second name of another file could hand
        // us something from outside to copy into a log.
        if (log.kind != EntryKind::File || log.linkCount != 1 ||
            in.openRead(dir, logName) != FsError::Success || in.info(log) != FsError::Success ||
            log.linkCount != 1)
            return false;
    }
    FileHandle out;
    std::string fresh;
    std::uint32_t created = FsError::AlreadyExists;
    for (unsigned attempt = 0; attempt < 100 && created == FsError::AlreadyExists; ++attempt) {
        fresh = freshName(logName, attempt);
        created =
            out.createNew(dir, fresh, hadLog && log.posixMode != 0 ? (log.posixMode & 0777) : kDayLogMode);
    }
    if (created != FsError::Success)
        return false;
    bool written = true;
    if (hadLog) {
        char buffer[65536];
        std::size_t got = 0;
        while (written && (written = in.read(buffer, sizeof buffer, got) == FsError::Success) && got > 0)
            written = out.write(buffer, got) == FsError::Success;
        in.close();
    }
    written = written && out.write(text.data(), text.size()) == FsError::Success;
    written = written && out.sync() == FsError::Success;
    written = out.close() == FsError::Success && written;
    if (!written || dir.rename(fresh, logName) != FsError::Success) {
        dir.removeFile(fresh);
        return false;
    }
    // The rename itself must be on disk before any job file goes.
    return dir.sync() == FsError::Success;
}

void OldFilesRemover::processFinishedJobs(const std::string& dir) {
    jobsDirectory_ = dir;
    // Entries of an earlier call must never lead to deleting files of this one.
    jobFilesByDate_.clear();
    jobsDir_.close();
    if (!openDir(dir, jobsDir_))
        return;
    listNames(jobsDir_, "job-*.spec", listing_);
    if (listing_.empty())
        return;
    // A dry run changes nothing, a lock file included; what it reads without the lock it only shows.
    if (ActionReport::current().dryRun()) {
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
        write("\nFinished jobs not folded: the lock of " + ActionReport::printable(dir) +
              " could not be had" + (detail.empty() ? std::string() : " (" + detail + ")"));
        return;
    }
    listNames(jobsDir_, "job-*.spec", listing_);
    if (!listing_.empty())
        writeJobLogs(readJobFiles(listing_));
    lock.unlock();
}

OldFilesRemover::JobsByDate OldFilesRemover::readJobFiles(NameSet files) {
    JobsByDate jobsByDate;
    const std::int64_t current = now();
    const bool dryRun = ActionReport::current().dryRun();
    for (const std::string& name : files) {
        // Names from the listing are names: no separator in them is ever interpreted.
        jobPath_.assign(jobsDirectory_).append(1, '/').append(name);
        FileHandle file;
        EntryInfo read;
        const std::uint32_t opened =
            jobsDir_.isOpen() ? file.openRead(jobsDir_, name, true) : FsError::PathNotFound;
        // Held open for writing by another process (Windows): the scheduler is not done with it.
        if (opened == FsError::SharingViolation)
            continue;
        std::string day;
        if (opened == FsError::Success && file.info(read) == FsError::Success && read.linkCount == 1 &&
            read.lastWriteMs != 0) {
            const std::int64_t written = read.lastWriteMs / 1000;
            // Written moments ago: more lines may follow. A later run folds it.
            if (written <= current && current - written < kSettleSeconds)
                continue;
            day = formatDate(written, '-');
        }
        std::string record;
        // An unreadable file adds no record and is not deleted: the next run tries it again.
        if (day.empty() || !appendRecord(file, record)) {
            write("Error: Couldn't read job file: ", jobPath_);
            continue;
        }
        // A file that cannot be deleted would add its record again on every run: it stays out of the log.
        if (!dryRun) {
            if (const std::uint32_t error = file.checkRemovable(jobsDir_, name)) {
                write("\nError: Couldn't delete job file: " + ActionReport::printable(jobPath_) +
                      " (win-error#" + std::to_string(error) + "); its record waits for a later run");
                continue;
            }
        }
        jobsByDate[day] += record;
        jobFilesByDate_.emplace(day, JobFile{name, read});
    }
    return jobsByDate;
}

void OldFilesRemover::writeJobLogs(JobsByDate jobsByDate) {
    ActionReport& report = ActionReport::current();
    std::string name;
    std::string logName;
    for (const auto& day : jobsByDate) {
        logName.assign("jobs-").append(day.first).append(".log");
        name.assign(jobsDirectory_).append(1, '/').append(logName);
        const auto files = jobFilesByDate_.equal_range(day.first);
        if (report.dryRun()) {
            for (auto it = files.first; it != files.second; ++it)
                report.folded(jobsDirectory_ + "/" + it->second.name, name);
            continue;
        }
        EntryInfo log;
        const std::uint32_t found = jobsDir_.isOpen() ? jobsDir_.lookup(logName, log) : FsError::PathNotFound;
        // A link (or a second name of another file) in the log's place: that day waits, untouched.
        if (found == FsError::Success &&
            (log.kind == EntryKind::Link || (log.kind == EntryKind::File && log.linkCount != 1))) {
            write("\nNot folded: " + ActionReport::printable(name) + " is a link or not a plain file");
            continue;
        }
        if (!jobsDir_.isOpen() || !appendToLog(jobsDir_, logName, day.second)) {
            write("\nUnable to create file: ", name);
            continue;
        }
        for (auto it = files.first; it != files.second; ++it) {
            const std::string jobFile = jobsDirectory_ + "/" + it->second.name;
            // Only the very file that was read goes; another one put under its name stays.
            const std::uint32_t error = jobsDir_.removeFile(it->second.name, &it->second.read);
            if (error == FsError::Success)
                report.folded(jobFile, name);
            else
                write("\nError: Couldn't delete job file: " + ActionReport::printable(jobFile) +
                      " (win-error#" + std::to_string(error) + "); its record is in " +
                      ActionReport::printable(name));
        }
    }
}

} // namespace Veltor
