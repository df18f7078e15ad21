// The sweeps for kinds of data that need their own treatment: dangling locks (in one directory, or
// below a tree through their shortcuts), web reports, web sessions and license-status data.
#pragma once
#include "AgeRules.h"
#include "CleaningContext.h"

#include <cstdint>
#include <set>
#include <string>

namespace Veltor {

class Sweeps {
public:
    using NameSet = std::set<std::string>;

    Sweeps(CleaningContext& context, AgeRules& rules) : context_(context), rules_(rules) {}

    void removeDanglingLocks(const std::string& dir);
    void removeDanglingLocksRecursive(const std::string& dir);
    void removeOldWebReports(const std::string& dir, std::int64_t hours, const std::string& dateRange);
    void removeOldWebSessions(const std::string& dir, std::int64_t hours, const std::string& dateRange);
    void removeOldLicenseStatus(const std::string& dir, std::int64_t hours, const std::string& dateRange);
    bool listFilesRecursive(const std::string& dir, const std::string& pattern, NameSet& out);
    bool readSessionTime(const std::string& path, std::int64_t& time);

private:
    using DirHandle = VeltorPlatform::DirHandle;
    using EntryInfo = VeltorPlatform::EntryInfo;
    void removeWebReportsIn(const DirHandle& dir, const std::string& shown, std::int64_t hours);
    // True when the lock was judged dangling and its removal attempted.
    bool removeIfDangling(const DirHandle& dir, const std::string& lock, const std::string& root);
    // Reads the first bytes of a session file, never through a link or from anything but a regular file;
    // `shown` names it in the messages.
    bool readSessionTime(const DirHandle& dir, const std::string& name, const std::string& shown,
                         std::int64_t& time, EntryInfo& read);
    void removeEmptySubdirectories(const DirHandle& dir);

    CleaningContext& context_;
    AgeRules& rules_;
};

} // namespace Veltor
