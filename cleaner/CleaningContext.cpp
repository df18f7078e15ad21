#include "CleaningContext.h"

#include "DateTime.h"
#include "Engine.h"

namespace Veltor {

namespace {

// Milliseconds from the DateTime origin (1899-12-31) to 1970-01-01 00:00:00 UTC.
constexpr std::int64_t kUnixEpochMs = 2209075200000LL;

} // namespace

CleaningContext::CleaningContext(CleaningPlan& plan, Clock clock)
    : plan(plan), remover(plan.report()), pass(plan), clock(std::move(clock)) {}

std::int64_t CleaningContext::now() const {
    if (clock)
        return clock();
    return (VeltorCorelib::DateTime::now() - kUnixEpochMs) / 1000;
}

std::int64_t CleaningContext::hoursToSeconds(std::int64_t hours) const {
    if (hours < 0)
        report().fatal("Error, You entered a negative number. Program will exit.");
    return Engine::hoursToSeconds(hours);
}

std::int64_t CleaningContext::parseDate(const std::string& text) const {
    if (!Engine::isValidDate(text))
        report().fatal("Error: Invalid date(" + text + ")");
    return Engine::parseDate(text);
}

void CleaningContext::checkRange(std::int64_t start, std::int64_t end) const {
    if (start <= end)
        return;
    report().fatal("Error: Start date shouldn't be later than the end date");
    Engine::write("Error: Start date shouldn't be later than the end date");
    Engine::write("\nExiting...");
    Engine::endProcess();
}

void CleaningContext::watch(const VeltorPlatform::DirHandle& dir, const std::string& rule,
                            const std::vector<std::string>& patterns) const {
    if (report().why())
        report().explanation().watch(dir, rule, patterns);
}

void CleaningContext::stays(const VeltorPlatform::DirHandle& dir, std::string_view name, const Reason& why,
                            const VeltorPlatform::EntryInfo* entry) const {
    if (!report().wantsStays())
        return;
    Event event = Event::of(EventType::Stays, &dir, name);
    event.entry = entry;
    event.reason = why;
    report().tell(event);
}

bool CleaningContext::removeIfOld(const VeltorPlatform::DirHandle& dir, const std::string& name,
                                  const VeltorPlatform::EntryInfo& entry, const Judges::AgeLimits& limits,
                                  std::int64_t current) {
    const Verdict verdict = Judges::age(entry, current, limits);
    if (!verdict.goes) {
        stays(dir, name, verdict.why, &entry);
        return false;
    }
    return remover.remove(
        dir, name, entry, verdict.why, Remover::Judged::JustNow,
        [&](const VeltorPlatform::EntryInfo& now) { return Judges::age(now, current, limits); });
}

} // namespace Veltor
