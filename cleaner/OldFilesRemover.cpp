#include "OldFilesRemover.h"

#include "DateTime.h"
#include "FsTools.h"
#include "OldFilesRemoverText.h"
#include "TrustedDirs.h"
#include "platform/Console.h"
#include "platform/Process.h"
#include "platform/Time.h"

#include <limits>
#include <utility>
#include <vector>

namespace Veltor {

using VeltorCorelib::matchWildcard;
using VeltorFilelib::FsTools;

namespace {

// Milliseconds from the DateTime origin (1899-12-31) to 1970-01-01 00:00:00 UTC.
constexpr std::int64_t kUnixEpochMs = 2209075200000LL;

[[noreturn]] void endProcess() {
    VeltorPlatform::consoleFlush();
    VeltorPlatform::exitProcess(1);
}

} // namespace

OldFilesRemover::OldFilesRemover(CleaningPlan& plan, Clock clock)
    : plan_(plan), remover_(plan.report()), clock_(std::move(clock)) {}

OldFilesRemover::OldFilesRemover() : OldFilesRemover(Clock()) {}

OldFilesRemover::OldFilesRemover(Clock clock)
    : ownReport_(std::make_unique<ActionReport>()), ownPlan_(std::make_unique<CleaningPlan>(*ownReport_)),
      plan_(*ownPlan_), remover_(plan_.report()), clock_(std::move(clock)) {}

OldFilesRemover::~OldFilesRemover() = default;

std::int64_t OldFilesRemover::now() const {
    if (clock_)
        return clock_();
    return (VeltorCorelib::DateTime::now() - kUnixEpochMs) / 1000;
}

std::int64_t OldFilesRemover::toSeconds(std::int64_t dateTimeMs) {
    return (dateTimeMs - kUnixEpochMs) / 1000;
}

void OldFilesRemover::write(const std::string& first, const std::string& second) {
    VeltorPlatform::consoleWrite(first);
    VeltorPlatform::consoleWrite(second);
    VeltorPlatform::consoleFlush();
}

std::int64_t OldFilesRemover::hoursToSeconds(std::int64_t hours) {
    if (hours < 0) {
        write("\nError, You entered a negative number. Program will exit.");
        endProcess();
    }
    // Beyond this the limit exceeds any representable age anyway: clamp instead of overflowing.
    constexpr std::int64_t largest = std::numeric_limits<std::int64_t>::max() / 3600;
    return (hours > largest ? largest : hours) * 3600;
}

bool OldFilesRemover::isOld(std::int64_t current, std::int64_t accessed, std::int64_t written,
                            std::uint64_t maxAgeSeconds, std::uint64_t unreadAgeSeconds, int stamp) {
    if (stamp != LastAccess && stamp != LastWrite)
        return false;
    // The stamp the rule judges decides, and a future value of it (clock skew, restored files) never
    // makes a file old. The other stamp lying in the future does not keep the file for ever: a future
    // last access still means "read since written".
    const std::int64_t judged = stamp == LastAccess ? accessed : written;
    if (judged > current)
        return false;
    const std::uint64_t age = static_cast<std::uint64_t>(current - judged);
    if (age <= maxAgeSeconds)
        return false;
    // Not read since its last write: it also has to exceed the unread age.
    return accessed != written || static_cast<std::uint64_t>(current - accessed) > unreadAgeSeconds;
}

namespace {
using VeltorPlatform::DirEnumerator;
using VeltorPlatform::EntryKind;
using VeltorPlatform::ListedEntry;
namespace FsError = VeltorPlatform::FileSystemError;

// Directories deeper than this below a walk's start are not entered: every level holds two handles,
// and 256 levels stay well inside the usual limit of 1024 open files.
constexpr std::size_t kMaxWalkDepth = 256;
// Names a listing notes for the later rules of the same directory before they list it themselves.
constexpr std::size_t kMaxNoted = 100000;

std::int64_t secondsOf(std::int64_t unixMs) {
    return unixMs / 1000;
}

} // namespace

bool OldFilesRemover::openDir(const std::string& dir, DirHandle& out, bool* missing) {
    const TrustedDirs::Opened& opened = plan_.open(dir);
    if (missing != nullptr)
        *missing = opened.outcome == TrustedDirs::Outcome::Missing;
    if (opened.outcome == TrustedDirs::Outcome::Refused) {
        if (plan_.firstRefusal(opened.refusedAt)) {
            const char* why = opened.refusal == TrustedDirs::Refusal::UntrustedLink
                                  ? " is a link in a directory others can write"
                              : opened.refusal == TrustedDirs::Refusal::TooManyLinks
                                  ? " leads through more than 40 links"
                                  : " is a link or not a directory";
            report().message("\nNot cleaned: " + ActionReport::printable(opened.refusedAt) + why, true);
            VeltorPlatform::consoleFlush();
        }
        return false;
    }
    if (opened.outcome != TrustedDirs::Outcome::Opened)
        return false;
    out = opened.dir;
    root_ = opened.root;
    return true;
}

OldFilesRemover::Judge OldFilesRemover::ageJudge(std::uint64_t maxAgeSeconds, std::uint64_t unreadAgeSeconds,
                                                 int stamp) const {
    const std::int64_t current = now();
    return [=](std::string_view, std::int64_t writeMs, std::int64_t accessMs, Reason& why) {
        const std::int64_t written = secondsOf(writeMs);
        const std::int64_t accessed = secondsOf(accessMs);
        const auto limit = static_cast<std::int64_t>(maxAgeSeconds);
        const auto unreadLimit = static_cast<std::int64_t>(unreadAgeSeconds);
        const bool byAccess = stamp == LastAccess;
        // Zero means the entry could not be read: nothing to judge.
        if (writeMs == 0 || accessMs == 0) {
            why = Reason::of(Reason::NoStamp);
            return false;
        }
        const bool old = isOld(current, accessed, written, maxAgeSeconds, unreadAgeSeconds, stamp);
        const std::int64_t judgedAge = current - (byAccess ? accessed : written);
        // Why it goes, or why it stays: the limit that decided, with the stamps it was judged on.
        const bool neverRead = accessed == written && unreadLimit > limit;
        if (judgedAge < 0)
            why = Reason::of(Reason::FutureStamp);
        else if (neverRead && (old || judgedAge > limit))
            why = Reason::of(old ? Reason::NeverRead : Reason::UnreadYoung, current - written, unreadLimit);
        else
            why = Reason::of(old ? Reason::Age : Reason::Young, judgedAge, limit);
        why.lastAccess = byAccess;
        why.stamped = true;
        why.written = written;
        why.accessed = accessed;
        why.judgedAt = current;
        why.limitSeconds =
            why.kind == Reason::NeverRead || why.kind == Reason::UnreadYoung ? unreadLimit : limit;
        why.ruleLimitSeconds = limit;
        why.unreadLimitSeconds = neverRead ? unreadLimit : 0;
        return old;
    };
}

void OldFilesRemover::removeListed(const DirHandle& dir, const std::string& pattern, const Judge& judge,
                                   RemoverText::LastName& last, std::size_t* seen,
                                   const std::function<void(const std::string&, bool)>& done,
                                   const std::function<void(std::string_view)>& left) {
    DirEnumerator listing;
    if (listing.open(dir, VeltorPlatform::DirDetail::NamesAndTypes) != FsError::Success)
        return;
    ActionReport& report = this->report();
    std::string name;
    Reason why;
    while (listing.next() == FsError::Success) {
        const ListedEntry& entry = listing.entry();
        if (entry.info.kind == EntryKind::Directory)
            continue;
        const std::string_view listed = entry.name;
        if (!matchWildcard(listed, pattern)) {
            if (left)
                left(listed);
            continue;
        }
        // The details only of the entries whose name matches: most of a large directory costs no status.
        if (listing.complete() != FsError::Success || entry.info.kind == EntryKind::Directory)
            continue;
        last.offer(listed);
        if (seen != nullptr)
            ++*seen;
        if (!judge(listed, entry.info.lastWriteMs, entry.info.lastAccessMs, why)) {
            if (report.why())
                report.stays(pathOf(dir, std::string(listed)), why);
            if (done)
                done(std::string(listed), false);
            if (left)
                left(listed);
            continue;
        }
        name.assign(listed);
        // Removed relative to the listed directory, only while it is still the entry the listing read.
        const bool gone = remover_.remove(dir, name, entry.info, why, judge);
        if (done)
            done(name, gone);
        if (!gone && left)
            left(name);
    }
}

void OldFilesRemover::listNames(const DirHandle& dir, const std::string& pattern, NameSet& out) {
    out.clear();
    DirEnumerator listing;
    if (listing.open(dir, VeltorPlatform::DirDetail::NamesAndTypes) != FsError::Success)
        return;
    while (listing.next() == FsError::Success) {
        const ListedEntry& entry = listing.entry();
        if (entry.info.kind != EntryKind::Directory && matchWildcard(entry.name, pattern))
            out.emplace(entry.name);
    }
}

bool OldFilesRemover::removeIfOld(const std::string& path, std::uint64_t maxAgeSeconds,
                                  std::uint64_t unreadAgeSeconds, int stamp) {
    std::string dirPath;
    std::string name;
    RemoverText::splitPath(path, dirPath, name);
    DirHandle dir;
    EntryInfo info;
    if (name.empty() || !openDir(dirPath, dir) || dir.lookup(name, info) != FsError::Success ||
        info.kind == EntryKind::Directory)
        return false;
    const Judge judge = ageJudge(maxAgeSeconds, unreadAgeSeconds, stamp);
    Reason why;
    if (!judge(name, info.lastWriteMs, info.lastAccessMs, why))
        return false;
    remover_.remove(dir, name, info, why, judge);
    return true;
}

void OldFilesRemover::setCurrentPath(const std::string& dir, const std::string& name) {
    // Reuses the member's buffer: no allocation per file once it is long enough.
    currentPath_.assign(dir).append(1, '/').append(name);
}

void OldFilesRemover::watchRule(const DirHandle& handle, const std::string& dir, const std::string& pattern,
                                std::uint64_t maxAge, std::uint64_t unreadAge, int stamp) {
    ActionReport& report = this->report();
    if (report.why())
        report.watch(handle,
                     ActionReport::printable(dir) + " " + pattern + ": " + ageRule(maxAge, unreadAge, stamp),
                     {pattern});
}

void OldFilesRemover::removeOldFiles(const std::string& dir, const std::string& pattern,
                                     std::int64_t maxAgeHours, std::int64_t unreadAgeHours, int stamp) {
    const auto maxAge = static_cast<std::uint64_t>(hoursToSeconds(maxAgeHours));
    const auto unreadAge = static_cast<std::uint64_t>(hoursToSeconds(unreadAgeHours));
    DirHandle handle;
    if (!openDir(dir, handle))
        return;
    watchRule(handle, dir, pattern, maxAge, unreadAge, stamp);
    // Each file is judged on the status the listing has just read and goes at once, as find -delete
    // does: one pass, no list of a directory that may hold millions of files. The remover checks the
    // entry once more right before it goes (one more status call per file removed).
    RemoverText::LastName last;
    removeListed(handle, pattern, ageJudge(maxAge, unreadAge, stamp), last);
    if (last.any())
        setCurrentPath(dir, last.name());
}

void OldFilesRemover::removeByRulesOf(const std::string& dir, const std::vector<AgeRule>& rules) {
    const AgeRule& first = rules.front();
    if (rules.size() == 1) {
        removeOldFiles(dir, first.pattern, first.maxAgeHours, first.unreadAgeHours, first.stamp);
        return;
    }
    // Each rule's ages are checked when its turn comes, as when each rule ran on its own.
    const auto maxAge = static_cast<std::uint64_t>(hoursToSeconds(first.maxAgeHours));
    const auto unreadAge = static_cast<std::uint64_t>(hoursToSeconds(first.unreadAgeHours));
    DirHandle handle;
    if (!openDir(dir, handle)) {
        for (std::size_t k = 1; k < rules.size(); ++k)
            removeOldFiles(dir, rules[k].pattern, rules[k].maxAgeHours, rules[k].unreadAgeHours,
                           rules[k].stamp);
        return;
    }
    // The directory is listed once, for the first rule. Each later rule sees what the earlier ones left,
    // as if it listed the directory after them: the names left are noted under the first later rule
    // that matches them (a name only: its status is read again when that rule judges it), and a name
    // a rule keeps passes on to the next rule that matches it. Past kMaxNoted names the later rules
    // list the directory themselves, so memory stays bounded however many files match them.
    std::vector<std::vector<std::string>> noted(rules.size());
    std::size_t count = 0;
    bool overflow = false;
    auto noteAfter = [&](std::string_view name, std::size_t rule) {
        for (std::size_t k = rule + 1; k < rules.size(); ++k) {
            if (!matchWildcard(name, rules[k].pattern))
                continue;
            noted[k].emplace_back(name);
            return true;
        }
        return false;
    };
    watchRule(handle, dir, first.pattern, maxAge, unreadAge, first.stamp);
    RemoverText::LastName last;
    removeListed(handle, first.pattern, ageJudge(maxAge, unreadAge, first.stamp), last, nullptr, nullptr,
                 [&](std::string_view name) {
                     if (!overflow && noteAfter(name, 0) && ++count > kMaxNoted) {
                         overflow = true;
                         std::vector<std::vector<std::string>>(rules.size()).swap(noted);
                     }
                 });
    if (last.any())
        setCurrentPath(dir, last.name());
    ActionReport& report = this->report();
    for (std::size_t k = 1; k < rules.size(); ++k) {
        const AgeRule& rule = rules[k];
        if (overflow) {
            removeOldFiles(dir, rule.pattern, rule.maxAgeHours, rule.unreadAgeHours, rule.stamp);
            continue;
        }
        const auto ruleMaxAge = static_cast<std::uint64_t>(hoursToSeconds(rule.maxAgeHours));
        const auto ruleUnreadAge = static_cast<std::uint64_t>(hoursToSeconds(rule.unreadAgeHours));
        watchRule(handle, dir, rule.pattern, ruleMaxAge, ruleUnreadAge, rule.stamp);
        const Judge judge = ageJudge(ruleMaxAge, ruleUnreadAge, rule.stamp);
        RemoverText::LastName lastOfRule;
        for (const std::string& name : noted[k]) {
            EntryInfo info;
            // Gone or replaced by a directory since the listing: nothing for this rule.
            if (handle.lookup(name, info) != FsError::Success || info.kind == EntryKind::Directory)
                continue;
            lastOfRule.offer(name);
            Reason why;
            if (!judge(name, info.lastWriteMs, info.lastAccessMs, why)) {
                if (report.why())
                    report.stays(pathOf(handle, name), why);
            } else if (remover_.remove(handle, name, info, why, judge)) {
                continue;
            }
            noteAfter(name, k);
        }
        std::vector<std::string>().swap(noted[k]);
        if (lastOfRule.any())
            setCurrentPath(dir, lastOfRule.name());
    }
}

std::string OldFilesRemover::ageRule(std::uint64_t maxAgeSeconds, std::uint64_t unreadAgeSeconds, int stamp) {
    std::string text = std::string(stamp == LastAccess ? "last access" : "last write") + " older than " +
                       std::to_string(maxAgeSeconds / 3600) + " h";
    if (unreadAgeSeconds > maxAgeSeconds)
        text +=
            ", and if never read since written, older than " + std::to_string(unreadAgeSeconds / 3600) + " h";
    return text;
}

void OldFilesRemover::removeByRules(RuleTable rules) {
    // The rules of one directory follow each other in the table: they share one listing of it.
    std::string directory;
    std::vector<AgeRule> group;
    for (const auto& rule : rules) {
        const std::vector<std::string> fields = RemoverText::split(rule.second, ",");
        const std::string trimmed(RemoverText::trim(rule.first));
        // A missing directory or a malformed line costs that rule only; the others still run.
        if (trimmed.empty() || fields.size() < 4)
            continue;
        if (trimmed != directory && !group.empty()) {
            removeByRulesOf(directory, group);
            group.clear();
        }
        directory = trimmed;
        group.push_back(AgeRule{std::string(RemoverText::trim(fields[0])),
                                RemoverText::readInteger(RemoverText::trim(fields[1])),
                                RemoverText::readInteger(RemoverText::trim(fields[2])),
                                clampToInt(RemoverText::readInteger(RemoverText::trim(fields[3])))});
    }
    if (!group.empty())
        removeByRulesOf(directory, group);
}

int OldFilesRemover::clampToInt(std::int64_t value) {
    if (value > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (value < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

void OldFilesRemover::removeOldFilesByPatterns(const std::string& dir, const PatternList& patterns,
                                               std::int64_t maxAgeHours, std::int64_t unreadAgeHours,
                                               int stamp) {
    DirHandle handle;
    if (openDir(dir, handle))
        listNames(handle, "*", listing_);
    else
        listing_.clear();
    if (listing_.empty()) {
        report().message("\nDirectory: " + ActionReport::printable(dir) + " is empty", false);
        return;
    }
    for (const std::string& pattern : patterns)
        removeOldFiles(dir, pattern, maxAgeHours, unreadAgeHours, stamp);
}

void OldFilesRemover::walk(const DirHandle& start,
                           const std::function<void(const DirHandle&, const ListedEntry&)>& visit,
                           const std::function<void(const DirHandle&)>& entered) {
    // One open directory and its listing per level: memory grows with the depth, not with the number
    // of files, and no directory is ever reached by a path that its contents could redirect.
    struct Level {
        DirHandle dir;
        DirEnumerator listing;
    };
    std::vector<std::unique_ptr<Level>> stack;
    auto enter = [&](DirHandle dir) {
        auto level = std::make_unique<Level>();
        level->dir = std::move(dir);
        if (level->listing.open(level->dir, VeltorPlatform::DirDetail::NamesAndTypes) != FsError::Success)
            return;
        if (entered)
            entered(level->dir);
        stack.push_back(std::move(level));
    };
    enter(start);
    std::string name;
    while (!stack.empty()) {
        Level& level = *stack.back();
        if (level.listing.next() != FsError::Success) {
            stack.pop_back();
            continue;
        }
        const ListedEntry& entry = level.listing.entry();
        if (entry.info.kind == EntryKind::Link)
            continue; // links lead out of the tree or back into it: never followed
        if (entry.info.kind != EntryKind::Directory) {
            visit(level.dir, entry);
            continue;
        }
        name.assign(entry.name);
        if (stack.size() > kMaxWalkDepth) {
            report().message("\nNot cleaned, too deep: " + ActionReport::printable(pathOf(level.dir, name)),
                             true);
            continue;
        }
        DirHandle child;
        std::uint32_t error = 0;
        // A directory swapped for a link since it was listed is refused here, never entered.
        const TrustedDirs::Outcome opened = TrustedDirs::openChild(level.dir, name, child, &error);
        if (opened == TrustedDirs::Outcome::Opened)
            enter(std::move(child));
        else if (opened == TrustedDirs::Outcome::Unreadable && error != FsError::AccessDenied)
            // Beyond what the system can reach (a path too long where long paths are off, say): the run
            // goes on, and says which directory it had to leave.
            report().message(
                "\nNot cleaned, not reachable: " + ActionReport::printable(pathOf(level.dir, name)) +
                    " (win-error#" + std::to_string(error) + ")",
                true);
    }
}

bool OldFilesRemover::listFilesRecursive(const std::string& dir, const std::string& pattern, NameSet& out) {
    const std::string filePattern = pattern.empty() ? std::string("*") : pattern;
    DirHandle start;
    if (!openDir(dir, start))
        return false;
    walk(start, [&](const DirHandle& at, const ListedEntry& entry) {
        if (matchWildcard(entry.name, filePattern))
            out.insert(pathOf(at, std::string(entry.name)));
    });
    return true;
}

bool OldFilesRemover::isValidDate(const std::string& text) {
    if (text.find_first_not_of("0123456789-") != std::string::npos)
        return false;
    const std::vector<std::string> pieces = RemoverText::split(text, "-");
    if (pieces.size() != 3 || pieces[0].size() != 4 || pieces[1].size() != 2 || pieces[2].size() != 2)
        return false;
    const int year = std::stoi(pieces[0]);
    const int month = std::stoi(pieces[1]);
    const int day = std::stoi(pieces[2]);
    if (year < 1000 || month < 1 || month > 12 || day < 1)
        return false;
    static const int monthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int lastDay = month == 2 && leap ? 29 : monthDays[month - 1];
    return day <= lastDay;
}

std::int64_t OldFilesRemover::parseDate(const std::string& text) {
    if (!isValidDate(text)) {
        write(" Error: Invalid date(" + text + ").Enter date in the following format: YYYY-MM-DD\n ");
        write(" Exiting... ");
        endProcess();
    }
    const std::vector<std::string> pieces = RemoverText::split(text, "-");
    VeltorPlatform::CalendarTime fields;
    fields.year = std::stoi(pieces[0]) - 1900;
    fields.month = std::stoi(pieces[1]) - 1;
    fields.monthDay = std::stoi(pieces[2]);
    fields.isDaylight = 0;
    return VeltorPlatform::makeTime(fields);
}

std::string OldFilesRemover::formatDate(std::int64_t time, char separator) {
    VeltorPlatform::CalendarTime fields;
    if (!VeltorPlatform::localTime(time, fields))
        return std::string();
    std::string text = std::to_string(fields.year + 1900);
    text += separator;
    text += std::to_string(fields.month + 1);
    text += separator;
    if (fields.monthDay < 10)
        text += '0';
    text += std::to_string(fields.monthDay);
    return text;
}

void OldFilesRemover::removeIfInDateRange(const std::string& path, const Pieces& range, std::int64_t time) {
    std::string dirPath;
    std::string name;
    RemoverText::splitPath(path, dirPath, name);
    DirHandle dir;
    // The dates are checked first: an invalid one ends the run whether or not the file is there.
    if (!openDir(dirPath, dir)) {
        removeInDateRange(DirHandle(), name, range, time);
        return;
    }
    removeInDateRange(dir, name, range, time);
}

void OldFilesRemover::removeInDateRange(const DirHandle& dir, const std::string& name, const Pieces& range,
                                        std::int64_t time) {
    // A range with one date reads the missing one as empty text: reported as an invalid date.
    const std::int64_t start = parseDate(range.size() > 0 ? range[0] : std::string());
    const std::int64_t end = parseDate(range.size() > 1 ? range[1] : std::string());
    if (start > end) {
        write("Error: Start date shouldn't be later than the end date");
        write("\nExiting...");
        endProcess();
    }
    EntryInfo info;
    // A file that vanished has no stamp to compare.
    if (!dir.isOpen() || name.empty() || dir.lookup(name, info) != FsError::Success ||
        info.kind == EntryKind::Directory)
        return;
    std::int64_t t = time;
    if (t == 0) {
        if (info.lastWriteMs == 0)
            return;
        t = secondsOf(info.lastWriteMs);
    }
    if (start <= t && t <= end) {
        const Reason why = Reason::of(Reason::InDateRange, 0, 0, range[0] + " " + range[1]);
        remover_.remove(dir, name, info, why);
    }
}

void OldFilesRemover::removeInDateRange(const std::string& dir, const std::string& dateRange,
                                        const std::string& pattern, std::int64_t time) {
    const Pieces pieces = RemoverText::split(dateRange, " ");
    DirHandle handle;
    if (openDir(dir, handle))
        listNames(handle, pattern, listing_);
    else
        listing_.clear();
    for (const std::string& name : listing_) {
        setCurrentPath(dir, name);
        removeInDateRange(handle, name, pieces, time);
    }
}

void OldFilesRemover::removeInDateRangeByPatterns(const std::string& dir, const std::string& dateRange,
                                                  const PatternList& patterns) {
    for (const std::string& pattern : patterns)
        removeInDateRange(dir, dateRange, pattern, 0);
}

} // namespace Veltor
