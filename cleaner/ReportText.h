// The words of every line a run prints: the one renderer of events into text, and the pieces each line
// is made of (a reason, an age, a name made printable). The console, --log and --why take their lines
// from here, so that they can never disagree.
#pragma once
#include "Event.h"

#include <cstdint>
#include <string>

namespace Veltor {

enum class ReportMode { Quiet, DryRun, List, Why };

namespace ReportText {

// Where a line of an event shows.
enum class Where {
    Nowhere,
    Listing,          // under --list and --dry-run, on a line of its own
    ListingOrVerbose, // also in the plain run, with --verbose
    Everywhere,       // in every mode: the plain run prints it as it stands
};

struct Line {
    Where where = Where::Nowhere;
    // The text. An Everywhere text begins with its own line feed where the plain run's does.
    std::string text;
    // Where the reason's words (describe()) stand in the text, when it has them; no size otherwise.
    std::size_t reasonAt = 0;
    std::size_t reasonSize = 0;
};

// The line of `event` in `mode` (a preview's words under --dry-run and --why, a report's otherwise).
Line of(const Event& event, ReportMode mode);
// What --why says of an event about the entry it explains: "Would remove: PATH (REASON)",
// "Stays: PATH (REASON)", "Waits: ...", "Would fail: ...", "Would fold: ...".
std::string verdict(const Event& event);

// The reason as the lines show it, e.g. "last write 50 h ago, limit 48 h".
std::string describe(const Reason& reason);
// An age or limit: whole hours below ten days, whole days from then on.
std::string duration(std::int64_t seconds);
// A path or name made printable on one line: control characters and bytes that are no UTF-8 text
// are written as escapes ("\n", "\t", "\r", "\xHH", "\u0085"), and where a backslash can be part of a
// name, it is escaped too.
std::string printable(const std::string& text);
// "2026-12-05 03:10": a moment in local time, to the minute.
std::string localMinute(std::int64_t seconds);

} // namespace ReportText
} // namespace Veltor
