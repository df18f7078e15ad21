#include "JsonLines.h"

#include "platform/Utf.h"

#include <array>
#include <charconv>
#include <cstdio>

namespace Veltor {

namespace {

const char* typeOf(const Event& event, bool preview) {
    // In the order of EventType.
    static const char* const names[] = {
        "removed",
        "kept",
        "failed",
        "folded",
        "stays",
        "waits",
        "not_read",
        "not_folded",
        "not_deleted",
        "not_put_back",
        "not_cleaned",
        "message",
        "message",
        "message",
        "message",
        "note",
        "note",
        "log_not_written",
        "metrics_not_written",
    };
    static_assert(sizeof names / sizeof names[0] ==
                      static_cast<std::size_t>(EventType::MetricsNotWritten) + 1,
                  "a name for every type");
    if (preview && event.type == EventType::Removed)
        return "would_remove";
    if (preview && event.type == EventType::Failed)
        return "would_fail";
    if (preview && event.type == EventType::Folded)
        return "would_fold";
    return names[static_cast<std::size_t>(event.type)];
}

// What kind of message or note, where the type alone does not say (in the order of EventType, from
// DirectoryEmpty on).
const char* kindOf(EventType type) {
    static const char* const kinds[] = {"directory_empty",        "invalid_directory", "session_unreadable",
                                        "registry_value_refused", "access_time_moved", "no_leases"};
    const auto at = static_cast<std::size_t>(type) - static_cast<std::size_t>(EventType::DirectoryEmpty);
    return at < sizeof kinds / sizeof kinds[0] ? kinds[at] : nullptr;
}

const char* problemOf(Problem problem) {
    // In the order of Problem.
    static const char* const names[] = {
        nullptr,          "too_large",      "day_log_link",        "day_log_sparse",
        "no_space",       "day_log_failed", "lock_not_had",        "record_waits",
        "record_in_log",  "cannot_open",    "not_a_directory",     "untrusted_link",
        "too_many_links", "too_deep",       "link_leads_nowhere",  "registry_missing",
        "is_a_link",      "not_a_file",     "untrusted_directory", "write_failed",
    };
    static_assert(sizeof names / sizeof names[0] == static_cast<std::size_t>(Problem::WriteFailed) + 1,
                  "a name for every problem");
    return names[static_cast<std::size_t>(problem)];
}

const char* reasonKindOf(Reason::Kind kind) {
    static const char* const names[] = {
        "age",           "never_read",      "dangling_lock",
        "lock_shortcut", "session_expired", "dated_log",
        "in_date_range", "empty_directory", "folded",
        "leftover",      "young",           "unread_young",
        "future_stamp",  "no_stamp",        "not_dated",
        "lock_in_use",   "session_young",   "session_no_time",
        "out_of_range",  "not_empty",       "leftover_young",
        "not_leftover",  "job_settling",    "held_open",
    };
    static_assert(sizeof names / sizeof names[0] == Reason::HeldOpen + 1, "a name for every kind");
    return names[static_cast<std::size_t>(kind)];
}

const char* cleaningOf(Cleaning cleaning) {
    static const char* const names[] = {nullptr,       "rules",    "dated_logs",     "locks",
                                        "web_reports", "sessions", "license_status", "job_folding"};
    return names[static_cast<std::size_t>(cleaning)];
}

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        text.append(1, digits[b >> 4]).append(1, digits[b & 0xF]);
    }
    return text;
}

// One object under construction: fields appended in order.
class Object {
public:
    Object& text(const char* name, std::string_view value) {
        JsonLines::quoteInto(field(name), value);
        return *this;
    }
    Object& number(const char* name, std::int64_t value) { return digits(name, value); }
    Object& unsignedNumber(const char* name, std::uint64_t value) { return digits(name, value); }
    Object& boolean(const char* name, bool value) { return raw(name, value ? "true" : "false"); }
    Object& raw(const char* name, const std::string& json) {
        field(name) += json;
        return *this;
    }
    // A path, with its bytes beside it where they are no UTF-8 text.
    Object& path(const char* name, const std::string& value) {
        text(name, value);
        if (!VeltorPlatform::Utf::isUtf8(value))
            text((std::string(name) + "_hex").c_str(), hex(value));
        return *this;
    }
    std::string line() const { return body_ + "}\n"; }
    std::string json() const { return body_ + "}"; }

private:
    // The body with the next field's name written, ready for its value.
    std::string& field(const char* name) {
        if (body_.empty())
            body_.reserve(512); // most objects of a run are a removal's, about 400 bytes
        body_ += body_.empty() ? "{\"" : ",\"";
        body_ += name;
        body_ += "\":";
        return body_;
    }
    template <typename Integer> Object& digits(const char* name, Integer value) {
        char text[24];
        const auto end = std::to_chars(text, text + sizeof text, value).ptr;
        field(name).append(text, end);
        return *this;
    }

    std::string body_;
};

} // namespace

std::string JsonLines::quote(const std::string& text) {
    std::string out;
    quoteInto(out, text);
    return out;
}

