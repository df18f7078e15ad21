// The one place where the engine removes what it judged: rules, sweeps, empty directories, leftovers of
// interrupted runs and folded job files all go through Remover::remove. It owns what every removal must
// get right the same way: the run mode (a preview tells what the run would meet and changes nothing),
// that only the entry judged goes (its identity is checked against the status it was judged on), the one
// retry of a failed removal on the entry as it stands then, judged again, and the report of the outcome
// (`Removed`/`Kept`/`Failed`, escaped names, the failure count behind the exit status).
#pragma once
#include "ActionReport.h"
#include "platform/DirHandle.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace Veltor {

class Remover {
public:
    // The verdict of a rule on one entry's stamps (milliseconds since 1970): whether it goes, and why.
    using Judge =
        std::function<bool(std::string_view name, std::int64_t writeMs, std::int64_t accessMs, Reason& why)>;

    explicit Remover(ActionReport& report) : report_(&report) {}

    // Removes the entry `name` of `dir`, judged on `judged` for `why`, and reports it; a preview only
    // reports what the removal would meet. A file that is no longer the one judged stays. When the
    // removal of a file fails for another reason, it is tried once more after a pause, on the entry as
    // it stands then: judged again by `again`, or, without one, only if it is still the entry judged.
    // A job file folded into its day's log (`why` of kind Folded, the log in its detail) is reported as
    // folded; it is never retried, for the record it holds must not change between read and deletion.
    // `shown` names the entry in the messages where the caller names it otherwise than `dir` does.
    // True when the entry went (a preview: would go).
    bool remove(const VeltorPlatform::DirHandle& dir, const std::string& name,
                const VeltorPlatform::EntryInfo& judged, const Reason& why, const Judge& again = nullptr,
                const std::string* shown = nullptr);
    // Reports that the entry shown as `path` could not be removed for `why`: a failure of the run.
    void failed(const std::string& path, const Reason& why, std::uint32_t error);

    // The path of `name` in `dir`, for messages.
    static std::string pathOf(const VeltorPlatform::DirHandle& dir, const std::string& name);

private:
    ActionReport* report_;
};

} // namespace Veltor
