#include "ActionReport.h"

#include "FsTools.h"
#include "Wildcard.h"
#include "platform/Console.h"
#include "platform/Time.h"
#include "platform/Utf.h"

#include <algorithm>
#include <cstdio>

namespace Veltor {

using VeltorFilelib::FsTools;

namespace {

constexpr std::int64_t kHour = 3600;

std::string counted(std::uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

using VeltorPlatform::errorText;

} // namespace

Reason Reason::age(bool lastAccess, std::int64_t ageSeconds, std::int64_t limitSeconds) {
    Reason reason = of(Age, ageSeconds, limitSeconds);
    reason.lastAccess = lastAccess;
    return reason;
}

Reason Reason::of(Kind kind, std::int64_t ageSeconds, std::int64_t limitSeconds, std::string detail) {
    Reason reason;
    reason.kind = kind;
    reason.ageSeconds = ageSeconds;
    reason.limitSeconds = limitSeconds;
    reason.detail = std::move(detail);
    return reason;
}

void ActionReport::setMode(Mode mode) {
    mode_ = mode;
}

void ActionReport::reset() {
    *this = ActionReport();
}

std::string ActionReport::duration(std::int64_t seconds) {
    if (seconds < 0)
        seconds = 0;
    const std::int64_t hours = seconds / kHour;
    if (hours < 240)
        return std::to_string(hours) + " h";
    return std::to_string(hours / 24) + " d";
}

std::string ActionReport::describe(const Reason& reason) {
    const std::string limit = ", limit " + std::to_string(reason.limitSeconds / kHour) + " h";
    switch (reason.kind) {
    case Reason::Age:
        return std::string(reason.lastAccess ? "last access " : "last write ") + duration(reason.ageSeconds) +
               " ago" + limit;
    case Reason::NeverRead:
        return "never read since written " + duration(reason.ageSeconds) + " ago" + limit;
    case Reason::DanglingLock:
        return "dangling lock: no " + printable(reason.detail);
    case Reason::LockShortcut:
        return "shortcut of dangling lock " + printable(reason.detail);
    case Reason::SessionExpired:
        return "session expired " + duration(reason.ageSeconds) + " ago" + limit;
    case Reason::DatedLog:
        return "dated log " + duration(reason.ageSeconds) + " old" + limit;
    case Reason::InDateRange:
        return "last write within " + printable(reason.detail);
    case Reason::EmptyDirectory:
        return "empty directory";
    case Reason::Folded:
        return "folded into " + printable(reason.detail);
    case Reason::Young:
        return describe(Reason::age(reason.lastAccess, reason.ageSeconds, reason.limitSeconds));
    case Reason::UnreadYoung:
        return describe(Reason::of(Reason::NeverRead, reason.ageSeconds, reason.limitSeconds));
    case Reason::FutureStamp:
        return std::string(reason.lastAccess ? "last access" : "last write") + " in the future";
    case Reason::NoStamp:
        return "its stamps could not be read";
    case Reason::NotDated:
        return "no dated log name";
    case Reason::LockInUse:
        return "lock of an existing " + printable(reason.detail);
    case Reason::SessionYoung:
        return "session recorded at " + reason.detail + ", " + duration(reason.ageSeconds) + " ago" + limit;
    case Reason::SessionNoTime:
        return "no session time in it";
    case Reason::NotEmpty:
        return "not empty";
    case Reason::JobWaits:
        return "written " + std::to_string(reason.ageSeconds) + " s ago; job files wait a minute";
    case Reason::Leftover:
        return "leftover of an interrupted run, " + duration(reason.ageSeconds) + " old";
    }
    return std::string();
}

std::string ActionReport::printable(const std::string& text) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        if (c == '\\' && FsTools::separator != '\\') {
            // Where a backslash can be part of a name, it is escaped too, so that no name can pass
            // itself off as an escape.
            out += "\\\\";
            ++at;
            continue;
        }
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            ++at;
            continue;
        }
        std::uint32_t code = 0;
        const std::size_t length =
            c >= 0x80 ? VeltorPlatform::Utf::decodeUtf8(&text[at], text.size() - at, code) : 0;
        if (length != 0) {
            // C1 controls (U+0080 to U+009F) are text to UTF-8, but terminals act on them (U+009B starts
            // an escape sequence, U+0085 ends a line).
            if (code < 0xA0)
                out.append("\\u00").append(1, digits[code >> 4]).append(1, digits[code & 0xF]);
            else
                out.append(text, at, length);
            at += length;
            continue;
        }
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else
            out.append("\\x").append(1, digits[c >> 4]).append(1, digits[c & 0xF]);
        ++at;
    }
    return out;
}

void ActionReport::line(const std::string& text) {
    if (mode_ == Mode::Why)
        return;
    // Each action on a line of its own, started as the program's other messages are. Not flushed line
    // by line: a listing of a million files would cost a million writes; the summary flushes.
    VeltorPlatform::consoleWrite("\n" + text);
}

