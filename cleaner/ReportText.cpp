#include "ReportText.h"

#include "platform/FileErrors.h"
#include "platform/Paths.h"
#include "platform/Time.h"
#include "platform/Utf.h"

#include <cstdio>

namespace Veltor {
namespace ReportText {

namespace {

constexpr std::int64_t kHour = 3600;

std::string code(std::uint32_t error) {
    return "win-error#" + std::to_string(error);
}

// Why a directory was not cleaned, or a file of the run's own not written: the problem's words, or the
// system's error.
std::string problemText(const Event& event) {
    switch (event.problem) {
    case Problem::UntrustedLink:
        return "a link in a directory others can write";
    case Problem::TooManyLinks:
        return "it leads through more than 40 links";
    case Problem::NotADirectory:
        return "not a directory";
    case Problem::TooDeep:
        return "more than 256 levels below where the walk began";
    case Problem::LinkLeadsNowhere:
        return "a link to nothing";
    case Problem::RegistryMissing:
        return event.name.empty() ? "the registry names no directory"
                                  : "the registry names it, but it does not exist";
    case Problem::IsALink:
        return "it is a link";
    case Problem::NotAFile:
        return "it is not a regular file";
    case Problem::UntrustedDir:
        return "others may write its directory";
    default:
        return VeltorPlatform::errorText(event.error);
    }
}

Line listing(std::string text) {
    return Line{Where::Listing, std::move(text)};
}

Line everywhere(std::string text) {
    return Line{Where::Everywhere, std::move(text)};
}

// A listing line ending in its reason's words in parentheses, `text` what comes before them; the line
// says where the words stand, so that the JSON Lines need not make them again.
Line withReason(std::string text, const Reason& reason) {
    text += " (";
    Line line = listing(std::move(text));
    line.reasonAt = line.text.size();
    line.text += describe(reason);
    line.reasonSize = line.text.size() - line.reasonAt;
    line.text += ')';
    return line;
}

} // namespace

Line of(const Event& event, ReportMode mode) {
    const bool preview = mode == ReportMode::DryRun || mode == ReportMode::Why;
    auto path = [&] { return printable(event.path()); };
    auto other = [&] { return event.other != nullptr ? printable(*event.other) : std::string(); };
    switch (event.type) {
    case EventType::Removed: {
        // The line of most events of a run: made in one buffer.
        std::string text;
        text.reserve(160);
        text += preview ? "Would remove: " : "Removed: ";
        text += path();
        return withReason(std::move(text), event.reason);
    }
    case EventType::Kept:
        return listing("Kept: " + path() + " (read-only)");
    case EventType::Failed:
        return listing((preview ? "Would fail: " : "Failed: ") + path() + " (" +
                       VeltorPlatform::errorText(event.error) + ")");
    case EventType::Folded:
        return listing((preview ? "Would fold: " : "Folded: ") + path() + " into " + other());
    case EventType::Waits:
        // A job file of the last minute waits as a matter of course; one held open is worth a line.
        if (event.reason.kind != Reason::HeldOpen)
            return Line();
        return withReason("Waits: " + path(), event.reason);
    case EventType::Stays:
        return Line();
    case EventType::NotRead:
        return everywhere("Error: Couldn't read job file: " + path());
    case EventType::NotFolded:
        switch (event.problem) {
        case Problem::TooLarge:
            return everywhere("\nNot folded: " + path() + " is larger than 16 MiB");
        case Problem::DayLogLink:
            return everywhere("\nNot folded: " + path() + " is a link or not a plain file");
        case Problem::DayLogSparse:
            return everywhere("\nNot folded: " + path() + " is sparse");
        case Problem::NoSpace:
            return everywhere("\nNot folded: " + path() + ": not enough free space");
        case Problem::LockNotHad:
            return everywhere("\nFinished jobs not folded: the lock of " + path() + " could not be had" +
                              (other().empty() ? std::string() : " (" + other() + ")"));
        default:
            return everywhere("\nUnable to create file: " + path());
        }
    case EventType::NotDeleted:
        return everywhere("\nError: Couldn't delete job file: " + path() + " (" + code(event.error) + "); " +
                          (event.problem == Problem::RecordInLog
                               ? "its record is in " + other()
                               : std::string("its record waits for a later run")));
    case EventType::NotPutBack:
        return everywhere("\nError: Couldn't put back job file: " + path() + " (" + code(event.error) +
                          "); it changed while it was deleted");
    case EventType::NotCleaned: {
        std::string text = "\nNot cleaned: " + path() + " (" + problemText(event) + ")";
        // What the link rule refused is told in every mode; what the system or the installation could
        // not give is a report's matter (the plain run's output stays as it always was; its exit status
        // tells).
        const bool refused =
            event.problem == Problem::UntrustedLink || event.problem == Problem::TooManyLinks;
        return Line{refused ? Where::Everywhere : Where::ListingOrVerbose, std::move(text)};
    }
    case EventType::DirectoryEmpty:
        return everywhere("\nDirectory: " + path() + " is empty");
    case EventType::InvalidDirectory:
        return everywhere("\nInvalid directory " + path());
    case EventType::SessionUnreadable:
        return everywhere("\nUnable to open file: " + path() + "\n");
    case EventType::RegistryRefused:
        return everywhere(event.shown != nullptr ? *event.shown : std::string());
    case EventType::AccessTimeMoved:
        if (!preview)
            return Line();
        return listing("Note: reading " + path() +
                       " may have updated last-access times (only the owner or root can read without)");
    case EventType::LeasesUnavailable:
        return Line{Where::ListingOrVerbose,
                    "Note: job files in " + path() +
                        " cannot be leased here: one written to while it is deleted is put back"};
    case EventType::LogNotWritten:
        return everywhere("\nLog not written: " + path() + " (" + problemText(event) + ")");
    case EventType::MetricsNotWritten:
        return everywhere("\nMetrics not written: " + path() + " (" + problemText(event) + ")");
    }
    return Line();
}

std::string verdict(const Event& event) {
    const std::string path = printable(event.path());
    switch (event.type) {
    case EventType::Removed:
        return "Would remove: " + path + " (" + describe(event.reason) + ")";
    case EventType::Kept:
        return "Stays: " + path + " (kept: read-only)";
    case EventType::Failed:
        return "Would fail: " + path + " (" + VeltorPlatform::errorText(event.error) + ")";
    case EventType::Folded:
        return "Would fold: " + path + " into " +
               (event.other != nullptr ? printable(*event.other) : std::string());
    case EventType::Waits:
        return "Waits: " + path + " (" + describe(event.reason) + ")";
    default:
        return "Stays: " + path + " (" + describe(event.reason) + ")";
    }
}

std::string duration(std::int64_t seconds) {
    if (seconds < 0)
        seconds = 0;
    const std::int64_t hours = seconds / kHour;
    if (hours < 240)
        return std::to_string(hours) + " h";
    return std::to_string(hours / 24) + " d";
}

std::string describe(const Reason& reason) {
    const std::string limit = ", limit " + std::to_string(reason.limitSeconds / kHour) + " h";
    switch (reason.kind) {
    case Reason::Age:
    case Reason::Young: {
        std::string text;
        text.reserve(48);
        text += reason.lastAccess ? "last access " : "last write ";
        text += duration(reason.ageSeconds);
        text += " ago";
        text += limit;
        return text;
    }
    case Reason::NeverRead:
    case Reason::UnreadYoung:
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
    case Reason::OutOfRange:
        return "last write outside " + printable(reason.detail);
    case Reason::EmptyDirectory:
        return "empty directory";
    case Reason::Folded:
        return "folded into " + printable(reason.detail);
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
    case Reason::HeldOpen:
        return "held open by another process";
    case Reason::NotLeftover:
        return "no temporary day log of a run";
    case Reason::Leftover:
    case Reason::LeftoverYoung:
        return "leftover of an interrupted run, " + duration(reason.ageSeconds) + " old";
    }
    return std::string();
}

std::string printable(const std::string& text) {
    // Where a backslash can be part of a name, it is escaped too, so that no name can pass itself off
    // as an escape.
    return VeltorPlatform::Utf::printable(text,
                                          VeltorPlatform::kPathStyle == VeltorPlatform::PathStyle::Posix);
}

std::string localMinute(std::int64_t seconds) {
    VeltorPlatform::CalendarTime fields;
    if (!VeltorPlatform::localTime(seconds, fields))
        return "an unknown time";
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", fields.year + 1900, fields.month + 1,
                  fields.monthDay, fields.hour, fields.minute);
    return text;
}

} // namespace ReportText
} // namespace Veltor
