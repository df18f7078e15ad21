// What every cleaning of the engine shares below the cleanings themselves: the input checks (an hour
// count, a date, the local day of a time), the way the engine ends the process on an input error, and
// the web report patterns. The cleanings (AgeRules, Sweeps, JobFolder) and their front (OldFilesRemover)
// all stand on it, so nothing here may reach back up to them.
#pragma once
#include <cstdint>
#include <list>
#include <string>

namespace Veltor::Engine {

using PatternList = std::list<std::string>;

// hours * 3600 in 64 bits; a negative count ends the process with status 1.
std::int64_t hoursToSeconds(std::int64_t hours);
// Local midnight at the start of a "YYYY-MM-DD" day in seconds since 1970; an invalid date ends the
// process with status 1.
std::int64_t parseDate(const std::string& text);
bool isValidDate(const std::string& text);
// Local calendar day of a time in seconds since 1970: year, month without and day with a leading zero.
std::string formatDate(std::int64_t time, char separator);
// Ends the process with exit status 1, its output flushed: the end of a run on an input error.
[[noreturn]] void endProcess();
// Writes the two texts to standard output, no newline added.
void write(const std::string& first, const std::string& second = std::string());

// The report patterns in the order they are applied: "top_0_*" endings, then "top_*_*_*" endings.
const PatternList& firstReportPatterns();
const PatternList& secondReportPatterns();

} // namespace Veltor::Engine
