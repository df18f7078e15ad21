// What the operating system's own log gets of a run, beside the console and --log: on Windows one
// event in the Application event log (Event Viewer, subscriptions), on Linux one structured entry in
// the journal (journalctl MESSAGE_ID=..., fields). Each system has one of the two; the other's calls
// answer NotSupported (false).
#pragma once
#include "platform/FileErrors.h"

#include <cstdint>
#include <string>
#include <vector>

namespace VeltorPlatform {

enum class EventSeverity { Information, Warning, Error };

// Windows: writes one event of the source "Sorvik" to the Application log (RegisterEventSourceW,
// ReportEventW) with the event id `id` and `text` (UTF-8, converted to UTF-16) as its one insertion
// string; the message table compiled into the program holds "%1" for each id, so Event Viewer shows
// the text. POSIX: NotSupported.
std::uint32_t reportEvent(EventSeverity severity, std::uint32_t id, const std::string& text);

// POSIX: whether standard output is connected to the journal: JOURNAL_STREAM ("DEVICE:INODE", set by
// systemd for a service whose output goes to the journal) names the device and inode of descriptor 1
// (sd_journal_stream_fd(3), systemd.exec(5)). Windows: false.
bool outputIsJournal();

// POSIX: sends one structured entry to the journal (sd_journal_sendv of libsystemd), each field one
// "NAME=value" text (MESSAGE, MESSAGE_ID, PRIORITY, and the program's own). Windows: NotSupported.
std::uint32_t sendToJournal(const std::vector<std::string>& fields);

} // namespace VeltorPlatform
