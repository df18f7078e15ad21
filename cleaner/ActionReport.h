// Where every event of a run goes: it counts them (the summary, the exit status, the metrics), prints
// the line each one has in the run's mode (nothing in the plain run but the messages the plain run has
// always printed; a preview under --dry-run; a report under --list; the explanation of one entry under
// --why), and hands them on to the structured outputs (JSON Lines, metrics, the system's log).
#pragma once
#include "Event.h"
#include "Explanation.h"
#include "ReportText.h"

#include <array>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace Veltor {

// A structured rendering of the same events (JSON Lines, metrics).
class EventSink {
public:
    virtual ~EventSink() = default;
    // `shown` is the event's line in the run's mode, made once for the console and every sink (empty,
    // Nowhere, under --why).
    virtual void take(const Event& event, const ReportText::Line& shown) = 0;
};

class ActionReport {
public:
    using Mode = ReportMode;

    // What a run did, counted in every mode.
    struct Totals {
        std::uint64_t files = 0;
        std::uint64_t directories = 0;
        std::uint64_t bytes = 0;
        std::uint64_t jobFiles = 0;
        std::uint64_t dayLogs = 0;
        std::uint64_t kept = 0;
        std::uint64_t failed = 0;
        std::uint64_t notCleaned = 0;
    };

    void setMode(Mode mode) { mode_ = mode; }
    Mode mode() const { return mode_; }
    // Nothing may change in the file system.
    bool dryRun() const { return mode_ == Mode::DryRun || mode_ == Mode::Why; }
    bool why() const { return mode_ == Mode::Why; }
    // --verbose: directories not cleaned are told in the plain run too.
    void setVerbose(bool verbose) { verbose_ = verbose; }
    void reset();

    // The cleaning the events that follow belong to.
    void beginCleaning(Cleaning cleaning) { cleaning_ = cleaning; }
    // One event: counted, printed as the mode has it, handed on.
    void tell(const Event& event);
    // Whether judged entries that stay are of interest (--why): the cleanings tell them only then.
    bool wantsStays() const { return mode_ == Mode::Why; }
    void addSink(EventSink* sink) { sinks_.push_back(sink); }
    // What the run does before an input error ends the process with status 1 (`text` is its message):
    // the structured outputs get their last word.
    void onFatal(std::function<void(const std::string& text)> hook) { fatal_ = std::move(hook); }
    void fatal(const std::string& text) const {
        if (fatal_)
            fatal_(text);
    }

    // Something the run meant to do failed, in any mode: the run ends with status 7.
    bool anyFailure() const { return total_.failed != 0; }
    const Totals& totals() const { return total_; }
    const Totals& totals(Cleaning cleaning) const { return byCleaning_[static_cast<std::size_t>(cleaning)]; }
    // The closing summary line (under --list and --dry-run).
    void summary();

    // --why.
    Explanation& explanation() { return explanation_; }
    // Prints the explanation.
    void explain();

private:
    void count(Totals& totals, const Event& event);
    void print(const ReportText::Line& line);

    Mode mode_ = Mode::Quiet;
    bool verbose_ = false;
    Cleaning cleaning_ = Cleaning::None;
    Totals total_;
    std::array<Totals, 8> byCleaning_{};
    std::set<std::string> dayLogs_;
    bool leasesTold_ = false;
    Explanation explanation_;
    std::vector<EventSink*> sinks_;
    std::function<void(const std::string&)> fatal_;
};

} // namespace Veltor
