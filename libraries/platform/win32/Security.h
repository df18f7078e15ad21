// Who may change a directory, and the security a file written in place of another takes over from it.
#pragma once
#include <windows.h>

#include <cstdint>

namespace VeltorPlatform {
namespace Win32 {

// Whether an object with this security descriptor can be changed by nobody but the administrators,
// SYSTEM, TrustedInstaller or `user`: its owner is one of those, and no access-allowed entry of its
// DACL that applies to the object itself (inherit-only entries do not) gives any other SID a right to
// add, delete or rename entries, or to change the DACL or the owner (FILE_ADD_FILE,
// FILE_ADD_SUBDIRECTORY, FILE_DELETE_CHILD, DELETE, WRITE_DAC, WRITE_OWNER, GENERIC_WRITE,
// GENERIC_ALL). Entries for OWNER RIGHTS (the owner, judged above) and CREATOR OWNER (a template that
// matches no one on the object itself) grant nobody else anything. No owner, a NULL DACL (everyone may
// do everything) or an access-allowed entry of a kind that cannot be judged fails the test. Denying
// entries never grant and are passed over.
bool onlyTrustedWriters(PSECURITY_DESCRIPTOR descriptor, PSID user);

// The SID of the user the process runs as; null when the token does not tell.
PSID runningUser();

// Whether the links held in the open directory `dir` may be followed: onlyTrustedWriters on its owner
// and DACL, read through a handle of its own opened for READ_CONTROL. False when that cannot be read.
bool linksTrustedIn(HANDLE dir);

// Gives the file `target` the owner, group and DACL of the file `model` (whose handle has READ_CONTROL).
// The DACL decides who may read and change the file, so it must come across: its failure is the
// result. An owner other than ourselves needs the restore privilege, which is enabled for the call
// where the token holds it (administrators) and put back afterwards; where owner or group cannot be
// set, the DACL is still copied and the file keeps our owner: Success. A protected DACL stays
// protected; an inheriting one inherits from the new file's directory as the old one did.
std::uint32_t copySecurity(HANDLE model, HANDLE target);

} // namespace Win32
} // namespace VeltorPlatform
