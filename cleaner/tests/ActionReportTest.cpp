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
    EXPECT_EQ("\\u0085\\u009B2J\\x1B[31m\xC2\xA0", ActionReport::printable("\xC2\x85\xC2\x9B" "2J\x1B[31m\xC2\xA0"));
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
