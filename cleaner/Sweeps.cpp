#include "Sweeps.h"

#include "Engine.h"
#include "FsTools.h"
#include "OldFilesRemoverText.h"
#include "Wildcard.h"
#include "platform/Paths.h"

#include <algorithm>

namespace Veltor {

using VeltorCorelib::matchWildcard;
using VeltorFilelib::FsTools;
using VeltorPlatform::DirHandle;
using VeltorPlatform::EntryInfo;
using VeltorPlatform::EntryKind;
using VeltorPlatform::ListedEntry;
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

bool matchesAny(std::string_view name, const AgeRules::PatternList& patterns) {
    for (const std::string& pattern : patterns)
        if (matchWildcard(name, pattern))
            return true;
    return false;
}

// The names of a sweep in byte order: those an earlier cleaning of the run noted for it while it
// listed the directory, or a listing of its own.
bool sweepNames(DirPass& pass, CleaningPlan::Notes* notes, const DirHandle& dir, const std::string& pattern,
                std::vector<std::string>& out) {
    if (notes != nullptr && notes->listed && !notes->full && notes->pattern == pattern) {
        out.swap(notes->names);
        std::sort(out.begin(), out.end());
        *notes = CleaningPlan::Notes{pattern, {}, false, false};
        return true;
    }
    return pass.names(
        dir, [&](std::string_view name) { return matchWildcard(name, pattern); }, out);
}

} // namespace

bool Sweeps::listFilesRecursive(const std::string& dir, const std::string& pattern, NameSet& out) {
    const std::string filePattern = pattern.empty() ? std::string("*") : pattern;
    const TrustedDirs::Opened* opened = context_.plan.toClean(dir);
    if (opened == nullptr)
        return false;
    context_.pass.walk(
        opened->dir,
        [&](const DirHandle& at, const ListedEntry& entry) {
            if (matchWildcard(entry.name, filePattern))
                out.insert(VeltorPlatform::joinPath(at.path(), std::string(entry.name)));
        },
        [](const DirHandle&) {});
    return true;
}

bool Sweeps::removeIfDangling(const DirHandle& dir, const std::string& lock, const std::string& root) {
    const std::string owner = RemoverText::withoutExtension(lock);
    EntryInfo info;
    // Anything under the owner's name keeps the lock: it is not dangling.
    const bool ownerExists = owner.empty() || context_.pass.lookup(dir, owner, info) != FsError::FileNotFound;
    const Verdict verdict =
        Judges::lock(ownerExists, belowRoot(VeltorPlatform::joinPath(dir.path(), owner), root));
    if (!verdict.goes) {
        context_.stays(dir, lock, verdict.why);
        return false;
    }
    if (context_.pass.lookup(dir, lock, info) == FsError::Success && info.kind != EntryKind::Directory)
        context_.remover.remove(dir, lock, info, verdict.why, Remover::Judged::JustNow);
    return true;
}

void Sweeps::removeDanglingLocks(const std::string& dir) {
    const TrustedDirs::Opened* opened = context_.plan.toClean(dir);
    if (opened == nullptr)
        return;
    context_.watch(opened->dir, ReportText::printable(dir) + " *.lock: a lock whose file is gone",
                   {"*.lock"});
    std::vector<std::string> names;
    context_.pass.names(
        opened->dir, [](std::string_view name) { return matchWildcard(name, "*.lock"); }, names);
    for (const std::string& name : names)
        removeIfDangling(opened->dir, name, opened->root);
}

void Sweeps::removeDanglingLocksRecursive(const std::string& dir) {
    const TrustedDirs::Opened* opened = context_.plan.toClean(dir);
    if (opened == nullptr)
        return;
    std::string shortcut;
    const std::string rule =
        ReportText::printable(dir) +
        " and below, *.lock.lnk: the shortcut of a lock whose file is gone, with its lock";
    context_.pass.walk(
        opened->dir,
        [&](const DirHandle& at, const ListedEntry& entry) {
            shortcut.assign(entry.name);
            if (!FsTools::isShortcut(shortcut))
                return;
            const std::string lock = RemoverText::withoutExtension(shortcut);
            if (!matchWildcard(lock, "*.lock") || !removeIfDangling(at, lock, opened->root))
                return;
            EntryInfo info;
            if (context_.pass.lookup(at, shortcut, info) == FsError::Success &&
                info.kind != EntryKind::Directory)
                context_.remover.remove(at, shortcut, info, Reason::of(Reason::LockShortcut, 0, 0, lock),
                                        Remover::Judged::JustNow);
        },
        [&](const DirHandle& entered) {
            context_.watch(entered, rule, {"*.lock.lnk", "*.lock"});
        });
}

