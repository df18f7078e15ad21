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

bool matchesAny(const std::string& name, const OldFilesRemover::PatternList& patterns) {
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

bool OldFilesRemover::isDatedLogName(const std::string& name) {
    return RemoverText::countPieces(name, '_') >= 2 || RemoverText::countPieces(name, '-') >= 2;
}

void OldFilesRemover::removeOldLogs(const std::string& dir, std::int64_t hours,
                                    const std::string& dateRange) {
    const std::int64_t limit = hoursToSeconds(hours < 1 ? 24 : hours);
    const Pieces pieces = RemoverText::split(dateRange, " ");
    FsTools::readDirStamps(dir, "*.log", stampListing_);
    for (const FileStamps& file : stampListing_) {
        setCurrentPath(dir, file.name);
        if (!isDatedLogName(file.name))
            continue;
        if (pieces.size() < 2)
            judgeListed(currentPath_, file, static_cast<std::uint64_t>(limit), 0, LastWrite);
        else
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
    // One listing serves all patterns: a file removed by one pattern is not tried again, one that was
    // kept is judged again by the next pattern with the same limits and so is kept again.
    FsTools::readDirStamps(dir, "*", stampListing_);
    if (stampListing_.empty())
        return;
    if (!dateRange.empty()) {
        removeInDateRangeByPatterns(dir, dateRange, firstReportPatterns());
        removeInDateRangeByPatterns(dir, dateRange, secondReportPatterns());
        removeOldFiles(dir, "*.temp", h, 0, LastAccess);
        return;
    }
    const std::uint64_t limit = static_cast<std::uint64_t>(hoursToSeconds(h));
    std::vector<bool> gone(stampListing_.size(), false);
    std::size_t remaining = stampListing_.size();
    auto sweep = [&](const PatternList& patterns) {
        for (std::size_t i = 0; i < stampListing_.size(); ++i) {
            const FileStamps& file = stampListing_[i];
            if (gone[i] || !matchesAny(file.name, patterns))
                continue;
            setCurrentPath(dir, file.name);
            if (judgeListed(currentPath_, file, limit, limit, LastWrite) == Verdict::Removed) {
                gone[i] = true;
                --remaining;
            }
        }
    };
    sweep(firstReportPatterns());
    // The second list reports a directory that the first one left without any file.
    if (remaining == 0)
        write("\nDirectory: " + dir + " is empty");
    else
        sweep(secondReportPatterns());
    // Temporary report files go by last access.
    const std::uint64_t tempLimit = static_cast<std::uint64_t>(hoursToSeconds(h));
    for (std::size_t i = 0; i < stampListing_.size(); ++i) {
        const FileStamps& file = stampListing_[i];
        if (gone[i] || !matchWildcard(file.name, "*.temp"))
            continue;
        setCurrentPath(dir, file.name);
        judgeListed(currentPath_, file, tempLimit, 0, LastAccess);
    }
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
