#include "Judges.h"

#include "OldFilesRemoverText.h"
#include "ReportText.h"

#include <cctype>

namespace Veltor {
namespace Judges {

namespace {

// A job file written this recently may still be being written by the scheduler.
constexpr std::int64_t kSettleSeconds = 60;
// A temporary day log not written for this long belongs to no run still going.
constexpr std::int64_t kLeftoverSeconds = 3600;
// The random part of a temporary day log's name: 16 hexadecimal digits.
constexpr std::size_t kRandomDigits = 16;

std::int64_t secondsOf(std::int64_t unixMs) {
    return unixMs / 1000;
}

bool allOf(std::string_view text, int (*test)(int)) {
    if (text.empty())
        return false;
    for (const char c : text)
        if (test(static_cast<unsigned char>(c)) == 0)
            return false;
    return true;
}

// "A-B-C" with each part decimal digits.
bool isNumbers(std::string_view text, char separator, int parts) {
    for (int i = 1; i < parts; ++i) {
        const std::size_t at = text.find(separator);
        if (at == std::string_view::npos || !allOf(text.substr(0, at), isdigit))
            return false;
        text.remove_prefix(at + 1);
    }
    return allOf(text, isdigit);
}

} // namespace

bool isOld(std::int64_t current, std::int64_t accessed, std::int64_t written, std::uint64_t maxAgeSeconds,
           std::uint64_t unreadAgeSeconds, int stamp) {
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

Verdict age(const VeltorPlatform::EntryInfo& entry, std::int64_t now, const AgeLimits& limits) {
    Verdict verdict;
    Reason& why = verdict.why;
    // Zero means the entry could not be read: nothing to judge.
    if (entry.lastWriteMs == 0 || entry.lastAccessMs == 0) {
        why = Reason::of(Reason::NoStamp);
        return verdict;
    }
    const std::int64_t written = secondsOf(entry.lastWriteMs);
    const std::int64_t accessed = secondsOf(entry.lastAccessMs);
    const auto limit = static_cast<std::int64_t>(limits.maxAge);
    const auto unreadLimit = static_cast<std::int64_t>(limits.unreadAge);
    const bool byAccess = limits.stamp == LastAccess;
    verdict.goes = isOld(now, accessed, written, limits.maxAge, limits.unreadAge, limits.stamp);
    const std::int64_t judgedAge = now - (byAccess ? accessed : written);
    // Why it goes, or why it stays: the limit that decided, with the stamps it was judged on.
    const bool neverRead = accessed == written && unreadLimit > limit;
    if (judgedAge < 0)
        why = Reason::of(Reason::FutureStamp);
    else if (neverRead && (verdict.goes || judgedAge > limit))
        why = Reason::of(verdict.goes ? Reason::NeverRead : Reason::UnreadYoung, now - written, unreadLimit);
    else
        why = Reason::of(verdict.goes ? Reason::Age : Reason::Young, judgedAge, limit);
    why.lastAccess = byAccess;
    why.stamped = true;
    why.written = written;
    why.accessed = accessed;
    why.judgedAt = now;
    why.ruleLimitSeconds = limit;
    why.unreadLimitSeconds = neverRead ? unreadLimit : 0;
    return verdict;
}

bool isDatedLogName(std::string_view name) {
    return RemoverText::countPieces(name, '_') >= 2 || RemoverText::countPieces(name, '-') >= 2;
}

Verdict datedLog(std::string_view name, const VeltorPlatform::EntryInfo& entry, std::int64_t now,
                 std::uint64_t limit) {
    if (!isDatedLogName(name))
        return Verdict{false, Reason::of(Reason::NotDated)};
    Verdict verdict = age(entry, now, AgeLimits{limit, 0, LastWrite});
    if (verdict.goes)
        verdict.why.kind = Reason::DatedLog;
    return verdict;
}

Verdict lock(bool ownerExists, const std::string& owner) {
    return Verdict{!ownerExists,
                   Reason::of(ownerExists ? Reason::LockInUse : Reason::DanglingLock, 0, 0, owner)};
}

Verdict session(bool hasTime, std::int64_t recorded, std::int64_t now, std::int64_t limit) {
    if (!hasTime)
        return Verdict{false, Reason::of(Reason::SessionNoTime)};
    if (recorded < now - limit)
        return Verdict{true, Reason::of(Reason::SessionExpired, now - recorded, limit)};
    return Verdict{
        false, Reason::of(Reason::SessionYoung, now - recorded, limit, ReportText::localMinute(recorded))};
}

Verdict dateRange(std::int64_t time, std::int64_t start, std::int64_t end, const std::string& range) {
    const bool within = start <= time && time <= end;
    return Verdict{within, Reason::of(within ? Reason::InDateRange : Reason::OutOfRange, 0, 0, range)};
}

Verdict emptyDirectory(bool empty) {
    return Verdict{empty, Reason::of(empty ? Reason::EmptyDirectory : Reason::NotEmpty)};
}

Verdict jobSettled(const VeltorPlatform::EntryInfo& entry, std::int64_t now) {
    const std::int64_t written = secondsOf(entry.lastWriteMs);
    // Written moments ago: more lines may follow. A later run folds it.
    if (written <= now && now - written < kSettleSeconds)
        return Verdict{false, Reason::of(Reason::JobWaits, now - written)};
    return Verdict{true, Reason()};
}

bool isTemporaryName(std::string_view name) {
    const std::string_view start = ".jobs-";
    const std::string_view end = ".tmp";
    if (name.size() <= start.size() + end.size() || name.substr(0, start.size()) != start ||
        name.substr(name.size() - end.size()) != end)
        return false;
    name = name.substr(start.size(), name.size() - start.size() - end.size());
    const std::size_t log = name.find(".log.");
    if (log == std::string_view::npos || !isNumbers(name.substr(0, log), '-', 3))
        return false;
    const std::string_view suffix = name.substr(log + 5);
    return (suffix.size() == kRandomDigits && allOf(suffix, isxdigit)) || isNumbers(suffix, '.', 3);
}

Verdict leftover(std::string_view name, const VeltorPlatform::EntryInfo& entry, std::int64_t now) {
    if (!isTemporaryName(name) || entry.kind != VeltorPlatform::EntryKind::File)
        return Verdict{false, Reason::of(Reason::NotLeftover)};
    // A run still writing its copy keeps its last write fresh.
    const std::int64_t written = secondsOf(entry.lastWriteMs);
    const bool old = written <= now && now - written > kLeftoverSeconds;
    return Verdict{old, Reason::of(old ? Reason::Leftover : Reason::LeftoverYoung, now - written)};
}

} // namespace Judges
} // namespace Veltor
