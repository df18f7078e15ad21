// Where a run tells what it did besides its console: the --log file, JSON Lines (--json), the metrics
// file (--metrics) and the system's log (the Windows event log with --event-log, the journal), from the
// start line to the last word of the run, whichever way the run ends.
#pragma once
#include "ActionReport.h"
#include "JsonLines.h"
#include "SystemReport.h"
#include "platform/LogFile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Veltor {

class RunOutputs {
public:
    struct Options {
        bool json = false;
        bool eventLog = false;
        std::string log;     // --log FILE, empty: none
        std::string metrics; // --metrics FILE, empty: none
        std::string version;
        std::vector<std::string> arguments;
    };

    explicit RunOutputs(ActionReport& report) : report_(report) {}
    RunOutputs(const RunOutputs&) = delete;
    RunOutputs& operator=(const RunOutputs&) = delete;
    ~RunOutputs();

    // The start of a run whose report is in its mode already: the log opened (before the start line,
    // which it gets too), the start line and object written, a log that cannot be opened told.
    void start(const Options& options);
    // --why: the explanation, for the JSON Lines (the console has it already).
    void explanation(const std::string& path, const std::string& text);
    // The last word of the run (`error`: the text of an error that ends it): the metrics, the summary,
    // the last JSON object, the system's log. Once; the exit status, 7 where a failure came with the
    // last word.
    int finish(int code, const std::string& error);

    // Under --json the program's text goes to standard error from the start (before the application
    // exists: its banner too).
    static void prepareConsole(int argc, const char* const* argv);
    // "2026-12-07T08:30:00+01:00": the local time of `now` (seconds since 1970) with its offset.
    static std::string localTimestamp(std::int64_t now);

private:
    bool openLog(Event& refused);
    // The metrics of the run ending with `status`; false, and told, when they could not be written.
    bool writeMetrics(int status, double duration);
    void checkLog();

    ActionReport& report_;
    Options options_;
    VeltorPlatform::LogFile log_;
    bool logFailureTold_ = false;
    std::int64_t startedMs_ = 0;
    bool finished_ = false;
    SystemReport system_;
    std::optional<JsonLines> json_;
};

} // namespace Veltor
