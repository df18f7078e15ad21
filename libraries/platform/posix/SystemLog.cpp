// The journal: one structured entry through libsystemd's native protocol, and whether standard output
// already goes there. Windows' event log has no counterpart here.
#include "platform/SystemLog.h"

#include "Errors.h"

#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <sys/uio.h>
// The entry tells the program's own fields, not where in the seam it was sent from (CODE_FILE,
// CODE_LINE and CODE_FUNC, which sd-journal.h adds otherwise).
#define SD_JOURNAL_SUPPRESS_LOCATION
#include <systemd/sd-journal.h>

namespace VeltorPlatform {

namespace {

// The decimal number at the start of `text`, which moves past it; false without a digit or on overflow.
bool readNumber(const char*& text, unsigned long long& value) {
    if (*text < '0' || *text > '9')
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoull(text, &end, 10);
    text = end;
    return errno == 0;
}

} // namespace

std::uint32_t reportEvent(EventSeverity, std::uint32_t, const std::string&) {
    return FileSystemError::NotSupported;
}

bool outputIsJournal() {
    // systemd sets JOURNAL_STREAM to "DEVICE:INODE" of the stream it connects to standard output or
    // error; a child with its output redirected inherits the variable, so the descriptor must match.
    const char* stream = std::getenv("JOURNAL_STREAM");
    if (stream == nullptr || *stream == '\0')
        return false;
    unsigned long long device = 0;
    unsigned long long inode = 0;
    if (!readNumber(stream, device) || *stream++ != ':' || !readNumber(stream, inode) || *stream != '\0')
        return false;
    struct stat output {};
    return ::fstat(1, &output) == 0 && static_cast<unsigned long long>(output.st_dev) == device &&
           static_cast<unsigned long long>(output.st_ino) == inode;
}

std::uint32_t sendToJournal(const std::vector<std::string>& fields) {
    if (fields.empty())
        return FileSystemError::InvalidParameter;
    std::vector<struct iovec> parts(fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i) {
        parts[i].iov_base = const_cast<char*>(fields[i].data());
        parts[i].iov_len = fields[i].size();
    }
    // A negative errno: EINVAL for a field without "NAME=". Where no journal listens at all, libsystemd
    // drops the entry and answers success.
    const int result = ::sd_journal_sendv(parts.data(), static_cast<int>(parts.size()));
    return result < 0 ? fromErrno(-result) : FileSystemError::Success;
}

} // namespace VeltorPlatform