void ActionReport::removed(const std::string& path, const Reason& reason, std::uint64_t bytes,
                           bool directory) {
    if (mode_ == Mode::Why) {
        if (isFocus(path))
            decide("Would remove: " + printable(path) + " (" + describe(reason) + ")", &reason);
        return;
    }
    if (mode_ == Mode::Quiet)
        return;
    ++(directory ? directories_ : files_);
    bytes_ += bytes;
    line((mode_ == Mode::DryRun ? "Would remove: " : "Removed: ") + printable(path) + " (" +
         describe(reason) + ")");
}

void ActionReport::kept(const std::string& path) {
    if (mode_ == Mode::Why) {
        if (isFocus(path))
            decide("Stays: " + printable(path) + " (kept: read-only)", nullptr);
        return;
    }
    if (mode_ == Mode::Quiet)
        return;
    ++kept_;
    line("Kept: " + printable(path) + " (read-only)");
}

void ActionReport::failed(const std::string& path, std::uint32_t error) {
    if (mode_ == Mode::Why) {
        if (isFocus(path))
            decide("Would fail: " + printable(path) + " (" + errorText(error) + ")", nullptr);
        return;
    }
    ++failures_;
    if (mode_ == Mode::Quiet)
        return;
    ++failed_;
    // A preview asked what the removal would meet and says what the run would see.
    line((mode_ == Mode::DryRun ? "Would fail: " : "Failed: ") + printable(path) + " (" + errorText(error) +
         ")");
}

void ActionReport::folded(const std::string& jobFile, const std::string& dayLog) {
    if (mode_ == Mode::Why) {
        // The folding names a job file as its directory, '/' and its name, on Windows too.
        std::string native = jobFile;
        std::replace(native.begin(), native.end(), '/', FsTools::separator);
        if (isFocus(native))
            decide("Would fold: " + printable(jobFile) + " into " + printable(dayLog), nullptr);
        return;
    }
    if (mode_ == Mode::Quiet)
        return;
    ++jobFiles_;
    dayLogs_.insert(dayLog);
    line((mode_ == Mode::DryRun ? "Would fold: " : "Folded: ") + printable(jobFile) + " into " +
         printable(dayLog));
}

void ActionReport::message(const std::string& text, bool failure) {
    if (mode_ == Mode::Why) {
        // Only what kept a cleaning from a directory helps to explain an entry.
        const std::string::size_type at = text.find("Not cleaned");
        if (at != std::string::npos)
            focus_.refusals.push_back(text.substr(at, text.find('\n', at) - at));
        return;
    }
    if (failure) {
        ++failures_;
        if (mode_ != Mode::Quiet)
            ++failed_;
    }
    if (mode_ == Mode::Quiet || (!text.empty() && text.front() == '\n')) {
        VeltorPlatform::consoleWrite(text);
        return;
    }
    line(text);
}

void ActionReport::accessTimeMoved(const std::string& path) {
    if (accessTimeNoted_)
        return;
    accessTimeNoted_ = true;
    message("Note: reading " + printable(path) +
                " may have updated last-access times (only the owner or root can read without)",
            false);
}

void ActionReport::summary() {
    if (mode_ == Mode::Quiet || mode_ == Mode::Why)
        return;
    const std::string removal = counted(files_, "file", "files") + " and " +
                                counted(directories_, "directory", "directories") + ", " +
                                counted(bytes_, "byte", "bytes");
    const std::string folding = counted(jobFiles_, "job file", "job files") + " into " +
                                counted(dayLogs_.size(), "day log", "day logs");
    if (mode_ == Mode::DryRun)
        line("Dry run: would remove " + removal + "; would fold " + folding + "; kept " +
             std::to_string(kept_) + ", failed " + std::to_string(failed_));
    else
        line("Summary: removed " + removal + "; folded " + folding + "; kept " + std::to_string(kept_) +
             ", failed " + std::to_string(failed_));
    VeltorPlatform::consoleWrite("\n");
    VeltorPlatform::consoleFlush();
}

// ---- --why ---------------------------------------------------------------------------------------------

std::string ActionReport::localMinute(std::int64_t seconds) {
    VeltorPlatform::CalendarTime fields;
    if (!VeltorPlatform::localTime(seconds, fields))
        return "an unknown time";
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", fields.year + 1900, fields.month + 1,
                  fields.monthDay, fields.hour, fields.minute);
    return text;
}

namespace {

std::string stampText(const char* which, std::int64_t stamp, std::int64_t now) {
    const std::string when = ActionReport::localMinute(stamp);
    if (stamp > now)
        return std::string(which) + " " + when + " (in the future)";
    return std::string(which) + " " + when + " (" + ActionReport::duration(now - stamp) + " ago)";
}

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : ", ") + ActionReport::printable(item);
    return text;
}

std::string hours(std::int64_t seconds) {
    return std::to_string(seconds / 3600) + " h";
}

