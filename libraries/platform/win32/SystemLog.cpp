// The Application event log: one event of the source "Sorvik" per report. The event's text is its
// one insertion string; the message table compiled into the program (resources/Messages.mc) holds
// "%1" for each event id, so Event Viewer shows that text once the installer has registered the
// program as the source's EventMessageFile. Unregistered, the event is logged all the same (Event
// Viewer then says it cannot find the description). The journal is Linux's: not here.
#include "platform/SystemLog.h"

#include "Errors.h"

#include <windows.h>

namespace VeltorPlatform {

namespace {

// The longest insertion string ReportEvent takes, in UTF-16 units.
constexpr std::size_t kMaxInsertion = 31839;

std::wstring fromUtf8(const std::string& text) {
    if (text.empty())
        return std::wstring();
    // Bytes that are not UTF-8 become U+FFFD: the event is written whatever the text holds.
    const int length =
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    if (wide.size() > kMaxInsertion) {
        std::size_t keep = kMaxInsertion;
        if (wide[keep - 1] >= 0xD800 && wide[keep - 1] <= 0xDBFF) // never half a surrogate pair
            --keep;
        wide.resize(keep);
    }
    return wide;
}

} // namespace

std::uint32_t reportEvent(EventSeverity severity, std::uint32_t id, const std::string& text) {
    WORD type = EVENTLOG_INFORMATION_TYPE;
    if (severity == EventSeverity::Warning)
        type = EVENTLOG_WARNING_TYPE;
    else if (severity == EventSeverity::Error)
        type = EVENTLOG_ERROR_TYPE;
    const std::wstring wide = fromUtf8(text);
    LPCWSTR strings[] = {wide.c_str()};
    HANDLE source = ::RegisterEventSourceW(nullptr, L"Sorvik");
    if (source == nullptr)
        return Win32::lastError();
    const std::uint32_t error = ::ReportEventW(source, type, 0, id, nullptr, 1, 0, strings, nullptr)
                                    ? FileSystemError::Success
                                    : Win32::lastError();
    ::DeregisterEventSource(source);
    return error;
}

bool outputIsJournal() {
    return false;
}

std::uint32_t sendToJournal(const std::vector<std::string>&) {
    return FileSystemError::NotSupported;
}

} // namespace VeltorPlatform
