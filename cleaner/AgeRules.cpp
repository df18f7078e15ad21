#include "AgeRules.h"

#include "Engine.h"
#include "OldFilesRemoverText.h"
#include "Wildcard.h"
#include "platform/Paths.h"

#include <limits>

namespace Veltor {

using VeltorCorelib::matchWildcard;
using VeltorPlatform::DirHandle;
using VeltorPlatform::EntryInfo;
using VeltorPlatform::EntryKind;
using VeltorPlatform::ListedEntry;
namespace FsError = VeltorPlatform::FileSystemError;

namespace {

// Names one listing notes for the later rules of the same directory and for a later sweep of it,
// before they list it themselves: memory stays bounded however many files the directory holds.
constexpr std::size_t kMaxNoted = 100000;

int clampToInt(std::int64_t value) {
    if (value > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (value < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

} // namespace

Judges::AgeLimits AgeRules::limitsOf(std::int64_t maxAgeHours, std::int64_t unreadAgeHours, int stamp) const {
    return Judges::AgeLimits{static_cast<std::uint64_t>(context_.hoursToSeconds(maxAgeHours)),
                             static_cast<std::uint64_t>(context_.hoursToSeconds(unreadAgeHours)), stamp};
}

std::string AgeRules::ageRule(const Judges::AgeLimits& limits) {
    std::string text = std::string(limits.stamp == LastAccess ? "last access" : "last write") +
                       " older than " + std::to_string(limits.maxAge / 3600) + " h";
    if (limits.unreadAge > limits.maxAge)
        text +=
            ", and if never read since written, older than " + std::to_string(limits.unreadAge / 3600) + " h";
    return text;
}

void AgeRules::removeByRules(const RuleTable& rules) {
    // The rules of one directory follow each other in the table: they share one listing of it.
    std::string directory;
    std::vector<Rule> group;
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
        group.push_back(Rule{std::string(RemoverText::trim(fields[0])),
                             RemoverText::readInteger(RemoverText::trim(fields[1])),
                             RemoverText::readInteger(RemoverText::trim(fields[2])),
                             clampToInt(RemoverText::readInteger(RemoverText::trim(fields[3])))});
    }
    if (!group.empty())
        removeByRulesOf(directory, group);
}

void AgeRules::removeByRulesOf(const std::string& dir, const std::vector<Rule>& rules) {
    // Each rule's ages are checked when its turn comes, as when each rule ran on its own.
    const Judges::AgeLimits first = limitsOf(rules[0].maxAgeHours, rules[0].unreadAgeHours, rules[0].stamp);
    const TrustedDirs::Opened* opened = context_.plan.toClean(dir);
    if (opened == nullptr) {
        for (std::size_t k = 1; k < rules.size(); ++k)
            limitsOf(rules[k].maxAgeHours, rules[k].unreadAgeHours, rules[k].stamp);
        return;
    }
    const DirHandle& handle = opened->dir;
    // The directory is listed once, for the first rule. Each later rule sees what the earlier ones left,
    // as if it listed the directory after them: a name left is noted under the first later rule that
    // matches it (a name only: its status is read again when that rule judges it), and one that rule
    // keeps passes on to the next. What no rule takes goes to a later sweep of the directory that
    // expects it. Past kMaxNoted names the later rules and the sweep list the directory themselves.
    std::vector<std::vector<std::string>> noted(rules.size());
    CleaningPlan::Notes* sweep = context_.plan.notesFor(dir);
    if (sweep != nullptr)
        *sweep = CleaningPlan::Notes{sweep->pattern, {}, false, false};
    std::size_t count = 0;
    bool overflow = false;
    auto note = [&](std::string_view name, std::size_t after) {
        if (overflow)
            return;
        std::vector<std::string>* into = nullptr;
        for (std::size_t k = after + 1; k < rules.size() && into == nullptr; ++k)
            if (matchWildcard(name, rules[k].pattern))
                into = &noted[k];
        if (into == nullptr && sweep != nullptr && matchWildcard(name, sweep->pattern))
            into = &sweep->names;
        if (into == nullptr)
            return;
        if (++count > kMaxNoted) {
            overflow = true;
            std::vector<std::vector<std::string>>(rules.size()).swap(noted);
            if (sweep != nullptr)
                std::vector<std::string>().swap(sweep->names);
            return;
        }
        into->emplace_back(name);
    };
    const std::string shown = ReportText::printable(dir);
    context_.watch(handle, shown + " " + rules[0].pattern + ": " + AgeRules::ageRule(first),
                   {rules[0].pattern});
    const std::int64_t current = context_.now();
    std::string name;
    const bool listed = context_.pass.files(
        handle, [&](std::string_view listedName) { return matchWildcard(listedName, rules[0].pattern); },
        [&](const ListedEntry& entry) {
            name.assign(entry.name);
            if (!context_.removeIfOld(handle, name, entry.info, first, current))
                note(entry.name, 0);
        },
        [&](std::string_view passed) { note(passed, 0); });
    if (sweep != nullptr) {
        sweep->listed = listed;
        sweep->full = overflow;
    }
    for (std::size_t k = 1; k < rules.size(); ++k) {
        const Rule& rule = rules[k];
        const Judges::AgeLimits limits = limitsOf(rule.maxAgeHours, rule.unreadAgeHours, rule.stamp);
        context_.watch(handle, shown + " " + rule.pattern + ": " + AgeRules::ageRule(limits), {rule.pattern});
        const std::int64_t ruleTime = context_.now();
        if (overflow || !listed) {
            context_.pass.files(
                handle, [&](std::string_view listedName) { return matchWildcard(listedName, rule.pattern); },
                [&](const ListedEntry& entry) {
                    name.assign(entry.name);
                    context_.removeIfOld(handle, name, entry.info, limits, ruleTime);
                });
            continue;
        }
        for (const std::string& left : noted[k]) {
            EntryInfo info;
            // Gone or replaced by a directory since the listing: nothing for this rule.
            if (context_.pass.lookup(handle, left, info) != FsError::Success ||
                info.kind == EntryKind::Directory)
                continue;
            if (!context_.removeIfOld(handle, left, info, limits, ruleTime))
                note(left, k);
        }
        std::vector<std::string>().swap(noted[k]);
    }
    if (sweep != nullptr)
        sweep->full = sweep->full || overflow;
}

bool AgeRules::removeIfOld(const std::string& path, std::uint64_t maxAgeSeconds,
                           std::uint64_t unreadAgeSeconds, int stamp) {
    std::string dirPath;
    std::string name;
    RemoverText::splitPath(path, dirPath, name);
    const TrustedDirs::Opened* opened = name.empty() ? nullptr : context_.plan.toClean(dirPath);
    EntryInfo info;
    if (opened == nullptr || context_.pass.lookup(opened->dir, name, info) != FsError::Success ||
        info.kind == EntryKind::Directory)
        return false;
    const Judges::AgeLimits limits{maxAgeSeconds, unreadAgeSeconds, stamp};
    const std::int64_t current = context_.now();
    if (!Judges::age(info, current, limits).goes)
        return false;
    context_.removeIfOld(opened->dir, name, info, limits, current);
    return true;
}

void AgeRules::removeOldFilesByPatterns(const std::string& dir, const PatternList& patterns,
                                        std::int64_t maxAgeHours, std::int64_t unreadAgeHours, int stamp) {
    const TrustedDirs::Opened* opened = context_.plan.toClean(dir);
    std::vector<std::string> names;
    if (opened != nullptr)
        context_.pass.names(
            opened->dir, [](std::string_view) { return true; }, names);
    if (names.empty()) {
        Event event = Event::named(EventType::DirectoryEmpty, &dir);
        context_.report().tell(event);
        return;
    }
    for (const std::string& pattern : patterns)
        removeByRulesOf(dir, {Rule{pattern, maxAgeHours, unreadAgeHours, stamp}});
}

void AgeRules::removeInDateRange(const DirHandle& dir, const std::string& name, const Pieces& range,
                                 std::int64_t time) {
    // A range with one date reads the missing one as empty text: reported as an invalid date. The dates
    // are checked first: an invalid one ends the run whether or not the file is there.
    const std::int64_t start = context_.parseDate(range.size() > 0 ? range[0] : std::string());
    const std::int64_t end = context_.parseDate(range.size() > 1 ? range[1] : std::string());
    context_.checkRange(start, end);
    EntryInfo info;
    // A file that vanished has no stamp to compare.
    if (context_.pass.lookup(dir, name, info) != FsError::Success || info.kind == EntryKind::Directory)
        return;
    std::int64_t t = time;
    if (t == 0) {
        if (info.lastWriteMs == 0)
            return;
        t = info.lastWriteMs / 1000;
    }
    const Verdict verdict = Judges::dateRange(t, start, end, range[0] + " " + range[1]);
    if (verdict.goes)
        context_.remover.remove(dir, name, info, verdict.why, Remover::Judged::JustNow);
    else
        context_.stays(dir, name, verdict.why, &info);
}

void AgeRules::removeInDateRange(const std::string& dir, const std::string& dateRange,
                                 const std::string& pattern, std::int64_t time) {
    const Pieces pieces = RemoverText::split(dateRange, " ");
    const TrustedDirs::Opened* opened = context_.plan.toClean(dir);
    std::vector<std::string> names;
    if (opened == nullptr ||
        !context_.pass.names(
            opened->dir, [&](std::string_view name) { return matchWildcard(name, pattern); }, names))
        return;
    for (const std::string& name : names)
        removeInDateRange(opened->dir, name, pieces, time);
}

void AgeRules::removeInDateRangeByPatterns(const std::string& dir, const std::string& dateRange,
                                           const PatternList& patterns) {
    for (const std::string& pattern : patterns)
        removeInDateRange(dir, dateRange, pattern, 0);
}

void AgeRules::removeOldLogs(const std::string& dir, std::int64_t hours, const std::string& dateRange) {
    const auto limit = static_cast<std::uint64_t>(context_.hoursToSeconds(hours < 1 ? 24 : hours));
    const Pieces pieces = RemoverText::split(dateRange, " ");
    const TrustedDirs::Opened* opened = context_.plan.toClean(dir);
    if (opened == nullptr)
        return;
    if (pieces.size() < 2) {
        removeOldLogsIn(opened->dir, ReportText::printable(dir), limit);
        return;
    }
    std::vector<std::string> names;
    context_.pass.names(
        opened->dir, [](std::string_view name) { return matchWildcard(name, "*.log"); }, names);
    for (const std::string& name : names)
        if (Judges::isDatedLogName(name))
            removeInDateRange(opened->dir, name, pieces, 0);
}

void AgeRules::removeOldLogsIn(const DirHandle& dir, const std::string& shown, std::uint64_t limit) {
    context_.watch(dir,
                   shown + " *.log: logs with a date in their name, " +
                       AgeRules::ageRule(Judges::AgeLimits{limit, 0, LastWrite}),
                   {"*.log"});
    const std::int64_t current = context_.now();
    std::string name;
    // The name decides first; only dated logs are judged at all.
    const auto judge = [&](std::string_view logName, const EntryInfo& entry) {
        return Judges::datedLog(logName, entry, current, limit);
    };
    context_.pass.files(
        dir, [](std::string_view listed) { return matchWildcard(listed, "*.log"); },
        [&](const ListedEntry& entry) {
            const Verdict verdict = judge(entry.name, entry.info);
            if (!verdict.goes) {
                context_.stays(dir, entry.name, verdict.why, &entry.info);
                return;
            }
            name.assign(entry.name);
            context_.remover.remove(dir, name, entry.info, verdict.why, Remover::Judged::JustNow,
                                    [&](const EntryInfo& now) { return judge(name, now); });
        });
}

} // namespace Veltor