// What an age rule saw and how it decided, from the numbers of its verdict.
std::string stampsLine(const Reason& reason) {
    const std::int64_t now = reason.judgedAt;
    std::string text = "Stamps: " + stampText("last write", reason.written, now) + ", " +
                       stampText("last access", reason.accessed, now) + ": ";
    const char* stamp = reason.lastAccess ? "last access" : "last write";
    if (reason.kind == Reason::FutureStamp)
        return text + "the " + stamp + " lies in the future, so it stays";
    const std::int64_t judged = now - (reason.lastAccess ? reason.accessed : reason.written);
    const bool overRule = judged > reason.ruleLimitSeconds;
    const std::string rule = "the " + hours(reason.ruleLimitSeconds) + " limit on the " + stamp;
    if (reason.unreadLimitSeconds == 0)
        return text +
               (reason.written == reason.accessed ? "never read since written" : "read since written") +
               ", so " + rule + " applies: " + (overRule ? "over it" : "within it");
    const bool overUnread = now - reason.accessed > reason.unreadLimitSeconds;
    return text + "never read since written, so " + rule + " and the " + hours(reason.unreadLimitSeconds) +
           " limit for unread files apply: " +
           (!overRule    ? "within the first"
            : overUnread ? "over both"
                         : "over the first, within the second");
}

} // namespace

void ActionReport::setFocus(const VeltorPlatform::EntryInfo& dir, const std::string& name,
                            const VeltorPlatform::EntryInfo& entry, const std::string& shown) {
    focus_ = Focus();
    focus_.isDirectory = entry.kind == VeltorPlatform::EntryKind::Directory;
    focus_.identity = {entry.volume, entry.fileId};
    focus_.volume = dir.volume;
    focus_.fileId = dir.fileId;
    focus_.name = name;
    focus_.shown = shown;
}

bool ActionReport::watch(const VeltorPlatform::DirHandle& dir, const std::string& rule,
                         const std::vector<std::string>& patterns) {
    if (mode_ != Mode::Why)
        return false;
    focus_.directories.insert(dir.path());
    VeltorPlatform::EntryInfo info;
    if (dir.info(info) != 0)
        return false;
    focus_.cleaned.emplace(info.volume, info.fileId);
    if (info.volume != focus_.volume || info.fileId != focus_.fileId)
        return false;
    focus_.watched = true;
    focus_.lines.push_back("Rule: " + rule);
    for (const std::string& pattern : patterns) {
        if (VeltorCorelib::matchWildcard(focus_.name, pattern)) {
            focus_.matched = true;
            std::string path = dir.path();
            if (!path.empty() && path.back() != '/' && path.back() != '\\')
                path += FsTools::separator;
            focus_.paths.insert(path + focus_.name);
            return true;
        }
    }
    focus_.lines.back() += " (not this name)";
    focus_.patterns.insert(focus_.patterns.end(), patterns.begin(), patterns.end());
    return false;
}

void ActionReport::stays(const std::string& path, const Reason& reason) {
    if (mode_ == Mode::Why && isFocus(path))
        decide(std::string(reason.kind == Reason::JobWaits ? "Waits: " : "Stays: ") + printable(path) + " (" +
                   describe(reason) + ")",
               &reason);
}

void ActionReport::decide(const std::string& verdict, const Reason* reason) {
    if (reason != nullptr && reason->stamped)
        focus_.lines.push_back(stampsLine(*reason));
    // Each cleaning that judges the entry says what it found; the first that acts on it decides.
    focus_.lines.push_back(verdict);
    const bool acts = verdict.compare(0, 6, "Stays:") != 0;
    if (focus_.verdict.empty() || (acts && !focus_.acted)) {
        focus_.verdict = verdict;
        focus_.acted = acts;
    }
}

void ActionReport::explanation() {
    std::string text;
    const std::string shown = printable(focus_.shown);
    const bool cleanedDirectory = focus_.isDirectory && focus_.cleaned.count(focus_.identity) != 0;
    if (!focus_.watched) {
        std::string dir = focus_.shown;
        const std::string::size_type cut = dir.find_last_of("/\\");
        dir = cut == std::string::npos ? std::string(".") : dir.substr(0, cut == 0 ? 1 : cut);
        if (cleanedDirectory) {
            text = "Stays: " + shown + " (a directory Sorvik cleans: ask about an entry in it)\n";
        } else {
            text = "Stays: " + shown + " (no cleaning looks at it)\n";
            for (const std::string& refusal : focus_.refusals)
                text += refusal + "\n";
            text += "No cleaning looks at " + printable(focus_.isDirectory ? focus_.shown : dir) +
                    ": it is none of the directories Sorvik cleans (they are: " +
                    joined(std::vector<std::string>(focus_.directories.begin(), focus_.directories.end())) +
                    ")\n";
        }
    } else {
        std::string verdict = focus_.verdict;
        if (verdict.empty() && cleanedDirectory)
            verdict = "Stays: " + shown + " (a directory Sorvik cleans: ask about an entry in it)";
        else if (verdict.empty())
            verdict = "Stays: " + shown + " (" +
                      (focus_.matched ? "judged by no rule" : "its name matches no rule") + ")";
        text = verdict + "\n";
        for (const std::string& line : focus_.lines)
            text += line + "\n";
        if (!focus_.matched)
            text += "The name matches no pattern of the cleanings of its directory (patterns: " +
                    joined(focus_.patterns) + ")\n";
    }
    VeltorPlatform::consoleWrite(text);
    VeltorPlatform::consoleFlush();
}

} // namespace Veltor
