#include "ActionReport.h"

#include "platform/Console.h"

#include <utility>

namespace Veltor {

namespace {

std::string counted(std::uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

} // namespace

void ActionReport::reset() {
    const std::vector<EventSink*> sinks = sinks_;
    auto fatal = std::move(fatal_);
    *this = ActionReport();
    sinks_ = sinks;
    fatal_ = std::move(fatal);
}

void ActionReport::count(Totals& totals, const Event& event) {
    switch (event.type) {
    case EventType::Removed:
        ++(event.directory ? totals.directories : totals.files);
        totals.bytes += event.bytes;
        break;
    case EventType::Kept:
        ++totals.kept;
        break;
    case EventType::Folded:
        ++totals.jobFiles;
        break;
    case EventType::NotCleaned:
        ++totals.notCleaned;
        break;
    default:
        break;
    }
    if (isFailure(event))
        ++totals.failed;
}

void ActionReport::tell(const Event& given) {
    // A run without leases says so once, however many directories of job files it folds.
    if (given.type == EventType::LeasesUnavailable && std::exchange(leasesTold_, true))
        return;
    Event event = given;
    event.cleaning = cleaning_;
    count(total_, event);
    count(byCleaning_[static_cast<std::size_t>(cleaning_)], event);
    if (event.type == EventType::Folded && event.other != nullptr && dayLogs_.insert(*event.other).second) {
        ++total_.dayLogs;
        ++byCleaning_[static_cast<std::size_t>(cleaning_)].dayLogs;
    }
    const ReportText::Line shown = mode_ == Mode::Why ? ReportText::Line() : ReportText::of(event, mode_);
    for (EventSink* sink : sinks_)
        sink->take(event, shown);
    if (mode_ == Mode::Why) {
        explanation_.take(event);
        return;
    }
    print(shown);
}

void ActionReport::print(const ReportText::Line& line) {
    using ReportText::Where;
    const bool listing = mode_ == Mode::List || mode_ == Mode::DryRun;
    switch (line.where) {
    case Where::Nowhere:
        return;
    case Where::Listing:
    case Where::ListingOrVerbose:
        if (listing || (line.where == Where::ListingOrVerbose && verbose_)) {
            // Each line of its own, started as the program's other messages are. Not flushed line by
            // line: a listing of a million files would cost a million writes; the summary flushes. In
            // the plain run's verbose output it stands as its other verbose lines do.
            const std::size_t start = line.text.find_first_not_of('\n');
            const std::string text = line.text.substr(start == std::string::npos ? 0 : start);
            VeltorPlatform::consoleWrite(listing ? "\n" + text : "\n" + text + "\n");
        }
        return;
    case Where::Everywhere:
        if (!listing) {
            // The plain run prints its messages as they always stood, each at once.
            VeltorPlatform::consoleWrite(line.text);
            VeltorPlatform::consoleFlush();
        } else {
            VeltorPlatform::consoleWrite(!line.text.empty() && line.text.front() == '\n' ? line.text
                                                                                         : "\n" + line.text);
        }
        return;
    }
}

void ActionReport::summary() {
    if (mode_ != Mode::List && mode_ != Mode::DryRun)
        return;
    const Totals& t = total_;
    const std::string removal = counted(t.files, "file", "files") + " and " +
                                counted(t.directories, "directory", "directories") + ", " +
                                counted(t.bytes, "byte", "bytes");
    const std::string folding =
        counted(t.jobFiles, "job file", "job files") + " into " + counted(t.dayLogs, "day log", "day logs");
    const std::string tail = "; kept " + std::to_string(t.kept) + ", failed " + std::to_string(t.failed);
    if (mode_ == Mode::DryRun)
        VeltorPlatform::consoleWrite("\nDry run: would remove " + removal + "; would fold " + folding + tail);
    else
        VeltorPlatform::consoleWrite("\nSummary: removed " + removal + "; folded " + folding + tail);
    VeltorPlatform::consoleWrite("\n");
    VeltorPlatform::consoleFlush();
}

void ActionReport::explain() {
    VeltorPlatform::consoleWrite(explanation_.text());
    VeltorPlatform::consoleFlush();
}

} // namespace Veltor
