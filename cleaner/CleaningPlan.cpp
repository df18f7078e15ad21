#include "CleaningPlan.h"

#include "FsTools.h"
#include "platform/Paths.h"

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
    TrustedDirs::Options options;
    options.keepStamps = report_->dryRun();
    // Below a directory the run opened already, only the names below it are resolved: the directories
    // of one installation are reached through the same few handles, each opened once.
    TrustedDirs::Opened result;
    const std::string::size_type cut = key.find_last_of(VeltorFilelib::FsTools::separator);
    if (cut != std::string::npos && cut > VeltorPlatform::rootLength(key)) {
        const TrustedDirs::Opened& above = open(key.substr(0, cut));
        result = TrustedDirs::open(key, namingBases_, &above, cut + 1, options);
    } else {
        result = TrustedDirs::open(key, namingBases_, nullptr, 0, options);
    }
    if (!result.stampMoved.empty() && told_.insert("\n" + result.stampMoved).second) {
        // A preview that resolved a link it may not put the last access back on says so.
        Event event = Event::named(EventType::AccessTimeMoved, &result.stampMoved);
        report_->tell(event);
    }
    // What could not be opened is asked again by the next cleaning that wants it: it may be there then.
    if (result.outcome != TrustedDirs::Outcome::Opened) {
        notOpened_ = std::move(result);
        return notOpened_;
    }
    return opened_.emplace(key, std::move(result)).first->second;
}

const TrustedDirs::Opened* CleaningPlan::toClean(const std::string& path) {
    if (path.empty())
        return nullptr;
    const TrustedDirs::Opened& opened = open(path);
    using Outcome = TrustedDirs::Outcome;
    if (opened.outcome == Outcome::Opened)
        return &opened;
    if (opened.outcome == Outcome::Missing && !opened.missingTarget)
        return nullptr;
    Event event = Event::of(EventType::NotCleaned);
    event.error = opened.error;
    const std::string unified = TrustedDirs::unified(path);
    event.shown = &unified;
    if (opened.outcome == Outcome::Missing) {
        event.problem = Problem::LinkLeadsNowhere;
    } else if (opened.outcome == Outcome::Refused) {
        // Named where the way stopped: one line for every directory derived below it.
        event.shown = &opened.refusedAt;
        event.problem = opened.refusal == TrustedDirs::Refusal::UntrustedLink  ? Problem::UntrustedLink
                        : opened.refusal == TrustedDirs::Refusal::TooManyLinks ? Problem::TooManyLinks
                                                                               : Problem::NotADirectory;
    } else {
        event.problem = Problem::CannotOpen;
    }
    notCleaned(event);
    return nullptr;
}

void CleaningPlan::notCleaned(const Event& event) {
    if (told_.insert(event.path()).second)
        report_->tell(event);
}

void CleaningPlan::expectSweep(const std::string& dir, const std::string& pattern) {
    if (!dir.empty())
        notes_[TrustedDirs::unified(dir)] = Notes{pattern, {}, false, false};
}

CleaningPlan::Notes* CleaningPlan::notesFor(const std::string& dir) {
    const auto found = notes_.find(TrustedDirs::unified(dir));
    return found == notes_.end() ? nullptr : &found->second;
}

void CleaningPlan::forget() {
    namingBases_.clear();
    told_.clear();
    opened_.clear();
    notes_.clear();
}

} // namespace Veltor
