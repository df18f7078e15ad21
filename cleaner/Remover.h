// The one place where the engine removes what it judged: rules, sweeps, empty directories, leftovers of
// interrupted runs and folded job files all go through here. It owns what every removal must get right
// the same way: the run mode (a preview tells what the run would meet and changes nothing), that only
// the entry judged goes, the one retry of a failed removal on the entry as it stands then, judged again,
// and the event that tells the outcome.
#pragma once
#include "ActionReport.h"
#include "platform/DirHandle.h"

#include <cstdint>
#include <functional>
#include <string>

namespace Veltor {

class Remover {
public:
    // The verdict on an entry's status as it stands now: what the retry asks again.
    using Rejudge = std::function<Verdict(const VeltorPlatform::EntryInfo& now)>;
    // When the status an entry was judged on was read.
    enum class Judged {
        JustNow, // by the listing or look-up right before: only a swap within the directory can
                 // intervene, which costs nothing its maker could not remove anyway
        Earlier, // some time ago (a session file's open, a job file's read): the entry must still be
                 // that entry, checked right before it goes
    };

    explicit Remover(ActionReport& report) : report_(&report) {}
    ActionReport& report() const { return *report_; }

    // Removes the entry `name` of `dir`, judged on `judged` for `why`, and tells the outcome; a preview
    // only tells what the removal would meet. A file that is no longer the one judged stays. When the
    // removal of a file fails for another reason, it is tried once more after a pause, on the entry as it
    // stands then: judged again by `again`, or, without one, only if it is still the entry judged.
    // `shown` names the entry in the lines where the caller names it otherwise than `dir` does.
    // True when the entry went (a preview: would go).
    bool remove(const VeltorPlatform::DirHandle& dir, const std::string& name,
                const VeltorPlatform::EntryInfo& judged, const Reason& why, Judged when,
                const Rejudge& again = nullptr, const std::string* shown = nullptr);
    // Deletes the job file `name` of `dir`, folded into `dayLog`, that `held` holds (FileHandle's
    // openExclusive where `leased`, else openRead) and that is still `judged`, as its record was read
    // (the caller checked). A preview, which holds nothing, tells of the folding. Never retried: the
    // record it holds must not change between read and deletion. True when it went.
    bool removeFolded(const VeltorPlatform::DirHandle& dir, const std::string& name,
                      const VeltorPlatform::EntryInfo& judged, VeltorPlatform::FileHandle* held, bool leased,
                      const std::string& shown, const std::string& dayLog);

private:
    void tell(EventType type, const VeltorPlatform::DirHandle& dir, const std::string& name,
              const VeltorPlatform::EntryInfo& judged, const Reason& why, std::uint32_t error,
              const std::string* shown, const std::string* other = nullptr);

    ActionReport* report_;
};

} // namespace Veltor
