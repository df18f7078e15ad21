// Concatenation of finished-job files into one log per day. Nothing may be lost on the way: a job file
// goes only after its record is safely on disk in its day's log, only while it is still the file whose
// record that is, and only while nobody else has it open. At least once, never lost: a run killed between
// writing a day log and deleting its job files folds those files again next time, and so does a run that
// finds a job file changed.
//
// Whoever can write the finished-jobs directory may also plant names, grow files or swap them while a
// run works: every step names one entry of the open directory, the work is bounded by what the files
// really hold, and what does not fit waits for a later run with a line that says why.
#pragma once
#include "CleaningContext.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace Veltor {

class JobFolder {
public:
    // A job file to fold: its name, its status when its record was read, and the record (empty where
    // it did not fit into the memory the run allows itself: then read again when its day is written).
    struct JobFile {
        std::string name;
        VeltorPlatform::EntryInfo read;
        std::string record;
        bool kept = false;
    };
    // Day text ("2015-3-07") -> its job files in name order.
    using Days = std::map<std::string, std::vector<JobFile>>;

    explicit JobFolder(CleaningContext& context);

    // Folds the job files of the finished-jobs directory `dir`.
    void fold(const std::string& dir);

    // The steps of fold, on the directory opened by `open`. Reads every job file of `names` in this
    // order, telling each that cannot be read, is too large or could not be deleted afterwards, before
    // any day log is written.
    bool open(const std::string& dir);
    Days readJobFiles(const std::vector<std::string>& names);
    // Writes the log of each day and deletes the job files folded into it.
    void writeJobLogs(Days days);

private:
    using DirHandle = VeltorPlatform::DirHandle;
    using EntryInfo = VeltorPlatform::EntryInfo;
    using FileHandle = VeltorPlatform::FileHandle;

    std::string shown(const std::string& name) const { return dirShown_ + "/" + name; }
    void tell(EventType type, Problem problem, const std::string& name, std::uint32_t error = 0,
              const std::string* other = nullptr, const Reason& why = Reason());
    void removeLeftovers(const std::vector<std::string>& names);
    // Opens the job file as the deletion will: exclusively where the file system allows leases.
    std::uint32_t openJob(const std::string& name, FileHandle& file, bool& leased);
    // Reads the record of `job`; false, telling why where it is a failure, when the file cannot be read
    // or is no longer the file that was judged.
    bool readJob(JobFile& job, std::string& record);
    void foldDay(const std::string& day, std::vector<JobFile>& files);
    // Opens the day log `logName` to copy from, when there is one. False, told, when the day waits.
    bool openDayLog(const std::string& logName, FileHandle& log, EntryInfo& info, bool& exists);
    // Deletes the folded job files that are still as they were read and held by nobody else.
    void removeFolded(const std::vector<const JobFile*>& folded, const std::string& logShown);
    // What was written to a job file at the moment of its deletion comes back as a job file of its own.
    void putBack(const JobFile& job, FileHandle& held);

    CleaningContext& context_;
    DirHandle dir_;
    std::string dirShown_; // the directory as the caller gave it, for the lines
    bool leases_ = true;   // the file system grants leases (found out at the first job file)
};

} // namespace Veltor
