// Putting a freshly written file in the place of another in one step.
#pragma once
#include <cstdint>
#include <string>

namespace VeltorPlatform {

// Moves the file `from` onto `to`, replacing an existing `to` in one step: at every moment `to` names
// either the old file or the new one, also after a crash. The new file's data reach the disk before
// it takes the name. Returns a Windows error number (0 = success); `from` stays on failure.
// POSIX: fsync, rename, fsync of the directory. Windows: MoveFileExW with replace-existing and
// write-through.
std::uint32_t replaceFile(const std::string& from, const std::string& to);

} // namespace VeltorPlatform