void Sweeps::removeOldWebReports(const std::string& dir, std::int64_t hours, const std::string& dateRange) {
    const std::int64_t h = hours < 1 ? 48 : hours;
    const TrustedDirs::Opened* opened = context_.plan.toClean(dir);
    if (opened == nullptr)
        return;
    if (dateRange.empty()) {
        removeWebReportsIn(opened->dir, ReportText::printable(dir), h);
        return;
    }
    std::vector<std::string> names;
    context_.pass.names(
        opened->dir, [](std::string_view) { return true; }, names);
    if (names.empty())
        return;
    rules_.removeInDateRangeByPatterns(dir, dateRange, Engine::firstReportPatterns());
    rules_.removeInDateRangeByPatterns(dir, dateRange, Engine::secondReportPatterns());
    rules_.removeByRulesOf(dir, {AgeRules::Rule{"*.temp", h, 0, LastAccess}});
}

void Sweeps::removeWebReportsIn(const DirHandle& dir, const std::string& shown, std::int64_t hours) {
    const auto limit = static_cast<std::uint64_t>(context_.hoursToSeconds(hours));
    const Judges::AgeLimits reports{limit, limit, LastWrite};
    const Judges::AgeLimits temporary{limit, 0, LastAccess};
    if (context_.report().why()) {
        std::vector<std::string> patterns(Engine::firstReportPatterns().begin(),
                                          Engine::firstReportPatterns().end());
        patterns.insert(patterns.end(), Engine::secondReportPatterns().begin(),
                        Engine::secondReportPatterns().end());
        patterns.push_back("*.temp");
        context_.watch(dir,
                       shown + " reports (top_0_*, top_*_*_* with the report endings): " +
                           AgeRules::ageRule(reports) + "; *.temp: " + AgeRules::ageRule(temporary),
                       patterns);
    }
    // One pass serves all patterns. A report goes by its last write against the same limit whichever
    // list names it; temporary report files go by last access.
    const std::int64_t current = context_.now();
    auto isReport = [](std::string_view name) {
        return matchesAny(name, Engine::firstReportPatterns()) ||
               matchesAny(name, Engine::secondReportPatterns());
    };
    auto judge = [&](std::string_view name, const EntryInfo& entry) {
        if (isReport(name)) {
            const Verdict verdict = Judges::age(entry, current, reports);
            if (verdict.goes || !matchWildcard(name, "*.temp"))
                return verdict;
        }
        return Judges::age(entry, current, temporary);
    };
    std::size_t files = 0;
    std::size_t goneByFirstList = 0;
    std::string name;
    context_.pass.files(
        dir, [&](std::string_view listed) { return isReport(listed) || matchWildcard(listed, "*.temp"); },
        [&](const ListedEntry& entry) {
            ++files;
            const Verdict verdict = judge(entry.name, entry.info);
            if (!verdict.goes) {
                context_.stays(dir, entry.name, verdict.why, &entry.info);
                return;
            }
            name.assign(entry.name);
            if (context_.remover.remove(dir, name, entry.info, verdict.why, Remover::Judged::JustNow,
                                        [&](const EntryInfo& now) { return judge(name, now); }) &&
                matchesAny(name, Engine::firstReportPatterns()))
                ++goneByFirstList;
        },
        [&](std::string_view) { ++files; });
    // The directory is reported when the first list alone has emptied it.
    if (files != 0 && goneByFirstList == files) {
        Event event = Event::named(EventType::DirectoryEmpty, &shown);
        context_.report().tell(event);
    }
}

bool Sweeps::readSessionTime(const std::string& path, std::int64_t& time) {
    std::string dirPath;
    std::string name;
    RemoverText::splitPath(path, dirPath, name);
    const TrustedDirs::Opened* opened = name.empty() ? nullptr : context_.plan.toClean(dirPath);
    EntryInfo read;
    if (opened == nullptr) {
        Event event = Event::named(EventType::SessionUnreadable, &path);
        context_.report().tell(event);
        return false;
    }
    return readSessionTime(opened->dir, name, path, time, read);
}

bool Sweeps::readSessionTime(const DirHandle& dir, const std::string& name, const std::string& shown,
                             std::int64_t& time, EntryInfo& read) {
    std::string text;
    VeltorPlatform::FileHandle file;
    // Never through a link, never a FIFO or device, and without touching the last access.
    if (file.openRead(dir, name, true) == FsError::Success && file.info(read) == FsError::Success) {
        if (context_.report().dryRun() && !file.accessTimeKept()) {
            Event event = Event::of(EventType::AccessTimeMoved, &dir, name, &shown);
            context_.report().tell(event);
        }
        text.resize(kSessionReadLimit);
        std::size_t total = 0;
        std::size_t got = 0;
        while (total < kSessionReadLimit &&
               file.read(&text[total], kSessionReadLimit - total, got) == FsError::Success && got > 0)
            total += got;
        text.resize(total);
        // Carriage returns are no part of the text, as a text read leaves them out.
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    }
    std::string_view field;
    // A text without a fourth piece holds no time: treated like an unreadable file, it stays (a web
    // server may be writing it, or it is none).
    if (!RemoverText::piece(text, "=>", 3, field)) {
        Event event = Event::of(EventType::SessionUnreadable, &dir, name, &shown);
        context_.report().tell(event);
        return false;
    }
    time = RemoverText::readInteger(RemoverText::trim(field.substr(0, field.find(','))));
    return true;
}

