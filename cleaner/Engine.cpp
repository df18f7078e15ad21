#include "Engine.h"

#include "OldFilesRemoverText.h"
#include "platform/Console.h"
#include "platform/Process.h"
#include "platform/Time.h"

#include <limits>
#include <vector>

namespace Veltor::Engine {

namespace {

const char* const kReportEndings[] = {".csv",  ".vbs", ".rep",  ".seek",       ".pres", ".data",
                                      ".desc", ".ps",  ".conf", ".conf.shtml", ".shtml"};

PatternList reportPatterns(const char* prefix) {
    PatternList patterns;
    for (const char* ending : kReportEndings)
        patterns.push_back(std::string(prefix) + ending);
    return patterns;
}

} // namespace

void endProcess() {
    VeltorPlatform::consoleFlush();
    VeltorPlatform::exitProcess(1);
}

void write(const std::string& first, const std::string& second) {
    VeltorPlatform::consoleWrite(first);
    VeltorPlatform::consoleWrite(second);
    VeltorPlatform::consoleFlush();
}

std::int64_t hoursToSeconds(std::int64_t hours) {
    if (hours < 0) {
        write("\nError, You entered a negative number. Program will exit.");
        endProcess();
    }
    // Beyond this the limit exceeds any representable age anyway: clamp instead of overflowing.
    constexpr std::int64_t largest = std::numeric_limits<std::int64_t>::max() / 3600;
    return (hours > largest ? largest : hours) * 3600;
}

bool isValidDate(const std::string& text) {
    if (text.find_first_not_of("0123456789-") != std::string::npos)
        return false;
    const std::vector<std::string> pieces = RemoverText::split(text, "-");
    if (pieces.size() != 3 || pieces[0].size() != 4 || pieces[1].size() != 2 || pieces[2].size() != 2)
        return false;
    const int year = std::stoi(pieces[0]);
    const int month = std::stoi(pieces[1]);
    const int day = std::stoi(pieces[2]);
    if (year < 1000 || month < 1 || month > 12 || day < 1)
        return false;
    static const int monthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int lastDay = month == 2 && leap ? 29 : monthDays[month - 1];
    return day <= lastDay;
}

std::int64_t parseDate(const std::string& text) {
    if (!isValidDate(text)) {
        write(" Error: Invalid date(" + text + ").Enter date in the following format: YYYY-MM-DD\n ");
        write(" Exiting... ");
        endProcess();
    }
    const std::vector<std::string> pieces = RemoverText::split(text, "-");
    VeltorPlatform::CalendarTime fields;
    fields.year = std::stoi(pieces[0]) - 1900;
    fields.month = std::stoi(pieces[1]) - 1;
    fields.monthDay = std::stoi(pieces[2]);
    fields.isDaylight = 0;
    return VeltorPlatform::makeTime(fields);
}

std::string formatDate(std::int64_t time, char separator) {
    VeltorPlatform::CalendarTime fields;
    if (!VeltorPlatform::localTime(time, fields))
        return std::string();
    std::string text = std::to_string(fields.year + 1900);
    text += separator;
    text += std::to_string(fields.month + 1);
    text += separator;
    if (fields.monthDay < 10)
        text += '0';
    text += std::to_string(fields.monthDay);
    return text;
}

const PatternList& firstReportPatterns() {
    static const PatternList patterns = reportPatterns("top_0_*");
    return patterns;
}

const PatternList& secondReportPatterns() {
    static const PatternList patterns = reportPatterns("top_*_*_*");
    return patterns;
}

} // namespace Veltor::Engine
