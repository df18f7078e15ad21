// The files Sorvik keeps outside the data tree (the --log file, the --metrics file) are reached as the
// data directories are: their directory one name at a time under the link rule, and only where nobody
// but the administrators or the running user can put another file under their name or swap it.
#pragma once
#include "Event.h"
#include "platform/DirHandle.h"

#include <cstdint>
#include <string>

namespace Veltor {

struct OwnFile {
    VeltorPlatform::DirHandle dir;
    std::string name;
    // Why it cannot be kept there (None: it can), with the system's error where there is one.
    Problem problem = Problem::None;
    std::uint32_t error = 0;

    // Reaches the directory of `path`; false with `problem` set when the file may not be kept there.
    // In a preview (`keepStamps`) links on the way keep their last access.
    bool reach(const std::string& path, bool keepStamps);
};

} // namespace Veltor
