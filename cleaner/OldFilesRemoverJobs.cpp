// Concatenation of finished-job files into one log per day. Nothing may be lost on the way: a job file
// goes only after its record is safely in its day's log.
#include "OldFilesRemover.h"

#include "FsTools.h"
#include "ProcessLock.h"

#include <cstdio>
#include <list>

namespace Veltor {

using VeltorFilelib::FsTools;

namespace {

class StdFile {
public:
    StdFile(const std::string& path, const char* mode) : file_(std::fopen(path.c_str(), mode)) {}
    ~StdFile() {
        if (file_ != nullptr)
            std::fclose(file_);
    }
    StdFile(const StdFile&) = delete;
    StdFile& operator=(const StdFile&) = delete;
    std::FILE* get() const { return file_; }
    // Flushes and closes; false when any buffered byte could not be written.
    bool close() {
        std::FILE* file = file_;
        file_ = nullptr;
        const bool flushed = std::fflush(file) == 0;
        return std::fclose(file) == 0 && flushed;
    }

private:
    std::FILE* file_;
};

// Copies `from` byte for byte (carriage returns included) to the end of `to`.
bool copyBytes(std::FILE* from, std::FILE* to) {
    char buffer[65536];
    std::size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, from)) > 0)
        if (std::fwrite(buffer, 1, count, to) != count)
            return false;
    return std::ferror(from) == 0;
}

} // namespace

// Adds `text` at the end of the log. The new log is written completely beside the old one and only then
// takes its name, so a failure at any point leaves the log as it was.
bool OldFilesRemover::appendToLog(const std::string& log, const std::string& text) {
    const std::string fresh = log + ".new";
    const std::string previous = log + ".old";
    // An earlier run that stopped between the two renames left the log under its old name.
    if (!FsTools::exists(log) && FsTools::exists(previous))
        std::rename(previous.c_str(), log.c_str());
    {
        StdFile out(fresh, "wb");
        if (out.get() == nullptr)
            return false;
        bool written = true;
        const bool hadLog = FsTools::exists(log);
        if (hadLog) {
            StdFile in(log, "rb");
            written = in.get() != nullptr && copyBytes(in.get(), out.get());
        }
        written = written && std::fwrite(text.data(), 1, text.size(), out.get()) == text.size();
        written = out.close() && written;
        if (!written) {
            std::remove(fresh.c_str());
            return false;
        }
        if (!hadLog) {
            if (std::rename(fresh.c_str(), log.c_str()) == 0)
                return true;
            std::remove(fresh.c_str());
            return false;
        }
    }
    std::remove(previous.c_str());
    if (std::rename(log.c_str(), previous.c_str()) != 0) {
        std::remove(fresh.c_str());
        return false;
    }
    if (std::rename(fresh.c_str(), log.c_str()) != 0) {
        std::rename(previous.c_str(), log.c_str());
        std::remove(fresh.c_str());
        return false;
    }
    std::remove(previous.c_str());
    return true;
}

namespace {
// How long a run waits for another run's concatenation of the same directory.
constexpr std::uint64_t kJobsLockWaitMs = 30000;
} // namespace

void OldFilesRemover::processFinishedJobs(const std::string& dir) {
    jobsDirectory_ = dir;
    // Entries of an earlier call must never lead to deleting files of this one.
    jobFilesByDate_.clear();
    listFiles(dir, "job-*.spec", listing_);
    if (listing_.empty())
        return;
    // Two runs started together would both read the same job files and write every record twice. The
    // first run to take the directory's lock does the work; another waits a while for it and then finds
    // the files gone, or leaves them to that run.
    VeltorCorelib::ProcessLock lock("sorvik-finished-jobs:" + dir);
    try {
        if (!lock.lock(kJobsLockWaitMs))
            return;
    } catch (const VeltorCorelib::Exception&) {
        return;
    }
    listFiles(dir, "job-*.spec", listing_);
    if (!listing_.empty())
        writeJobLogs(readJobFiles(listing_));
    lock.unlock();
}

OldFilesRemover::JobsByDate OldFilesRemover::readJobFiles(NameSet files) {
    JobsByDate jobsByDate;
    std::list<std::string> lines;
    for (const std::string& name : files) {
        jobPath_.assign(jobsDirectory_).append(1, '/').append(name);
        std::int64_t written = 0;
        const std::string day = readWriteStamp(jobPath_, written) ? formatDate(written, '-') : std::string();
        // An unreadable file adds no record and is not deleted: the next run tries it again.
        if (day.empty() || !FsTools::readLines(jobPath_, lines, '\n', false, true)) {
            write("Error: Couldn't read job file: ", jobPath_);
            continue;
        }
        std::string& text = jobsByDate[day];
        bool first = true;
        for (const std::string& line : lines) {
            if (!first)
                text += ';';
            text += line;
            first = false;
        }
        text += "\r\n";
        jobFilesByDate_.emplace(day, jobPath_);
    }
    return jobsByDate;
}

void OldFilesRemover::writeJobLogs(JobsByDate jobsByDate) {
    std::string name;
    for (const auto& day : jobsByDate) {
        name.assign(jobsDirectory_).append("/jobs-").append(day.first).append(".log");
        if (!appendToLog(name, day.second)) {
            write("\nUnable to create file: ", name);
            continue;
        }
        const auto files = jobFilesByDate_.equal_range(day.first);
        for (auto it = files.first; it != files.second; ++it)
            FsTools::removeFile(it->second, false);
    }
}

} // namespace Veltor
