#include "CleaningPlan.h"

namespace Veltor {

void CleaningPlan::showNamesBelow(const std::string& dir) {
    if (!dir.empty())
        namingBases_.push_back(TrustedDirs::unified(dir));
}

const TrustedDirs::Opened& CleaningPlan::open(const std::string& path) {
    const std::string key = TrustedDirs::unified(path);
    auto found = opened_.find(key);
    if (found == opened_.end())
        found = opened_.emplace(key, TrustedDirs::open(key, namingBases_)).first;
    return found->second;
}

void CleaningPlan::forget() {
    namingBases_.clear();
    refusals_.clear();
    opened_.clear();
}

} // namespace Veltor
