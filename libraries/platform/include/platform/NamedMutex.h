// A named machine-wide mutex object with create-or-busy semantics: whoever creates the object holds it
// until its handle is closed; everybody else (other processes and other NamedMutex objects of this
// process) sees "busy" meanwhile. A process that ends releases its objects with its handles.
//
// Windows: CreateMutexA(no security attributes, not initially owned, name). The name is used as given,
// so a caller that wants machine-wide visibility prefixes it with "Global\".
// POSIX: an exclusive, non-blocking flock on a file named after the name, held while the descriptor is
// open. Whoever could open that file could hold the lock, so the files lie in a directory only we can
// write: /run/veltor (created 0755) for root; for other users $XDG_RUNTIME_DIR/veltor or, without it,
// .cache/veltor in the home directory the account database gives (created 0700, with what is missing
// above it). The directory must belong to the running user, be writable by nobody else and not be a
// link, and every directory above it must be root's or the user's, not a link and writable by nobody
// else (root's sticky /tmp aside); the lock file is opened without following links and must be a
// regular file of ours that only we may open (0600). Anything else is refused: Error with error 5 and a
// detail text, never Busy. Each NamedMutex opens its own descriptor, so two objects of one process with
// the same name exclude each other as on Windows. The file is never removed (removing it would let a
// second creator lock a different file of the same name).
// Characters '/', '\' and '%' of the name are written as %2F, %5C and %25; very long names are cut and
// completed by a hash of the whole name.
#pragma once
#include <cstdint>
#include <string>

namespace VeltorPlatform {

enum class MutexAttempt {
    Acquired, // created here: this object now holds it
    Busy,     // the object already exists (error 183)
    Error     // the call failed otherwise; the error number tells why
};

class NamedMutex {
public:
    NamedMutex() = default;
    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    // Tries once to create the object. An object that already holds one gets Error (error 5) without
    // touching it. error receives a Windows error number (0 when acquired, 183 when busy).
    MutexAttempt tryCreate(const std::string& name, std::uint32_t& error);
    bool isHeld() const;
    // Closes the handle; false (and still held) when closing fails. Closing nothing succeeds.
    bool close();

    // The lock file a name maps to (POSIX only; empty on Windows). For diagnostics and tests.
    static std::string lockFilePath(const std::string& name);

private:
#ifdef _WIN32
    void* handle = nullptr;
#else
    int descriptor = -1;
#endif
};

// Why the last tryCreate of this thread failed with Error (POSIX: which directory or file was refused
// and why, or the system's reason); empty after success or Busy, and always empty on Windows.
const std::string& namedMutexErrorDetail();

} // namespace VeltorPlatform
