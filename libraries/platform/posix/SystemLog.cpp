// The journal: one structured entry through libsystemd's native protocol, and whether standard output
// already goes there. Windows' event log has no counterpart here.
//
// libsystemd is loaded only when an entry is sent, that is when standard output is the journal: linked
// in, it would bring six more libraries (compression, cryptography, capabilities) into every run of a
// program that runs as root, for a start-up cost paid even by the runs that never send anything.
#include "platform/SystemLog.h"

#include "Errors.h"

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
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

using SendV = decltype(&::sd_journal_sendv);

// sd_journal_sendv of the system's libsystemd (the .deb depends on libsystemd0), or null where it
// cannot be loaded; looked up once.
SendV journalSendV() {
    static const SendV send = [] {
        void* library = ::dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
        return library == nullptr ? nullptr : reinterpret_cast<SendV>(::dlsym(library, "sd_journal_sendv"));
    }();
    return send;
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
    const SendV send = journalSendV();
    if (send == nullptr)
        return FileSystemError::NotSupported;
    std::vector<struct iovec> parts(fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i) {
        parts[i].iov_base = const_cast<char*>(fields[i].data());
        parts[i].iov_len = fields[i].size();
    }
    // A negative errno: EINVAL for a field without "NAME=". Where no journal listens at all, libsystemd
    // drops the entry and answers success.
    const int result = send(parts.data(), static_cast<int>(parts.size()));
    return result < 0 ? fromErrno(-result) : FileSystemError::Success;
}

} // namespace VeltorPlatform