void JsonLines::quoteInto(std::string& out, std::string_view text) {
    static const char digits[] = "0123456789abcdef";
    // The bytes that stand in a JSON string as they are: printable ASCII but the quote and the backslash.
    static const auto plain = [] {
        std::array<bool, 256> table{};
        for (int c = 0x20; c < 0x7F; ++c)
            table[c] = c != '"' && c != '\\';
        return table;
    }();
    out.reserve(out.size() + text.size() + 2);
    out += '"';
    auto unit = [&](std::uint32_t value) {
        out.append("\\u");
        for (int shift = 12; shift >= 0; shift -= 4)
            out.append(1, digits[(value >> shift) & 0xF]);
    };
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        if (c == '"' || c == '\\') {
            out.append(1, '\\').append(1, static_cast<char>(c));
            ++at;
        } else if (c >= 0x20 && c < 0x7F) {
            // A run of characters that stand as they are goes in one piece: most names are nothing else.
            std::size_t end = at + 1;
            while (end < text.size() && plain[static_cast<unsigned char>(text[end])])
                ++end;
            out.append(text, at, end - at);
            at = end;
        } else if (c < 0x80) {
            unit(c);
            ++at;
        } else {
            std::uint32_t code = 0;
            const std::size_t length = VeltorPlatform::Utf::decodeUtf8(&text[at], text.size() - at, code);
            if (length == 0) {
                unit(0xFFFD);
                ++at;
                continue;
            }
            if (code >= 0x10000) {
                unit(0xD800 + ((code - 0x10000) >> 10));
                unit(0xDC00 + ((code - 0x10000) & 0x3FF));
            } else {
                unit(code);
            }
            at += length;
        }
    }
    out += '"';
}

void JsonLines::start(const Start& start) {
    mode_ = start.mode;
    const char* mode = start.mode == ReportMode::DryRun ? "dry-run"
                       : start.mode == ReportMode::Why  ? "why"
                                                        : "list";
    std::string arguments = "[";
    for (const std::string& argument : start.arguments)
        arguments += (arguments.size() > 1 ? "," : "") + quote(argument);
    write_(Object()
               .text("type", "start")
               .number("schema", kSchema)
               .text("program", "sorvik")
               .text("version", start.version)
               .text("host", start.host)
               .text("start", start.started)
               .text("mode", mode)
               .raw("command_line", arguments + "]")
               .line());
}

void JsonLines::take(const Event& event, const ReportText::Line& shown) {
    // What --list (or the preview) shows, one object for each of its lines.
    if (mode_ == ReportMode::Why || shown.where == ReportText::Where::Nowhere)
        return;
    const bool preview = mode_ == ReportMode::DryRun;
    Object object;
    object.text("type", typeOf(event, preview));
    if (const char* kind = kindOf(event.type))
        object.text("kind", kind);
    if (event.type != EventType::RegistryRefused)
        object.path("path", event.path());
    if (const char* problem = problemOf(event.problem))
        object.text("problem", problem);
    if (event.type == EventType::Removed || event.type == EventType::Kept || event.type == EventType::Waits) {
        const Reason& why = event.reason;
        Object reason;
        reason.text("kind", reasonKindOf(why.kind));
        if (why.stamped || why.kind == Reason::Age || why.kind == Reason::Young)
            reason.text("stamp", why.lastAccess ? "last_access" : "last_write");
        reason.number("age_seconds", why.ageSeconds).number("limit_seconds", why.limitSeconds);
        if (!why.detail.empty())
            reason.path("detail", why.detail);
        reason.text("text", ReportText::describe(why));
        object.raw("reason", reason.json());
    }
    if (event.type == EventType::Removed)
        object.boolean("directory", event.directory).unsignedNumber("bytes", event.bytes);
    if (event.other != nullptr)
        object.path(event.type == EventType::NotFolded ? "detail" : "day_log", *event.other);
    if (event.error != 0)
        object.raw("error", Object()
                                .unsignedNumber("number", event.error)
                                .text("text", VeltorPlatform::errorText(event.error))
                                .json());
    if (const char* cleaning = cleaningOf(event.cleaning))
        object.text("cleaning", cleaning);
    // The line without the line feeds that place it among the console's lines.
    std::string_view line = shown.text;
    while (!line.empty() && line.front() == '\n')
        line.remove_prefix(1);
    while (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    write_(object.boolean("failure", isFailure(event)).text("text", line).line());
}

void JsonLines::explanation(const std::string& path, const std::string& text) {
    std::string lines = "[";
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        lines += (lines.size() > 1 ? "," : "") + quote(text.substr(at, end - at));
        at = end + 1;
    }
    write_(Object().text("type", "explanation").path("path", path).raw("lines", lines + "]").line());
}

void JsonLines::error(const std::string& text) {
    write_(Object().text("type", "error").text("text", text).line());
}

void JsonLines::summary(const ActionReport::Totals& totals, double durationSeconds, int exitStatus) {
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.3f", durationSeconds);
    write_(Object()
               .text("type", "summary")
               .unsignedNumber("removed_files", totals.files)
               .unsignedNumber("removed_directories", totals.directories)
               .unsignedNumber("removed_bytes", totals.bytes)
               .unsignedNumber("folded_job_files", totals.jobFiles)
               .unsignedNumber("day_logs", totals.dayLogs)
               .unsignedNumber("kept", totals.kept)
               .unsignedNumber("failed", totals.failed)
               .unsignedNumber("not_cleaned", totals.notCleaned)
               .raw("duration_seconds", duration)
               .number("exit_status", exitStatus)
               .line());
}

} // namespace Veltor
