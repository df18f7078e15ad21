// What one run of the cleaner holds from its start to its end: the report every action goes to, and the
// directories it cleans. Each directory the registry names or a cleaning derives from one is resolved
// (TrustedDirs) and opened the first time a cleaning asks for it, and every later cleaning of the run
// works on that same open directory: it is looked up once, and a directory renamed meanwhile is still
// the one the run started on.
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
    // kept: it holds until the next call.
    const TrustedDirs::Opened& open(const std::string& path);
    // True the first time a refused path is offered in this run: one message per refused directory.
    bool firstRefusal(const std::string& path) { return refusals_.insert(path).second; }
    // Closes every directory and forgets what the run told (a new run).
    void forget();

private:
    ActionReport* report_;
    std::vector<std::string> namingBases_;
    std::set<std::string> refusals_;
    std::map<std::string, TrustedDirs::Opened> opened_;
    TrustedDirs::Opened notOpened_;
};

} // namespace Veltor