void Sweeps::removeOldWebSessions(const std::string& dir, std::int64_t hours, const std::string& dateRange) {
    const AgeRules::Pieces pieces = RemoverText::split(dateRange, " ");
    const TrustedDirs::Opened* opened = context_.plan.toClean(dir);
    std::vector<std::string> names;
    if (opened == nullptr ||
        !sweepNames(context_.pass, context_.plan.notesFor(dir), opened->dir, "cgisess_*", names) ||
        names.empty())
        return;
    const DirHandle& handle = opened->dir;
    const std::int64_t limit = context_.hoursToSeconds(hours == 0 ? 48 : hours);
    context_.watch(handle,
                   ReportText::printable(dir) + " cgisess_*: the session time recorded in it older than " +
                       std::to_string(limit / 3600) + " h",
                   {"cgisess_*"});
    const std::int64_t current = context_.now();
    std::int64_t t = 0;
    EntryInfo read;
    std::string shown;
    for (const std::string& name : names) {
        // Named as the caller gave the directory, '/', the name.
        shown.assign(dir).append(1, '/').append(name);
        const bool hasTime = readSessionTime(handle, name, shown, t, read);
        if (!pieces.empty()) {
            if (hasTime)
                rules_.removeInDateRange(handle, name, pieces, t);
            continue;
        }
        const Verdict verdict = Judges::session(hasTime, t, current, limit);
        // What was read is what goes: a file swapped in meanwhile stays.
        if (verdict.goes)
            context_.remover.remove(handle, name, read, verdict.why, Remover::Judged::Earlier);
        else
            context_.stays(handle, name, verdict.why, &read);
    }
}

void Sweeps::removeEmptySubdirectories(const DirHandle& dir) {
    context_.watch(dir, ReportText::printable(dir.path()) + " subdirectories: removed when empty", {"*"});
    context_.pass.subdirectories(dir, [&](const std::string& name) {
        DirHandle child;
        std::uint32_t error = 0;
        const TrustedDirs::Outcome opened = TrustedDirs::openChild(dir, name, child, &error);
        VeltorPlatform::DirEnumerator inside;
        if (opened == TrustedDirs::Outcome::Opened)
            error = inside.open(child, VeltorPlatform::DirDetail::NamesAndTypes);
        // One that cannot be looked into is not known to be empty: the run says it could not.
        if (opened == TrustedDirs::Outcome::Unreadable ||
            (opened == TrustedDirs::Outcome::Opened && error != 0)) {
            const std::string path = VeltorPlatform::joinPath(dir.path(), name);
            Event event = Event::of(EventType::NotCleaned);
            event.problem = Problem::CannotOpen;
            event.error = error;
            event.shown = &path;
            context_.plan.notCleaned(event);
            return;
        }
        if (opened != TrustedDirs::Outcome::Opened)
            return;
        const std::uint32_t first = inside.next();
        const Verdict verdict = Judges::emptyDirectory(first == FsError::NoMoreItems);
        EntryInfo info;
        inside.close();
        if (!verdict.goes || child.info(info) != FsError::Success) {
            context_.stays(dir, name, verdict.why);
            return;
        }
        child.close();
        context_.remover.remove(dir, name, info, verdict.why, Remover::Judged::JustNow);
    });
}

void Sweeps::removeOldLicenseStatus(const std::string& dir, std::int64_t hours,
                                    const std::string& dateRange) {
    if (dir.empty() || context_.plan.open(dir).outcome == TrustedDirs::Outcome::Missing) {
        Event event = Event::named(EventType::InvalidDirectory, &dir);
        context_.report().tell(event);
    }
    const TrustedDirs::Opened* opened = context_.plan.toClean(dir);
    if (opened == nullptr)
        return;
    const std::int64_t h = hours < 1 ? 24 : hours;
    removeEmptySubdirectories(opened->dir);
    if (dateRange.empty())
        rules_.removeByRulesOf(dir, {AgeRules::Rule{"*", h, 0, LastWrite}});
    else
        rules_.removeInDateRange(dir, dateRange, "*", 0);
}

} // namespace Veltor
