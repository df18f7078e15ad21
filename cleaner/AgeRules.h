// The age rules: a table of rules, each a pattern and its limits on one directory, applied on one
// listing of that directory; the same rules over a pattern list or a date range; and the dated logs.
#pragma once
#include "CleaningContext.h"

#include <cstdint>
#include <list>
#include <map>
#include <string>
#include <vector>

namespace Veltor {

class AgeRules {
public:
    // Directory path -> rule line "pattern, maxAgeHours, unreadAgeHours, stamp".
    using RuleTable = std::multimap<std::string, std::string>;
    using PatternList = std::list<std::string>;
    using Pieces = std::vector<std::string>;
    struct Rule {
        std::string pattern;
        std::int64_t maxAgeHours = 0;
        std::int64_t unreadAgeHours = 0;
        int stamp = LastWrite;
    };

    explicit AgeRules(CleaningContext& context) : context_(context) {}

    void removeByRules(const RuleTable& rules);
    // The rules of one directory in their order, on one listing of it.
    void removeByRulesOf(const std::string& dir, const std::vector<Rule>& rules);
    bool removeIfOld(const std::string& path, std::uint64_t maxAgeSeconds, std::uint64_t unreadAgeSeconds,
                     int stamp);
    void removeOldFilesByPatterns(const std::string& dir, const PatternList& patterns,
                                  std::int64_t maxAgeHours, std::int64_t unreadAgeHours, int stamp);
    void removeInDateRange(const std::string& dir, const std::string& dateRange, const std::string& pattern,
                           std::int64_t time);
    // The entry `name` of `dir` by its last write (or, when `time` is not 0, that time) against `range`.
    void removeInDateRange(const VeltorPlatform::DirHandle& dir, const std::string& name, const Pieces& range,
                           std::int64_t time);
    void removeInDateRangeByPatterns(const std::string& dir, const std::string& dateRange,
                                     const PatternList& patterns);
    void removeOldLogs(const std::string& dir, std::int64_t hours, const std::string& dateRange);

    // An age rule in words, as --why shows it: "last write older than 48 h, and if never read ...".
    static std::string ageRule(const Judges::AgeLimits& limits);
    // The limits of a rule in seconds; a negative count ends the process with status 1.
    Judges::AgeLimits limitsOf(std::int64_t maxAgeHours, std::int64_t unreadAgeHours, int stamp) const;

private:
    void removeOldLogsIn(const VeltorPlatform::DirHandle& dir, const std::string& shown, std::uint64_t limit);

    CleaningContext& context_;
};

} // namespace Veltor
