#include "OldFilesRemover.h"

#include "DateTime.h"
#include "FsTools.h"
#include "OldFilesRemoverText.h"
#include "platform/Console.h"
#include "platform/Process.h"
#include "platform/Time.h"

#include <deque>
#include <limits>
#include <utility>

namespace Veltor {

using VeltorFilelib::FsTools;

namespace {

// Milliseconds from the DateTime origin (1899-12-31) to 1970-01-01 00:00:00 UTC.
constexpr std::int64_t kUnixEpochMs = 2209075200000LL;

std::int64_t millisecondsOf(const VeltorCorelib::DateTime& value) {
    return value.getMilliseconds();
}

[[noreturn]] void endProcess() {
    VeltorPlatform::consoleFlush();
    VeltorPlatform::exitProcess(1);
}

} // namespace

OldFilesRemover::OldFilesRemover() = default;

OldFilesRemover::OldFilesRemover(Clock clock) : clock_(std::move(clock)) {}

OldFilesRemover::~OldFilesRemover() = default;

std::int64_t OldFilesRemover::now() const {
    if (clock_)
        return clock_();
    return (VeltorCorelib::DateTime::now() - kUnixEpochMs) / 1000;
}

std::int64_t OldFilesRemover::toSeconds(std::int64_t dateTimeMs) {
    return (dateTimeMs - kUnixEpochMs) / 1000;
}

bool OldFilesRemover::readWriteStamp(const std::string& path, std::int64_t& seconds) {
    const std::int64_t write = millisecondsOf(FsTools::modifyTime(path));
    if (write == 0)
        return false;
    seconds = toSeconds(write);
    return true;
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

OldFilesRemover::Verdict OldFilesRemover::judge(const std::string& path, std::uint64_t maxAgeSeconds,
                                                std::uint64_t unreadAgeSeconds, int stamp) {
    const std::int64_t current = now();
    // One lookup decides and serves the removal: this runs for every file about to go.
    switch (FsTools::removeFileIf(path, [&](std::int64_t written, std::int64_t accessed) {
        // Zero means the entry could not be read: nothing to judge.
        return accessed != 0 && written != 0 &&
               isOld(current, toSeconds(accessed), toSeconds(written), maxAgeSeconds, unreadAgeSeconds,
                     stamp);
    })) {
    case FsTools::Removal::Removed:
        return Verdict::Removed;
    case FsTools::Removal::RemoveFailed:
        return Verdict::RemoveFailed;
    default:
        return Verdict::Kept;
    }
}

bool OldFilesRemover::isOldListed(const ListedFile& file, std::uint64_t maxAgeSeconds,
                                  std::uint64_t unreadAgeSeconds, int stamp) const {
    return isOld(now(), toSeconds(file.accessTime), toSeconds(file.modifyTime), maxAgeSeconds, unreadAgeSeconds,
                 stamp);
}

bool OldFilesRemover::removeIfOld(const std::string& path, std::uint64_t maxAgeSeconds,
                                  std::uint64_t unreadAgeSeconds, int stamp) {
    return judge(path, maxAgeSeconds, unreadAgeSeconds, stamp) != Verdict::Kept;
}

void OldFilesRemover::listFiles(const std::string& dir, const std::string& pattern, NameSet& out) {
    out.clear();
    FsTools::readDir(dir, pattern, &out, nullptr);
}

void OldFilesRemover::setCurrentPath(const std::string& dir, const std::string& name) {
    // Reuses the member's buffer: no allocation per file once it is long enough.
    currentPath_.assign(dir).append(1, '/').append(name);
}

void OldFilesRemover::removeOldFiles(const std::string& dir, const std::string& pattern,
                                     std::int64_t maxAgeHours, std::int64_t unreadAgeHours, int stamp) {
    const auto maxAge = static_cast<std::uint64_t>(hoursToSeconds(maxAgeHours));
    const auto unreadAge = static_cast<std::uint64_t>(hoursToSeconds(unreadAgeHours));
    // Each file is judged on the status the listing has just read and goes at once, as find -delete
    // does: one pass, one lookup per file, no list of a directory that may hold millions of files.
    RemoverText::LastName last;
    FsTools::removeFilesIf(dir, pattern, [&](const ListedFile& file) {
        last.offer(file.name);
        return isOldListed(file, maxAge, unreadAge, stamp);
    });
    if (last.any())
        setCurrentPath(dir, last.name());
}

void OldFilesRemover::removeByRules(RuleTable rules) {
    for (const auto& rule : rules) {
        const std::vector<std::string> fields = RemoverText::split(rule.second, ",");
        const std::string directory(RemoverText::trim(rule.first));
        // A missing directory or a malformed line costs that rule only; the others still run.
        if (!FsTools::exists(directory) || fields.size() < 4)
            continue;
        removeOldFiles(directory, std::string(RemoverText::trim(fields[0])),
                       RemoverText::readInteger(RemoverText::trim(fields[1])),
                       RemoverText::readInteger(RemoverText::trim(fields[2])),
                       clampToInt(RemoverText::readInteger(RemoverText::trim(fields[3]))));
    }
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
    listFiles(dir, "*", listing_);
    if (listing_.empty()) {
        write("\nDirectory: " + dir + " is empty");
        return;
    }
    for (const std::string& pattern : patterns)
        removeOldFiles(dir, pattern, maxAgeHours, unreadAgeHours, stamp);
}

bool OldFilesRemover::listFilesRecursive(const std::string& dir, const std::string& pattern, NameSet& out) {
    const std::string filePattern = pattern.empty() ? std::string("*") : pattern;
    if (!FsTools::isDir(dir))
        return false;
    std::deque<std::string> queue{dir};
    NameSet names;
    std::string base;
    std::string path;
    while (!queue.empty()) {
        base = std::move(queue.front());
        queue.pop_front();
        FsTools::addSeparator(base);
        FsTools::unifySeparators(base);
        listFiles(base, filePattern, names);
        for (const std::string& name : names)
            out.insert(base + name);
        NameSet subdirs;
        FsTools::readDir(base, "*", nullptr, &subdirs);
        for (const std::string& name : subdirs) {
            path.assign(base).append(name);
            // Links lead out of the tree or back into it: never follow them.
            if (FsTools::isLink(path))
                continue;
            queue.push_back(path);
        }
    }
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
    // A range with one date reads the missing one as empty text: reported as an invalid date.
    const std::int64_t start = parseDate(range.size() > 0 ? range[0] : std::string());
    const std::int64_t end = parseDate(range.size() > 1 ? range[1] : std::string());
    if (start > end) {
        write("Error: Start date shouldn't be later than the end date");
        write("\nExiting...");
        endProcess();
    }
    std::int64_t t = time;
    // A file that vanished has no stamp to compare.
    if (t == 0 && !readWriteStamp(path, t))
        return;
    if (start <= t && t <= end)
        FsTools::removeFile(path, false);
}

void OldFilesRemover::removeInDateRange(const std::string& dir, const std::string& dateRange,
                                        const std::string& pattern, std::int64_t time) {
    const Pieces pieces = RemoverText::split(dateRange, " ");
    listFiles(dir, pattern, listing_);
    for (const std::string& name : listing_) {
        setCurrentPath(dir, name);
        removeIfInDateRange(currentPath_, pieces, time);
    }
}

void OldFilesRemover::removeInDateRangeByPatterns(const std::string& dir, const std::string& dateRange,
                                                  const PatternList& patterns) {
    for (const std::string& pattern : patterns)
        removeInDateRange(dir, dateRange, pattern, 0);
}

} // namespace Veltor
