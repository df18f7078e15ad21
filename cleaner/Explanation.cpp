#include "Explanation.h"

#include "ReportText.h"
#include "Wildcard.h"

namespace Veltor {

using ReportText::printable;

namespace {

std::string stampText(const char* which, std::int64_t stamp, std::int64_t now) {
    const std::string when = ReportText::localMinute(stamp);
    if (stamp > now)
        return std::string(which) + " " + when + " (in the future)";
    return std::string(which) + " " + when + " (" + ReportText::duration(now - stamp) + " ago)";
}

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : ", ") + printable(item);
    return text;
}

std::string hours(std::int64_t seconds) {
    return std::to_string(seconds / 3600) + " h";
}

// What an age rule saw and how it decided, from the numbers of its verdict.
std::string stampsLine(const Reason& reason) {
    const std::int64_t now = reason.judgedAt;
    std::string text = "Stamps: " + stampText("last write", reason.written, now) + ", " +
                       stampText("last access", reason.accessed, now) + ": ";
    const char* stamp = reason.lastAccess ? "last access" : "last write";
    if (reason.kind == Reason::FutureStamp)
        return text + "the " + stamp + " lies in the future, so it stays";
    const std::int64_t judged = now - (reason.lastAccess ? reason.accessed : reason.written);
    const bool overRule = judged > reason.ruleLimitSeconds;
    const std::string rule = "the " + hours(reason.ruleLimitSeconds) + " limit on the " + stamp;
    if (reason.unreadLimitSeconds == 0)
        return text +
               (reason.written == reason.accessed ? "never read since written" : "read since written") +
               ", so " + rule + " applies: " + (overRule ? "over it" : "within it");
    const bool overUnread = now - reason.accessed > reason.unreadLimitSeconds;
    return text + "never read since written, so " + rule + " and the " + hours(reason.unreadLimitSeconds) +
           " limit for unread files apply: " +
           (!overRule    ? "within the first"
            : overUnread ? "over both"
                         : "over the first, within the second");
}

} // namespace

void Explanation::focus(const VeltorPlatform::EntryInfo& dir, const std::string& name,
                        const VeltorPlatform::EntryInfo& entry, const std::string& shown) {
    *this = Explanation();
    isDirectory_ = entry.kind == VeltorPlatform::EntryKind::Directory;
    identity_ = {entry.volume, entry.fileId};
    volume_ = dir.volume;
    fileId_ = dir.fileId;
    name_ = name;
    shown_ = shown;
}

bool Explanation::watch(const VeltorPlatform::DirHandle& dir, const std::string& rule,
                        const std::vector<std::string>& patterns) {
    directories_.insert(dir.path());
    VeltorPlatform::EntryInfo info;
    if (dir.info(info) != 0)
        return false;
    cleaned_.emplace(info.volume, info.fileId);
    if (info.volume != volume_ || info.fileId != fileId_)
        return false;
    watched_ = true;
    lines_.push_back("Rule: " + rule);
    for (const std::string& pattern : patterns) {
        if (VeltorCorelib::matchWildcard(name_, pattern)) {
            matched_ = true;
            paths_.insert(dir.path());
            return true;
        }
    }
    lines_.back() += " (not this name)";
    patterns_.insert(patterns_.end(), patterns.begin(), patterns.end());
    return false;
}

bool Explanation::isFocus(const Event& event) const {
    return event.dir != nullptr && event.name == name_ && paths_.count(event.dir->path()) != 0;
}

void Explanation::take(const Event& event) {
    switch (event.type) {
    case EventType::NotCleaned: {
        // Only what kept a cleaning from a directory helps to explain an entry.
        const std::string line = ReportText::of(event, ReportMode::List).text;
        refusals_.push_back(line.substr(line.find_first_not_of('\n')));
        return;
    }
    case EventType::AccessTimeMoved:
        // The entry's own, or a link on the way to it.
        if (event.dir == nullptr || isFocus(event))
            notes_.push_back(ReportText::of(event, ReportMode::Why).text);
        return;
    case EventType::Removed:
    case EventType::Kept:
    case EventType::Failed:
    case EventType::Folded:
    case EventType::Stays:
    case EventType::Waits:
        if (isFocus(event))
            decide(event);
        return;
    default:
        return;
    }
}

void Explanation::decide(const Event& event) {
    if (event.reason.stamped && (event.type == EventType::Removed || event.type == EventType::Stays))
        lines_.push_back(stampsLine(event.reason));
    const std::string verdict = ReportText::verdict(event);
    // Each cleaning that judges the entry says what it found; the first that acts on it decides.
    lines_.push_back(verdict);
    const bool acts = event.type != EventType::Stays && event.type != EventType::Kept;
    if (verdict_.empty() || (acts && !acted_)) {
        verdict_ = verdict;
        acted_ = acts;
    }
}

std::string Explanation::text() const {
    std::string notes;
    for (const std::string& note : notes_)
        notes += note + "\n";
    return verdictAndLines() + notes;
}

std::string Explanation::verdictAndLines() const {
    std::string text;
    const std::string shown = printable(shown_);
    const bool cleanedDirectory = isDirectory_ && cleaned_.count(identity_) != 0;
    if (!watched_) {
        std::string dir = shown_;
        const std::string::size_type cut = dir.find_last_of("/\\");
        dir = cut == std::string::npos ? std::string(".") : dir.substr(0, cut == 0 ? 1 : cut);
        if (cleanedDirectory)
            return "Stays: " + shown + " (a directory Sorvik cleans: ask about an entry in it)\n";
        text = "Stays: " + shown + " (no cleaning looks at it)\n";
        for (const std::string& refusal : refusals_)
            text += refusal + "\n";
        return text + "No cleaning looks at " + printable(isDirectory_ ? shown_ : dir) +
               ": it is none of the directories Sorvik cleans (they are: " +
               joined(std::vector<std::string>(directories_.begin(), directories_.end())) + ")\n";
    }
    std::string verdict = verdict_;
    if (verdict.empty() && cleanedDirectory)
        verdict = "Stays: " + shown + " (a directory Sorvik cleans: ask about an entry in it)";
    else if (verdict.empty())
        verdict =
            "Stays: " + shown + " (" + (matched_ ? "judged by no rule" : "its name matches no rule") + ")";
    text = verdict + "\n";
    for (const std::string& line : lines_)
        text += line + "\n";
    if (!matched_)
        text +=
            "The name matches no pattern of the cleanings of its directory (patterns: " + joined(patterns_) +
            ")\n";
    return text;
}

} // namespace Veltor
