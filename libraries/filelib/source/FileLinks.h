// The raw target of a link, shared by the file and directory tools.
#pragma once
#include <string>

namespace VeltorFilelib {
namespace Links {

// The target as the link holds it (native separators, possibly relative); empty for a shortcut that
// cannot be read, a plain file and a reparse point other than a symbolic link. Throws
// FileTools::NoSuchFile for a missing path and AccessDenied when the link cannot be opened.
std::string readTarget(const std::string& path);

} // namespace Links
} // namespace VeltorFilelib
