// Whether anybody but root and the running user can change what a path names. The registry file and the
// lock directory decide what gets deleted and who may clean, so they must not lie where a third user
// could replace them.
#pragma once
#include <string>
#include <sys/stat.h>

namespace VeltorPlatform {
namespace TrustedPath {

// The owner is root or the effective user of this process.
bool trustedOwner(const struct stat& info);

// "belongs to uid N, neither root nor the running user": the end of a refusal text.
std::string foreignOwner(const struct stat& info);

// Checks "/" and every directory below it down to `directory`, which must be absolute and free of
// links, "." and "..": each one must be a directory (not a link), owned by root or the running user, and
// not writable by group or others, unless it is root's and sticky (/tmp: nobody else can rename or remove
// what belongs to us there). Empty when all pass, otherwise the reason, naming the directory.
std::string checkDirectories(const std::string& directory);

} // namespace TrustedPath
} // namespace VeltorPlatform
