// The report: the words of the lines, where each event shows in each mode, what counts as a failure, and
// --why's explanation. The lines on a real installation are the black-box suite's; these are the edges.
#include "ActionReport.h"
#include "JsonLines.h"
#include "platform/Paths.h"

#include <gtest/gtest.h>

using Veltor::ActionReport;
using Veltor::Event;
using Veltor::EventType;
using Veltor::Problem;
using Veltor::Reason;
namespace ReportText = Veltor::ReportText;

constexpr std::int64_t kHour = 3600;

TEST(ReportText, ReasonsSayTheRuleAndItsNumbers) {
    const struct {
        Reason reason;
        const char* text;
    } cases[] = {
        {Reason::age(false, 50 * kHour + 59 * 60, 48 * kHour), "last write 50 h ago, limit 48 h"},
        // Hours up to ten days, whole days from then on.
        {Reason::of(Reason::DatedLog, 240 * kHour - 1, 24 * kHour), "dated log 239 h old, limit 24 h"},
        {Reason::of(Reason::DatedLog, 240 * kHour, 24 * kHour), "dated log 10 d old, limit 24 h"},
        {Reason::of(Reason::InDateRange, 0, 0, "2026-01-01 2026-01-31"),
         "last write within 2026-01-01 2026-01-31"},
        // A stamp a moment in the future of the clock that judged it shows as no age, not a negative one.
        {Reason::age(false, -5, 0), "last write 0 h ago, limit 0 h"},
        {Reason::of(Reason::Leftover, 2 * kHour), "leftover of an interrupted run, 2 h old"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, ReportText::describe(c.reason));
}

TEST(ReportText, NamesStayOnOneLine) {
    EXPECT_EQ("a\\rb\\x01\\x7F", ReportText::printable("a\rb\x01\x7f"));
    // UTF-8 text passes; bytes that are no UTF-8 (a lone byte, an overlong form, a surrogate) are escaped.
    EXPECT_EQ("caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80",
              ReportText::printable("caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80"));
    EXPECT_EQ("\\xFF\\xC0\\xAF\\xED\\xA0\\x80\\xE6\\x97",
              ReportText::printable("\xFF\xC0\xAF\xED\xA0\x80\xE6\x97"));
    // C1 controls are valid UTF-8 but act on terminals: NEL ends a line, CSI starts a sequence.
    EXPECT_EQ("\\u0085\\u009B2J\\x1B[31m\xC2\xA0", ReportText::printable("\xC2\x85\xC2\x9B"
                                                                         "2J\x1B[31m\xC2\xA0"));
    // So do the marks that reorder or hide text: "exe.txt" shown as "txt.exe", a name with an invisible
    // space, a line separator.
    EXPECT_EQ("a\\u202Eexe.txt\\u200B\\u2028\\uFEFF",
              ReportText::printable("a\xE2\x80\xAE"
                                    "exe.txt\xE2\x80\x8B\xE2\x80\xA8\xEF\xBB\xBF"));
    // A backslash is escaped where it can be part of a name, so no name can pass itself off as an escape.
    EXPECT_EQ(VeltorPlatform::kPathStyle == VeltorPlatform::PathStyle::Posix ? "a\\\\n" : "a\\n",
              ReportText::printable("a\\n"));
}

// Every byte at every place of the eight a run of plain bytes is looked at in: escaped exactly where
// JSON needs it, and a byte that is no UTF-8 both replaced and said.
TEST(JsonLines, EveryByteAtEveryPlaceIsQuotedAsJsonRequires) {
    static const char digits[] = "0123456789abcdef";
    Veltor::JsonLines::Buffer out;
    for (int byte = 1; byte < 0x100; ++byte) {
        for (std::size_t at = 0; at < 17; ++at) {
            std::string text(17, 'x');
            text[at] = static_cast<char>(byte);
            std::string escaped = byte == '"'    ? "\\\""
                                  : byte == '\\' ? "\\\\"
                                                 : std::string(1, static_cast<char>(byte));
            if (byte < 0x20 || byte == 0x7F)
                escaped = std::string("\\u00") + digits[byte >> 4] + digits[byte & 0xF];
            if (byte >= 0x80)
                escaped = "\\ufffd";
            out.clear();
            EXPECT_EQ(byte < 0x80, Veltor::JsonLines::quoteInto(out, text)) << byte << " at " << at;
            EXPECT_EQ("\"" + std::string(at, 'x') + escaped + std::string(16 - at, 'x') + "\"", out.view())
                << byte << " at " << at;
        }
    }
    out.clear();
    EXPECT_TRUE(Veltor::JsonLines::quoteInto(out, "caf\xC3\xA9 \xF0\x9F\x98\x80"));
    EXPECT_EQ("\"caf\\u00e9 \\ud83d\\ude00\"", out.view());
}

// A removal's object carries its reason as fields and in the line's own words, and a name that is no
// UTF-8 also as its bytes.
TEST(JsonLines, ARemovalHasItsReasonAndItsBytes) {
    std::string lines;
    Veltor::JsonLines json([&](std::string_view line) { lines += line; });
    Veltor::JsonLines::Start start;
    start.mode = Veltor::ReportMode::List;
    json.start(start);
    lines.clear();
    const std::string path = "/t/a\xFF.tmp";
    Event removed;
    removed.type = EventType::Removed;
    removed.shown = &path;
    removed.reason = Reason::age(true, 50 * kHour, 48 * kHour);
    removed.bytes = 7;
    json.take(removed, ReportText::of(removed, Veltor::ReportMode::List));
    EXPECT_EQ("{\"type\":\"removed\",\"path\":\"/t/a\\ufffd.tmp\",\"path_hex\":\"2f742f61ff2e746d70\","
              "\"reason\":{\"kind\":\"age\",\"stamp\":\"last_access\",\"age_seconds\":180000,"
              "\"limit_seconds\":172800,\"text\":\"last access 50 h ago, limit 48 h\"},\"directory\":false,"
              "\"bytes\":7,\"failure\":false,\"text\":\"Removed: /t/a\\\\xFF.tmp (last access 50 h ago, "
              "limit 48 h)\"}\n",
              lines);
}

namespace {

Event named(EventType type, const std::string& path, Problem problem = Problem::None) {
    Event event;
    event.type = type;
    event.shown = &path;
    event.problem = problem;
    return event;
}

std::string told(ActionReport& report, const Event& event) {
    ::testing::internal::CaptureStdout();
    report.tell(event);
    return ::testing::internal::GetCapturedStdout();
}

} // namespace

// Whether an event fails the run follows from its type alone, in every mode; where its line shows
// depends on the mode: the plain run keeps its own messages as they stood and nothing else.
TEST(ActionReport, EventsFailByTypeAndShowAsTheModeHasIt) {
    const std::string x = "x";
    const std::string log = "L";
    ActionReport quiet;
    EXPECT_EQ("Error: Couldn't read job file: x", told(quiet, named(EventType::NotRead, x)));
    EXPECT_EQ("", told(quiet, named(EventType::Failed, x)));
    EXPECT_EQ("", told(quiet, named(EventType::NotCleaned, x, Problem::CannotOpen)));
    EXPECT_EQ("\nNot cleaned: x (a link in a directory others can write)",
              told(quiet, named(EventType::NotCleaned, x, Problem::UntrustedLink)));
    EXPECT_EQ("\nUnable to open file: x\n", told(quiet, named(EventType::SessionUnreadable, x)));
    EXPECT_EQ(4u, quiet.totals().failed);
    EXPECT_TRUE(quiet.anyFailure());
    ActionReport verbose;
    verbose.setVerbose(true);
    Event denied = named(EventType::NotCleaned, x, Problem::CannotOpen);
    denied.error = 5;
    EXPECT_EQ("\nNot cleaned: x (access denied, win-error#5)\n", told(verbose, denied));

    ActionReport listing;
    listing.setMode(ActionReport::Mode::List);
    EXPECT_EQ("\nError: Couldn't read job file: x", told(listing, named(EventType::NotRead, x)));
    EXPECT_EQ("\nNot folded: x is larger than 16 MiB",
              told(listing, named(EventType::NotFolded, x, Problem::TooLarge)));
    Event held = named(EventType::NotDeleted, x, Problem::RecordInLog);
    held.error = 5;
    held.other = &log;
    EXPECT_EQ("\nError: Couldn't delete job file: x (win-error#5); its record is in L", told(listing, held));
    EXPECT_EQ("\nNot cleaned: x (access denied, win-error#5)", told(listing, denied));
    // Kept and waiting on purpose are no failures; a job file of the last minute is not worth a line.
    Event waits = named(EventType::Waits, x);
    waits.reason = Reason::of(Reason::HeldOpen);
    EXPECT_EQ("\nWaits: x (held open by another process)", told(listing, waits));
    waits.reason = Reason::of(Reason::JobWaits, 5);
    EXPECT_EQ("", told(listing, waits));
    EXPECT_EQ("\nKept: x (read-only)", told(listing, named(EventType::Kept, x)));
    EXPECT_EQ(4u, listing.totals().failed);
    EXPECT_EQ(1u, listing.totals().kept);
}

TEST(ActionReport, CountsInEveryModeAndThePreviewSaysWhatItWouldDo) {
    const std::string a = "a";
    const std::string b = "b";
    const std::string log = "log-1";
    ActionReport report;
    report.setMode(ActionReport::Mode::DryRun);
    Event removed = named(EventType::Removed, a);
    removed.reason = Reason::of(Reason::EmptyDirectory);
    removed.bytes = 4000000000ULL;
    EXPECT_EQ("\nWould remove: a (empty directory)", told(report, removed));
    told(report, removed);
    removed.directory = true;
    removed.bytes = 0;
    told(report, removed);
    Event folded = named(EventType::Folded, a);
    folded.other = &log;
    EXPECT_EQ("\nWould fold: a into log-1", told(report, folded));
    folded.shown = &b;
    told(report, folded);
    // Byte sums beyond 32 bits, day logs counted once however many job files go into them.
    ::testing::internal::CaptureStdout();
    report.summary();
    EXPECT_EQ("\nDry run: would remove 2 files and 1 directory, 8000000000 bytes; would fold 2 job files "
              "into 1 day "
              "log; kept 0, failed 0\n",
              ::testing::internal::GetCapturedStdout());
}

// --why: the verdict comes first, then each cleaning's rule, the stamps it judged and its finding.
TEST(Explanation, TellsTheVerdictWithTheNumbersOfTheJudge) {
    VeltorPlatform::DirHandle dir;
    ASSERT_EQ(0u, dir.openRoot("."));
    VeltorPlatform::EntryInfo here;
    ASSERT_EQ(0u, dir.info(here));
    const std::string path = VeltorPlatform::joinPath(dir.path(), "x.tmp");
    const auto stamped = [](Reason::Kind kind, std::int64_t writtenAgo, std::int64_t accessedAgo,
                            std::int64_t unreadLimit) {
        Reason r = Reason::of(kind, 0, 48 * kHour);
        r.stamped = true;
        r.judgedAt = 1000 * kHour;
        r.written = r.judgedAt - writtenAgo * kHour;
        r.accessed = r.judgedAt - accessedAgo * kHour;
        r.ageSeconds = writtenAgo * kHour;
        r.ruleLimitSeconds = 48 * kHour;
        r.unreadLimitSeconds = unreadLimit * kHour;
        if (kind == Reason::UnreadYoung)
            r.limitSeconds = r.unreadLimitSeconds;
        return r;
    };
    const struct {
        std::vector<Reason> reasons; // what each cleaning found: the first that acts decides
        bool removes;
        const char* stamps;
        const char* verdict;
    } cases[] = {
        {{stamped(Reason::Age, 50, 1, 0)},
         true,
         "read since written, so the 48 h limit on the last write applies: over it",
         "Would remove: PATH (last write 50 h ago, limit 48 h)"},
        {{stamped(Reason::UnreadYoung, 50, 50, 168)},
         false,
         "the 168 h limit for unread files apply: over the first, within the second",
         "Stays: PATH (never read since written 50 h ago, limit 168 h)"},
        {{Reason::of(Reason::NotDated), stamped(Reason::Age, 50, 1, 0)},
         true,
         "over it",
         "Would remove: PATH (last write 50 h ago, limit 48 h)"},
        {{Reason::of(Reason::LockInUse, 0, 0, "Data/incoming/x")},
         false,
         nullptr,
         "Stays: PATH (lock of an existing Data/incoming/x)"},
    };
    for (const auto& c : cases) {
        ActionReport report;
        report.setMode(ActionReport::Mode::Why);
        Veltor::Explanation& explanation = report.explanation();
        explanation.focus(here, "x.tmp", VeltorPlatform::EntryInfo(), "x.tmp");
        ASSERT_TRUE(explanation.watch(dir, "the rule", {"*.tmp"}));
        EXPECT_FALSE(explanation.watch(dir, "another rule", {"*.log"}));
        for (std::size_t i = 0; i < c.reasons.size(); ++i) {
            Event event;
            event.type = c.removes && i + 1 == c.reasons.size() ? EventType::Removed : EventType::Stays;
            event.dir = &dir;
            event.name = "x.tmp";
            event.reason = c.reasons[i];
            report.tell(event);
        }
        Event other; // not the entry explained
        other.dir = &dir;
        other.name = "other.tmp";
        report.tell(other);
        std::string text = explanation.text();
        for (std::string::size_type at; (at = text.find(path)) != std::string::npos;)
            text.replace(at, path.size(), "PATH");
        SCOPED_TRACE(text);
        EXPECT_EQ(0u, text.find(std::string(c.verdict) + "\nRule: the rule\n"));
        EXPECT_NE(std::string::npos, text.find("Rule: another rule (not this name)\n"));
        if (c.stamps != nullptr) {
            EXPECT_NE(std::string::npos, text.find(c.stamps));
        }
        EXPECT_EQ(std::string::npos, text.find("other.tmp"));
    }
}
