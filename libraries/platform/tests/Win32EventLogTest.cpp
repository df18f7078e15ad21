// The event log: each severity is written, and the program's own message table shows each event id's
// text as its one insertion string, so Event Viewer shows what the run reported.
#ifdef _WIN32
#include "platform/FileErrors.h"
#include "platform/SystemLog.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

using namespace VeltorPlatform;

namespace {

// The text of message `id` of this program's message table with `insertion` as %1; empty if none.
std::wstring messageText(DWORD id, const wchar_t* insertion) {
    wchar_t buffer[256];
    DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(insertion)};
    const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                          nullptr, id, 0, buffer, 256, reinterpret_cast<va_list*>(arguments));
    std::wstring text(buffer, length);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r'))
        text.pop_back();
    return text;
}

} // namespace

TEST(Win32EventLogTest, ReportsEachSeverityWithTheIdsOfItsMessageTable) {
    EXPECT_EQ(reportEvent(EventSeverity::Information, 1000, "Sorvik: removed 3 files"), 0u);
    EXPECT_EQ(reportEvent(EventSeverity::Warning, 1001, "Sorvik: Failed: C:\\data\\\xC3\xA4.log"), 0u);
    EXPECT_EQ(reportEvent(EventSeverity::Error, 1002, std::string(40000, 'x')), 0u);
    for (DWORD id : {1000u, 1001u, 1002u})
        EXPECT_EQ(messageText(id, L"the run's text"), L"the run's text") << id;
    EXPECT_EQ(messageText(1003, L"x"), L"");
    EXPECT_FALSE(outputIsJournal());
    EXPECT_EQ(sendToJournal({"MESSAGE=x"}), FileSystemError::NotSupported);
}
#endif
