// The sweeps for kinds of data that need their own treatment: dated logs, dangling locks, web reports,
// web sessions and license-status data.
#include "OldFilesRemover.h"

#include "FsTools.h"
#include "OldFilesRemoverText.h"
#include "TrustedDirs.h"
#include "Wildcard.h"

#include <algorithm>

namespace Veltor {

using VeltorCorelib::matchWildcard;
using VeltorFilelib::FsTools;
using VeltorPlatform::DirHandle;
using VeltorPlatform::EntryInfo;
using VeltorPlatform::EntryKind;
namespace FsError = VeltorPlatform::FileSystemError;

namespace {

// A session file is judged from its beginning only: the time stands in its first bytes, and a file
// grown without bound must not cost the run its memory.
constexpr std::size_t kSessionReadLimit = 64 * 1024;

// The path below the trusted root, for reasons: "Data/incoming/batch7" rather than the whole path.
std::string belowRoot(const std::string& path, const std::string& root) {
    if (!root.empty() && root != "." && path.compare(0, root.size(), root) == 0) {
        std::string::size_type at = root.size();
        while (at < path.size() && (path[at] == '/' || path[at] == '\\'))
            ++at;
        if (at < path.size())
            return path.substr(at);
    }
    return path;
}

const char* const kReportEndings[] = {".csv",  ".vbs", ".rep",  ".seek",       ".pres", ".data",
                                      ".desc", ".ps",  ".conf", ".conf.shtml", ".shtml"};

OldFilesRemover::PatternList reportPatterns(const char* prefix) {
    OldFilesRemover::PatternList patterns;
    for (const char* ending : kReportEndings)
        patterns.push_back(std::string(prefix) + ending);
    return patterns;
}

bool matchesAny(std::string_view name, const OldFilesRemover::PatternList& patterns) {
    for (const std::string& pattern : patterns)
        if (matchWildcard(name, pattern))
            return true;
    return false;
}

} // namespace

const OldFilesRemover::PatternList& OldFilesRemover::firstReportPatterns() {
    static const PatternList patterns = reportPatterns("top_0_*");
    return patterns;
}

const OldFilesRemover::PatternList& OldFilesRemover::secondReportPatterns() {
    static const PatternList patterns = reportPatterns("top_*_*_*");
    return patterns;
}

bool OldFilesRemover::isDatedLogName(std::string_view name) {
    return RemoverText::countPieces(name, '_') >= 2 || RemoverText::countPieces(name, '-') >= 2;
}

void OldFilesRemover::removeOldLogs(const std::string& dir, std::int64_t hours,
                                    const std::string& dateRange) {
    const auto limit = static_cast<std::uint64_t>(hoursToSeconds(hours < 1 ? 24 : hours));
    const Pieces pieces = RemoverText::split(dateRange, " ");
    DirHandle handle;
    if (!openDir(dir, handle))
        return;
    if (pieces.size() < 2) {
        ActionReport& report = this->report();
        if (report.why())
            report.watch(handle,
                         ActionReport::printable(dir) + " *.log: logs with a date in their name, " +
                             ageRule(limit, 0, LastWrite),
                         {"*.log"});
        RemoverText::LastName last;
        const Judge byAge = ageJudge(limit, 0, LastWrite);
        // The name decides first; only dated logs are judged at all.
        const Judge judge = [&](std::string_view name, std::int64_t writeMs, std::int64_t accessMs,
                                Reason& why) {
            if (!isDatedLogName(name)) {
                why = Reason::of(Reason::NotDated);
                return false;
            }
            if (!byAge(name, writeMs, accessMs, why))
                return false;
            why.kind = Reason::DatedLog;
            return true;
        };
        removeListed(handle, "*.log", judge, last);
        if (last.any())
            setCurrentPath(dir, last.name());
        return;
    }
    listNames(handle, "*.log", listing_);
    for (const std::string& name : listing_) {
        if (!isDatedLogName(name))
            continue;
        setCurrentPath(dir, name);
        removeInDateRange(handle, name, pieces, 0);
    }
}

bool OldFilesRemover::removeIfDangling(const std::string& lockPath) {
    std::string dirPath;
    std::string name;
    RemoverText::splitPath(lockPath, dirPath, name);
    DirHandle dir;
    if (name.empty() || !openDir(dirPath, dir))
        return false;
    return removeIfDangling(dir, name);
}

bool OldFilesRemover::removeIfDangling(const DirHandle& dir, const std::string& lock) {
    const std::string owner = RemoverText::withoutExtension(lock);
    EntryInfo info;
    // Anything under the owner's name keeps the lock: it is not dangling.
    if (owner.empty() || dir.lookup(owner, info) != FsError::FileNotFound) {
        ActionReport& report = this->report();
        if (report.why())
            report.stays(pathOf(dir, lock),
                         Reason::of(Reason::LockInUse, 0, 0, belowRoot(pathOf(dir, owner), root_)));
        return false;
    }
    if (dir.lookup(lock, info) == FsError::Success && info.kind != EntryKind::Directory)
        remover_.remove(dir, lock, info,
                        Reason::of(Reason::DanglingLock, 0, 0, belowRoot(pathOf(dir, owner), root_)));
    return true;
}

void OldFilesRemover::removeDanglingLocks(const std::string& dir) {
    DirHandle handle;
    if (!openDir(dir, handle))
        return;
    ActionReport& report = this->report();
    if (report.why())
        report.watch(handle, ActionReport::printable(dir) + " *.lock: a lock whose file is gone", {"*.lock"});
    listNames(handle, "*.lock", listing_);
    for (const std::string& name : listing_) {
        setCurrentPath(dir, name);
        removeIfDangling(handle, name);
    }
}

void OldFilesRemover::removeDanglingLocksRecursive(const std::string& dir) {
    DirHandle start;
    if (!openDir(dir, start))
        return;
    std::string shortcut;
    ActionReport& report = this->report();
    const std::string rule =
        ActionReport::printable(dir) +
        " and below, *.lock.lnk: the shortcut of a lock whose file is gone, with its lock";
    walk(
        start,
        [&](const DirHandle& at, const VeltorPlatform::ListedEntry& entry) {
            shortcut.assign(entry.name);
            if (!FsTools::isShortcut(shortcut))
                return;
            const std::string lock = RemoverText::withoutExtension(shortcut);
            if (!matchWildcard(lock, "*.lock") || !removeIfDangling(at, lock))
                return;
            EntryInfo info;
            if (at.lookup(shortcut, info) == FsError::Success && info.kind != EntryKind::Directory)
                remover_.remove(at, shortcut, info, Reason::of(Reason::LockShortcut, 0, 0, lock));
        },
        [&](const DirHandle& entered) {
            if (report.why())
                report.watch(entered, rule, {"*.lock.lnk", "*.lock"});
        });
}

void OldFilesRemover::removeOldWebReports(const std::string& dir, std::int64_t hours,
                                          const std::string& dateRange) {
    const std::int64_t h = hours < 1 ? 48 : hours;
    if (!dateRange.empty()) {
        DirHandle handle;
        if (!openDir(dir, handle))
            return;
        listNames(handle, "*", listing_);
        if (listing_.empty())
            return;
        removeInDateRangeByPatterns(dir, dateRange, firstReportPatterns());
        removeInDateRangeByPatterns(dir, dateRange, secondReportPatterns());
        removeOldFiles(dir, "*.temp", h, 0, LastAccess);
        return;
    }
    DirHandle handle;
    if (!openDir(dir, handle))
        return;
    const auto limit = static_cast<std::uint64_t>(hoursToSeconds(h));
    ActionReport& actions = this->report();
    if (actions.why()) {
        std::vector<std::string> patterns(firstReportPatterns().begin(), firstReportPatterns().end());
        patterns.insert(patterns.end(), secondReportPatterns().begin(), secondReportPatterns().end());
        patterns.push_back("*.temp");
        actions.watch(handle,
                      ActionReport::printable(dir) +
                          " reports (top_0_*, top_*_*_* with the report endings): " +
                          ageRule(limit, 0, LastWrite) + "; *.temp: " + ageRule(limit, 0, LastAccess),
                      patterns);
    }
    // One pass serves all patterns. A report goes by its last write against the same limit whichever
    // list names it; temporary report files go by last access.
    const Judge report = ageJudge(limit, limit, LastWrite);
    const Judge temporary = ageJudge(limit, 0, LastAccess);
    std::size_t files = 0;
    std::size_t goneByFirstList = 0;
    RemoverText::LastName lastReport;
    RemoverText::LastName lastTemporary; // judged after the reports: the current path ends here
    RemoverText::LastName seen;
    removeListed(
        handle, "*",
        [&](std::string_view name, std::int64_t writeMs, std::int64_t accessMs, Reason& why) {
            if (matchesAny(name, firstReportPatterns()) || matchesAny(name, secondReportPatterns())) {
                lastReport.offer(name);
                if (report(name, writeMs, accessMs, why))
                    return true;
            }
            if (!matchWildcard(name, "*.temp"))
                return false;
            lastTemporary.offer(name);
            return temporary(name, writeMs, accessMs, why);
        },
        seen, &files,
        [&](const std::string& file, bool gone) {
            if (gone && matchesAny(file, firstReportPatterns()))
                ++goneByFirstList;
        });
    if (lastTemporary.any() || lastReport.any())
        setCurrentPath(dir, lastTemporary.any() ? lastTemporary.name() : lastReport.name());
    // The directory is reported when the first list alone has emptied it.
    if (files != 0 && goneByFirstList == files)
        this->report().message("\nDirectory: " + ActionReport::printable(dir) + " is empty", false);
}

bool OldFilesRemover::readSessionTime(const std::string& path, std::int64_t& time) {
    std::string dirPath;
    std::string name;
    RemoverText::splitPath(path, dirPath, name);
    DirHandle dir;
    EntryInfo read;
    currentPath_ = path;
    if (!openDir(dirPath, dir)) {
        report().message("\nUnable to open file: " + ActionReport::printable(path) + "\n", false);
        return false;
    }
    return readSessionTime(dir, name, time, read);
}

bool OldFilesRemover::readSessionTime(const DirHandle& dir, const std::string& name, std::int64_t& time,
                                      EntryInfo& read) {
    sessionText_.clear();
    VeltorPlatform::FileHandle file;
    // Never through a link, never a FIFO or device, and without touching the last access.
    if (file.openRead(dir, name, true) == FsError::Success && file.info(read) == FsError::Success) {
        if (report().dryRun() && !file.accessTimeKept())
            report().accessTimeMoved(pathOf(dir, name));
        sessionText_.resize(kSessionReadLimit);
        std::size_t total = 0;
        std::size_t got = 0;
        while (total < kSessionReadLimit &&
               file.read(&sessionText_[total], kSessionReadLimit - total, got) == FsError::Success && got > 0)
            total += got;
        sessionText_.resize(total);
        // Carriage returns are no part of the text, as a text read leaves them out.
        sessionText_.erase(std::remove(sessionText_.begin(), sessionText_.end(), '\r'), sessionText_.end());
    }
    std::string_view field;
    // A text without a fourth piece holds no time: treated like an unreadable file, it stays.
    if (!RemoverText::piece(sessionText_, "=>", 3, field)) {
        // Named as the caller set it: the directory as given, '/', the name.
        // Kept, as a session file without a time is: a web server may be writing it, or it is none.
        report().message("\nUnable to open file: " + ActionReport::printable(currentPath_) + "\n", false);
        return false;
    }
    time = RemoverText::readInteger(RemoverText::trim(field.substr(0, field.find(','))));
    return true;
}

void OldFilesRemover::removeOldWebSessions(const std::string& dir, std::int64_t hours,
                                           const std::string& dateRange) {
    const Pieces pieces = RemoverText::split(dateRange, " ");
    DirHandle handle;
    if (!openDir(dir, handle))
        return;
    listNames(handle, "cgisess_*", listing_);
    if (listing_.empty())
        return;
    const std::int64_t h = hours == 0 ? 48 : hours;
    const std::int64_t limit = hoursToSeconds(h);
    ActionReport& report = this->report();
    if (report.why())
        report.watch(handle,
                     ActionReport::printable(dir) +
                         " cgisess_*: the session time recorded in it older than " +
                         std::to_string(limit / 3600) + " h",
                     {"cgisess_*"});
    const std::int64_t current = now();
    const std::int64_t threshold = current - limit;
    std::int64_t t = 0;
    EntryInfo read;
    for (const std::string& name : listing_) {
        setCurrentPath(dir, name);
        if (!readSessionTime(handle, name, t, read)) {
            if (report.why())
                report.stays(pathOf(handle, name), Reason::of(Reason::SessionNoTime));
            continue;
        }
        if (pieces.empty()) {
            // What was read is what goes: a file swapped in meanwhile stays.
            if (t < threshold)
                remover_.remove(handle, name, read, Reason::of(Reason::SessionExpired, current - t, limit));
            else if (report.why())
                report.stays(pathOf(handle, name), Reason::of(Reason::SessionYoung, current - t, limit,
                                                              ActionReport::localMinute(t)));
        } else {
            removeInDateRange(handle, name, pieces, t);
        }
    }
}

void OldFilesRemover::removeEmptySubdirectories(const DirHandle& dir) {
    VeltorPlatform::DirEnumerator listing;
    if (listing.open(dir, VeltorPlatform::DirDetail::NamesAndTypes) != FsError::Success)
        return;
    ActionReport& report = this->report();
    if (report.why())
        report.watch(dir, ActionReport::printable(dir.path()) + " subdirectories: removed when empty", {"*"});
    std::string name;
    while (listing.next() == FsError::Success) {
        const VeltorPlatform::ListedEntry& entry = listing.entry();
        // A link is not a subdirectory of this tree: leave it and what it leads to alone.
        if (entry.info.kind != EntryKind::Directory)
            continue;
        name.assign(entry.name);
        DirHandle child;
        if (TrustedDirs::openChild(dir, name, child) != TrustedDirs::Outcome::Opened)
            continue;
        VeltorPlatform::DirEnumerator inside;
        if (inside.open(child, VeltorPlatform::DirDetail::NamesAndTypes) != FsError::Success ||
            inside.next() != FsError::NoMoreItems) {
            if (report.why())
                report.stays(pathOf(dir, name), Reason::of(Reason::NotEmpty));
            continue;
        }
        inside.close();
        EntryInfo info;
        if (child.info(info) != FsError::Success)
            continue;
        child.close();
        remover_.remove(dir, name, info, Reason::of(Reason::EmptyDirectory));
    }
}

void OldFilesRemover::removeEmptySubdirectories(const std::string& dir) {
    DirHandle handle;
    if (openDir(dir, handle))
        removeEmptySubdirectories(handle);
}

void OldFilesRemover::removeOldLicenseStatus(const std::string& dir, std::int64_t hours,
                                             const std::string& dateRange) {
    DirHandle handle;
    bool missing = false;
    if (!openDir(dir, handle, &missing)) {
        if (missing)
            report().message("\nInvalid directory " + ActionReport::printable(dir), false);
        return;
    }
    const std::int64_t h = hours < 1 ? 24 : hours;
    removeEmptySubdirectories(handle);
    if (dateRange.empty())
        removeOldFiles(dir, "*", h, 0, LastWrite);
    else
        removeInDateRange(dir, dateRange, "*", 0);
}

} // namespace Veltor
