#include "CleaningPlan.h"

#include "FsTools.h"

namespace Veltor {

void CleaningPlan::showNamesBelow(const std::string& dir) {
    if (!dir.empty())
        namingBases_.push_back(TrustedDirs::unified(dir));
}

const TrustedDirs::Opened& CleaningPlan::open(const std::string& path) {
    const std::string key = TrustedDirs::unified(path);
    const auto found = opened_.find(key);
    if (found != opened_.end())
        return found->second;
    // Below a directory the run opened already, only the names below it are resolved: the directories
    // of one installation are reached through the same few handles, each opened once.
    TrustedDirs::Opened result;
    const std::string::size_type cut = key.find_last_of(VeltorFilelib::FsTools::separator);
    if (cut != std::string::npos && cut > TrustedDirs::rootLength(key)) {
        const TrustedDirs::Opened& above = open(key.substr(0, cut));
        result = TrustedDirs::open(key, namingBases_, &above, cut + 1);
    } else {
        result = TrustedDirs::open(key, namingBases_);
    }
    // What could not be opened is asked again by the next cleaning that wants it: it may be there then.
    if (result.outcome != TrustedDirs::Outcome::Opened) {
        notOpened_ = std::move(result);
        return notOpened_;
    }
    return opened_.emplace(key, std::move(result)).first->second;
}

void CleaningPlan::forget() {
    namingBases_.clear();
    refusals_.clear();
    opened_.clear();
}

} // namespace Veltor
