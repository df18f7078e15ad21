// What the operating system's own log gets of a run: with --event-log on Windows one event in the
// Application log, and on Linux, when standard output is the journal, one structured journal entry.
// Success is information (what was removed and folded), a run that did not do all it meant to (exit
// status 7) a warning with its failures, an error that ended the run (exit status 4 or 1) an error with
// its text. Ids and fields are fixed; the README lists them.
#pragma once
#include "ActionReport.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Veltor {

class SystemReport : public EventSink {
public:
    // Event ids of the Application log (the message table of sorvik.exe holds their texts).
    static constexpr std::uint32_t kEventSuccess = 1000;
    static constexpr std::uint32_t kEventPartial = 1001;
    static constexpr std::uint32_t kEventError = 1002;
    // MESSAGE_ID of the journal entries, one per outcome.
    static constexpr const char* kJournalSuccess = "7ece4f270cb3448faf7e7f9f0f86bc4c";
    static constexpr const char* kJournalPartial = "33cd5e4bd5324105bafcd30a84b6673e";
    static constexpr const char* kJournalError = "a57cfb97640141feb3f83d5d14b77d2a";
    // Failure lines an event shows at most; the rest are counted.
    static constexpr std::size_t kMaxLines = 20;

    // Keeps the lines of the failures.
    void take(const Event& event, const ReportText::Line& shown) override;

    // The text of the run's outcome: `error` is the text of an error that ended the run (exit 4 or 1).
    std::string message(const ActionReport::Totals& totals, int exitStatus, const std::string& error) const;
    // Writes the event (Windows) or the journal entry (when standard output is the journal); a run goes
    // on whether or not it could. The journal entry's fields, for the tests: see journalFields.
    void send(const ActionReport::Totals& totals, int exitStatus, const std::string& error, bool eventLog,
              const std::string& version) const;
    std::vector<std::string> journalFields(const ActionReport::Totals& totals, int exitStatus,
                                           const std::string& error, const std::string& version) const;

private:
    std::vector<std::string> lines_;
    std::uint64_t more_ = 0;
};

} // namespace Veltor
