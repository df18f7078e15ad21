#include "JsonLines.h"

#include "platform/Utf.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>

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

void appendHex(JsonLines::Buffer& out, std::string_view bytes) {
    static const char digits[] = "0123456789abcdef";
    char* at = out.room(2 * bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *at++ = digits[b >> 4];
        *at++ = digits[b & 0xF];
    }
    out.added(2 * bytes.size());
}

// One object written into a buffer: its fields in order, objects within it opened and closed. Every
// line of a run is made in the same buffer, so that the line of a removal, most lines of a run, costs
// no allocation of its own.
class Object {
public:
    explicit Object(JsonLines::Buffer& out) : out_(out) {
        out_.clear();
        out_.put('{');
    }
    Object& text(std::string_view name, std::string_view value) {
        key(name);
        JsonLines::quoteInto(out_, value);
        return *this;
    }
    // One of this file's own words ("removed", "last_write"): nothing in it needs an escape.
    Object& word(std::string_view name, std::string_view value) {
        key(name);
        out_.put('"');
        out_.put(value);
        out_.put('"');
        return *this;
    }
    Object& number(std::string_view name, std::int64_t value) { return digits(name, value); }
    Object& unsignedNumber(std::string_view name, std::uint64_t value) { return digits(name, value); }
    Object& boolean(std::string_view name, bool value) { return raw(name, value ? "true" : "false"); }
    Object& raw(std::string_view name, std::string_view json) {
        key(name);
        out_.put(json);
        return *this;
    }
    Object& texts(std::string_view name, const std::vector<std::string>& values) {
        key(name);
        out_.put('[');
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (i != 0)
                out_.put(',');
            JsonLines::quoteInto(out_, values[i]);
        }
        out_.put(']');
        return *this;
    }
    // A path, with its bytes beside it where they are no UTF-8 text.
    Object& path(std::string_view name, std::string_view value) {
        key(name);
        if (!JsonLines::quoteInto(out_, value)) {
            key(name, "_hex");
            out_.put('"');
            appendHex(out_, value);
            out_.put('"');
        }
        return *this;
    }
    // An object as the value of `name`: its fields follow, up to close().
    Object& open(std::string_view name) {
        key(name);
        out_.put('{');
        first_ = true;
        return *this;
    }
    Object& close() {
        out_.put('}');
        first_ = false;
        return *this;
    }
    // The object closed with its line end: the line to write.
    std::string_view line() {
        out_.put("}\n");
        return out_.view();
    }

private:
    // The next field's name, ready for its value.
    void key(std::string_view name, std::string_view suffix = {}) {
        char* at = out_.room(name.size() + suffix.size() + 4);
        char* const begin = at;
        if (!first_)
            *at++ = ',';
        *at++ = '"';
        at += name.copy(at, name.size());
        at += suffix.copy(at, suffix.size());
        *at++ = '"';
        *at++ = ':';
        out_.added(static_cast<std::size_t>(at - begin));
        first_ = false;
    }
    template <typename Integer> Object& digits(std::string_view name, Integer value) {
        key(name);
        char* at = out_.room(24);
        out_.added(static_cast<std::size_t>(std::to_chars(at, at + 24, value).ptr - at));
        return *this;
    }

    JsonLines::Buffer& out_;
    bool first_ = true;
};

// Whether none of the eight bytes at `bytes` needs an escape: each printable ASCII, neither the quote
// nor the backslash. The test of a byte below a bound, or equal to one, on all eight at once.
bool plainWord(const char* bytes) {
    constexpr std::uint64_t ones = 0x0101010101010101ULL;
    constexpr std::uint64_t highs = 0x8080808080808080ULL;
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    const auto below = [&](std::uint64_t bound) { return (word - ones * bound) & ~word & highs; };
    const auto equal = [&](std::uint64_t value) {
        const std::uint64_t other = word ^ (ones * value);
        return (other - ones) & ~other & highs;
    };
    return ((word & highs) | below(0x20) | equal('"') | equal('\\') | equal(0x7F)) == 0;
}

} // namespace

