// --metrics FILE: how the last run went, in the Prometheus text exposition format, for the textfile
// collectors of node_exporter and windows_exporter: when it ran and how long, its exit status and
// whether it succeeded, when the last run succeeded (kept from the file when this one did not), and per
// cleaning the files and bytes removed, job files folded, files kept, failures and directories not
// cleaned. The file is replaced whole (a fresh file in its directory renamed over it), so a collector
// never reads half of it.
#pragma once
#include "ActionReport.h"

#include <cstdint>
#include <string>

namespace Veltor {

class Metrics {
public:
    struct Run {
        std::int64_t startedSeconds = 0;
        double durationSeconds = 0;
        int exitStatus = 0;
    };

    // Writes FILE `path` for `run` with the totals of `report`. Success, or the error with `problem`
    // telling what kept it from being written.
    static std::uint32_t write(const std::string& path, const ActionReport& report, const Run& run,
                               Problem& problem);
    // The file's text. `lastSuccess` (seconds since 1970, 0: none) is the last successful run's end
    // where this one did not succeed.
    static std::string text(const ActionReport& report, const Run& run, std::int64_t lastSuccess);
    // The last success a file's text records, 0 when it records none.
    static std::int64_t lastSuccessIn(const std::string& text);
};

} // namespace Veltor
