#include "ActionReport.h"
#include "FsTools.h"

#include <gtest/gtest.h>

using Veltor::ActionReport;
using Veltor::Reason;

constexpr std::int64_t kHour = 3600;

// The reasons and escapes the preview shows on a real installation are the black-box suite's; these are
// the edges it does not reach.
TEST(ActionReport, ReasonsSayTheRuleAndItsNumbers) {
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
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, ActionReport::describe(c.reason));
}

TEST(ActionReport, NamesStayOnOneLine) {
    EXPECT_EQ("a\\rb\\x01\\x7F", ActionReport::printable("a\rb\x01\x7f"));
    // UTF-8 text passes; bytes that are no UTF-8 (a lone byte, an overlong form, a surrogate) are escaped.
    EXPECT_EQ("caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80",
              ActionReport::printable("caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80"));
    EXPECT_EQ("\\xFF\\xC0\\xAF\\xED\\xA0\\x80\\xE6\\x97",
              ActionReport::printable("\xFF\xC0\xAF\xED\xA0\x80\xE6\x97"));
    // C1 controls are valid UTF-8 but act on terminals: NEL ends a line, CSI starts a sequence. The
    // first character past them is text again.
    EXPECT_EQ("\\u0085\\u009B2J\\x1B[31m\xC2\xA0", ActionReport::printable("\xC2\x85\xC2\x9B"
                                                                           "2J\x1B[31m\xC2\xA0"));
    // A backslash is escaped where it can be part of a name, so no name can pass itself off as an escape.
    EXPECT_EQ(VeltorFilelib::FsTools::separator == '/' ? "a\\\\n" : "a\\n", ActionReport::printable("a\\n"));
}

TEST(ActionReport, FailuresCountInEveryModeAndMessagesStartTheirOwnLine) {
    ActionReport quiet;
    ::testing::internal::CaptureStdout();
    quiet.message("Error: x", false);
    EXPECT_FALSE(quiet.anyFailure());
    quiet.failed("a", 5);
    EXPECT_EQ("Error: x", ::testing::internal::GetCapturedStdout());
    EXPECT_TRUE(quiet.anyFailure());
    EXPECT_EQ(0u, quiet.filesFailed());
    ActionReport listing;
    listing.setMode(ActionReport::Mode::List);
    ::testing::internal::CaptureStdout();
    listing.message("Error: x", true);
    listing.message("\nNot folded: y", true);
    EXPECT_EQ("\nError: x\nNot folded: y", ::testing::internal::GetCapturedStdout());
    EXPECT_EQ(2u, listing.filesFailed());
}

TEST(ActionReport, QuietRunCountsNothingAndPreviewCountsWhatItShows) {
    ActionReport report;
    report.removed("a", Reason::of(Reason::EmptyDirectory), 7, false);
    EXPECT_EQ(0u, report.filesRemoved());
    report.setMode(ActionReport::Mode::DryRun);
    ::testing::internal::CaptureStdout();
    report.removed("a", Reason::of(Reason::EmptyDirectory), 4000000000ULL, false);
    report.removed("b", Reason::of(Reason::EmptyDirectory), 4000000000ULL, false);
    report.removed("d", Reason::of(Reason::EmptyDirectory), 0, true);
    report.folded("j1", "log-1");
    report.folded("j2", "log-1");
    ::testing::internal::GetCapturedStdout();
    // Byte sums beyond 32 bits, day logs counted once however many job files go into them.
    EXPECT_EQ(2u, report.filesRemoved());
    EXPECT_EQ(8000000000ULL, report.bytesRemoved());
    EXPECT_EQ(2u, report.jobFilesFolded());
    EXPECT_EQ(1u, report.dayLogsWritten());
}

// --why: the verdict comes first, then each cleaning's rule, the stamps it judged and its finding.
TEST(ActionReport, WhyExplainsTheVerdictWithTheNumbersOfTheJudge) {
    VeltorPlatform::DirHandle dir;
    ASSERT_EQ(0u, dir.openRoot("."));
    VeltorPlatform::EntryInfo here;
    ASSERT_EQ(0u, dir.info(here));
    const std::string path = dir.path() + VeltorFilelib::FsTools::separator + "x.tmp";
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
        {{stamped(Reason::Young, 30, 30, 0)},
         false,
         "never read since written, so the 48 h limit on the last write applies: within it",
         "Stays: PATH (last write 30 h ago, limit 48 h)"},
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
        report.setFocus(here, "x.tmp", VeltorPlatform::EntryInfo(), "x.tmp");
        ASSERT_TRUE(report.watch(dir, "the rule", {"*.tmp"}));
        EXPECT_FALSE(report.watch(dir, "another rule", {"*.log"}));
        for (std::size_t i = 0; i < c.reasons.size(); ++i) {
            if (c.removes && i + 1 == c.reasons.size())
                report.removed(path, c.reasons[i], 1, false);
            else
                report.stays(path, c.reasons[i]);
        }
        report.stays(dir.path() + "/other.tmp", Reason::of(Reason::NotEmpty)); // not the entry explained
        ::testing::internal::CaptureStdout();
        report.explanation();
        std::string text = ::testing::internal::GetCapturedStdout();
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
