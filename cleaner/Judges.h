// The verdicts of the cleanings: each a function of an entry's status, its name, the time and the
// limits, and nothing else, so that the run, the preview and --why, which all ask the same functions,
// cannot disagree, and each can be tested without a file. One function per kind of verdict.
#pragma once
#include "Event.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace Veltor {

// Which stamp the first age limit of a rule is measured on.
enum FileStamp : int { LastAccess = 0, LastWrite = 1 };

namespace Judges {

// The age rule's limits in seconds.
struct AgeLimits {
    std::uint64_t maxAge = 0;
    std::uint64_t unreadAge = 0;
    int stamp = LastWrite;
};

// The age decision on stamps in seconds since 1970: older than the limit on the selected stamp and,
// when not read since its last write, older than the unread age too. A future value of the selected
// stamp keeps the file; a future value of the other one does not.
bool isOld(std::int64_t current, std::int64_t accessed, std::int64_t written, std::uint64_t maxAgeSeconds,
           std::uint64_t unreadAgeSeconds, int stamp);

// An age rule on an entry's stamps, with the numbers it decided on (for --why).
Verdict age(const VeltorPlatform::EntryInfo& entry, std::int64_t now, const AgeLimits& limits);
// A log: only one with a date in its name is judged, by its last write.
Verdict datedLog(std::string_view name, const VeltorPlatform::EntryInfo& entry, std::int64_t now,
                 std::uint64_t limit);
bool isDatedLogName(std::string_view name);
// A lock whose owner (shown as `owner`) is there or not.
Verdict lock(bool ownerExists, const std::string& owner);
// A web session by the time recorded in it (`recorded`, when the file holds one).
Verdict session(bool hasTime, std::int64_t recorded, std::int64_t now, std::int64_t limit);
// A time (a last write, or a time recorded in the file) against the local days [start, end].
Verdict dateRange(std::int64_t time, std::int64_t start, std::int64_t end, const std::string& range);
// A subdirectory by whether it holds anything.
Verdict emptyDirectory(bool empty);
// Whether a job file has settled: written at least a minute ago (the scheduler may still be writing it).
Verdict jobSettled(const VeltorPlatform::EntryInfo& entry, std::int64_t now);
// A temporary day log: a leftover of a killed run once an hour has passed without a write.
Verdict leftover(std::string_view name, const VeltorPlatform::EntryInfo& entry, std::int64_t now);
// The name of a temporary day log: "." + day log name + "." + random part + ".tmp", the random part
// 16 hexadecimal digits, or process id and two counters as earlier versions of this program wrote it.
bool isTemporaryName(std::string_view name);

} // namespace Judges
} // namespace Veltor