bool JsonLines::quoteInto(Buffer& out, std::string_view text) {
    static const char digits[] = "0123456789abcdef";
    // The bytes that stand in a JSON string as they are: printable ASCII but the quote and the backslash.
    static const auto plain = [] {
        std::array<bool, 256> table{};
        for (int c = 0x20; c < 0x7F; ++c)
            table[c] = c != '"' && c != '\\';
        return table;
    }();
    bool utf8 = true;
    out.put('"');
    auto unit = [&](std::uint32_t value) {
        char* escape = out.room(6);
        escape[0] = '\\';
        escape[1] = 'u';
        for (int i = 0; i < 4; ++i)
            escape[2 + i] = digits[(value >> (12 - 4 * i)) & 0xF];
        out.added(6);
    };
    for (std::size_t at = 0; at < text.size();) {
        // A run of bytes that stand as they are goes in one piece, looked at eight at a time: most
        // names and lines are nothing else.
        std::size_t end = at;
        while (end + 8 <= text.size() && plainWord(text.data() + end))
            end += 8;
        while (end < text.size() && plain[static_cast<unsigned char>(text[end])])
            ++end;
        if (end != at) {
            out.put(text.substr(at, end - at));
            at = end;
            continue;
        }
        const auto c = static_cast<unsigned char>(text[at]);
        if (c == '"' || c == '\\') {
            out.put('\\');
            out.put(static_cast<char>(c));
            ++at;
        } else if (c < 0x80) {
            unit(c);
            ++at;
        } else {
            std::uint32_t code = 0;
            const std::size_t length = VeltorPlatform::Utf::decodeUtf8(&text[at], text.size() - at, code);
            if (length == 0) {
                utf8 = false;
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
    out.put('"');
    return utf8;
}

void JsonLines::start(const Start& start) {
    mode_ = start.mode;
    const char* mode = start.mode == ReportMode::DryRun ? "dry-run"
                       : start.mode == ReportMode::Why  ? "why"
                                                        : "list";
    write_(Object(line_)
               .text("type", "start")
               .number("schema", kSchema)
               .text("program", "sorvik")
               .text("version", start.version)
               .text("host", start.host)
               .text("start", start.started)
               .text("mode", mode)
               .texts("command_line", start.arguments)
               .line());
}

void JsonLines::take(const Event& event, const ReportText::Line& shown) {
    // What --list (or the preview) shows, one object for each of its lines.
    if (mode_ == ReportMode::Why || shown.where == ReportText::Where::Nowhere)
        return;
    const bool preview = mode_ == ReportMode::DryRun;
    Object object(line_);
    object.word("type", typeOf(event, preview));
    if (const char* kind = kindOf(event.type))
        object.word("kind", kind);
    if (event.type != EventType::RegistryRefused) {
        path_.clear();
        event.pathInto(path_);
        object.path("path", path_);
    }
    if (const char* problem = problemOf(event.problem))
        object.word("problem", problem);
    if (event.type == EventType::Removed || event.type == EventType::Kept || event.type == EventType::Waits) {
        const Reason& why = event.reason;
        object.open("reason").word("kind", reasonKindOf(why.kind));
        if (why.stamped || why.kind == Reason::Age || why.kind == Reason::Young)
            object.word("stamp", why.lastAccess ? "last_access" : "last_write");
        object.number("age_seconds", why.ageSeconds).number("limit_seconds", why.limitSeconds);
        if (!why.detail.empty())
            object.path("detail", why.detail);
        // The reason's words stand in the line already where it ends with them.
        if (shown.reasonSize != 0)
            object.text("text", std::string_view(shown.text).substr(shown.reasonAt, shown.reasonSize));
        else
            object.text("text", ReportText::describe(why));
        object.close();
    }
    if (event.type == EventType::Removed)
        object.boolean("directory", event.directory).unsignedNumber("bytes", event.bytes);
    if (event.other != nullptr)
        object.path(event.type == EventType::NotFolded ? "detail" : "day_log", *event.other);
    if (event.error != 0)
        object.open("error")
            .unsignedNumber("number", event.error)
            .text("text", VeltorPlatform::errorText(event.error))
            .close();
    if (const char* cleaning = cleaningOf(event.cleaning))
        object.word("cleaning", cleaning);
    // The line without the line feeds that place it among the console's lines.
    std::string_view line = shown.text;
    while (!line.empty() && line.front() == '\n')
        line.remove_prefix(1);
    while (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    write_(object.boolean("failure", isFailure(event)).text("text", line).line());
}

void JsonLines::explanation(const std::string& path, const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    write_(Object(line_).text("type", "explanation").path("path", path).texts("lines", lines).line());
}

void JsonLines::error(const std::string& text) {
    write_(Object(line_).text("type", "error").text("text", text).line());
}

std::string_view JsonLines::summaryLine(const ActionReport::Totals& totals, double durationSeconds,
                                        int exitStatus) {
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.3f", durationSeconds);
    return Object(line_)
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
        .line();
}

} // namespace Veltor
