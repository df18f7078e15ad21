#include "ActionReport.h"

#include "FsTools.h"
#include "platform/Console.h"
#include "platform/Utf.h"

namespace Veltor {

using VeltorFilelib::FsTools;

namespace {

constexpr std::int64_t kHour = 3600;

std::string counted(std::uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string errorText(std::uint32_t error) {
    const char* text = nullptr;
    switch (error) {
    case 2:
    case 3:
        text = "not found";
        break;
    case 5:
        text = "access denied";
        break;
    case 32:
        text = "in use by another process";
        break;
    case 145:
        text = "directory not empty";
        break;
    case 1920:
        text = "not a regular file";
        break;
    case 1921:
        text = "a link";
        break;
    default:
        break;
    }
    const std::string code = "win-error#" + std::to_string(error);
    return text != nullptr ? std::string(text) + ", " + code : code;
}

} // namespace

Reason Reason::age(bool lastAccess, std::int64_t ageSeconds, std::int64_t limitSeconds) {
    Reason reason = of(Age, ageSeconds, limitSeconds);
    reason.lastAccess = lastAccess;
    return reason;
}

Reason Reason::of(Kind kind, std::int64_t ageSeconds, std::int64_t limitSeconds, std::string detail) {
    Reason reason;
    reason.kind = kind;
    reason.ageSeconds = ageSeconds;
    reason.limitSeconds = limitSeconds;
    reason.detail = std::move(detail);
    return reason;
}

ActionReport& ActionReport::current() {
    static ActionReport report;
    return report;
}

void ActionReport::setMode(Mode mode) {
    mode_ = mode;
}

void ActionReport::reset() {
    *this = ActionReport();
}

std::string ActionReport::duration(std::int64_t seconds) {
    if (seconds < 0)
        seconds = 0;
    const std::int64_t hours = seconds / kHour;
    if (hours < 240)
        return std::to_string(hours) + " h";
    return std::to_string(hours / 24) + " d";
}

std::string ActionReport::describe(const Reason& reason) {
    const std::string limit = ", limit " + std::to_string(reason.limitSeconds / kHour) + " h";
    switch (reason.kind) {
    case Reason::Age:
        return std::string(reason.lastAccess ? "last access " : "last write ") + duration(reason.ageSeconds) +
               " ago" + limit;
    case Reason::NeverRead:
        return "never read since written " + duration(reason.ageSeconds) + " ago" + limit;
    case Reason::DanglingLock:
        return "dangling lock: no " + printable(reason.detail);
    case Reason::LockShortcut:
        return "shortcut of dangling lock " + printable(reason.detail);
    case Reason::SessionExpired:
        return "session expired " + duration(reason.ageSeconds) + " ago" + limit;
    case Reason::DatedLog:
        return "dated log " + duration(reason.ageSeconds) + " old" + limit;
    case Reason::InDateRange:
        return "last write within " + printable(reason.detail);
    case Reason::EmptyDirectory:
        return "empty directory";
    }
    return std::string();
}

std::string ActionReport::printable(const std::string& text) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        if (c == '\\' && FsTools::separator != '\\') {
            // Where a backslash can be part of a name, it is escaped too, so that no name can pass
            // itself off as an escape.
            out += "\\\\";
            ++at;
            continue;
        }
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            ++at;
            continue;
        }
        std::uint32_t code = 0;
        const std::size_t length =
            c >= 0x80 ? VeltorPlatform::Utf::decodeUtf8(&text[at], text.size() - at, code) : 0;
        if (length != 0) {
            // C1 controls (U+0080 to U+009F) are text to UTF-8, but terminals act on them (U+009B starts
            // an escape sequence, U+0085 ends a line).
            if (code < 0xA0)
                out.append("\\u00").append(1, digits[code >> 4]).append(1, digits[code & 0xF]);
            else
                out.append(text, at, length);
            at += length;
            continue;
        }
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else
            out.append("\\x").append(1, digits[c >> 4]).append(1, digits[c & 0xF]);
        ++at;
    }
    return out;
}

void ActionReport::line(const std::string& text) {
    // Each action on a line of its own, started as the program's other messages are. Not flushed line
    // by line: a listing of a million files would cost a million writes; the summary flushes.
    VeltorPlatform::consoleWrite("\n" + text);
}

void ActionReport::removed(const std::string& path, const Reason& reason, std::uint64_t bytes,
                           bool directory) {
    if (mode_ == Mode::Quiet)
        return;
    ++(directory ? directories_ : files_);
    bytes_ += bytes;
    line((mode_ == Mode::DryRun ? "Would remove: " : "Removed: ") + printable(path) + " (" +
         describe(reason) + ")");
}

void ActionReport::kept(const std::string& path) {
    if (mode_ == Mode::Quiet)
        return;
    ++kept_;
    line("Kept: " + printable(path) + " (read-only)");
}

void ActionReport::failed(const std::string& path, std::uint32_t error) {
    ++failures_;
    if (mode_ == Mode::Quiet)
        return;
    ++failed_;
    // A preview asked what the removal would meet and says what the run would see.
    line((mode_ == Mode::DryRun ? "Would fail: " : "Failed: ") + printable(path) + " (" + errorText(error) + ")");
}

void ActionReport::folded(const std::string& jobFile, const std::string& dayLog) {
    if (mode_ == Mode::Quiet)
        return;
    ++jobFiles_;
    dayLogs_.insert(dayLog);
    line((mode_ == Mode::DryRun ? "Would fold: " : "Folded: ") + printable(jobFile) + " into " +
         printable(dayLog));
}

void ActionReport::message(const std::string& text, bool failure) {
    if (failure) {
        ++failures_;
        if (mode_ != Mode::Quiet)
            ++failed_;
    }
    if (mode_ == Mode::Quiet || (!text.empty() && text.front() == '\n')) {
        VeltorPlatform::consoleWrite(text);
        return;
    }
    line(text);
}

void ActionReport::summary() {
    if (mode_ == Mode::Quiet)
        return;
    const std::string removal = counted(files_, "file", "files") + " and " +
                                counted(directories_, "directory", "directories") + ", " +
                                counted(bytes_, "byte", "bytes");
    const std::string folding = counted(jobFiles_, "job file", "job files") + " into " +
                                counted(dayLogs_.size(), "day log", "day logs");
    if (mode_ == Mode::DryRun)
        line("Dry run: would remove " + removal + "; would fold " + folding + "; kept " + std::to_string(kept_) +
             ", failed " + std::to_string(failed_));
    else
        line("Summary: removed " + removal + "; folded " + folding + "; kept " + std::to_string(kept_) +
             ", failed " + std::to_string(failed_));
    VeltorPlatform::consoleWrite("\n");
    VeltorPlatform::consoleFlush();
}

} // namespace Veltor
