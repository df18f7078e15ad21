// What every cleaning of a run works with: the run's plan (its report and its open directories), the one
// remover, the one way through a directory, and the clock. The cleanings hold nothing else between two
// calls.
#pragma once
#include "CleaningPlan.h"
#include "DirPass.h"
#include "Judges.h"
#include "Remover.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace Veltor {

struct CleaningContext {
    // Current time in seconds since 1970-01-01 00:00:00 UTC; without one, the system clock.
    using Clock = std::function<std::int64_t()>;

    CleaningContext(CleaningPlan& plan, Clock clock);

    ActionReport& report() const { return plan.report(); }
    std::int64_t now() const;
    // Under --why: a cleaning of `dir` applies `rule` (its description) with `patterns`.
    void watch(const VeltorPlatform::DirHandle& dir, const std::string& rule,
               const std::vector<std::string>& patterns) const;
    // Tells --why that `name` of `dir` was judged and stays for `why`.
    void stays(const VeltorPlatform::DirHandle& dir, std::string_view name, const Reason& why,
               const VeltorPlatform::EntryInfo* entry = nullptr) const;
    // The input checks of the cleanings, as the engine's (a negative hour count, an invalid date,
    // a start date after the end date end the process with status 1), the report told first.
    std::int64_t hoursToSeconds(std::int64_t hours) const;
    std::int64_t parseDate(const std::string& text) const;
    void checkRange(std::int64_t start, std::int64_t end) const;
    // Judges the entry `name` of `dir` by an age rule on its status `entry`, read just now, and removes
    // it when it is old; false when it stays.
    bool removeIfOld(const VeltorPlatform::DirHandle& dir, const std::string& name,
                     const VeltorPlatform::EntryInfo& entry, const Judges::AgeLimits& limits,
                     std::int64_t current);

    CleaningPlan& plan;
    Remover remover;
    DirPass pass;
    Clock clock;
};

} // namespace Veltor
