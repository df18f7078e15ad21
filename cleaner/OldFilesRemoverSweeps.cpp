// The sweeps for kinds of data that need their own treatment: dated logs, dangling locks, web reports,
// web sessions and license-status data.
#include "OldFilesRemover.h"

#include "FsTools.h"
#include "OldFilesRemoverText.h"
#include "Wildcard.h"

namespace Veltor {

using VeltorCorelib::matchWildcard;
using VeltorFilelib::FsTools;

namespace {

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
    if (pieces.size() < 2) {
        RemoverText::LastName last;
        FsTools::removeFilesIf(dir, "*.log", [&](const ListedFile& file) {
            last.offer(file.name);
            return isDatedLogName(file.name) && isOldListed(file, limit, 0, LastWrite);
        });
        if (last.any())
            setCurrentPath(dir, last.name());
        return;
    }
    listFiles(dir, "*.log", listing_);
    for (const std::string& name : listing_) {
        if (!isDatedLogName(name))
            continue;
        setCurrentPath(dir, name);
        removeIfInDateRange(currentPath_, pieces, 0);
    }
}

bool OldFilesRemover::removeIfDangling(const std::string& lockPath) {
    jobPath_ = RemoverText::withoutExtension(lockPath);
    if (FsTools::exists(jobPath_))
        return false;
    FsTools::removeFile(lockPath, false);
    return true;
}

void OldFilesRemover::removeDanglingLocks(const std::string& dir) {
    listFiles(dir, "*.lock", listing_);
    for (const std::string& name : listing_) {
        setCurrentPath(dir, name);
        removeIfDangling(currentPath_);
    }
}

void OldFilesRemover::removeDanglingLocksRecursive(const std::string& dir) {
    NameSet paths;
    if (!listFilesRecursive(dir, "*", paths))
        return;
    for (const std::string& shortcut : paths) {
        if (!FsTools::isShortcut(shortcut))
            continue;
        const std::string lock = RemoverText::withoutExtension(shortcut);
        if (!matchWildcard(lock, "*.lock"))
            continue;
        if (removeIfDangling(lock))
            FsTools::removeFile(shortcut, false);
    }
}

void OldFilesRemover::removeOldWebReports(const std::string& dir, std::int64_t hours,
                                          const std::string& dateRange) {
    const std::int64_t h = hours < 1 ? 48 : hours;
    if (!dateRange.empty()) {
        listFiles(dir, "*", listing_);
        if (listing_.empty())
            return;
        removeInDateRangeByPatterns(dir, dateRange, firstReportPatterns());
        removeInDateRangeByPatterns(dir, dateRange, secondReportPatterns());
        removeOldFiles(dir, "*.temp", h, 0, LastAccess);
        return;
    }
    // One pass serves all patterns. A report goes by its last write against the same limit whichever
    // list names it; temporary report files go by last access.
    const auto limit = static_cast<std::uint64_t>(hoursToSeconds(h));
    std::size_t files = 0;
    std::size_t goneByFirstList = 0;
    RemoverText::LastName lastReport;
    RemoverText::LastName lastTemporary; // judged after the reports: the current path ends here
    FsTools::removeFilesIf(
        dir, "*",
        [&](const ListedFile& file) {
            if (matchesAny(file.name, firstReportPatterns()) || matchesAny(file.name, secondReportPatterns())) {
                lastReport.offer(file.name);
                if (isOldListed(file, limit, limit, LastWrite))
                    return true;
            }
            if (!matchWildcard(file.name, "*.temp"))
                return false;
            lastTemporary.offer(file.name);
            return isOldListed(file, limit, 0, LastAccess);
        },
        [&](const ListedFile& file, FsTools::Removal result) {
            ++files;
            if (result == FsTools::Removal::Removed && matchesAny(file.name, firstReportPatterns()))
                ++goneByFirstList;
        });
    if (lastTemporary.any() || lastReport.any())
        setCurrentPath(dir, lastTemporary.any() ? lastTemporary.name() : lastReport.name());
    // The directory is reported when the first list alone has emptied it.
    if (files != 0 && goneByFirstList == files)
        write("\nDirectory: " + dir + " is empty");
}

bool OldFilesRemover::readSessionTime(const std::string& path, std::int64_t& time) {
    sessionText_.clear();
    FsTools::readFile(path, sessionText_, true);
    std::string_view field;
    // A text without a fourth piece holds no time: treated like an unreadable file, it stays.
    if (!RemoverText::piece(sessionText_, "=>", 3, field)) {
        write("\nUnable to open file: " + path + "\n");
        return false;
    }
    time = RemoverText::readInteger(RemoverText::trim(field.substr(0, field.find(','))));
    return true;
}

void OldFilesRemover::removeOldWebSessions(const std::string& dir, std::int64_t hours,
                                           const std::string& dateRange) {
    const Pieces pieces = RemoverText::split(dateRange, " ");
    listFiles(dir, "cgisess_*", listing_);
    if (listing_.empty())
        return;
    const std::int64_t h = hours == 0 ? 48 : hours;
    const std::int64_t limit = hoursToSeconds(h);
    const std::int64_t threshold = now() - limit;
    std::int64_t t = 0;
    for (const std::string& name : listing_) {
        setCurrentPath(dir, name);
        if (!readSessionTime(currentPath_, t))
            continue;
        if (pieces.empty()) {
            if (t < threshold)
                FsTools::removeFile(currentPath_, false);
        } else {
            removeIfInDateRange(currentPath_, pieces, t);
        }
    }
}

void OldFilesRemover::removeEmptySubdirectories(const std::string& dir) {
    NameSet subdirs;
    FsTools::readDir(dir, "*", nullptr, &subdirs);
    std::string path;
    for (const std::string& name : subdirs) {
        path.assign(dir).append(1, '/').append(name);
        // A link is not a subdirectory of this tree: leave it and what it leads to alone.
        if (FsTools::isLink(path))
            continue;
        listFiles(path, "*", listing_);
        if (listing_.empty())
            FsTools::removeDir(path, false, false, nullptr);
    }
}

void OldFilesRemover::removeOldLicenseStatus(const std::string& dir, std::int64_t hours,
                                             const std::string& dateRange) {
    if (!FsTools::exists(dir)) {
        write("\nInvalid directory " + dir);
        return;
    }
    const std::int64_t h = hours < 1 ? 24 : hours;
    removeEmptySubdirectories(dir);
    if (dateRange.empty())
        removeOldFiles(dir, "*", h, 0, LastWrite);
    else
        removeInDateRange(dir, dateRange, "*", 0);
}

} // namespace Veltor
