// What one run of the cleaner holds from its start to its end: the report every event goes to, and the
// directories it cleans. Each directory the registry names or a cleaning derives from one is resolved
// (TrustedDirs) and opened the first time it is asked for, and every later cleaning of the run works on
// that same open directory: it is looked up once, and a directory renamed meanwhile is still the one the
// run started on. Every directory the run means to clean has an outcome, and each one that is not cleaned
// is told once per run, however many cleanings meet it.
#pragma once
#include "ActionReport.h"
#include "TrustedDirs.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace Veltor {

class CleaningPlan {
public:
    explicit CleaningPlan(ActionReport& report) : report_(&report) {}
    CleaningPlan(const CleaningPlan&) = delete;
    CleaningPlan& operator=(const CleaningPlan&) = delete;

    ActionReport& report() const { return *report_; }

    // Remembers a directory the registry names, so that a name found below it can be shown relative to
    // it (the missing owner of a dangling lock). It plays no part in how a path is resolved.
    void showNamesBelow(const std::string& dir);
    // The directory `path`, resolved and opened by TrustedDirs the first time it is asked for; later
    // calls hand out a handle sharing the same open directory. An outcome other than Opened is not
    // kept: it holds until the next call. In a preview, links on the way keep their last access.
    const TrustedDirs::Opened& open(const std::string& path);
    // The directory `path` a cleaning is to clean: nullptr when it cannot be. A missing one is no
    // failure (a directory derived from one that exists, which this installation lacks); every other
    // outcome is told as not cleaned, once per run.
    const TrustedDirs::Opened* toClean(const std::string& path);
    // Tells `event` (of type NotCleaned) unless its directory was told already in this run.
    void notCleaned(const Event& event);

    // A later cleaning of the run sweeps `dir` for names matching `pattern`: the cleaning that lists
    // it first notes them for it (see notes), so the directory is listed once.
    void expectSweep(const std::string& dir, const std::string& pattern);
    // The names noted for the sweep of `dir` by `pattern`: nullptr when none were expected, noting
    // was given up (too many names) or no cleaning listed the directory before.
    struct Notes {
        std::string pattern;
        std::vector<std::string> names;
        bool listed = false; // a cleaning listed the directory and noted what it left
        bool full = false;   // too many names: the sweep lists the directory itself
    };
    Notes* notesFor(const std::string& dir);
    // Closes every directory and forgets what the run told (a new run).
    void forget();

private:
    ActionReport* report_;
    std::vector<std::string> namingBases_;
    std::set<std::string> told_;
    std::map<std::string, TrustedDirs::Opened> opened_;
    std::map<std::string, Notes> notes_;
    TrustedDirs::Opened notOpened_;
};

} // namespace Veltor
