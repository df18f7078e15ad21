// The directories the registry names are trusted; what lies below them is written by others and is not.
// A directory to clean is reached from its trusted root one name at a time through open handles, never
// through a link, so that nothing planted in the tree can lead a cleaning outside it.
#pragma once
#include "platform/DirHandle.h"

#include <string>

namespace Veltor {

class TrustedDirs {
public:
    // Adds a root named by the configuration (its path as the system resolves it).
    static void trust(const std::string& root);
    // Forgets every root and every refusal reported (tests; a new run).
    static void forgetAll();
    // True the first time a refused path is offered in a run: one message per refused directory.
    static bool firstRefusal(const std::string& path);

    enum class Outcome { Opened, Missing, Unreadable, Refused };
    struct Opened {
        Outcome outcome = Outcome::Missing;
        VeltorPlatform::DirHandle dir;
        // The root the walk started from, and for Refused the path of the entry that is a link or no
        // directory.
        std::string root;
        std::string refusedAt;
    };
    // Opens `path`: the longest trusted root that holds it, then every further name without following
    // links. A path below no trusted root has its parent taken as the root: the directory itself is
    // still never reached through a link. A ".." below the root is refused.
    static Opened open(const std::string& path);
    // Opens the directory `name` of `parent` the same way; Refused for a link or anything but a
    // directory, Missing when it does not exist, Unreadable when it cannot be opened.
    static Outcome openChild(const VeltorPlatform::DirHandle& parent, const std::string& name,
                             VeltorPlatform::DirHandle& out, std::uint32_t* error = nullptr);
};

} // namespace Veltor
