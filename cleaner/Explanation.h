// --why PATH: the one entry explained. The run goes on as a preview; every cleaning that opens a
// directory says so (watch), and the events of the entry explained, found by the identity of the
// directory that holds it and its name, make the explanation: the verdict first, then what each cleaning
// that looks at the directory found, in the order the run applies them.
#pragma once
#include "Event.h"

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace Veltor {

class Explanation {
public:
    // The entry `name` of the directory whose status is `dir`; `entry` is its own status, `shown` the
    // path as the administrator gave it.
    void focus(const VeltorPlatform::EntryInfo& dir, const std::string& name,
               const VeltorPlatform::EntryInfo& entry, const std::string& shown);
    // A cleaning opened `dir` and applies `rule` (its description) with `patterns`: when `dir` holds the
    // entry explained, the rule is told and whether the name matches. True when the cleaning is going
    // to judge the entry explained.
    bool watch(const VeltorPlatform::DirHandle& dir, const std::string& rule,
               const std::vector<std::string>& patterns);
    // An event of the run: kept when it is about the entry explained, or keeps a cleaning from it.
    void take(const Event& event);
    // The text of the explanation, every line ended.
    std::string text() const;

private:
    bool isFocus(const Event& event) const;
    std::string verdictAndLines() const;
    void decide(const Event& event);

    std::uint64_t volume_ = 0;
    std::uint64_t fileId_ = 0;
    std::string name_;
    std::string shown_;
    bool isDirectory_ = false;
    std::pair<std::uint64_t, std::uint64_t> identity_;
    std::set<std::string> paths_; // the directories holding the entry, as the cleanings reach them
    std::string verdict_;
    bool acted_ = false; // the verdict removes or folds
    std::vector<std::string> lines_;
    std::vector<std::string> patterns_; // of the cleanings whose patterns the name misses
    std::set<std::string> directories_; // every directory a cleaning opened
    std::set<std::pair<std::uint64_t, std::uint64_t>> cleaned_; // and their identities
    std::vector<std::string> refusals_;
    std::vector<std::string> notes_; // stamps a preview could not keep
    bool watched_ = false;
    bool matched_ = false;
};

} // namespace Veltor
